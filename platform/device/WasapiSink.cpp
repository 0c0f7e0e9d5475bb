// The Windows system output.
#include "platform/device/Sink.h"

namespace aldevice {

std::unique_ptr<Sink> openSystemSink(uint32_t, uint32_t, std::string* why, bool) {
    if (why) *why = "no system output on this system";
    return nullptr;
}

}  // namespace aldevice
