// zssynth: writes the sample content's sounds: tones with envelopes,
// filtered noise and a short melody, as WAV (effects) and Ogg/Vorbis
// (ambience and music). Deterministic: the same files on every build.
// With --seeds it writes instead tiny tones in every format the device
// decodes (WAV, FLAC, Ogg/Vorbis, Opus, MP3), mono and stereo: the seed
// corpus of the sound-file fuzz target.
//
//   zssynth OUTPUT_DIR
//   zssynth --seeds OUTPUT_DIR
#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int rate = 44100;
constexpr double pi = 3.14159265358979323846;

// A small deterministic noise source (xorshift).
struct Noise {
    uint32_t state = 0x9e3779b9u;
    double next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return (state / 4294967295.0) * 2.0 - 1.0;
    }
};

struct Sound {
    std::vector<float> samples;  // interleaved
    int channels = 1;
};

bool write(const std::string& path, const Sound& sound, bool ogg) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = rate;
    info.channels = sound.channels;
    info.format = ogg ? (SF_FORMAT_OGG | SF_FORMAT_VORBIS) : (SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::cerr << "zssynth: cannot write " << path << ": " << sf_strerror(nullptr) << "\n";
        return false;
    }
    if (ogg) {
        double quality = 0.4;
        sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
    }
    sf_writef_float(file, sound.samples.data(), static_cast<sf_count_t>(sound.samples.size() / sound.channels));
    sf_close(file);
    return true;
}

// A mono sound of `seconds`, each sample from f(t).
Sound make(double seconds, const std::function<double(double)>& f) {
    Sound s;
    const size_t n = static_cast<size_t>(seconds * rate);
    s.samples.resize(n);
    for (size_t k = 0; k < n; ++k) s.samples[k] = static_cast<float>(f(double(k) / rate));
    return s;
}

double decay(double t, double time) { return std::exp(-t / time); }
double attack(double t, double time) { return t < time ? t / time : 1.0; }

// One-pole low-pass filtered noise, its peaks below full scale.
Sound filteredNoise(double seconds, double cutoff, uint32_t seed, const std::function<double(double)>& envelope) {
    Noise noise;
    noise.state = seed;
    const double a = std::exp(-2.0 * pi * cutoff / rate);
    double y = 0;
    return make(seconds, [&](double t) {
        y = (1 - a) * noise.next() + a * y;
        return 1.4 * y * envelope(t);
    });
}

// A seamless loop: the end fades into the start.
void crossfadeLoop(Sound& s, double seconds) {
    const size_t n = s.samples.size(), fade = static_cast<size_t>(seconds * rate);
    for (size_t k = 0; k < fade; ++k) {
        const double w = double(k) / fade;
        s.samples[k] = static_cast<float>(s.samples[k] * w + s.samples[n - fade + k] * (1 - w));
    }
    s.samples.resize(n - fade);
}

Sound melody() {
    // A short tune in A minor: note (semitones from A4) and length in beats.
    const int notes[][2] = {{0, 2}, {3, 2}, {7, 2}, {5, 1}, {3, 1}, {2, 2}, {0, 2}, {-2, 2}, {0, 4},
                            {3, 2}, {7, 2}, {10, 2}, {8, 1}, {7, 1}, {5, 2}, {3, 2}, {2, 2}, {0, 4}};
    const double beat = 0.3;
    Sound s;
    s.channels = 2;
    for (const auto& note : notes) {
        const double hertz = 440.0 * std::pow(2.0, note[0] / 12.0);
        const double length = note[1] * beat;
        const size_t n = static_cast<size_t>(length * rate);
        for (size_t k = 0; k < n; ++k) {
            const double t = double(k) / rate;
            const double tone = std::sin(2 * pi * hertz * t) + 0.3 * std::sin(4 * pi * hertz * t) +
                                0.15 * std::sin(2 * pi * hertz / 2 * t);
            const double envelope = attack(t, 0.02) * decay(t, length * 0.6) * 0.3;
            s.samples.push_back(static_cast<float>(tone * envelope * 0.9));  // left
            s.samples.push_back(static_cast<float>(tone * envelope * 0.7));  // right
        }
    }
    return s;
}

// A 60 ms tone of `channels` channels at `sampleRate` in one format.
bool writeSeed(const std::string& path, int format, int sampleRate, int channels) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        std::cerr << "zssynth: cannot write " << path << ": " << sf_strerror(nullptr) << "\n";
        return false;
    }
    const int frames = sampleRate * 60 / 1000;
    std::vector<float> samples(static_cast<size_t>(frames * channels));
    for (int k = 0; k < frames; ++k)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(k * channels + c)] =
                static_cast<float>(0.5 * std::sin(2 * pi * (440.0 + 220.0 * c) * k / sampleRate));
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    return true;
}

int writeSeeds(const std::string& out) {
    const struct {
        const char* name;
        int format;
        int rate;
    } formats[] = {{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000},
                   {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 8000},
                   {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS, 8000},
                   {"opus", SF_FORMAT_OGG | SF_FORMAT_OPUS, 8000},
                   {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 8000}};
    bool ok = true;
    for (const auto& f : formats)
        for (int channels = 1; channels <= 2; ++channels)
            ok &= writeSeed(out + "/tone-" + (channels == 1 ? "mono." : "stereo.") + f.name, f.format, f.rate, channels);
    return ok ? 0 : 1;
}

// A second, slower piece in D major over a held drone, so that a change of
// music can be heard: note (semitones from D4, -99 a rest) and beats.
Sound nocturne() {
    const int notes[][2] = {{0, 3}, {4, 1}, {7, 2}, {9, 2}, {7, 3}, {4, 1}, {2, 4}, {-99, 2},
                            {4, 3}, {7, 1}, {11, 2}, {9, 2}, {7, 2}, {4, 2}, {0, 4}, {-99, 2}};
    const double beat = 0.4, d4 = 293.66;
    Sound s;
    s.channels = 2;
    double clock = 0;
    for (const auto& note : notes) {
        const double length = note[1] * beat;
        const size_t n = static_cast<size_t>(length * rate);
        const double hertz = d4 * std::pow(2.0, note[0] / 12.0);
        for (size_t k = 0; k < n; ++k) {
            const double t = double(k) / rate, now = clock + t;
            const double drone = 0.08 * (std::sin(2 * pi * d4 / 2 * now) + 0.5 * std::sin(2 * pi * d4 * 0.75 * now));
            const double tone = note[0] == -99 ? 0.0
                                               : (std::sin(2 * pi * hertz * t) + 0.2 * std::sin(6 * pi * hertz * t)) *
                                                     attack(t, 0.08) * decay(t, length * 0.8) * 0.25;
            s.samples.push_back(static_cast<float>(0.7 * tone + drone));  // left
            s.samples.push_back(static_cast<float>(0.9 * tone + drone));  // right
        }
        clock += length;
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--seeds") return writeSeeds(argv[2]);
    if (argc != 2) {
        std::cerr << "usage: zssynth OUTPUT_DIR | zssynth --seeds OUTPUT_DIR\n";
        return 2;
    }
    const std::string out = argv[1];
    bool ok = true;
    auto tone = [](double hertz, double seconds, double fall) {
        return make(seconds, [=](double t) { return 0.6 * std::sin(2 * pi * hertz * t) * attack(t, 0.002) * decay(t, fall); });
    };
    ok &= write(out + "/ui/click.wav", tone(2000, 0.08, 0.015), false);
    ok &= write(out + "/ui/back.wav", tone(900, 0.12, 0.03), false);
    ok &= write(out + "/ui/hover.wav", tone(3000, 0.05, 0.01), false);
    ok &= write(out + "/actions/shot.wav", filteredNoise(0.4, 3000, 1, [](double t) { return decay(t, 0.06); }), false);
    ok &= write(out + "/actions/step.wav", make(0.25, [](double t) {
                    return 0.8 * std::sin(2 * pi * (90 - 120 * t) * t) * decay(t, 0.05);
                }), false);
    ok &= write(out + "/actions/bell.wav", make(2.0, [](double t) {
                    double s = 0;
                    const double partials[] = {1.0, 2.76, 5.40, 8.93};
                    for (int k = 0; k < 4; ++k) s += std::sin(2 * pi * 520 * partials[k] * t) * decay(t, 0.8 / (k + 1));
                    return 0.2 * s * attack(t, 0.003);
                }), false);
    ok &= write(out + "/actions/door.wav", filteredNoise(0.9, 600, 7, [](double t) { return std::sin(pi * t / 0.9); }), false);
    Sound wind = filteredNoise(6.0, 400, 11, [](double t) { return 0.6 + 0.4 * std::sin(2 * pi * 0.3 * t); });
    crossfadeLoop(wind, 1.0);
    ok &= write(out + "/ambience/wind.ogg", wind, true);
    Noise chirps;
    Sound birds = make(4.0, [&](double t) {
        const double phase = std::fmod(t, 0.7);
        const double chirp = phase < 0.12 ? std::sin(2 * pi * (3000 + 8000 * phase) * phase) * std::sin(pi * phase / 0.12) : 0;
        return 0.4 * chirp + 0.02 * chirps.next();
    });
    ok &= write(out + "/ambience/birds.ogg", birds, true);
    Sound river = filteredNoise(6.0, 900, 23, [](double) { return 0.7; });
    crossfadeLoop(river, 1.0);
    ok &= write(out + "/ambience/river.ogg", river, true);
    // Surf: low noise swelling with each wave, about eight seconds a wave.
    Sound surf = filteredNoise(8.0, 700, 31, [](double t) { return 0.3 + 0.7 * std::pow(std::sin(pi * t / 8.0), 2.0); });
    crossfadeLoop(surf, 1.0);
    ok &= write(out + "/ambience/surf.ogg", surf, true);
    // Crickets: trains of short 4.5 kHz pulses, three trains a second.
    Sound crickets = make(3.0, [](double t) {
        const double train = std::fmod(t, 1.0 / 3.0), pulse = std::fmod(train, 0.025);
        const double on = train < 0.15 && pulse < 0.012 ? std::sin(pi * pulse / 0.012) : 0.0;
        return 0.35 * on * std::sin(2 * pi * 4500 * t);
    });
    ok &= write(out + "/ambience/crickets.ogg", crickets, true);
    ok &= write(out + "/music/theme.ogg", melody(), true);
    ok &= write(out + "/music/nocturne.ogg", nocturne(), true);
    ok &= write(out + "/test/sin.wav", make(0.3, [](double t) {
                    return 0.5 * std::sin(2 * pi * 440 * t) * attack(t, 0.01) * attack(0.3 - t, 0.01);
                }), false);
    return ok ? 0 : 1;
}
