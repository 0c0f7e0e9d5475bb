// Measures the Windows output's live latency (tests/device/wasapi_latency.py
// runs it under Wine and hears the clicks at the server's monitor): opens
// the system output as the device does (48 kHz, periods of 512 frames, the
// device's buffer), plays two seconds of silence, then clicks: one period
// whose first frames are full scale, every half second. For each click it
// prints the wall-clock time (Unix seconds) at which the write that handed
// it over returned, and the latency the sink reported then.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/device/Sink.h"

namespace {

constexpr uint32_t rate = 48000;
constexpr uint32_t period = 512;
constexpr uint32_t buffer = 8 * period;

double unixSeconds() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const uint64_t ticks = (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;  // 100 ns since 1601
    return double(ticks - 116444736000000000ULL) / 1e7;
}

}  // namespace

int main(int argc, char** argv) {
    const int clicks = argc > 1 ? std::atoi(argv[1]) : 10;
    std::string why;
    auto sink = aldevice::openWasapiSink(rate, buffer, &why);
    if (!sink) {
        std::printf("no output: %s\n", why.c_str());
        return 1;
    }
    std::vector<float> silence(size_t(period) * 2, 0.0f);
    std::vector<float> click = silence;
    for (size_t k = 0; k < 48 * 2; ++k) click[k] = 0.9f;  // 1 ms
    for (uint32_t k = 0; k < 2 * rate / period; ++k)
        if (!sink->write(silence.data(), period)) return 1;
    for (int n = 0; n < clicks; ++n) {
        if (!sink->write(click.data(), period)) return 1;
        const double handed = unixSeconds();
        std::printf("click %.6f reported %.6f\n", handed, sink->latency());
        std::fflush(stdout);
        for (uint32_t k = 0; k < rate / 2 / period; ++k)
            if (!sink->write(silence.data(), period)) return 1;
    }
    for (uint32_t k = 0; k < rate / period; ++k) sink->write(silence.data(), period);  // the last click heard
    std::printf("done %s\n", sink->failure().c_str());
    return 0;
}
