// The life cycle row by row, load on each state, the save and load round
// trip through a written file, re-reading a map file, and the tuning file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "tests/land/LandFixture.h"

namespace {

const char* const twoSources =
    "fade = 2.0;\n"
    "river = { regionType = \"meadow\"; regionWidth = 2.0; regionHeight = 6.0; powerRadius = 3.0; threshold = 1.0;\n"
    "  probability = 1.0; soundName = \"surf\"; x = 0.5; };\n"
    "owl = { regionType = \"forest\"; powerRadius = 2.0; threshold = 1.0; probability = 0.2; soundName = \"birds\"; };\n";

enum class State { Idle, Ready, Running };

struct LifeCycle : landtest::LandTest {
    State stateOf(Probe& land) {
        if (!land.getIsInitialized()) return land.getIsStarted() ? State::Running : State::Idle;
        return land.getIsStarted() ? State::Running : State::Ready;
    }
    void bring(Probe& land, State state) {
        land.load(blockOf(twoSources).get());
        if (state != State::Idle) land.initialize(&host.view, &host.board);
        if (state == State::Running) land.start();
        log.clear();
    }
    size_t liveEffects() { return devices("surf.ogg") + devices("birds.ogg"); }
};

const char* name(State s) { return s == State::Idle ? "Idle" : s == State::Ready ? "Ready" : "Running"; }

}  // namespace

TEST_F(LifeCycle, EachOperationInEachStateEndsAsTheTableSays) {
    sandbox::FrameView otherView;
    sandbox::Board otherBoard(4, 4);
    struct Row {
        State from;
        const char* operation;
        std::function<void(Probe&)> call;
        State to;
        std::vector<std::string> errors;
        size_t effects;  // live device effects afterwards
        bool registered;
    };
    const std::vector<Row> rows = {
        {State::Idle, "start", [](Probe& l) { l.start(); }, State::Idle, {"failed to start: not initialized"}, 0, false},
        {State::Idle, "uninitialize", [](Probe& l) { l.uninitialize(); }, State::Idle,
         {"failed to uninitialize: already uninitialized"}, 0, false},
        {State::Idle, "stop", [](Probe& l) { l.stop(); }, State::Idle, {}, 0, false},
        {State::Idle, "initialize", [&](Probe& l) { l.initialize(&host.view, &host.board); }, State::Ready, {}, 2, false},
        {State::Ready, "initialize", [&](Probe& l) { l.initialize(&otherView, &otherBoard); }, State::Ready,
         {"failed to initialize: already initialized"}, 2, false},
        {State::Ready, "start", [](Probe& l) { l.start(); }, State::Running, {}, 2, true},
        {State::Ready, "stop", [](Probe& l) { l.stop(); }, State::Ready, {}, 2, false},
        {State::Ready, "uninitialize", [](Probe& l) { l.uninitialize(); }, State::Idle, {}, 0, false},
        {State::Running, "start", [](Probe& l) { l.start(); }, State::Running, {}, 2, true},
        {State::Running, "initialize", [&](Probe& l) { l.initialize(&otherView, &otherBoard); }, State::Running,
         {"failed to initialize: already initialized"}, 2, true},
        {State::Running, "stop", [](Probe& l) { l.stop(); }, State::Ready, {}, 2, false},
        {State::Running, "uninitialize", [](Probe& l) { l.uninitialize(); }, State::Idle, {}, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(name(row.from)) + " " + row.operation);
        {
            Probe land;
            bring(land, row.from);
            row.call(land);
            EXPECT_EQ(stateOf(land), row.to) << name(stateOf(land));
            std::vector<debug::Record> expected;
            for (const std::string& e : row.errors) expected.push_back(logged("LandInsonificator", Kind::Error, 0.0f, e));
            EXPECT_EQ(log.onChannel("LandInsonificator"), expected);
            EXPECT_EQ(liveEffects(), row.effects);
            EXPECT_EQ(host.view.isRegistered(&land), row.registered);
            EXPECT_EQ(host.board.isRegistered(&land), row.registered);
            EXPECT_FALSE(otherView.isRegistered(&land));
            if (row.to != State::Idle) {
                EXPECT_EQ(land.gameBoard, &host.board);  // the first board stays
            }
            // Map sources live until uninitialize; defaults only while initialized.
            EXPECT_EQ(land.mapSounds.size(), row.from != State::Idle && row.to == State::Idle ? 0u : 2u);
            EXPECT_EQ(land.defaultSounds.size(), row.to == State::Idle ? 0u : 5u);
        }
        EXPECT_EQ(liveEffects(), 0u);  // the destructor gives everything back
        EXPECT_EQ(library.manager->getEffectCount(), 0u);
        log.clear();
    }
}

TEST_F(LifeCycle, StopSilencesAndStartSeedsTheRandomizerFromTheClock) {
    Probe land;
    bring(land, State::Running);
    cameraAt(0.5f, 0);
    host.runFrame(0.1f);
    ASSERT_TRUE(land.source("river")->effect->isPlaying());
    land.stop();
    EXPECT_FALSE(land.source("river")->effect->isPlaying());
    randomizer.setSeed(0.5f);
    land.start();
    // time() x 2^-31 as a float: some value in (0, 1) other than the one set.
    EXPECT_GT(randomizer.getSeed(), 0.0f);
    EXPECT_LT(randomizer.getSeed(), 1.0f);
    EXPECT_NE(randomizer.getSeed(), 0.5f);
}

TEST_F(LifeCycle, LoadReplacesSourcesAndLeavesIdleIdleReadyIdleAndRunningRunning) {
    const char* const other = "fade = 0.5;\nwind = { powerRadius = 1.0; probability = 1.0; soundName = \"wind\"; };\n";
    for (State state : {State::Idle, State::Ready, State::Running}) {
        SCOPED_TRACE(name(state));
        Probe land;
        bring(land, state);
        land.load(blockOf(other).get());
        EXPECT_EQ(stateOf(land), state == State::Running ? State::Running : State::Idle);
        EXPECT_THAT(land.names(), ElementsAre("wind"));
        EXPECT_EQ(land.fade, 0.5f);
        EXPECT_EQ(liveEffects(), 0u);
        EXPECT_EQ(devices("wind.ogg"), state == State::Running ? 1u : 0u);
        EXPECT_EQ(host.view.isRegistered(&land), state == State::Running);
        // A game loaded between prepare and start: the start that follows is refused.
        if (state == State::Ready) {
            land.start();
            EXPECT_THAT(log.onChannel("LandInsonificator"),
                        ElementsAre(logged("LandInsonificator", Kind::Error, 0.0f, "failed to start: not initialized")));
        }
    }
}

TEST_F(LifeCycle, ASavedMapReadsBackFromAFileWithOldEntriesConvertedAndPlacedSourcesKept) {
    Probe land;
    land.load(blockOf("fade = 1.5;\n"
                      "old = { regionType = \"coast\"; regionRadius = 3.0; regionWidth = 1.0; powerRadius = 10.0;\n"
                      "  threshold = 0.2; starter = 0.5; probability = 0.3; auto = true; priority = 4.0;\n"
                      "  soundName = \"gull\"; x = 1.0; y = -2.0; z = 3.0; beginHour = 5.0; endHour = 7.0; };\n"
                      "plain = { regionType = \"meadow\"; regionWidth = 2.0; regionHeight = 1.0; powerRadius = 2.0;\n"
                      "  threshold = 0.3; probability = 1.0; soundName = \"surf\"; };\n"
                      "flat = { powerRadius = 0.0; threshold = 5.0; probability = 1.0; soundName = \"surf\"; };\n"
                      "older = { regionRadius = 0.5; powerRadius = 1.0; soundName = \"surf\"; };\n")
                  .get());
    EXPECT_THAT(log.onChannel("LandInsonificator"),
                ElementsAre(logged("LandInsonificator", Kind::Warning, 0.1f, "Old sounds map format. To convert press ignore."),
                            logged("LandInsonificator", Kind::Warning, 0.1f, "Old sounds map format. To convert press ignore.")));
    LandSound* old = land.source("old");
    EXPECT_EQ(old->regionWidth, 6.0f);
    EXPECT_EQ(old->regionHeight, 6.0f);
    EXPECT_EQ(old->starter, 5.0f);
    run(land);
    host.board.setSubtype({1, 1}, sandbox::Coast);
    host.board.setSubtype({8, 6}, sandbox::Coast);

    auto saved = std::make_unique<configmanager::ConfigManager>();
    land.save(saved.get());
    testsupport::TemporaryDirectory directory;
    ASSERT_TRUE(saved->writePlainFile(directory.file("game.sav")));
    auto read = std::make_unique<configmanager::ConfigManager>();
    ASSERT_TRUE(read->readPlainFile(directory.file("game.sav")));

    float value = 0.0f;
    EXPECT_FALSE(read->getProperty("old.regionRadius", &value));
    EXPECT_TRUE(read->getProperty("old.regionWidth", &value));
    EXPECT_EQ(value, 6.0f);
    EXPECT_TRUE(read->getProperty("old.starter", &value));
    EXPECT_EQ(value, 0.5f);
    EXPECT_TRUE(read->getProperty("plain.starter", &value));
    EXPECT_FLOAT_EQ(value, 0.3f);  // no "starter": written as the threshold
    EXPECT_TRUE(read->getProperty("flat.threshold", &value));
    EXPECT_EQ(value, 0.0f);  // powerRadius 0 holds and writes margins of 0

    log.clear();
    Probe again;
    again.load(read.get());
    EXPECT_TRUE(log.onChannel("LandInsonificator").empty());
    EXPECT_THAT(again.names(), ElementsAre("old", "plain", "flat", "older", "surf-1-1", "gull-1-1", "surf-8-6", "gull-8-6"));
    EXPECT_EQ(again.fade, 1.5f);
    for (LandSound* s : land.mapSounds) {
        SCOPED_TRACE(s->name);
        const LandSound* t = again.source(s->name);
        EXPECT_EQ(t->regionType, s->regionType);
        EXPECT_EQ(t->regionWidth, s->regionWidth);
        EXPECT_EQ(t->regionHeight, s->regionHeight);
        EXPECT_EQ(t->powerRadius, s->powerRadius);
        EXPECT_FLOAT_EQ(t->threshold, s->threshold);
        EXPECT_FLOAT_EQ(t->starter, s->starter);
        EXPECT_EQ(t->probability, s->probability);
        EXPECT_EQ(t->automatic, s->automatic);
        EXPECT_EQ(t->priority, s->priority);
        EXPECT_EQ(t->soundName, s->soundName);
        EXPECT_EQ(t->position, s->position);
        EXPECT_EQ(t->beginHour, s->beginHour);
        EXPECT_EQ(t->endHour, s->endHour);
    }
}

TEST_F(LifeCycle, DottedNamesAreSavedAsPaths) {
    Probe land;
    land.load(blockOf("a = { powerRadius = 1.0; soundName = \"surf\"; };\n").get());
    land.mapSounds.front()->name = "group.inner";
    auto saved = std::make_unique<configmanager::ConfigManager>();
    land.save(saved.get());
    std::string sound;
    EXPECT_TRUE(saved->getProperty("group.inner.soundName", &sound));
    EXPECT_EQ(sound, "surf");
}

TEST_F(LifeCycle, ReReadingAMapReplacesItsSourcesAndKeepsTheState) {
    library.tree.write("/Maps/valley.cfg", std::string("name = \"valley\";\nSounds = {\n") +
                                               "wind = { powerRadius = 1.0; probability = 1.0; soundName = \"wind\"; };\n};\n");
    library.tree.write("/Maps/bare.cfg", "name = \"bare\";\n");
    {
        Probe land;
        bring(land, State::Idle);
        land.reReadConfig("/valley.cfg");  // Idle: nothing at all
        EXPECT_THAT(land.names(), ElementsAre("river", "owl"));
        EXPECT_EQ(stateOf(land), State::Idle);
    }
    for (State state : {State::Ready, State::Running}) {
        SCOPED_TRACE(name(state));
        Probe land;
        bring(land, state);
        land.reReadConfig("/valley.cfg");
        EXPECT_EQ(stateOf(land), state);
        EXPECT_THAT(land.names(), ElementsAre("wind"));
        EXPECT_EQ(devices("wind.ogg"), 1u);
        EXPECT_EQ(liveEffects(), 0u);
        land.reReadConfig("/bare.cfg");  // no "Sounds": no sources, defaults and listener kept
        EXPECT_EQ(stateOf(land), state);
        EXPECT_THAT(land.names(), IsEmpty());
        EXPECT_EQ(land.defaultSounds.size(), 5u);
        EXPECT_NE(land.listener, nullptr);
        land.reReadConfig("/missing.cfg");
        EXPECT_EQ(stateOf(land), state);
    }
}

TEST_F(LifeCycle, TheTuningFileChangesOnlyTheKeysItHolds) {
    tuning("algorithm = 2.0; throwRadius = 3.0;");
    Probe land;
    land.load(blockOf("").get());
    tuning("algorithm = 3.7; isEmulated3d = true;");
    land.load(blockOf("").get());
    const LandInsonificator::Settings s = LandInsonificator::getSettings();
    EXPECT_EQ(s.algorithm, 3.7f);
    EXPECT_EQ(s.throwRadius, 3.0f);
    EXPECT_EQ(s.randomTimeStep, 1.0f);
    EXPECT_EQ(s.expsqsigma, 1.0f);
    EXPECT_TRUE(land.isEmulated3d);
    library.tree.remove("/Configs/Sounds/AdaptSettings.cfg");
    land.load(blockOf("").get());
    EXPECT_EQ(LandInsonificator::getSettings().algorithm, 3.7f);
}

TEST_F(LifeCycle, TheSampleContentReadsAndNamesOnlyDeclaredSounds) {
    for (const char* path : {"/Configs/Sounds/DefaultSounds.cfg", "/Configs/Sounds/AdaptSettings.cfg", "/Maps/valley.cfg"})
        library.tree.write(path, testsupport::readWholeFile(std::string("data") + path));
    const std::string effects = testsupport::readWholeFile("data/Configs/Sounds/Effects.snd");
    Probe land;
    land.initialize(&host.view, &host.board);
    land.start();
    land.reReadConfig("/valley.cfg");
    EXPECT_THAT(land.names(), ElementsAre("river", "harbourBell", "woodBirds"));
    EXPECT_EQ(log.count("Old sounds map format. To convert press ignore."), 0u) << "the sample map is in today's form";
    EXPECT_EQ(land.source("woodBirds")->regionWidth, 3.0f);
    EXPECT_EQ(LandInsonificator::getSettings().algorithm, 1.0f);
    std::vector<std::string> subtypes;
    for (LandSound* d : land.defaultSounds)
        if (d->automatic) subtypes.push_back(d->regionType);
    EXPECT_THAT(subtypes, ElementsAre("coast", "forest", "meadow", "mountains"));
    std::vector<LandSound*> all(land.defaultSounds.begin(), land.defaultSounds.end());
    all.insert(all.end(), land.mapSounds.begin(), land.mapSounds.end());
    for (LandSound* s : all) EXPECT_NE(effects.find("\n" + s->soundName + " = '"), std::string::npos) << s->soundName;
    // Crickets across midnight: a meadow cell's source is in its window at 23:00 only.
    host.board.setSubtype({4, 4}, sandbox::Meadow);
    LandSound* crickets = land.source("crickets-4-4");
    ASSERT_NE(crickets, nullptr);
    DayTime night = 23 * 60, day = 12 * 60;
    EXPECT_TRUE(land.updateTime(crickets, night));
    EXPECT_FALSE(land.updateTime(crickets, day));
}

TEST_F(LifeCycle, ANullBlockIsRefusedWithOneErrorAndChangesNothing) {
    Probe land;
    run(land, "fade = 2.0;\n"
              "a = { regionWidth = 2.0; regionHeight = 2.0; powerRadius = 1.0; threshold = 1.0;\n"
              "  probability = 1.0; soundName = \"surf\"; };\n");
    LandSound* a = land.source("a");
    Effect* effect = a->effect;
    const size_t created = library.device->count("createStreaming");
    log.clear();
    land.load(nullptr);
    EXPECT_THAT(log.onChannel("LandInsonificator"),
                ElementsAre(logged("LandInsonificator", Kind::Error, 0.0f, "Skip load: no block")));
    land.save(nullptr);
    EXPECT_THAT(log.onChannel("LandInsonificator"),
                ElementsAre(logged("LandInsonificator", Kind::Error, 0.0f, "Skip load: no block"),
                            logged("LandInsonificator", Kind::Error, 0.0f, "Skip save: no block")));
    EXPECT_TRUE(land.getIsInitialized());
    EXPECT_TRUE(land.getIsStarted());
    EXPECT_TRUE(host.view.isRegistered(&land));
    EXPECT_THAT(land.names(), ElementsAre("a"));
    EXPECT_EQ(land.source("a"), a);
    EXPECT_EQ(a->effect, effect);
    EXPECT_EQ(land.fade, 2.0f);
    EXPECT_EQ(library.device->count("createStreaming"), created);
}
