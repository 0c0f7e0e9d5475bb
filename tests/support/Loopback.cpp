#include "tests/support/Loopback.h"

#include <sndfile.h>

#include <cmath>

namespace testsupport {

void writeSine(const std::string& path, int rate, double hertz, float amplitude, size_t frames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> samples(frames);
    for (size_t k = 0; k < frames; ++k) samples[k] = amplitude * static_cast<float>(std::sin(2 * M_PI * hertz * static_cast<double>(k) / rate));
    sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
}

Loopback::Loopback(uint32_t blockFrames)
    : alDevice(std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::Loopback, ""})),
      provider(alDevice),
      frames(blockFrames),
      out(2 * blockFrames) {}

void Loopback::skip(int blocks) {
    for (int k = 0; k < blocks; ++k) alDevice->render(out.data(), frames);
}

double Loopback::meanSquare(int blocks) {
    double sum = 0;
    for (int k = 0; k < blocks; ++k) {
        alDevice->render(out.data(), frames);
        for (float s : out) sum += double(s) * s;
    }
    return sum / (static_cast<double>(blocks) * out.size());
}

double Loopback::rms(int blocks) { return std::sqrt(meanSquare(blocks)); }

}  // namespace testsupport
