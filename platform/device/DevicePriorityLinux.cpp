// A low real-time priority (SCHED_FIFO, just above the minimum): the sound
// server's client threads started afterwards inherit it. An ordinary user
// without an rtprio limit is refused and keeps the ordinary policy.
#include <pthread.h>
#include <sched.h>

#include <cstring>

#include "platform/device/DevicePriority.h"

namespace aldevice {

bool raiseDeviceThreadPriority(std::string* why) {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO) + 2;
    const int refused = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (refused != 0 && why) *why = std::strerror(refused);
    return refused == 0;
}

}  // namespace aldevice
