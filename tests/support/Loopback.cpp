#include "tests/support/Loopback.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <list>

#include "interfaces/Resource.h"
#include "sound/manager/Globals.h"

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

void writeToneContent(ResourceTree& tree, const std::string& record, const std::string& file, double hertz,
                      float amplitude, size_t frames) {
    tree.write("/Configs/Sounds/Effects.snd", "device = 'device.cfg';\n" + record + "\n");
    tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
    writeSine(tree.pathOf("/Sounds/" + file), 48000, hertz, amplitude, frames);
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

Loopback::Peaks Loopback::peaks(int blocks) {
    Peaks found;
    size_t atFullScale = 0, samples = 0;
    for (int k = 0; k < blocks; ++k) {
        alDevice->render(out.data(), frames);
        for (float s : out) {
            found.peak = std::max(found.peak, std::fabs(s));
            atFullScale += std::fabs(s) >= 0.999f;
            ++samples;
        }
    }
    found.atFullScale = samples ? double(atFullScale) / double(samples) : 0.0;
    return found;
}

double rmsOf(const std::vector<float>& samples) {
    if (samples.empty()) return 0.0;
    double sum = 0.0;
    for (float s : samples) sum += double(s) * s;
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

std::vector<std::string> infoOf(Sound3DEffectDevice& device) {
    std::list<std::string> lines;
    device.getInfo(lines);
    return {lines.begin(), lines.end()};
}

Sound3DEffect* loadEffect(Sound3DEffectDevice& device, const std::string& path, bool flat, bool looped,
                          ResourceStream** streamed) {
    Sound3DEffect* effect = device.createEffect();
    ResourceStream* stream = theResourceManager->openStream(path.c_str());
    if (streamed) {
        effect->createStreaming(stream, 4);
        *streamed = stream;
    } else {
        effect->createStatic(stream);
        theResourceManager->closeStream(stream);
    }
    if (flat) effect->setMode(SOUND3D_MODE_DISABLE, SOUND3D_APPLY_IMMEDIATE);
    if (looped) effect->setLooped(true);
    return effect;
}

}  // namespace testsupport
