// The whole library in one run: zsdemo renders a short session twice; the
// files are the same bit for bit, there is sound where the music plays and
// silence while paused and while the window has lost the focus, the load
// brings back the saved landscape sources (changed on the board since) and
// the saved music, and the program exits 0 with every thread ended and the
// WAV finished.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>

#include "tests/support/ResourceTree.h"

namespace {

struct Wav {
    uint32_t rate = 0;
    std::string data;  // 16-bit stereo
    // Root mean square of both channels over [from, to) seconds.
    double rms(double from, double to) const {
        const size_t a = static_cast<size_t>(from * rate), b = static_cast<size_t>(to * rate);
        double sum = 0;
        size_t n = 0;
        for (size_t f = a; f < b && (f + 1) * 4 <= data.size(); ++f)
            for (int c = 0; c < 2; ++c) {
                const auto lo = static_cast<unsigned char>(data[f * 4 + c * 2]);
                const auto hi = static_cast<unsigned char>(data[f * 4 + c * 2 + 1]);
                const double v = static_cast<int16_t>(lo | (hi << 8)) / 32768.0;
                sum += v * v;
                ++n;
            }
        return n ? std::sqrt(sum / n) : 0.0;
    }
};

Wav readWav(const std::string& path) {
    const std::string bytes = testsupport::readWholeFile(path);
    Wav wav;
    if (bytes.size() < 44) return wav;
    wav.rate = static_cast<unsigned char>(bytes[24]) | static_cast<unsigned char>(bytes[25]) << 8 |
               static_cast<unsigned char>(bytes[26]) << 16;
    wav.data = bytes.substr(44);
    return wav;
}

// What the demo logs after "prefix": "312 landscape sources (#9fc4e3b0), music theme".
std::string stateAfter(const std::string& log, const std::string& prefix) {
    std::smatch match;
    const std::regex line("  " + prefix + " ([^\n]*)");
    return std::regex_search(log, match, line) ? match[1].str() : std::string("(missing)");
}

int renderSession(const testsupport::TemporaryDirectory& dir, const std::string& name,
                  const std::string& script = ZSDEMO_SCRIPT) {
    const std::string command = std::string(ZSDEMO_PROGRAM) + " --no-progress --content " + ZULSOUND_CONTENT_DIR +
                                " --script " + script + " --seed 7 --save-dir " + dir.path() + " --render " +
                                dir.file(name) + " > " + dir.file(name + ".log") + " 2>&1";
    return std::system(command.c_str());
}

TEST(SessionRender, ReproducibleWithSoundSilenceAndTheLoadedMusic) {
    testsupport::TemporaryDirectory dir;
    ASSERT_EQ(renderSession(dir, "first.wav"), 0) << testsupport::readWholeFile(dir.file("first.wav.log"));
    ASSERT_EQ(renderSession(dir, "second.wav"), 0) << testsupport::readWholeFile(dir.file("second.wav.log"));
    const std::string first = testsupport::readWholeFile(dir.file("first.wav"));
    EXPECT_TRUE(first == testsupport::readWholeFile(dir.file("second.wav")));

    const Wav wav = readWav(dir.file("first.wav"));
    ASSERT_GT(wav.rate, 0u);
    EXPECT_NEAR(wav.data.size() / 4.0 / wav.rate, 10.0, 0.05);
    EXPECT_GT(wav.rms(1.5, 2.9), 0.01) << "the music plays";
    EXPECT_LT(wav.rms(3.1, 3.9), 1e-4) << "paused";
    EXPECT_LT(wav.rms(4.6, 5.4), 1e-4) << "focus lost";
    EXPECT_LT(wav.rms(7.2, 7.45), 0.2 * wav.rms(1.5, 2.9)) << "the music fades out by 7.5 s";
    EXPECT_GT(wav.rms(9.0, 9.9), 0.01) << "the saved music is back after the load";

    const std::string log = testsupport::readWholeFile(dir.file("first.wav.log"));
    const std::string saved = stateAfter(log, "saved");
    EXPECT_NE(saved.find("music theme"), std::string::npos) << saved;
    EXPECT_NE(stateAfter(log, "before the load"), saved) << "the board changed after the save";
    EXPECT_EQ(stateAfter(log, "loaded"), saved);
    std::smatch threads;
    ASSERT_TRUE(std::regex_search(log, threads, std::regex("threads at exit: ([0-9]+), at start: ([0-9]+)"))) << log;
    EXPECT_EQ(threads[1].str(), threads[2].str()) << "every thread the library started has ended";
}

}  // namespace

namespace {

// The music worker's fades (100 steps of 20 ms in the sample settings) run
// on the mix's clock: the music rises over the first two seconds, holds, and
// falls over the two seconds after the stop; the file is the same each time.
TEST(SessionRender, TheLibrarysOwnMusicFadesAreHeard) {
    testsupport::TemporaryDirectory dir;
    ASSERT_EQ(renderSession(dir, "first.wav", ZSDEMO_FADES), 0) << testsupport::readWholeFile(dir.file("first.wav.log"));
    ASSERT_EQ(renderSession(dir, "second.wav", ZSDEMO_FADES), 0) << testsupport::readWholeFile(dir.file("second.wav.log"));
    EXPECT_TRUE(testsupport::readWholeFile(dir.file("first.wav")) == testsupport::readWholeFile(dir.file("second.wav")));

    const Wav wav = readWav(dir.file("first.wav"));
    ASSERT_GT(wav.rate, 0u);
    const double full = wav.rms(2.0, 3.0);
    EXPECT_GT(full, 0.01) << "the music plays";
    EXPECT_LT(wav.rms(0.0, 0.6), wav.rms(0.6, 1.3)) << "fading in";
    EXPECT_LT(wav.rms(0.6, 1.3), wav.rms(1.3, 2.0)) << "fading in";
    EXPECT_LT(wav.rms(0.0, 0.5), 0.3 * full) << "the fade starts low";
    EXPECT_GT(wav.rms(3.0, 3.7), wav.rms(3.7, 4.4)) << "fading out";
    EXPECT_GT(wav.rms(3.7, 4.4), wav.rms(4.4, 5.0)) << "fading out";
    EXPECT_LT(wav.rms(4.5, 5.0), 0.3 * full) << "the fade ends low";
    // The real settings: the rendering's own music settings (and their
    // warning) are gone.
    EXPECT_EQ(testsupport::readWholeFile(dir.file("first.wav.log")).find("sleepMilliseconds"), std::string::npos);
}

}  // namespace
