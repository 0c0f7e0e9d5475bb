#include "tests/device/SoundFiles.h"

#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace soundfiles {

void writeTone(const std::string& path, double seconds, double hertz, int rate, int channels, Format format) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = channels;
    switch (format) {
        case Format::Ogg: info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS; break;
        case Format::Flac: info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16; break;
        case Format::Opus: info.format = SF_FORMAT_OGG | SF_FORMAT_OPUS; break;  // 48 kHz or below only
        case Format::Mp3: info.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III; break;
        case Format::Wav: info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16; break;
    }
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path);
    const long frames = static_cast<long>(seconds * rate);
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    for (long k = 0; k < frames; ++k)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(k) * channels + c] = 0.5f * static_cast<float>(std::sin(2 * M_PI * hertz * k / rate));
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
}

double rms(const std::vector<float>& stereo, int channel) {
    double sum = 0;
    size_t n = 0;
    for (size_t k = static_cast<size_t>(channel); k < stereo.size(); k += 2, ++n) sum += double(stereo[k]) * stereo[k];
    return n ? std::sqrt(sum / n) : 0.0;
}

}  // namespace soundfiles
