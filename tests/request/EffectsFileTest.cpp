// Reading "Effects.snd": tokens, grammar, messages with their line numbers,
// defaults and the directory prefix across reads, duplicate names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <limits>

#include "sound/request/EffectsFile.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"

using debug::Kind;
using testing::ElementsAre;
using testsupport::logged;

namespace {

struct EffectsFileTest : testing::Test {
    EffectsFile::Records records;
    debug::Capture log;

    void SetUp() override { EffectsFile::restoreBuiltInDefaults(); }
    void TearDown() override {
        clear();
        EffectsFile::restoreBuiltInDefaults();
    }
    void clear() {
        for (auto& r : records) delete r.second;
        records.clear();
    }
    void read(const std::string& text) {
        EffectsFile::resetDirectoryPrefix();
        EffectsFile::setTarget(&records);
        EffectsFile::parse(text);
        EffectsFile::setTarget(nullptr);
    }
    std::vector<std::string> names() {
        std::vector<std::string> result;
        for (auto& r : records) result.push_back(r.first);
        return result;
    }
    const EffectConfig& at(const std::string& name) { return *records.at(name); }
    std::vector<debug::Record> syntaxError(int line) {
        return {logged("SoundManager", Kind::Error, 0.0f, "YYERROR: parse error at line " + std::to_string(line)),
                logged("SoundManager", Kind::Error, 0.0f, "Syntax error in line " + std::to_string(line))};
    }
};

}  // namespace

TEST_F(EffectsFileTest, TokensKeywordsAndNumbers) {
    read("// a comment line\n"
         "shot = 'weapons/shot.wav', 0.5, 12., memory, true, headrelative, 7;\n"
         "/* a block\n comment */ wind='wind\n.ogg',.25,.,disk,false,disable,0;\n"
         "Memory = 'capital.wav'; memoryx = 'suffix.wav'; true_2 = 'x.wav';\r\n"
         "b9 = 'b.wav', 1.0, 2.0, memory, false, normal, 99999999999;");
    EXPECT_TRUE(log.records().empty());
    EXPECT_THAT(names(), ElementsAre("Memory", "b9", "memoryx", "shot", "true_2", "wind"));  // byte-wise order
    const EffectConfig& shot = at("shot");
    EXPECT_EQ(shot.fileName, "weapons/shot.wav");
    EXPECT_EQ(shot.volume, 0.5f);
    EXPECT_EQ(shot.radius, 12.0f);
    EXPECT_EQ(shot.storage, "memory");
    EXPECT_TRUE(shot.looped);
    EXPECT_EQ(shot.mode, "headrelative");
    EXPECT_EQ(shot.spareNumber, 7);
    EXPECT_EQ(at("wind").fileName, "wind\n.ogg");  // quoted text keeps its newline
    EXPECT_EQ(at("wind").volume, 0.25f);
    EXPECT_EQ(at("wind").radius, 0.0f);  // "." alone
    EXPECT_EQ(at("wind").mode, "disable");
    EXPECT_EQ(at("b9").spareNumber, 2147483647);  // too large: the largest value
}

TEST_F(EffectsFileTest, ErrorsStopTheReadAndKeepWhatCameBefore) {
    const std::string invalid = "Invalid symbol at line ", parse = "YYERROR: parse error at line ",
                      syntax = "Syntax error in line ";
    struct Case {
        std::string text;
        std::vector<std::string> names;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases{
        // Grammar: an integer where a float is expected, a point where an
        // integer is, characters never allowed, keywords out of place, an
        // entry cut short by the end, and files with no entry at all.
        {"a = 'a.wav';\n\nb = 'b.wav', 1, 2.0;\nc = 'c.wav';\n", {"a"}, {parse + "3", syntax + "3"}},
        {"x = 'x.wav', 1.0, 2.0, disk, false, normal, 3.0;", {}, {parse + "1", syntax + "1"}},
        {"{ x = 'x.wav'; }", {}, {parse + "1", syntax + "1"}},
        {"a = 'a.wav';\nb : 'b.wav';", {"a"}, {parse + "2", syntax + "2"}},
        {"a = 'a.wav' * 2;", {}, {parse + "1", syntax + "1"}},
        {"memory = 'm.wav';", {}, {parse + "1", syntax + "1"}},
        {"a = 'a.wav', 1.0, 1.0, normal, true, memory, 0;", {}, {parse + "1", syntax + "1"}},
        {"directory = 'd/', 1.0;", {}, {parse + "1", syntax + "1"}},
        {"a = 'a.wav';\n\nb = 'b.wav'\n", {"a"}, {parse + "4", syntax + "4"}},
        {"", {}, {parse + "1", syntax + "1"}},
        {"// only\n/* comments */\n", {}, {parse + "3", syntax + "3"}},
        // Line numbers: quoted text across lines does not advance them, a
        // block comment does.
        {"a = 'one\ntwo\nthree';\nb = 1.0;", {"a"}, {parse + "2", syntax + "2"}},
        {"/* one\ntwo\nthree */\nbad = 1;\n", {}, {parse + "4", syntax + "4"}},
        // Invalid characters end the input; inside an entry the parser's two
        // messages follow.
        {"a = 'a.wav';\n# note\nb = 'b.wav';\n", {"a"}, {invalid + "2"}},
        {"a = 'a.wav';\nb = -1.0;\n", {"a"}, {invalid + "2", parse + "2", syntax + "2"}},
        {"_a = 'a.wav';", {}, {invalid + "1", parse + "1", syntax + "1"}},
        {"a = \"a.wav\";", {}, {invalid + "1", parse + "1", syntax + "1"}},
        {"a = 'a.wav';\n\xff\xfe", {"a"}, {invalid + "2"}},
        // A block comment holding '(' or '*', or never closed, is no
        // comment: its first '/' is invalid, at the line where it starts.
        {"a = 'a.wav';\n/* see (below)\n */\nb = 'b.wav';\n", {"a"}, {invalid + "2"}},
        {"/* 2 * 3 */ a = 'a.wav';", {}, {invalid + "1", parse + "1", syntax + "1"}},
        {"a = 'a.wav';\n/* open\n\nb = 'b.wav';\n", {"a"}, {invalid + "2"}},
        // So is an unterminated quote.
        {"a = 'a.wav';\nb = 'b.wav", {"a"}, {invalid + "2", parse + "2", syntax + "2"}},
    };
    for (const Case& c : cases) {
        clear();
        log.clear();
        read(c.text);
        EXPECT_EQ(names(), c.names) << c.text;
        std::vector<debug::Record> expected;
        for (const std::string& m : c.messages) expected.push_back(logged("SoundManager", Kind::Error, 0.0f, m));
        EXPECT_EQ(log.records(), expected) << c.text;
    }
}

TEST_F(EffectsFileTest, EveryReadStartsAtItsOwnFirstCharacter) {
    read("a = 'a.wav';\nb = 'b.wav' # rest\n");
    log.clear();
    read("ok = 'ok.wav';\n");  // nothing of the stopped read carries over
    EXPECT_THAT(names(), ElementsAre("a", "ok"));
    EXPECT_TRUE(log.records().empty());

    // A zero byte ends the text like the end of the file.
    read(std::string("z = 'z.wav';\0garbage = ", 22));
    EXPECT_THAT(names(), ElementsAre("a", "ok", "z"));
    EXPECT_TRUE(log.records().empty());
}

TEST_F(EffectsFileTest, DefaultsAndTheDirectoryPrefixAcrossReads) {
    read("early = 'early.wav';\n"
         "directory = 'sfx/';\n"
         "vr = 'vr.wav', 0.3, 4.0;\n"
         "default = 0.7, 9.0, memory, true, disable, 5;\n"
         "directory = 'ui/';\n"
         "late = 'late.wav';\n"
         "late2 = 'late2.wav', 0.1, 0.2;\n");
    const EffectConfig& early = at("early");
    EXPECT_EQ(early.volume, 0.0f);
    EXPECT_EQ(early.radius, 0.0f);
    EXPECT_EQ(early.storage, "");
    EXPECT_FALSE(early.looped);
    EXPECT_EQ(early.mode, "");
    EXPECT_EQ(at("vr").fileName, "sfx/vr.wav");
    EXPECT_EQ(at("vr").storage, "");
    EXPECT_EQ(at("late").fileName, "ui/late.wav");  // replaced, not appended
    EXPECT_EQ(at("late").volume, 0.7f);
    EXPECT_EQ(at("late").mode, "disable");
    EXPECT_EQ(at("late").spareNumber, 5);
    EXPECT_EQ(at("late2").volume, 0.1f);
    EXPECT_EQ(at("late2").storage, "memory");
    EXPECT_TRUE(at("late2").looped);

    // The next read: defaults still in force, the prefix empty again.
    clear();
    read("again = 'again.wav';\n");
    EXPECT_EQ(at("again").fileName, "again.wav");
    EXPECT_EQ(at("again").radius, 9.0f);
    EXPECT_EQ(EffectsFile::getDefaults().storage, "memory");
}

TEST_F(EffectsFileTest, TheFirstRecordOfANameWins) {
    read("dup = 'first.wav', 0.1, 0.2;\ndup = 'second.wav', 0.3, 0.4;\n");
    EXPECT_EQ(records.size(), 1u);
    EXPECT_EQ(at("dup").fileName, "first.wav");
    // A name already in the map (an earlier read that was not dropped) wins too.
    read("dup = 'third.wav';\nnew = 'new.wav';\n");
    EXPECT_EQ(at("dup").fileName, "first.wav");
    EXPECT_EQ(records.size(), 2u);
}

TEST_F(EffectsFileTest, OverlongTokensAreRefusedNotClipped) {
    const std::string longest(2047, 'a');
    read("ok = '" + longest + "';\n" + longest + " = 'name.wav';\n");
    EXPECT_EQ(at("ok").fileName, longest);
    EXPECT_EQ(records.count(longest), 1u);
    EXPECT_TRUE(log.records().empty());

    clear();
    read("before = 'b.wav';\nx = '" + longest + "b';\nafter = 'a.wav';\n");
    EXPECT_THAT(names(), ElementsAre("before"));
    auto expected = std::vector<debug::Record>{
        logged("SoundManager", Kind::Error, 0.0f, "Token longer than 2047 characters at line 2")};
    for (auto& r : syntaxError(2)) expected.push_back(r);
    EXPECT_EQ(log.records(), expected);
}

TEST_F(EffectsFileTest, TheFileIsReadThroughTheResources) {
    testsupport::ResourceTree tree;
    EffectsFile::setTarget(&records);
    EffectsFile::read("Effects.snd");  // missing: nothing, silently
    EXPECT_TRUE(records.empty());
    EXPECT_TRUE(log.onChannel("SoundManager").empty());
    tree.write("/Configs/Sounds/Effects.snd", "click = 'click.wav';\n");
    EffectsFile::read("Effects.snd");
    EffectsFile::setTarget(nullptr);
    EXPECT_THAT(names(), ElementsAre("click"));
}

TEST_F(EffectsFileTest, NumbersBeyondTheirRange) {
    read("big = 'b.wav', " + std::string(60, '9') + ".5, ." + std::string(80, '0') + "1;\n"
         "spare = 'n.wav', 1.0, 1.0, disk, false, normal, 2147483647;\n");
    EXPECT_EQ(at("big").volume, std::numeric_limits<float>::infinity());  // not a silent zero
    EXPECT_EQ(at("big").radius, 0.0f);
    EXPECT_EQ(at("spare").spareNumber, 2147483647);
    EXPECT_TRUE(log.records().empty());
}

// The scanner's own fatal errors: the text and a newline on standard error,
// exit status 2. Reached here by misusing the scanner directly, as no file
// content can reach one.
typedef void* yyscan_t;
int effectslex_init(yyscan_t* scanner);
void effectsset_lineno(int line, yyscan_t scanner);

TEST(EffectsScanerDeathTest, FatalErrorsPrintTheirTextAndExitWithStatusTwo) {
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(
        {
            yyscan_t scanner = nullptr;
            effectslex_init(&scanner);
            effectsset_lineno(5, scanner);  // no buffer yet
        },
        testing::ExitedWithCode(2), "^yyset_lineno called with no buffer\n$");
}
