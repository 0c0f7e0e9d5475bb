// The sound server as a sink, over libpulse's asynchronous API: a playback
// stream of stereo floats with a small server-side buffer, driven by a
// threaded main loop of the sink's own.
//
// Why not the simple API: pa_simple_new and pa_simple_write wait on the
// server without a limit. A server stopped (SIGSTOP, a debugger, a machine
// swapping) still takes connections into its socket's backlog and simply
// never answers, so a blocking write or open would hang the device thread
// and everything that joins it (uninitialize, a re-read, shutdown). Here
// every wait is our own, on a condition variable the main loop's callbacks
// signal, with a deadline: an open that gets no answer within
// outputPatience fails, and a write that finds no room for that long fails
// (the output is lost; the device tries again every second).
//
// A write waits while the server's buffer is full, so it paces the device's
// thread as the simple API did; the server's write requests wake it.
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>

#include "platform/device/Sink.h"

namespace aldevice {
namespace {

using Clock = std::chrono::steady_clock;

class PulseSink : public Sink {
public:
    PulseSink() = default;
    ~PulseSink() override {
        // No drain: what is still buffered is dropped, so closing never
        // waits on the server (a disconnect only closes our socket).
        if (loop) {
            pa_threaded_mainloop_lock(loop);
            if (stream) pa_stream_disconnect(stream);
            if (context) pa_context_disconnect(context);
            pa_threaded_mainloop_unlock(loop);
            pa_threaded_mainloop_stop(loop);  // no callback runs after this
        }
        if (stream) pa_stream_unref(stream);
        if (context) pa_context_unref(context);
        if (loop) pa_threaded_mainloop_free(loop);
    }

    bool open(uint32_t rate, uint32_t bufferFrames, std::string* why, bool* hung) {
        const auto deadline = Clock::now() + outputPatience;
        loop = pa_threaded_mainloop_new();
        if (!loop) return fail(why, "no main loop");
        context = pa_context_new(pa_threaded_mainloop_get_api(loop), "zulsound");
        if (!context) return fail(why, "no context");
        pa_context_set_state_callback(context, &PulseSink::changed, this);
        // No autospawn: starting a server waits for it without a limit, and
        // a game's library has no business starting the user's server.
        if (pa_threaded_mainloop_start(loop) < 0) return fail(why, "the main loop does not start");
        pa_threaded_mainloop_lock(loop);
        const int connecting = pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        pa_threaded_mainloop_unlock(loop);
        if (connecting < 0) return fail(why, contextError());
        bool timedOut = false;
        if (!waitFor([this] { return contextSettled(); }, deadline, &timedOut)) {
            if (hung) *hung = timedOut;
            return fail(why, timedOut ? noAnswer() : contextError());
        }

        pa_sample_spec sampleFormat{};
        sampleFormat.format = PA_SAMPLE_FLOAT32LE;
        sampleFormat.rate = rate;
        sampleFormat.channels = 2;
        pa_buffer_attr attributes{};
        attributes.maxlength = uint32_t(-1);
        attributes.tlength = bufferFrames * frameBytes;  // what the server keeps queued: the latency
        attributes.prebuf = uint32_t(-1);
        attributes.minreq = uint32_t(-1);
        attributes.fragsize = uint32_t(-1);
        pa_threaded_mainloop_lock(loop);
        stream = pa_stream_new(context, "game sound", &sampleFormat, nullptr);
        int connected = -1;
        if (stream) {
            pa_stream_set_state_callback(stream, &PulseSink::changed, this);
            pa_stream_set_write_callback(stream, &PulseSink::room, this);
            pa_stream_set_underflow_callback(stream, &PulseSink::ranDry, this);
            // The flags the simple API uses: the latency asked for, and
            // timing kept up to date for latency().
            const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY |
                                                 PA_STREAM_AUTO_TIMING_UPDATE);
            connected = pa_stream_connect_playback(stream, nullptr, &attributes, flags, nullptr, nullptr);
        }
        pa_threaded_mainloop_unlock(loop);
        if (connected < 0) return fail(why, contextError());
        if (!waitFor([this] { return streamSettled(); }, deadline, &timedOut)) {
            if (hung) *hung = timedOut;
            return fail(why, timedOut ? noAnswer() : contextError());
        }
        return true;
    }

    bool write(const float* samples, uint32_t frames) override {
        const auto* data = reinterpret_cast<const uint8_t*>(samples);
        size_t left = size_t(frames) * frameBytes;
        const auto start = Clock::now();
        auto lastTaken = start;   // the server last made room
        auto lastSign = start;    // the server last made room or answered
        auto nextPing = start + pingEvery;
        while (left > 0) {
            const uint64_t seen = eventsSoFar();
            const auto now = Clock::now();
            pa_threaded_mainloop_lock(loop);
            bool good = PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) &&
                        pa_stream_get_state(stream) == PA_STREAM_READY;
            const size_t room = good ? pa_stream_writable_size(stream) : 0;
            if (room == size_t(-1)) good = false;
            if (good && room >= frameBytes) {
                size_t n = std::min(room, left);
                n -= n % frameBytes;
                if (pa_stream_write(stream, data, n, nullptr, 0, PA_SEEK_RELATIVE) < 0) good = false;
                data += n;
                left -= n;
                lastTaken = lastSign = now;
            } else if (good && now >= nextPing) {
                // Full for a while: ask the server for its timing, which
                // any server that runs answers at once.
                if (pa_operation* asked = pa_stream_update_timing_info(stream, &PulseSink::answered, this))
                    pa_operation_unref(asked);
                nextPing = now + pingEvery;
            }
            if (!good) why = contextError();
            pa_threaded_mainloop_unlock(loop);
            if (!good) return false;
            if (left == 0) break;
            lastSign = std::max(lastSign, Clock::time_point(Clock::duration(lastAnswer.load())));
            if (now - lastSign >= outputPatience) {
                why = "the sound server did not answer for " + std::to_string(outputPatience.count()) + " ms";
                noteServerHung("sound server: " + noAnswer());  // a listing right after need not wait again
                return false;
            }
            if (now - lastTaken >= playsNothingFor) {
                why = "the sound server played nothing for " + std::to_string(playsNothingFor.count()) + " ms";
                return false;
            }
            bool timedOut = false;
            waitForEvent(seen, std::min({lastSign + outputPatience, lastTaken + playsNothingFor, nextPing}), &timedOut);
        }
        return true;
    }
    bool paced() const override { return true; }
    double latency() override {
        pa_usec_t usec = 0;
        int negative = 0;
        pa_threaded_mainloop_lock(loop);
        const int result = pa_stream_get_latency(stream, &usec, &negative);
        pa_threaded_mainloop_unlock(loop);
        return result < 0 || negative ? 0.0 : double(usec) / 1e6;
    }
    std::string name() const override { return "pulseaudio"; }
    std::string failure() const override { return why; }
    uint64_t underflows() const override { return dry.load(); }
    bool alive() override {
        pa_threaded_mainloop_lock(loop);
        const bool good = PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) &&
                          pa_stream_get_state(stream) == PA_STREAM_READY;
        pa_threaded_mainloop_unlock(loop);
        return good;
    }

private:
    static constexpr uint32_t frameBytes = 2 * sizeof(float);
    // A full buffer is normally emptied within a period; past this the
    // server is asked whether it still runs.
    static constexpr std::chrono::milliseconds pingEvery{100};
    // A server that answers but plays nothing (a sink that starts late: a
    // fresh null sink renders its first block up to two seconds on) is
    // waited for this long.
    static constexpr std::chrono::milliseconds playsNothingFor{4000};

    // Main loop callbacks (the loop's thread, its lock held): they only
    // count and wake.
    static void changed(pa_context*, void* self) { static_cast<PulseSink*>(self)->signal(); }
    static void changed(pa_stream*, void* self) { static_cast<PulseSink*>(self)->signal(); }
    static void room(pa_stream*, size_t, void* self) { static_cast<PulseSink*>(self)->signal(); }
    static void ranDry(pa_stream*, void* self) { ++static_cast<PulseSink*>(self)->dry; }
    static void answered(pa_stream*, int success, void* self) {
        auto* sink = static_cast<PulseSink*>(self);
        if (success) sink->lastAnswer = Clock::now().time_since_epoch().count();
        sink->signal();
    }

    void signal() {
        {
            std::lock_guard<std::mutex> guard(eventMutex);
            ++events;
        }
        event.notify_all();
    }
    uint64_t eventsSoFar() {
        std::lock_guard<std::mutex> guard(eventMutex);
        return events;
    }
    // Waits for a callback after `seen`, until the deadline.
    void waitForEvent(uint64_t seen, Clock::time_point deadline, bool* timedOut) {
        std::unique_lock<std::mutex> guard(eventMutex);
        *timedOut = !event.wait_until(guard, deadline, [&] { return events != seen; });
    }
    // Waits (bounded) until `settled` holds, checked under the loop's lock;
    // then whether the context and stream are good.
    template <typename Settled>
    bool waitFor(Settled settled, Clock::time_point deadline, bool* timedOut) {
        *timedOut = false;
        for (;;) {
            const uint64_t seen = eventsSoFar();
            pa_threaded_mainloop_lock(loop);
            const bool done = settled();
            const bool ready = done && contextReady() && (!stream || pa_stream_get_state(stream) == PA_STREAM_READY);
            pa_threaded_mainloop_unlock(loop);
            if (done) return ready;
            waitForEvent(seen, deadline, timedOut);
            if (*timedOut) return false;
        }
    }
    bool contextReady() const { return pa_context_get_state(context) == PA_CONTEXT_READY; }
    bool contextSettled() const {
        const pa_context_state_t state = pa_context_get_state(context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    }
    bool streamSettled() const {
        const pa_stream_state_t state = pa_stream_get_state(stream);
        return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state) || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
    }
    std::string contextError() const { return pa_strerror(pa_context_errno(context)); }
    static std::string noAnswer() {
        return "no answer within " + std::to_string(outputPatience.count()) + " ms";
    }
    static bool fail(std::string* why, const std::string& reason) {
        if (why) *why = "sound server: " + reason;
        return false;
    }

    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    std::mutex eventMutex;  // a leaf
    std::condition_variable event;
    uint64_t events = 0;  // callbacks so far, guarded by eventMutex
    std::atomic<uint64_t> dry{0};
    std::atomic<Clock::rep> lastAnswer{0};  // when the server last answered a timing query
    std::string why;
};

}  // namespace

std::unique_ptr<Sink> openPulseSink(uint32_t rate, uint32_t bufferFrames, std::string* why, bool* hung) {
    if (hung) *hung = false;
    auto sink = std::make_unique<PulseSink>();
    if (!sink->open(rate, bufferFrames, why, hung)) return nullptr;  // the destructor closes what opened
    return sink;
}

}  // namespace aldevice
