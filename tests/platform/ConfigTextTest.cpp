// The configuration text at the edges: round trips of every type and of the
// values hardest to write, the syntax the content files use, every malformed
// input with its message, and the writer's refusals.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstring>
#include <fstream>

#include "interfaces/Config.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"

using configmanager::Block;
using configmanager::ConfigManager;
using configmanager::LinkedName;
using configmanager::PropertyType;
using testing::HasSubstr;

namespace {

uint32_t bitsOf(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Compares two trees value for value, floats bit for bit (== would take
// -0.0 for 0.0).
void expectSameTree(Block& a, Block& b, const std::string& path = "") {
    const auto names = a.getPropertyNames();
    ASSERT_EQ(names, b.getPropertyNames()) << path;
    for (const LinkedName& name : names) {
        const std::string key = name.getString();
        PropertyType ta, tb;
        ASSERT_TRUE(a.getPropertyType(name, &ta));
        ASSERT_TRUE(b.getPropertyType(name, &tb));
        ASSERT_EQ(ta, tb) << path << key;
        Block *ca = nullptr, *cb = nullptr;
        float fa = 0, fb = 0;
        auto expectSame = [&](auto va) {
            auto vb = va;
            a.getProperty(key, &va), b.getProperty(key, &vb);
            EXPECT_EQ(va, vb) << path << key;
        };
        switch (ta) {
            case PropertyType::Float:
                a.getProperty(key, &fa), b.getProperty(key, &fb);
                EXPECT_EQ(bitsOf(fa), bitsOf(fb)) << path << key << ": " << fa << " vs " << fb;
                break;
            case PropertyType::Int: expectSame(0); break;
            case PropertyType::Bool: expectSame(false); break;
            case PropertyType::String: expectSame(std::string()); break;
            case PropertyType::Block:
                ASSERT_TRUE(a.getSinglePropertyAccess(name, &ca));
                ASSERT_TRUE(b.getSinglePropertyAccess(name, &cb));
                expectSameTree(*ca, *cb, path + key + ".");
                break;
        }
    }
}

std::string writeAndCheck(const ConfigManager& tree) {
    std::string text;
    EXPECT_TRUE(tree.writeText(&text));
    return text;
}

}  // namespace

TEST(ConfigText, EveryTypeAndTheHardestValuesSurviveTwoSaves) {
    ConfigManager tree;
    const float floats[] = {0.1f,    1e-30f,  3.4e38f, -0.0f,   0.0f,     FLT_MAX, -FLT_MAX,
                            FLT_MIN, 1.4e-45f, 1.0f,   -2.5f,   16777216.0f, 1e20f, 0.3333333f};
    for (size_t k = 0; k < sizeof floats / sizeof floats[0]; ++k)
        tree.setProperty("f" + std::to_string(k), &floats[k]);
    const int ints[] = {0, -1, INT_MAX, INT_MIN, 42};
    for (size_t k = 0; k < 5; ++k) tree.setProperty("i" + std::to_string(k), &ints[k]);
    const bool yes = true, no = false;
    tree.setProperty("yes", &yes);
    tree.setProperty("no", &no);
    const std::string strings[] = {"",
                                   "plain",
                                   "quote \" back \\ slash",
                                   "lines\nand\ttabs\r\f",
                                   std::string("zero\0byte", 9),
                                   "\x01\x1f\x7f controls",
                                   "caf\xc3\xa9 \xe2\x82\xac",  // UTF-8 as it is
                                   "latin \xe9 bytes \xff"};    // not UTF-8: escaped
    for (size_t k = 0; k < sizeof strings / sizeof strings[0]; ++k)
        tree.setProperty("s" + std::to_string(k), &strings[k]);
    // Names at the edge of the syntax, nested groups, an empty group.
    const std::string longest(ConfigManager::maxNameLength, 'n');
    Block* outer = new Block;
    Block* inner = new Block;
    inner->setProperty("x", &floats[0]);
    outer->addProperty(LinkedName("a-_*9Z"), inner);
    outer->addProperty(LinkedName("empty"), new Block);
    tree.addProperty(LinkedName("Z"), outer);
    tree.setProperty(longest, &yes);

    const std::string first = writeAndCheck(tree);
    ConfigManager read;
    ASSERT_TRUE(read.readText(first, "first"));
    expectSameTree(tree, read);
    EXPECT_EQ(writeAndCheck(read), first);  // a second save is byte-identical
    EXPECT_THAT(first, HasSubstr("f3 = -0.0;"));
    EXPECT_THAT(first, HasSubstr("f9 = 1.0;"));  // a float stays a float
    EXPECT_THAT(first, HasSubstr("\"latin \\xE9 bytes \\xFF\""));
    EXPECT_THAT(first, HasSubstr("\"caf\xc3\xa9 \xe2\x82\xac\""));
}

TEST(ConfigText, ReadsTheSyntaxOfTheContentFiles) {
    ConfigManager config;
    debug::Capture capture;
    ASSERT_TRUE(config.readText("# comment\n"
                                "a : 1, b = 0x1F; c = 5L\n"
                                "big = 3000000000; neg = -7;\n"
                                "e = .5; f = 1.; g = 1e3; h = -2.5E-1;\n"
                                "t = TRUE; u = false;\n"
                                "s = \"a\" /* between */ \"b\\x41\\q\";\n"
                                "list = ( 1, { x = 2; }, \"s\" ); arr = [ 1, 2 ];\n"
                                "group : { inner = { deep = 1; }; };  // trailing\n",
                                "content"));
    int i = 0;
    float f = 0;
    bool b = false;
    std::string s;
    EXPECT_TRUE(config.getProperty("a", &i) && i == 1);
    EXPECT_TRUE(config.getProperty("b", &i) && i == 31);
    EXPECT_TRUE(config.getProperty("c", &i) && i == 5);
    EXPECT_TRUE(config.getProperty("big", &f) && f == 3e9f);  // wider than an int: a float
    EXPECT_TRUE(config.getProperty("neg", &i) && i == -7);
    EXPECT_TRUE(config.getProperty("e", &f) && f == 0.5f);
    EXPECT_TRUE(config.getProperty("f", &f) && f == 1.0f);
    EXPECT_TRUE(config.getProperty("g", &f) && f == 1000.0f);
    EXPECT_TRUE(config.getProperty("h", &f) && f == -0.25f);
    EXPECT_TRUE(config.getProperty("t", &b) && b);
    EXPECT_TRUE(config.getProperty("u", &b) && !b);
    EXPECT_TRUE(config.getProperty("s", &s) && s == "abAq");
    EXPECT_TRUE(config.getProperty("group.inner.deep", &i) && i == 1);
    PropertyType type;
    EXPECT_FALSE(config.getPropertyType(LinkedName("list"), &type));
    std::vector<std::string> warnings;
    for (const auto& r : capture.records()) warnings.push_back(r.text);
    EXPECT_THAT(warnings, testing::ElementsAre("content: line 7: skipped list: lists and arrays are not supported",
                                               "content: line 7: skipped arr: lists and arrays are not supported"));
}

TEST(ConfigText, MalformedFilesAreRefusedWithFileLineAndReason) {
    const std::string megabyteName(1 << 20, 'm');
    const std::string deeperThan = "nested deeper than " + std::to_string(ConfigManager::maxDepth) + " levels";
    std::string deep = "a = ", deepLists = "a = ";
    for (int k = 0; k < 100000; ++k) deep += "{b=", deepLists += "(";
    deep += "1" + std::string(100000, '}') + ";";
    const struct {
        const char* what;
        std::string text;
        int line;
        const char* reason;
    } cases[] = {
        {"truncated", "ok = 1;\ngroup = {\n  x = 1;\n", 4, "the text ends inside a group"},
        {"truncated value", "ok = 1;\nx =", 2, "the text ends where a value was expected"},
        {"zero byte", std::string("ok = 1;\n\nb = 2;\0c = 3;", 22), 3, "a zero byte"},
        {"megabyte name", "ok = 1;\n" + megabyteName + " = 1;", 2, "a name is longer than 1024 bytes"},
        {"deep nesting", "ok = 1;\n" + deep, 2, deeperThan.c_str()},
        {"deep lists", deepLists, 1, deeperThan.c_str()},
        {"int out of range", "a = 1;\nb = 99999999999999999999;", 2, "the number 99999999999999999999 is out of range"},
        {"float out of range", "a = 1;\nb = 3.5e38;", 2, "the number 3.5e38 is out of range"},
        {"duplicate", "g = { a = 1;\n a = 2; };", 2, "duplicate name \"g.a\""},
        {"invalid UTF-8", "s = \"ok\";\n# caf\xe9\n", 2, "invalid UTF-8"},
        {"overlong UTF-8", "s = \"\xc0\xaf\";", 1, "invalid UTF-8"},
        {"open string", "s = \"abc;\nt = 1;", 1, "a string is not closed"},
        {"open comment", "a = 1; /* no end\n\n", 1, "a comment is not closed"},
        {"stray brace", "a = 1;\n}", 2, "unexpected '}'"},
        {"no equals", "a 1;", 1, "unexpected '1' after the name \"a\""},
        {"bad word", "a = maybe;", 1, "\"maybe\" is not a value"},
        {"bad escape", "a = \"\\xZ1\";", 1, "\\x must be followed by two hexadecimal digits"},
        {"open list", "a = ( 1, 2", 1, "the text ends inside a list"},
    };
    testsupport::ResourceTree resources;
    for (const auto& c : cases) {
        resources.write("/Configs/Sounds/Bad.cfg", c.text);
        ConfigManager config;
        const int keep = 5;
        config.setProperty("keep", &keep);
        const ConfigManager before(config);
        debug::Capture capture;
        EXPECT_FALSE(config.readFile("/Configs/Sounds/Bad.cfg")) << c.what;
        EXPECT_TRUE(config == before) << c.what;
        const auto records = capture.records();
        ASSERT_EQ(records.size(), 1u) << c.what;
        EXPECT_EQ(records[0].kind, debug::Kind::Error);
        EXPECT_THAT(records[0].text, HasSubstr("failed to read /Configs/Sounds/Bad.cfg at line " +
                                               std::to_string(c.line) + ": "))
            << c.what;
        EXPECT_THAT(records[0].text, HasSubstr(c.reason)) << c.what;
    }
}

TEST(ConfigText, WriterRefusesWhatCannotBeReadBackAndKeepsTheOldFile) {
    testsupport::TemporaryDirectory dir;
    const std::string file = dir.file("save.cfg");
    ConfigManager good;
    const int one = 1;
    good.setProperty("one", &one);
    ASSERT_TRUE(good.writePlainFile(file));
    const std::string goodText = testsupport::readWholeFile(file);

    ConfigManager infinite;
    const float inf = INFINITY, nan = NAN;
    infinite.setProperty("inf", &inf);
    ConfigManager notANumber;
    notANumber.setProperty("nan", &nan);
    ConfigManager tooLong;
    tooLong.setProperty(std::string(ConfigManager::maxNameLength + 1, 'n'), &one);
    const std::string deeperThan = "nested deeper than " + std::to_string(ConfigManager::maxDepth) + " levels";
    ConfigManager tooDeep;
    Block* level = &tooDeep;
    for (int k = 0; k <= ConfigManager::maxDepth; ++k) {
        Block* next = new Block;
        level->addProperty(LinkedName("d"), next);
        level = next;
    }
    const struct {
        const ConfigManager* tree;
        const char* reason;
    } cases[] = {{&infinite, "the value of \"inf\" is not a finite number"},
                 {&notANumber, "the value of \"nan\" is not a finite number"},
                 {&tooLong, "cannot be written"},
                 {&tooDeep, deeperThan.c_str()}};
    for (const auto& c : cases) {
        debug::Capture capture;
        EXPECT_FALSE(c.tree->writePlainFile(file)) << c.reason;
        ASSERT_FALSE(capture.records().empty());
        EXPECT_THAT(capture.records().front().text, HasSubstr(c.reason));
        EXPECT_EQ(testsupport::readWholeFile(file), goodText) << c.reason;
        EXPECT_FALSE(std::ifstream(file + ".tmp").good());
    }
    // A directory where the file should go: the temporary is cleaned away.
    debug::Capture capture;
    EXPECT_FALSE(good.writePlainFile(dir.path()));
    EXPECT_FALSE(std::ifstream(dir.path() + ".tmp").good());
    ASSERT_FALSE(capture.records().empty());
    EXPECT_THAT(capture.records().front().text, HasSubstr("cannot replace it"));
}

TEST(ConfigText, AMapOfTwentyThousandSourcesRoundTrips) {
    // Built through the public operations, as the landscape writes its save.
    ConfigManager map;
    constexpr int sources = 20000;
    for (int k = 0; k < sources; ++k) {
        Block* source = new Block;
        for (int p = 0; p < 14; ++p) {
            const float value = static_cast<float>(k) * 0.1f + static_cast<float>(p);
            source->setProperty("p" + std::to_string(p), &value);
        }
        map.addProperty(LinkedName("source_" + std::to_string(k)), source);
    }
    const std::string first = writeAndCheck(map);
    ConfigManager read;
    ASSERT_TRUE(read.readText(first, "map"));
    EXPECT_EQ(writeAndCheck(read), first);
    const auto children = read.getChildBlocks();
    ASSERT_EQ(children.size(), static_cast<size_t>(sources));
    EXPECT_EQ(children[12345].first.getString(), "source_12345");
    for (int k = 0; k < sources; k += 997) {  // looked up by name
        Block* source = nullptr;
        float value = -1;
        ASSERT_TRUE(read.getSinglePropertyAccess(LinkedName("source_" + std::to_string(k)), &source));
        ASSERT_TRUE(source->getProperty("p13", &value));
        EXPECT_EQ(bitsOf(value), bitsOf(static_cast<float>(k) * 0.1f + 13.0f));
    }
    ASSERT_TRUE(read.removeProperty(LinkedName("source_7")));
    EXPECT_FALSE(read.getSinglePropertyAccess(LinkedName("source_7"), nullptr));
    Block* gone = nullptr;
    EXPECT_FALSE(read.getSinglePropertyAccess(LinkedName("source_7"), &gone));
    EXPECT_EQ(read.getPropertyCount(), static_cast<size_t>(sources - 1));
}
