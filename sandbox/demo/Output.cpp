#include "sandbox/demo/Output.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/device/AlDevice.h"

namespace zsdemo {

namespace {

void put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::string header(uint32_t frequency, uint64_t frames) {
    const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(frames * 4, 0xFFFFFFF0u));
    std::string h = "RIFF";
    put32(h, 36 + bytes);
    h += "WAVEfmt ";
    put32(h, 16);
    put16(h, 1);  // PCM
    put16(h, 2);  // stereo
    put32(h, frequency);
    put32(h, frequency * 4);
    put16(h, 4);
    put16(h, 16);
    h += "data";
    put32(h, bytes);
    return h;
}

}  // namespace

bool WavWriter::open(const std::string& path, uint32_t rate) {
    frequency = rate;
    frames = 0;
    pending.clear();
    pending.reserve(flushBytes / sizeof(int16_t));
    file.open(path, std::ios::binary | std::ios::trunc);
    const std::string h = header(frequency, 0);
    file.write(h.data(), static_cast<std::streamsize>(h.size()));
    ok = static_cast<bool>(file);
    return ok;
}

bool WavWriter::write(const float* interleaved, uint32_t count) {
    if (!ok) return false;
    // Samples saturated at full scale and rounded to the nearest integer,
    // halves to even as lrint rounds: adding and taking away 1.5 * 2^23
    // leaves a float of magnitude below 2^22 rounded to an integer. A NaN
    // saturates at +1, as std::max(-1, std::min(1, x)) has it.
    constexpr float rounding = 12582912.0f;
    const size_t samples = 2 * static_cast<size_t>(count);
    const size_t at = pending.size();
    pending.resize(at + samples);
    int16_t* out = pending.data() + at;
    size_t k = 0;
#if defined(__SSE2__)
    // Eight at a time: minps gives its second operand (1) for a NaN.
    const __m128 one = _mm_set1_ps(1.0f), minusOne = _mm_set1_ps(-1.0f), scale = _mm_set1_ps(32767.0f),
                 magic = _mm_set1_ps(rounding);
    auto convert = [&](const float* from) {
        const __m128 v = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(from), one), minusOne);
        return _mm_cvttps_epi32(_mm_sub_ps(_mm_add_ps(_mm_mul_ps(v, scale), magic), magic));
    };
    for (; k + 8 <= samples; k += 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                         _mm_packs_epi32(convert(interleaved + k), convert(interleaved + k + 4)));
#endif
    for (; k < samples; ++k) {
        const float v = std::max(-1.0f, std::min(1.0f, interleaved[k]));
        out[k] = static_cast<int16_t>(static_cast<int32_t>((v * 32767.0f + rounding) - rounding));
    }
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (size_t j = 0; j < samples; ++j) {
        const auto u = static_cast<uint16_t>(out[j]);
        out[j] = static_cast<int16_t>(static_cast<uint16_t>(u << 8 | u >> 8));
    }
#endif
    frames += count;
    // Handed to the file in large pieces: one system call for many periods.
    if (pending.size() * sizeof(int16_t) >= flushBytes) flush();
    return ok;
}

void WavWriter::flush() {
    if (ok && !pending.empty()) {
        file.write(reinterpret_cast<const char*>(pending.data()),
                   static_cast<std::streamsize>(pending.size() * sizeof(int16_t)));
        ok = static_cast<bool>(file);
    }
    pending.clear();
}

bool WavWriter::close() {
    if (!file.is_open()) return ok;
    flush();
    if (ok) {
        file.seekp(0);
        const std::string h = header(frequency, frames);
        file.write(h.data(), static_cast<std::streamsize>(h.size()));
        file.flush();
        ok = static_cast<bool>(file);
    }
    file.close();
    return ok && !file.fail();
}

bool RealTimePacer::frame(double seconds) {
    const auto now = time.now();
    if (!started) {
        start = now;
        started = true;
    }
    elapsed += seconds;
    auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(elapsed));
    // A frame that ends more than half a frame late (the configuration read
    // again, a saved game loaded) delays the rest of the session by as much:
    // the frames after it keep their own length, as they do in a rendering,
    // instead of running back to back until the schedule is caught up,
    // which would squeeze what they play into no time at all. A smaller
    // lateness (the sleep's own jitter) is caught up, so the schedule does
    // not drift.
    if (now - end > std::chrono::duration<double>(seconds / 2)) {
        start += now - end;
        end = now;
    }
    time.sleepUntil(end);
    return true;
}

bool RenderPacer::open(const std::string& path) {
    frequency = device->getSettings().frequency;
    clock.setFrequency(frequency);
    return wav.open(path, frequency);
}

bool RenderPacer::frame(double seconds) {
    owed += seconds * frequency;
    uint32_t n = static_cast<uint32_t>(owed);
    owed -= n;
    gameSeconds += seconds;
    while (n > 0) {
        // Up to the next sleeper's moment, which then wakes and is waited for.
        const uint64_t now = clock.now(), due = clock.nextDue();
        const uint32_t piece = due <= now ? 0 : static_cast<uint32_t>(std::min<uint64_t>(n, due - now));
        if (piece > 0 && !mix(piece)) return false;
        n -= piece;
        clock.advanceTo(now + piece);
    }
    return true;
}

bool RenderPacer::mix(uint32_t n) {
    buffer.resize(2 * static_cast<size_t>(n));
    const auto before = std::chrono::steady_clock::now();
    device->render(buffer.data(), n);
    mixerSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
    return wav.write(buffer.data(), n);
}

std::string RenderPacer::status() {
    char text[64];
    std::snprintf(text, sizeof text, "voices %zu  mixer %.1f%% of game time", device->getVoicesInUse(),
                  gameSeconds > 0 ? 100.0 * mixerSeconds / gameSeconds : 0.0);
    return text;
}

bool RenderPacer::close() { return wav.close(); }

}  // namespace zsdemo
