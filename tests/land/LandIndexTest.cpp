// The frame's index of continuous sources against the frame that visits
// every source: a long seeded session (the camera crossing a big board and
// leaving it, the clock running through two days with fades, cells changing
// their subtype near the camera, 3D emulation switched, sounds that end by
// themselves, the camera at NaN for a few frames, the map saved and read
// back while running) is played twice, once each way, and must give the
// same device calls in the same order, the same random draws and the same
// log lines.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "sound/effects/ProcessHearer.h"
#include "tests/land/LandFixture.h"

namespace {

// The randomizer of the session, keeping every value it hands out.
class RecordingRandomizer : public Randomizer {
public:
    float random() override {
        const float value = Randomizer::random();
        draws.push_back(value);
        return value;
    }
    std::vector<float> draws;
};

class Indexed : public LandInsonificator {
public:
    void visitAll(bool on) { visitEverySource = on; }
    bool emulated() { return isEmulated3d; }
};

// The test's own sequence (not the library's randomizer) for the map, the
// path and the cell changes.
struct Sequence {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
    float unit() { return static_cast<float>(next() % 10000) / 10000.0f; }
    template <typename T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[next() % N];
    }
};

// Sources of every kind over a board of width x height: small and large
// regions, continuous and random, every time window (all day, by day, across
// midnight, shorter than two fades, fractional), chance 0, a negative
// margin, and a region as large as the board.
std::string mapOf(int count, int width, int height, uint32_t seed) {
    Sequence random{seed};
    std::ostringstream text;
    text << "fade = 2.0;\n";
    const char* const sounds[] = {"surf", "gull", "birds", "crickets", "wind"};
    const float chances[] = {1.0f, 1.0f, 1.0f, 0.5f, 0.2f, 0.05f, 0.0f};
    const float windows[][2] = {{0, 0}, {6, 20}, {22, 6}, {8, 9}, {18, 23.5f}, {5, 12}};
    for (int k = 0; k < count; ++k) {
        const float(&window)[2] = random.pick(windows);
        const float x = (random.unit() - 0.5f) * static_cast<float>(width);
        const float y = (random.unit() - 0.5f) * static_cast<float>(height);
        text << "s" << k << " = { regionWidth = " << 0.5f + 3.0f * random.unit()
             << "; regionHeight = " << 0.5f + 3.0f * random.unit() << "; powerRadius = " << 1.0f + 2.0f * random.unit()
             << "; threshold = " << 0.3f + random.unit() << "; starter = " << 0.5f * random.unit()
             << "; probability = " << random.pick(chances) << "; soundName = \"" << random.pick(sounds)
             << "\"; x = " << x << "; y = " << y << "; z = " << random.unit() << "; beginHour = " << window[0]
             << "; endHour = " << window[1] << "; };\n";
    }
    text << "everywhere = { regionWidth = " << width << "; regionHeight = " << height
         << "; powerRadius = 1.0; threshold = 0.5; probability = 1.0; soundName = \"wind\"; beginHour = 7.0;"
            " endHour = 17.0; };\n"
         << "inward = { regionWidth = 3.0; regionHeight = 3.0; powerRadius = 1.0; threshold = -2.0;"
            " probability = 1.0; soundName = \"surf\"; };\n";
    return text.str();
}

struct Variant {
    const char* name;
    const char* tuning;
    int frames;
};

struct Session {
    std::vector<std::string> calls;  // device calls, effects numbered in order of appearance
    std::vector<float> draws;
    std::vector<std::string> lines;  // the insonificator's log
};

// The first place where two records differ, or "" when they are the same.
template <typename T>
std::string firstDifference(const std::vector<T>& reference, const std::vector<T>& indexed) {
    for (size_t k = 0; k < reference.size() && k < indexed.size(); ++k)
        if (!(reference[k] == indexed[k])) {
            std::ostringstream text;
            text << "at " << k << ": " << reference[k] << " (every source) against " << indexed[k] << " (index)";
            return text.str();
        }
    if (reference.size() != indexed.size())
        return "lengths " + std::to_string(reference.size()) + " (every source) against " +
               std::to_string(indexed.size()) + " (index)";
    return "";
}

struct LandIndex : landtest::LandTest, testing::WithParamInterface<Variant> {
    Session play(bool everySource) {
        const int width = 96, height = 64, frames = GetParam().frames;
        const double pi = 3.14159265358979;
        const float frame = 1.0f / 30.0f;
        tuning(GetParam().tuning);
        library.device->clearCalls();
        log.clear();
        RecordingRandomizer draws;
        theRandomizer = &draws;
        Session session;
        {
            sandbox::Host world(width, height, 7);
            world.setMinutesPerSecond(24.0);  // two days in 3,600 frames; fades minute by minute
            world.clock.setTimeOfDay(4, 30);
            Indexed land;
            land.visitAll(everySource);
            land.setRandomSeed(0.375f);
            land.load(blockOf(mapOf(600, width, height, 11)).get());
            land.initialize(&world.view, &world.board);
            land.start();
            Sequence random{5};
            const Landscape::Subtype kinds[] = {sandbox::Coast, sandbox::Forest, sandbox::Meadow, sandbox::Sea};
            Vector at;
            for (int k = 0; k < frames; ++k) {
                // A loop across the board and beyond its edge; every fifth
                // second the camera stands and only turns.
                const double t = k * 2.0 * pi / 1800.0;
                if ((k / 30) % 5 != 4)
                    at = Vector(static_cast<float>(0.6 * width * std::sin(t)), static_cast<float>(0.4 * height * std::sin(2 * t)),
                                1.0f);
                // A few frames nowhere: a NaN point is inside every region.
                if (k >= 3000 && k < 3004) at.x = std::numeric_limits<float>::quiet_NaN();
                world.camera.setPose(at, Vector(static_cast<float>(std::cos(t)), static_cast<float>(std::sin(t)), 0.0f),
                                     Vector(0, 0, 1));
                if (k % 20 == 10) {
                    // A cell near the camera (or off the board: nothing) changes.
                    const long column = std::lround(at.x + width * 0.5 - 0.5) + static_cast<long>(random.next() % 5) - 2;
                    const long row = std::lround(height * 0.5 - 0.5 - at.y) + static_cast<long>(random.next() % 5) - 2;
                    if (column >= 0 && column < width && row >= 0 && row < height)
                        world.board.setSubtype({static_cast<uint32_t>(column), static_cast<uint32_t>(row)}, random.pick(kinds));
                }
                if (k == 900) land.emulate3dsound(!land.emulated());
                if (k == 1200) library.device->setPlayStarts(false);  // sounds end as they start
                if (k == 1500) library.device->setPlayStarts(true);
                if (k == 2400) {
                    // Saved and read back while running: every source anew.
                    configmanager::ConfigManager saved;
                    land.save(&saved);
                    land.load(&saved);
                }
                world.runFrame(frame);
            }
            land.uninitialize();
        }
        theRandomizer = &randomizer;
        std::map<std::string, std::string> numbers;  // "effect#17" to "e1", "e2", ... by first appearance
        for (const testsupport::Call& call : library.device->calls()) {
            testsupport::Call renamed = call;
            if (renamed.object.rfind("effect#", 0) == 0) {
                auto found = numbers.find(renamed.object);
                if (found == numbers.end())
                    found = numbers.emplace(renamed.object, "e" + std::to_string(numbers.size() + 1)).first;
                renamed.object = found->second;
            }
            for (std::string& argument : renamed.args)
                if (numbers.count(argument)) argument = numbers[argument];
            session.calls.push_back(renamed.text());
        }
        session.draws = draws.draws;
        for (const debug::Record& record : log.onChannel("LandInsonificator")) session.lines.push_back(record.text);
        return session;
    }
};

TEST_P(LandIndex, GivesTheSameCallsDrawsAndLinesAsVisitingEverySource) {
    const Session reference = play(true);
    const Session indexed = play(false);
    auto count = [&](const std::string& operation) {
        size_t n = 0;
        for (const std::string& call : reference.calls)
            if (call.find("." + operation + "(") != std::string::npos) ++n;
        return n;
    };
    // The session exercises what the index must not miss.
    const size_t scale = static_cast<size_t>(GetParam().frames) / 300;
    EXPECT_GE(count("play"), 5 * scale);
    EXPECT_GE(count("stop"), 5 * scale);
    EXPECT_GE(count("setVolume"), 100 * scale);
    EXPECT_GE(count("setPosition"), 100 * scale);
    EXPECT_GE(reference.draws.size(), 300 * scale);

    EXPECT_EQ(firstDifference(reference.calls, indexed.calls), "");
    EXPECT_EQ(firstDifference(reference.draws, indexed.draws), "");
    EXPECT_EQ(firstDifference(reference.lines, indexed.lines), "");
}

INSTANTIATE_TEST_SUITE_P(
    Tunings, LandIndex,
    testing::Values(Variant{"Device3d", "randomSoundLimiter = 3.0; algorithm = 2.0; throwRadius = 0.6;\n", 3600},
                    Variant{"EmulatedAndAdapted",
                            "randomSoundLimiter = 6.0; adaptRandomSounds = true; algorithm = 5.0;"
                            " adaptDistance1 = 0.5; isEmulated3d = true;\n",
                            3600},
                    // Every moving frame writes a line per source: a short session.
                    Variant{"DebugLines", "randomSoundLimiter = 2.0; makeDebugOutput = true; algorithm = 1.0;\n", 300}),
    [](const testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

}  // namespace
