// The output never clips, and the loudness meter reads what the device mixes:
// the EBU's reference sines at their level, defined figures for bad input,
// the device's figures equal to those of the samples it handed out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <ebur128.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <list>
#include <string>
#include <vector>

#include "platform/device/AlDevice.h"
#include "platform/device/LoudnessMeter.h"
#include "platform/device/Saturation.h"
#include "tests/support/Loopback.h"
#include "tests/support/ResourceTree.h"

using aldevice::AlDevice;
using aldevice::Loudness;
using aldevice::LoudnessMeter;
using aldevice::Output;
using aldevice::TruePeak;

namespace {

constexpr int rate = 48000;
constexpr uint32_t period = 1024;

// A 1 kHz sine of peak level `dbfs` in both channels, in phase.
std::vector<float> stereoSine(double dbfs, double seconds) {
    const double amplitude = std::pow(10.0, dbfs / 20.0);
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<float> out(frames * 2);
    for (size_t k = 0; k < frames; ++k)
        out[2 * k] = out[2 * k + 1] = static_cast<float>(amplitude * std::sin(2 * M_PI * 1000.0 * double(k) / rate));
    return out;
}

// Feeds the samples in device-sized periods.
void feed(LoudnessMeter& meter, const std::vector<float>& stereo) {
    for (size_t at = 0; at < stereo.size(); at += 2 * period)
        meter.add(stereo.data() + at, std::min<size_t>(period, (stereo.size() - at) / 2));
}

// A mono 16-bit full-scale sine of `hertz` for `seconds`; at 0 Hz held at
// +32767, so that, summed, any wrap-around shows as negative samples.
void writeFullScale(const std::string& path, double seconds, double hertz) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<short> samples(static_cast<size_t>(seconds * rate), 32767);
    if (hertz > 0)
        for (size_t k = 0; k < samples.size(); ++k)
            samples[k] = static_cast<short>(std::lrint(32767 * std::sin(2 * M_PI * hertz * double(k) / rate)));
    sf_writef_short(file, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(file);
}

// 64 effects of the full-scale sound, all at `volume`, looping.
std::vector<Sound3DEffect*> playSixtyFour(AlDevice& device, const std::string& path, float volume) {
    std::vector<Sound3DEffect*> effects;
    for (int k = 0; k < 64; ++k) {
        Sound3DEffect* effect = testsupport::loadEffect(device, path, true, true);
        effect->setVolume(volume);
        effect->play();
        effects.push_back(effect);
    }
    return effects;
}

}  // namespace

// EBU Tech 3341's first two cases: a 1 kHz stereo sine at -23 and at -33 dBFS
// reads its own level, within 0.1 LU, momentary, short-term and integrated.
TEST(LoudnessMeter, TheEbuReferenceSinesReadTheirLevel) {
    for (double level : {-23.0, -33.0}) {
        SCOPED_TRACE(level);
        LoudnessMeter meter(rate);
        feed(meter, stereoSine(level, 20.0));
        EXPECT_NEAR(meter.snapshot().momentary, level, 0.1);
        EXPECT_NEAR(meter.snapshot().shortTerm, level, 0.1);
        EXPECT_NEAR(meter.snapshot().integrated, level, 0.1);
        EXPECT_NEAR(meter.snapshot().truePeak, level, 0.2);  // the sine's peak, in dBTP
        EXPECT_NEAR(meter.snapshot().range, 0.0, 0.1);
        EXPECT_EQ(aldevice::formatLevel(meter.snapshot().integrated), level == -23.0 ? "-23.0" : "-33.0");
        meter.reset();
        EXPECT_EQ(aldevice::formatLevel(meter.snapshot().integrated), "-inf");
    }
}

// The meter measures itself where 100 ms are a whole number of frames, and
// leaves it to libebur128 elsewhere: either way its momentary and short-term
// loudness and its range read what libebur128 reads, at every second and at
// the end, for audio whose level moves a lot, fed in pieces of every size.
TEST(LoudnessMeter, TheFiguresAreLibebur128sWhateverTheRate) {
    for (uint32_t frequency : {48000u, 44100u, 22050u, 11025u}) {
        SCOPED_TRACE(frequency);
        // 45 s of a 1 kHz sine whose level steps every 1.3 s between -45 and
        // -8 dBFS, with a second of silence and a second below the gate.
        std::vector<float> samples;
        const double levels[] = {-20, -8, -33, -45, -12, -27, -60, -18, -38, -15, -90, -24};
        for (size_t k = 0; k < size_t(45.0 * frequency); ++k) {
            const double t = double(k) / frequency;
            double level = levels[size_t(t / 1.3) % (sizeof levels / sizeof *levels)];
            if (t >= 20.0 && t < 21.0) level = -200.0;
            const double v = std::pow(10.0, level / 20.0) * std::sin(2 * M_PI * 1000.0 * t);
            samples.push_back(float(v));
            samples.push_back(float(0.5 * v));
        }
        LoudnessMeter meter(frequency);
        ebur128_state* reference =
            ebur128_init(2, frequency, EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_LRA | EBUR128_MODE_HISTOGRAM);
        ASSERT_NE(reference, nullptr);
        const size_t frames = samples.size() / 2;
        for (size_t at = 0, piece = 1; at < frames; at += piece, piece = piece * 7 % 3000 + 1) {
            piece = std::min(piece, frames - at);
            meter.add(samples.data() + 2 * at, piece);
            ebur128_add_frames_float(reference, samples.data() + 2 * at, piece);
            if (at / frequency != (at + piece) / frequency) {  // each second, the figures so far
                double range = 0.0, momentary = 0.0, shortTerm = 0.0;
                ASSERT_EQ(ebur128_loudness_range(reference, &range), EBUR128_SUCCESS);
                ebur128_loudness_momentary(reference, &momentary);
                ebur128_loudness_shortterm(reference, &shortTerm);
                const Loudness l = meter.snapshot();
                ASSERT_NEAR(l.range, range, 1e-9) << "at " << at << " frames";
                ASSERT_NEAR(l.momentary, momentary, 1e-9) << "at " << at << " frames";
                ASSERT_NEAR(l.shortTerm, shortTerm, 1e-9) << "at " << at << " frames";
            }
        }
        double range = 0.0, momentary = 0.0, shortTerm = 0.0;
        ebur128_loudness_range(reference, &range);
        ebur128_loudness_momentary(reference, &momentary);
        ebur128_loudness_shortterm(reference, &shortTerm);
        EXPECT_GT(range, 5.0);  // the audio does move
        EXPECT_NEAR(meter.snapshot().range, range, 1e-9);
        EXPECT_NEAR(meter.snapshot().momentary, momentary, 1e-9);
        EXPECT_NEAR(meter.snapshot().shortTerm, shortTerm, 1e-9);
        ebur128_destroy(&reference);
    }
}

// The true peak skips the blocks that cannot raise it and still reads, bit
// for bit, what filtering every block reads, however the audio is split; on
// these signals some blocks are skipped and some filtered.
TEST(TruePeak, SkippingReadsExactlyWhatFilteringEveryBlockReads) {
    struct Case {
        const char* name;
        std::function<float(size_t, int)> sample;  // frame, channel
    };
    auto sine = [](size_t k, double amplitude, double hertz) {
        return static_cast<float>(amplitude * std::sin(2 * M_PI * hertz * double(k) / rate));
    };
    const std::vector<Case> cases = {
        {"loud then quiet",
         [&](size_t k, int c) { return sine(k, k < 24000 ? 0.9 : 0.01, c ? 997.0 : 15000.0); }},
        {"quiet then loud",
         [&](size_t k, int c) { return sine(k, k < 100 ? 0.3 : k < 72000 ? 0.01 : 0.5, c ? 11025.0 : 3000.0); }},
        // Two samples alike peak between them, where the filter's output
        // comes 6 samples later: in the next block, which must not be skipped.
        {"a click late, ending a block",
         [&](size_t k, int c) {
             const bool click = c == 1 && (k == 1022 + 40 * 1024 || k == 1023 + 40 * 1024);
             return click ? -0.8f : sine(k, k < 2000 ? 0.3 : 0.05, 440.0);
         }},
        {"a click in the first frame",
         [&](size_t k, int c) { return c == 0 && k == 0 ? 1.0f : sine(k, 0.3, 12000.0); }},
        {"NaN bursts in a sine",
         [&](size_t k, int) {
             return (k / 3000) % 4 == 1 ? std::numeric_limits<float>::quiet_NaN() : sine(k, 0.25, 16000.0);
         }},
        {"alternating full scale then silence",
         [&](size_t k, int c) { return k < 600 ? ((k + c) % 2 ? 1.0f : -1.0f) : 0.0f; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> samples(2 * 2 * rate);
        for (size_t k = 0; k < samples.size(); ++k) samples[k] = c.sample(k / 2, int(k % 2));
        // Through the meter (which sanitises) and straight into the filter
        // with the bad samples made silent, in three ways of splitting.
        LoudnessMeter meter(rate);
        feed(meter, samples);
        for (float& s : samples)
            if (!std::isfinite(s)) s = 0.0f;
        TruePeak every(rate, false);
        every.add(samples.data(), samples.size() / 2);
        EXPECT_EQ(every.skippedBlocks(), 0u);
        for (size_t split : {size_t(1024), size_t(333), size_t(7)}) {
            SCOPED_TRACE(split);
            TruePeak skipping(rate);
            for (size_t at = 0; at < samples.size() / 2; at += split)
                skipping.add(samples.data() + 2 * at, std::min(split, samples.size() / 2 - at));
            EXPECT_EQ(skipping.peak(), every.peak());
            EXPECT_GT(skipping.skippedBlocks(), 0u);
            EXPECT_GT(skipping.filteredBlocks(), 0u);
        }
        EXPECT_EQ(meter.snapshot().truePeak, 20.0 * std::log10(double(every.peak())));
    }
}

// A full-scale sine at a quarter of the rate, 45 degrees off the samples,
// holds its samples at +-1 and peaks at sqrt 2 (+3.01 dB) between them. The
// EBU's true-peak cases allow +0.2/-0.4 dB around +3.0 dBTP. The 48-tap
// filter reads 1.4215 (+3.05 dBTP) once its 12 taps are full (its half-sample
// phase passes fs/4 with a gain of 1.005 there) and, at 4x, 1.4277 (+3.09) on
// the abrupt start, where the quarter-sample phase sees a truncated sine.
// Above 96 kHz the filter runs at 2x (the samples and half way between) and
// still finds it; above 192 kHz there is no oversampling and the reading is
// the sample peak.
TEST(TruePeak, TheInterSamplePeakOfAQuarterRateSineReadsPlusThreeDb) {
    struct Case {
        uint32_t frequency;
        uint32_t oversampling;
        double dbtp;
    };
    for (const Case& c : {Case{48000, 4, 3.093}, Case{44100, 4, 3.093}, Case{96000, 2, 3.055},
                          Case{192000, 2, 3.055}, Case{384000, 1, 0.0}}) {
        SCOPED_TRACE(c.frequency);
        std::vector<float> samples(2 * c.frequency);
        for (size_t k = 0; k < samples.size() / 2; ++k)
            samples[2 * k] = samples[2 * k + 1] = float(std::sqrt(2.0) * std::sin(M_PI / 2 * double(k) + M_PI / 4));
        EXPECT_FLOAT_EQ(*std::max_element(samples.begin(), samples.end()), 1.0f);
        LoudnessMeter meter(c.frequency);
        meter.add(samples.data(), samples.size() / 2);
        EXPECT_NEAR(meter.snapshot().truePeak, c.dbtp, 0.001);
        if (c.oversampling > 1) {
            EXPECT_GE(meter.snapshot().truePeak, 3.0 - 0.4);
            EXPECT_LE(meter.snapshot().truePeak, 3.0 + 0.2);
        }
        EXPECT_EQ(TruePeak(c.frequency).oversampling(), c.oversampling);
    }
}

// Whatever arrives, every figure is a number or minus infinity, shown as
// such, and the meter keeps measuring after it.
TEST(LoudnessMeter, BadInputGivesDefinedFigures) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float denormal = std::numeric_limits<float>::denorm_min() * 1000.0f;
    struct Case {
        const char* name;
        std::function<float(size_t)> sample;  // the k-th sample of 2 s (interleaved: k / 2 is the frame)
        bool silent;                          // integrated and true peak read "-inf"
        double truePeakAtLeast;               // dBTP, when not silent
        uint64_t fullScale;                   // samples a 16-bit file holds at its limit
    };
    const std::vector<Case> cases = {
        {"silence", [](size_t) { return 0.0f; }, true, 0, 0},
        {"one full-scale click", [](size_t k) { return k == 4800 ? 1.0f : 0.0f; }, false, -0.1, 1},
        {"denormals", [&](size_t k) { return (k / 2) % 2 ? denormal : -denormal; }, true, 0, 0},
        {"NaN from a broken decoder", [&](size_t) { return nan; }, true, 0, 0},
        {"infinities", [&](size_t k) { return (k / 2) % 2 ? inf : -inf; }, true, 0, 0},
        {"beyond full scale", [](size_t k) { return (k / 2) % 2 ? 1e30f : -1e30f; }, false, 500, 4 * rate},
        {"the largest floats", [](size_t k) { return (k / 2) % 2 ? 3e38f : -3e38f; }, false, 500, 4 * rate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoudnessMeter meter(rate);
        std::vector<float> samples(2 * 2 * rate);
        for (size_t k = 0; k < samples.size(); ++k) samples[k] = c.sample(k);
        feed(meter, samples);
        const Loudness l = meter.snapshot();
        for (double figure : {l.momentary, l.shortTerm, l.integrated, l.range, l.truePeak}) {
            EXPECT_FALSE(std::isnan(figure));
            EXPECT_THAT(aldevice::formatLevel(figure), testing::Not(testing::HasSubstr("nan")));
        }
        EXPECT_DOUBLE_EQ(l.seconds, 2.0);
        EXPECT_EQ(l.fullScaleSamples, c.fullScale);
        if (c.silent) {
            EXPECT_EQ(l.integrated, -HUGE_VAL);
            EXPECT_EQ(aldevice::describeRun(l), "integrated -inf LUFS, range 0.0 LU, true peak -inf dBTP");
        } else {
            EXPECT_TRUE(std::isfinite(l.integrated));
            EXPECT_GE(l.truePeak, c.truePeakAtLeast);
        }
    }
    // A NaN in the middle of a sine does not poison what follows.
    LoudnessMeter meter(rate);
    std::vector<float> sine = stereoSine(-23.0, 20.0);
    sine[1000] = nan;
    feed(meter, sine);
    EXPECT_NEAR(meter.snapshot().integrated, -23.0, 0.1);
}

// 64 full-scale sines summed, at volume 1 and at 16: the limiter holds the
// mix at full scale. No sample of the hand-pumped mix lies beyond it, the
// waveform keeps its shape (clipped, nearly every sample would sit at full
// scale; limited, a few peaks touch it) and the meter's true peak stays near
// 0 dBTP (36 dB above it unlimited).
TEST(OutputLimiter, SixtyFourFullScaleSoundsNeverClip) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/full.wav", "");
    writeFullScale(tree.pathOf("/Sounds/full.wav"), 1.0, 440.0);
    for (float volume : {1.0f, 16.0f}) {
        SCOPED_TRACE(volume);
        testsupport::Loopback loopback(period);
        AlDevice& device = loopback.device();
        device.initialize();
        const auto effects = playSixtyFour(device, "/Sounds/full.wav", volume);
        loopback.skip(10);  // the limiter settles
        const auto p = loopback.peaks(90);
        EXPECT_LE(p.peak, 1.0f);
        EXPECT_GT(p.peak, 0.9f);  // held at full scale, not silenced
        EXPECT_LT(p.atFullScale, 0.2);  // about 0.03 limited; 0.98 clipped
        EXPECT_LE(device.loudness().truePeak, 1.0);
        EXPECT_THAT(testsupport::infoOf(device), testing::Contains("Output limiter: on"));
        for (Sound3DEffect* effect : effects) device.destroyEffect(effect);
        device.uninitialize();
    }
}

// The same through the WAV output, mixed by the device's own thread into a
// 16-bit file: every sample stays positive, up to full scale.
TEST(OutputLimiter, TheWavFileOfSixtyFourFullScaleSoundsSaturates) {
    testsupport::ResourceTree tree;
    testsupport::TemporaryDirectory dir;
    tree.write("/Sounds/full.wav", "");
    writeFullScale(tree.pathOf("/Sounds/full.wav"), 1.0, 0.0);
    const std::string file = dir.file("mix.wav");
    {
        AlDevice device(Output{Output::Wav, file});
        device.initialize();
        const auto effects = playSixtyFour(device, "/Sounds/full.wav", 16.0f);
        ASSERT_TRUE(device.waitMixed(rate / 2, std::chrono::seconds(20)));
        for (Sound3DEffect* effect : effects) device.destroyEffect(effect);
        device.uninitialize();
    }
    SF_INFO info{};
    SNDFILE* wav = sf_open(file.c_str(), SFM_READ, &info);
    ASSERT_NE(wav, nullptr);
    std::vector<short> samples(static_cast<size_t>(info.frames) * 2);
    sf_readf_short(wav, samples.data(), info.frames);
    sf_close(wav);
    ASSERT_GT(samples.size(), size_t(rate / 2));
    EXPECT_EQ(*std::min_element(samples.begin(), samples.end()), 0);
    EXPECT_GT(*std::max_element(samples.begin(), samples.end()), 30000);
}

// A file written through the saturating conversion holds full scale for
// samples beyond it, of either sign.
TEST(OutputLimiter, TheSaturatingWavWriterHoldsFullScale) {
    testsupport::TemporaryDirectory dir;
    const std::string path = dir.file("loud.wav");
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(aldevice::saturateWhenWriting(file));
    const float loud[] = {1.5f, -1.5f, 1.0f, -1.0f, 40.0f, -40.0f};
    sf_writef_float(file, loud, 3);
    sf_close(file);
    file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    short read[6] = {};
    ASSERT_EQ(sf_readf_short(file, read, 3), 3);
    sf_close(file);
    EXPECT_THAT(read, testing::ElementsAre(32767, -32768, 32767, -32768, 32767, -32768));
}

// The device's figures are those of the samples render handed out, in the
// statistics lines too; with the meter switched off they say so.
TEST(DeviceLoudness, TheDeviceMetersExactlyWhatItMixes) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/tone.wav", "");
    testsupport::writeSine(tree.pathOf("/Sounds/tone.wav"), int(rate), 1000.0, 0.1f, rate);
    AlDevice device(Output{Output::Loopback, ""});
    EXPECT_FALSE(device.loudness().metered);
    device.initialize();
    Sound3DEffect* effect = testsupport::loadEffect(device, "/Sounds/tone.wav", true, true);
    effect->play();
    LoudnessMeter own(rate);
    std::vector<float> out(2 * period);
    for (int k = 0; k < 200; ++k) {
        device.render(out.data(), period);
        own.add(out.data(), period);
    }
    const Loudness l = device.loudness();
    EXPECT_TRUE(l.metered);
    EXPECT_TRUE(l.heard);
    EXPECT_DOUBLE_EQ(l.integrated, own.snapshot().integrated);
    EXPECT_DOUBLE_EQ(l.momentary, own.snapshot().momentary);
    EXPECT_DOUBLE_EQ(l.truePeak, own.snapshot().truePeak);
    EXPECT_GT(l.integrated, -40.0);
    EXPECT_THAT(testsupport::infoOf(device),
                testing::AllOf(testing::Contains("True peak: " + aldevice::formatLevel(own.snapshot().truePeak) + " dBTP"),
                               testing::Contains(testing::StartsWith(
                                   "Loudness: momentary " + aldevice::formatLevel(own.snapshot().momentary) + " LUFS"))));
    device.destroyEffect(effect);
    device.uninitialize();
    EXPECT_DOUBLE_EQ(device.loudness().integrated, own.snapshot().integrated);  // kept for the end-of-run line

    testsupport::setEnvironment("ZULSOUND_LOUDNESS_METER", "off");
    device.initialize();
    device.render(out.data(), period);
    EXPECT_FALSE(device.loudness().metered);
    EXPECT_THAT(testsupport::infoOf(device), testing::Contains("Loudness: not measured (the meter is off)"));
    device.uninitialize();
    testsupport::setEnvironment("ZULSOUND_LOUDNESS_METER", nullptr);
}
