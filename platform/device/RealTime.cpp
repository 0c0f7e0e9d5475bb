// The device's own thread for the real-time outputs: it mixes a period,
// hands it to the output and sleeps until the next one is due.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <sndfile.h>

#include <chrono>

#include "platform/device/DeviceLog.h"

#include "platform/device/AlInternal.h"

namespace aldevice {

void AlDevice::runRealTime() {
    using Clock = std::chrono::steady_clock;
    std::vector<float> mix(static_cast<size_t>(realTimePeriod) * 2);
    std::unique_lock<std::recursive_mutex> guard(lock);
    const uint32_t rate = settings.frequency;
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(realTimePeriod) / rate));
    auto deadline = Clock::now();
    while (!stopping) {
        if (loopback) {
            mixPeriod(mix.data(), realTimePeriod);
            if (wavFile && !lostOutput &&
                sf_writef_float(static_cast<SNDFILE*>(wavFile), mix.data(), realTimePeriod) != realTimePeriod) {
                // The file stopped taking samples (a full disk): the mix goes
                // on unheard, as on an unplugged sound card.
                lostOutput = true;
                channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                               << "Sound device " << getName() << ": the output was lost: "
                               << sf_strerror(static_cast<SNDFILE*>(wavFile)));
            }
        } else {
            service(realTimePeriod);
            clock += realTimePeriod;  // the sound card's own clock runs alongside
            if (!lostOutput && !isConnected()) {
                lostOutput = true;
                channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << "Sound device " << getName()
                                                                   << ": the output was disconnected");
            }
        }
        mixed.notify_all();
        deadline += period;
        const auto now = Clock::now();
        if (deadline < now - std::chrono::milliseconds(200)) deadline = now;  // far behind: no race to catch up
        wake.wait_until(guard, deadline, [this] { return stopping; });
    }
    alcSetThreadContext(nullptr);  // the thread ends holding no context
}

bool AlDevice::waitMixed(uint64_t frames, std::chrono::milliseconds timeout) {
    std::unique_lock<std::recursive_mutex> guard(lock);
    return mixed.wait_for(guard, timeout, [&] { return clock >= frames || !initialized; }) && clock >= frames;
}

}  // namespace aldevice
