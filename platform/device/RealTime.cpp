// The device's own thread for the real-time outputs. Each period it takes
// the device lock only to mix (mixPeriod), then hands the period to the
// sink without the lock: a paced sink's write (bounded by outputPatience)
// keeps it in real time; without one (null, a file, a lost output) the
// steady clock does. So a game call never waits longer than one period's
// mix, and nothing spins when the output is gone.
//
// Reconnection: a lost system output is tried again about once a second,
// without the lock, on a short-lived thread beside this one (an open may
// wait up to outputPatience for a server that does not answer, and the mix
// keeps its pace meanwhile). A server that stays away costs one failed
// connection a second and logs nothing more.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <chrono>
#include <system_error>

#include "platform/device/DeviceLog.h"

#include "platform/device/AlInternal.h"
#include "platform/device/DevicePriority.h"

namespace aldevice {


void AlDevice::runRealTime(uint32_t openRate, std::promise<std::string>& opened) {
    using Clock = std::chrono::steady_clock;
    // First the priority, then the output: the threads of the sound
    // server's client library, started by the open, inherit it, and they
    // too must run for the output to be fed in time.
    raiseDeviceThreadPriority(nullptr);
    std::vector<float> fadeFrom;  // a tail's last period, faded out under this mixer's first
    if (wantsSystem) {
        if (std::shared_ptr<MixerTail> tail = takeTail(openRate)) {
            // A re-read under way: the mixer of the device before this one
            // plays its sounds on until the hold ends; this one mixes nothing
            // until then (its clock stands), then takes the sink over.
            tailName = tail->tailSink();
            if (!tailName.empty()) {
                opened.set_value("");
                const auto giveUp = Clock::now() + parkedFor;
                {
                    std::unique_lock<std::mutex> pace(paceMutex);
                    while (!stopping && outputHeld() && Clock::now() < giveUp)
                        paceWake.wait_for(pace, std::chrono::milliseconds(2));
                }
                fadeFrom.assign(static_cast<size_t>(realTimePeriod) * 2, 0.0f);
                std::unique_ptr<Sink> taken = tail->handOver(fadeFrom.data(), realTimePeriod);
                tail.reset();  // the former mixer closes here
                if (!taken) fadeFrom.clear();
                std::string why;
                if (!taken) taken = takeParkedSink(openRate);
                if (!taken) taken = openSystemSink(openRate, realTimeBuffer, &why, true);
                if (!taken && output.kind == Output::Null) taken = openNullSink();
                if (taken) {
                    useSink(std::move(taken), openRate);
                } else {
                    loseOutput(why);
                }
            } else {
                tail->endTail();  // it lost its output meanwhile
            }
        }
    }
    if (wantsSystem && tailName.empty()) {
        std::string why;
        // The sink of the mixer's former life, when it plays at this rate;
        // else a new one (its open bounded: a server found hung a moment ago
        // is not waited for again).
        std::unique_ptr<Sink> system = takeParkedSink(openRate);
        if (!system) system = openSystemSink(openRate, realTimeBuffer, &why, true);
        if (!system && output.kind == Output::Null) system = openNullSink();  // standing in, looking on
        useSink(std::move(system), openRate);
        opened.set_value(why);
    } else if (!wantsSystem) {
        seenUnderflows = sink ? sink->underflows() : 0;
        opened.set_value("");
    }
    constexpr auto retryEvery = std::chrono::seconds(1);
    std::vector<float> mix(static_cast<size_t>(realTimePeriod) * 2);
    auto deadline = Clock::now();
    auto nextTry = Clock::now();
    // A try to open the system output runs beside the mixing (it may wait
    // up to outputPatience for a server that does not answer), so the
    // mix keeps its real-time pace meanwhile.
    std::future<std::unique_ptr<Sink>> attempt;
    uint32_t attemptRate = 0;
    while (!stopping) {
        uint32_t rate = 0;
        {
            std::lock_guard<std::recursive_mutex> guard(lock);
            mixPeriod(mix.data(), realTimePeriod);
            rate = settings.frequency;
            // A hold over: what played on through it is silenced. A tail's
            // own play on until the next device takes the sink over (it
            // mixes their last period in handOver), or the tail ends.
            if (!ghosts.empty() && !tailing && !outputHeld()) silenceGhosts();
            mixed.notify_all();
        }
        if (!fadeFrom.empty()) {
            // The first period after a tail: the former mix fades out as
            // this one fades in, so neither is cut.
            for (uint32_t k = 0; k < realTimePeriod; ++k) {
                const float in = (float(k) + 0.5f) / float(realTimePeriod);
                mix[2 * k] = mix[2 * k] * in + fadeFrom[2 * k] * (1.0f - in);
                mix[2 * k + 1] = mix[2 * k + 1] * in + fadeFrom[2 * k + 1] * (1.0f - in);
            }
            fadeFrom.clear();
        }
        // A mixer made again at another rate: the system output follows it
        // (to the parked sink of that rate when there is one).
        const bool standingIn = sink && sink->name() == "null";  // the null output looking for the system's
        if (sink && !standingIn && wantsSystem && rate != sinkRate) {
            sink.reset();
            std::unique_ptr<Sink> next = takeParkedSink(rate);
            if (!next) next = openSystemSink(rate, realTimeBuffer, nullptr);
            if (next) adoptOutput(std::move(next), rate, true);
            else loseOutput("no output at " + std::to_string(rate) + " Hz");
        }
        bool paced = false;
        if (sink) {
            if (sink->write(mix.data(), realTimePeriod)) {
                paced = sink->paced();
                outputLatencyMicros = static_cast<int64_t>(sink->latency() * 1e6);
                const uint64_t dry = sink->underflows();
                if (dry > seenUnderflows) late += dry - seenUnderflows;
                seenUnderflows = dry;
            } else {
                const std::string why = sink->failure();
                sink.reset();
                loseOutput(why);
                nextTry = Clock::now() + retryEvery;
            }
        }
        if ((!sink || sink->name() == "null") && wantsSystem) {
            const auto now = Clock::now();
            if (!attempt.valid() && now >= nextTry) {
                nextTry = now + retryEvery;
                attemptRate = rate;
                try {
                    attempt = std::async(std::launch::async,
                                         [rate] { return openSystemSink(rate, realTimeBuffer, nullptr); });
                } catch (const std::system_error&) {
                    // No thread for it now: tried again in a second.
                }
            }
            if (attempt.valid() && attempt.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
                std::unique_ptr<Sink> found = attempt.get();
                if (found) adoptOutput(std::move(found), attemptRate, false);
            }
        }
        if (paced) {
            deadline = Clock::now();
            continue;
        }
        deadline += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(realTimePeriod) / rate));
        if (deadline < Clock::now() - std::chrono::milliseconds(200)) deadline = Clock::now();  // far behind: no race
        std::unique_lock<std::mutex> pace(paceMutex);
        paceWake.wait_until(pace, deadline, [this] { return stopping.load(); });
    }
    // A try still running ends within outputPatience; what it opened is
    // kept for the park when nothing else plays.
    if (attempt.valid()) {
        std::unique_ptr<Sink> found = attempt.get();
        if (found && (!sink || sink->name() == "null")) useSink(std::move(found), attemptRate);
    }
    alcSetThreadContext(nullptr);  // the thread ends holding no context
}

void AlDevice::useSink(std::unique_ptr<Sink> next, uint32_t rate) {
    sink = std::move(next);
    sinkRate = rate;
    seenUnderflows = sink ? sink->underflows() : 0;  // what it ran dry before is not ours
}

void AlDevice::loseOutput(const std::string& why) {
    if (lostOutput) return;
    outputLatencyMicros = 0;
    lostOutput = true;
    // The message first, the output's new name after: whoever sees the name
    // (openOutput, currentSink) finds the message already in the log.
    if (wantsSystem) {
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                       << "Sound device " << getName() << ": the output was disconnected (" << why
                       << "); the mix goes on unheard and the output is tried again every second");
    } else {
        // A file that stops taking samples (a full disk) is not tried again.
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                       << "Sound device " << getName() << ": the output was lost: " << why);
    }
    setSinkName(wantsSystem ? "disconnected" : sinkName);
}

void AlDevice::adoptOutput(std::unique_ptr<Sink> system, uint32_t rate, bool quiet) {
    const std::string name = system->name();
    const bool standingIn = sink != nullptr;  // the null sink gives way to the system's output
    useSink(std::move(system), rate);
    lostOutput = false;
    // As for a loss: the message is in the log before the name changes.
    if (quiet) {
    } else if (standingIn) {
        channel().post(debug::Message(DEBUG_CONTEXT, 0.1f) << "Sound device " << getName() << ": a system output opened ("
                                                           << name << "); the mix is heard from now on");
    } else {
        channel().post(debug::Message(DEBUG_CONTEXT, 0.1f) << "Sound device " << getName() << ": the output is back ("
                                                           << name << "); the mix is heard again");
    }
    setSinkName(name);
}

void AlDevice::setSinkName(const std::string& name) {
    std::lock_guard<std::recursive_mutex> guard(lock);
    sinkName = name;
    publishOpenOutput(this, name);
}

bool AlDevice::waitMixed(uint64_t frames, std::chrono::milliseconds timeout) {
    std::unique_lock<std::recursive_mutex> guard(lock);
    return mixed.wait_for(guard, timeout, [&] { return clock >= frames || !initialized; }) && clock >= frames;
}

}  // namespace aldevice
