// The Windows system output where there is none: Wine with no sound server
// (PULSE_SERVER names a socket nobody listens on, and the machine has no
// sound card) offers no output device. Run in a process of its own: Wine
// looks for its sound driver's server once, when a process first asks.
#include <gtest/gtest.h>

#include <chrono>

#include "platform/device/Sink.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(WasapiSinkWithoutServer, OpensNothingAtOnceAndSaysWhy) {
    for (bool system : {false, true}) {
        SCOPED_TRACE(system ? "openSystemSink" : "openWasapiSink");
        std::string why;
        bool hung = true;
        const auto start = Clock::now();
        auto sink = system ? aldevice::openSystemSink(48000, 4096, &why, true)
                           : aldevice::openWasapiSink(48000, 4096, &why, &hung);
        EXPECT_FALSE(sink);
        EXPECT_LT(Clock::now() - start, aldevice::outputPatience);
        EXPECT_EQ(why, "Windows audio: no output device");
        if (!system) {
            EXPECT_FALSE(hung);
        }
    }
}

}  // namespace
