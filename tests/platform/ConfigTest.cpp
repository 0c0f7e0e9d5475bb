#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include "interfaces/Config.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"

using configmanager::Block;
using configmanager::ConfigManager;
using configmanager::LinkedName;
using testing::HasSubstr;

namespace {

// A saved game as the library writes one: music id, landscape fade, one child
// block per landscape source, nested one level deeper for a path name.
void fillSave(Block& save) {
    const int bgm = 3;
    const float fade = 0.75f;
    const bool flag = true;
    const std::string text = "forest 'quoted' \"double\" \\ back";
    save.setProperty("bgmID", &bgm);
    save.setProperty("fade", &fade);
    for (const char* name : {"river", "birds", "wind_2"}) {
        Block* source = new Block;
        const float x = 1.5f, negative = -2.0f;
        source->setProperty("x", &x);
        source->setProperty("y", &negative);
        source->setProperty("auto", &flag);
        source->setProperty("soundName", &text);
        save.addProperty(LinkedName(name), source);
    }
    Block deeper;
    const int level = 2;
    deeper.setProperty("level", &level);
    Block* river = nullptr;
    ASSERT_TRUE(save.getPropertyAccess("river", &river));
    river->setProperty("inner", &deeper);
}

std::vector<std::string> names(Block& block) {
    std::vector<std::string> result;
    for (const auto& name : block.getPropertyNames()) result.push_back(name.getString());
    return result;
}

}  // namespace

TEST(Config, SaveRoundTripKeepsTreeTypesAndOrder) {
    testsupport::TemporaryDirectory dir;
    ConfigManager save;
    fillSave(save);
    ASSERT_TRUE(save.writePlainFile(dir.file("save.cfg")));

    ConfigManager loaded;
    ASSERT_TRUE(loaded.readPlainFile(dir.file("save.cfg")));
    EXPECT_TRUE(loaded == save) << testsupport::readWholeFile(dir.file("save.cfg"));
    EXPECT_THAT(names(loaded), testing::ElementsAre("bgmID", "fade", "river", "birds", "wind_2"));

    // Change, write again, read back.
    Block* birds = nullptr;
    ASSERT_TRUE(loaded.getPropertyAccess("birds", &birds));
    const float z = 4.0f;
    birds->setProperty("z", &z);
    ASSERT_TRUE(loaded.removeProperty(LinkedName("wind_2")));
    ASSERT_TRUE(loaded.writePlainFile(dir.file("save.cfg")));
    ConfigManager again;
    ASSERT_TRUE(again.readPlainFile(dir.file("save.cfg")));
    EXPECT_TRUE(again == loaded);

    float value = 0;
    int level = 0;
    std::string sound;
    EXPECT_TRUE(again.getProperty("birds.z", &value));
    EXPECT_EQ(value, 4.0f);
    EXPECT_TRUE(again.getProperty("river.inner.level", &level));
    EXPECT_EQ(level, 2);
    EXPECT_TRUE(again.getProperty("river.soundName", &sound));
    EXPECT_EQ(sound, "forest 'quoted' \"double\" \\ back");
    std::vector<std::string> children;
    for (auto& child : again.getChildBlocks()) children.push_back(child.first.getString());
    EXPECT_THAT(children, testing::ElementsAre("river", "birds"));
}

TEST(Config, LookupsKeepTheDefaultUnlessTheTypeMatches) {
    ConfigManager config;
    ASSERT_TRUE(config.readText("fade = 1; volume = 0.5; name = \"x\"; on = true; group = { a = 1; };", "text"));
    float fade = 9.0f, volume = 9.0f, missing = 9.0f, fromText = 9.0f;
    EXPECT_TRUE(config.getProperty("fade", &fade));  // an integer literal is a float too
    EXPECT_EQ(fade, 1.0f);
    EXPECT_TRUE(config.getProperty("volume", &volume));
    EXPECT_EQ(volume, 0.5f);
    EXPECT_FALSE(config.getProperty("missing", &missing));
    EXPECT_EQ(missing, 9.0f);
    EXPECT_FALSE(config.getProperty("name", &fromText));
    EXPECT_EQ(fromText, 9.0f);
    int asInt = 7;
    EXPECT_FALSE(config.getProperty("volume", &asInt));  // a float is not an int
    EXPECT_EQ(asInt, 7);
    bool on = false;
    EXPECT_FALSE(config.getProperty("fade", &on));
    EXPECT_TRUE(config.getProperty("on", &on));
    EXPECT_TRUE(on);
    Block* group = nullptr;
    EXPECT_FALSE(config.getPropertyAccess("fade", &group));
    EXPECT_FALSE(config.getPropertyAccess("nothing.a", &group));
    EXPECT_TRUE(config.getSinglePropertyAccess(LinkedName("group"), &group));
    EXPECT_FALSE(config.setProperty("nothing.a", &volume));  // parents must exist
}

TEST(Config, ReadsResourcesAndRefusesBadFilesWithoutTouchingTheBlock) {
    testsupport::ResourceTree tree;
    tree.write("/Configs/Sounds/UI.cfg", "click = { sound = \"menu_click\"; };\nback = { sound = \"menu_back\"; };\n");
    tree.write("/Configs/Sounds/Broken.cfg", "good = 1;\nbad = { x = 1;\n");
    tree.write("/Configs/Sounds/Nul.cfg", std::string("a = 1;\0b = 2;", 13));

    ConfigManager ui;
    ASSERT_TRUE(ui.readFile("/Configs/Sounds/UI.cfg"));
    std::string sound;
    EXPECT_TRUE(ui.getProperty("back.sound", &sound));
    EXPECT_EQ(sound, "menu_back");

    const ConfigManager before(ui);
    debug::Capture capture;
    EXPECT_FALSE(ui.readFile("/Configs/Sounds/Broken.cfg"));
    EXPECT_TRUE(ui == before);
    const auto records = capture.records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back().kind, debug::Kind::Error);
    EXPECT_THAT(records.back().text, HasSubstr("/Configs/Sounds/Broken.cfg"));
    EXPECT_THAT(records.back().text, HasSubstr("line 3"));
    EXPECT_THAT(records.back().text, HasSubstr("syntax error"));

    EXPECT_FALSE(ui.readFile("/Configs/Sounds/Missing.cfg"));
    EXPECT_FALSE(ui.readFile("/Configs/Sounds/Nul.cfg"));
    EXPECT_FALSE(ui.readFile("/Configs/Sounds"));  // a directory
    EXPECT_TRUE(ui == before);

    testsupport::TemporaryDirectory dir;
    EXPECT_FALSE(ui.readPlainFile(dir.file("missing.cfg")));
    EXPECT_TRUE(ui == before);
}

TEST(Config, UnwritableNamesAreRefusedAndNoFileIsWritten) {
    testsupport::TemporaryDirectory dir;
    for (const std::string bad : {"1st", "with space", "dot.ted", "_under", ""}) {
        ConfigManager save;
        Block* child = new Block;
        const int one = 1;
        child->setProperty("fine", &one);
        save.addProperty(LinkedName("outer"), child);
        // A bad name deep in the tree: addressed by LinkedName, not by path.
        Block* inner = new Block;
        child->addProperty(LinkedName(bad), inner);

        debug::Capture capture;
        const std::string file = dir.file("save.cfg");
        EXPECT_FALSE(save.writePlainFile(file)) << bad;
        EXPECT_FALSE(std::ifstream(file).good()) << bad;
        EXPECT_FALSE(std::ifstream(file + ".tmp").good()) << bad;
        ASSERT_FALSE(capture.records().empty());
        EXPECT_THAT(capture.records().front().text, HasSubstr("\"outer." + bad + "\" cannot be written"));
    }
    ConfigManager good;
    const float v = 1.0f;
    good.setProperty("ok-name_2*", &v);
    EXPECT_TRUE(good.writePlainFile(dir.file("good.cfg")));
}

TEST(Config, OneBlockUsedFromTwoThreads) {
    ConfigManager shared;
    constexpr int each = 2000;
    auto writer = [&shared](const std::string& prefix) {
        for (int k = 0; k < each; ++k) {
            Block* child = new Block;
            child->setProperty("k", &k);
            std::lock_guard<Block> guard(shared);  // a store and its lookup as one
            shared.addProperty(LinkedName(prefix + std::to_string(k % 50)), child);
            Block* back = nullptr;
            int value = -1;
            ASSERT_TRUE(shared.getSinglePropertyAccess(LinkedName(prefix + std::to_string(k % 50)), &back));
            ASSERT_TRUE(back->getProperty("k", &value));
            ASSERT_EQ(value, k);
        }
    };
    std::thread a(writer, "a"), b(writer, "b");
    a.join();
    b.join();
    EXPECT_EQ(shared.getPropertyCount(), 100u);
    std::string text;
    EXPECT_TRUE(shared.writeText(&text));
}

// a == b on one thread and b == a on another take the two blocks' locks (and
// their children's) in one order: no deadlock, and no lock-order inversion
// for ThreadSanitizer to report.
TEST(Config, ComparingTwoBlocksBothWaysFromTwoThreads) {
    Block a, b;
    fillSave(a);
    fillSave(b);
    ASSERT_TRUE(a == b);
    constexpr int each = 2000;
    int equalAB = 0, equalBA = 0;
    std::thread one([&] {
        for (int k = 0; k < each; ++k) equalAB += a == b;
    });
    std::thread other([&] {
        for (int k = 0; k < each; ++k) equalBA += b == a;
    });
    one.join();
    other.join();
    EXPECT_EQ(equalAB, each);
    EXPECT_EQ(equalBA, each);
}
