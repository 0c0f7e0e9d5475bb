// The content checker: the sample content is clean, and a copy of it with
// one problem of every kind planted lists each problem once, with its file
// and line, read from a directory and from a zip archive alike.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "interfaces/Resource.h"
#include "sandbox/check/ContentCheck.h"
#include "tests/support/ResourceTree.h"

namespace {

namespace fs = std::filesystem;
using zscheck::Problem;

std::vector<std::string> formatted(const std::vector<Problem>& problems) {
    std::vector<std::string> out;
    for (const Problem& p : problems) out.push_back(p.format());
    return out;
}

// Mounts content at "/" for one test.
struct Mount {
    explicit Mount(std::string path) : path(std::move(path)) { mounted = theResourceManager->mount(this->path); }
    ~Mount() {
        if (mounted) theResourceManager->unmount(path);
    }
    std::string path;
    bool mounted;
};

TEST(ContentCheck, SampleContentIsClean) {
    Mount content(ZULSOUND_CONTENT_DIR);
    ASSERT_TRUE(content.mounted);
    const auto problems = zscheck::checkContent();
    EXPECT_TRUE(problems.empty()) << testing::PrintToString(formatted(problems));
}

// The sample content with a problem of every kind the checker knows.
struct BrokenCopy {
    testsupport::ResourceTree tree{false};
    int effectsEnd = 0;  // lines of the sample "Effects.snd"

    BrokenCopy() {
        fs::copy(ZULSOUND_CONTENT_DIR, tree.root(), fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        std::string effects = testsupport::readWholeFile(tree.pathOf("/Configs/Sounds/Effects.snd"));
        if (!effects.empty() && effects.back() != '\n') effects += '\n';
        effectsEnd = static_cast<int>(std::count(effects.begin(), effects.end(), '\n'));
        tree.write("/Configs/Sounds/Effects.snd", effects +
                                                      "directory = 'planted/';\n"        // +1
                                                      "bell = 'again.wav';\n"            // +2 declared twice
                                                      "ghost = 'ghost.wav', 1.0, 1.0;\n" // +3 file missing
                                                      "broken = 'broken.wav';\n"         // +4 does not decode
                                                      "bad = 'x.wav', 1, 2.0;\n"         // +5 syntax error
                                                      "late = 'late.wav';\n"             // +6 never read
                                                      "# junk\n");                       // +7 invalid character
        tree.write("/Sounds/planted/broken.wav", "RIFF but not really a sound file");
        std::string ui = testsupport::readWholeFile(tree.pathOf("/Configs/Sounds/UI.cfg"));
        if (!ui.empty() && ui.back() != '\n') ui += '\n';
        uiEnd = static_cast<int>(std::count(ui.begin(), ui.end(), '\n'));
        tree.write("/Configs/Sounds/UI.cfg", ui +
                                                 "pause = { sound = \"nosuch\"; };\n"  // +1
                                                 "resume = { sound = \"late\"; };\n"   // +2
                                                 "empty = { };\n");                    // +3
        tree.write("/Configs/Sounds/DefaultSounds.cfg",
                   "birds_of_forest = {\n"
                   "  regionType = \"forest\"; regionWidth = 1.0; regionHeight = 1.0; powerRadius = 4.0;\n"
                   "  threshold = 1.0; starter = 1.0; probability = 1.0; auto = true; priority = 1.0;\n"
                   "  soundName = \"bell\"; z = 1.0; beginHour = 5.0; endHour = 21.0;\n"
                   "};\n"
                   "lava = {\n"                  // 6
                   "  regionType = \"lava\";\n"  // 7
                   "  powerRadius = -2.0;\n"     // 8
                   "  probability = -0.5;\n"     // 9
                   "  soundName = \"nothing\";\n"  // 10
                   "  beginHour = 3.0;\n"
                   "  endHour = 25.0;\n"  // 12
                   "};\n");
        tree.write("/Maps/islands/north.cfg",
                   "name = \"north\";\n"
                   "Sounds = {\n"
                   "  fade = -1.0;\n"  // 3
                   "  river = { regionType = \"coast\"; regionWidth = 2.0; regionHeight = 2.0; powerRadius = 5.0;\n"
                   "            soundName = \"bell\"; beginHour = 0.0; endHour = 24.0; };\n"
                   "  pond = { regionType = \"meadow\";\n"  // 6
                   "           regionRadius = 3.0;\n"      // 7
                   "           soundName = \"bell\"; };\n"
                   "};\n");
        tree.write("/Configs/Sounds/MusicSettings.cfg", "fadeStepNumber = 100;\nlouder = ;\n");
        tree.write("/Configs/Sounds/AdaptSettings.cfg", "algorithm = 9.0;\nenableUpdate = 1;\nthrowRadius = 2;\n");
    }
    int uiEnd = 0;
};

// file, line, a part of the text
using Expected = std::tuple<std::string, int, std::string>;

std::vector<Expected> expectedProblems(const BrokenCopy& copy) {
    const int e = copy.effectsEnd, u = copy.uiEnd;
    const std::string effects = "Configs/Sounds/Effects.snd", ui = "Configs/Sounds/UI.cfg",
                      defaults = "Configs/Sounds/DefaultSounds.cfg";
    return {
        {"Configs/Sounds/AdaptSettings.cfg", 1, "\"algorithm\" is 9, out of range (from 0 to 6)"},
        {"Configs/Sounds/AdaptSettings.cfg", 2, "\"enableUpdate\" should be true or false"},
        {defaults, 7, "'lava' is no landscape subtype"},
        {defaults, 8, "\"powerRadius\" is -2, out of range (0 or more)"},
        {defaults, 9, "\"probability\" is -0.5, out of range"},
        {defaults, 10, "effect 'nothing' is not declared in Effects.snd"},
        {defaults, 12, "\"endHour\" is 25, out of range (from 0 to 24)"},
        {effects, e + 2, "effect 'bell' declared again"},
        {effects, e + 3, "Sounds/planted/ghost.wav not found"},
        {effects, e + 4, "effect 'broken': sound file does not decode"},
        {effects, e + 5, "Syntax error in line " + std::to_string(e + 5) + ": the game reads no entry after it"},
        {effects, e + 7, "Invalid symbol at line " + std::to_string(e + 7)},
        {"Configs/Sounds/MusicSettings.cfg", 2, "at line 2"},
        {ui, u + 1, "effect 'nosuch' is not declared in Effects.snd"},
        {ui, u + 2, "effect 'late' is declared at line " + std::to_string(e + 6) + " of Effects.snd, after the syntax error"},
        {ui, u + 3, "menu sound 'empty' has no \"sound\""},
        {"Maps/islands/north.cfg", 3, "\"fade\" is -1, out of range"},
        {"Maps/islands/north.cfg", 7, "warning: sound 'pond': old region form \"regionRadius\""},
    };
}

// What the sample content itself gives (warnings only): the copy has them too.
std::vector<Problem> baseline() {
    Mount content(ZULSOUND_CONTENT_DIR);
    return zscheck::checkContent();
}

void expectEachOnce(const std::vector<Problem>& problems, std::vector<Expected> expected,
                    const std::vector<Problem>& base) {
    for (const Problem& p : base) expected.emplace_back(p.file, p.line, p.format());
    for (const auto& [file, line, text] : expected) {
        const auto matches = std::count_if(problems.begin(), problems.end(), [&](const Problem& p) {
            return p.file == file && p.line == line && p.format().find(text) != std::string::npos;
        });
        EXPECT_EQ(matches, 1) << file << ":" << line << ": " << text;
    }
    EXPECT_EQ(problems.size(), expected.size()) << testing::PrintToString(formatted(problems));
}

TEST(ContentCheck, ListsEveryPlantedProblemOnceFromADirectory) {
    BrokenCopy copy;
    const auto base = baseline();
    Mount content(copy.tree.root());
    ASSERT_TRUE(content.mounted);
    expectEachOnce(zscheck::checkContent(), expectedProblems(copy), base);
}

TEST(ContentCheck, ListsEveryPlantedProblemOnceFromAZip) {
    BrokenCopy copy;
    testsupport::TemporaryDirectory dir;
    copy.tree.packZip(dir.file("content.zip"));
    const auto base = baseline();
    Mount content(dir.file("content.zip"));
    ASSERT_TRUE(content.mounted);
    expectEachOnce(zscheck::checkContent(), expectedProblems(copy), base);
}

}  // namespace
