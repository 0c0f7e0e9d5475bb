// The request manager over the recording device and a temporary resource
// tree: which device calls a load makes, which streams stay open, what every
// refusal reports, and the statistics.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "sound/request/EffectsFile.h"
#include "sound/request/RequestManager.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

using debug::Kind;
using testing::ElementsAre;
using testsupport::logged;

namespace {

// Forwards to the real resource manager and counts the streams held open.
class CountingResources : public ResourceManager {
public:
    CountingResources() : real(theResourceManager) { theResourceManager = this; }
    ~CountingResources() override { theResourceManager = real; }
    ResourceStream* openStream(const char* path) override {
        ResourceStream* s = real->openStream(path);
        if (s) ++open;
        return s;
    }
    void closeStream(ResourceStream* s) override {
        if (s) --open;
        real->closeStream(s);
    }
    int notFound(const char* path) override { return real->notFound(path); }
    void lock() override { real->lock(); }
    void unlock() override { real->unlock(); }
    bool mount(const std::string& a, const std::string& b) override { return real->mount(a, b); }
    bool unmount(const std::string& a) override { return real->unmount(a); }
    int open = 0;

private:
    ResourceManager* real;
};

const char* const effectsFile =
    "device = 'device.cfg';\n"
    "hit = 'hit.wav', 1.0, 1.0, memory, false, normal, 0;\n"
    "wind = 'wind.ogg', 1.0, 1.0, disk, true, normal, 0;\n"
    "plain = 'plain.wav';\n"
    "lost = 'lost.wav', 1.0, 1.0, memory, false, normal, 0;\n";

struct RequestTest : testing::Test {
    testsupport::ResourceTree tree;
    CountingResources resources;
    std::shared_ptr<testsupport::RecordingDevice> device = std::make_shared<testsupport::RecordingDevice>();
    testsupport::DeviceProviderGuard provider{device};
    RequestManager requests;
    debug::Capture log;

    void SetUp() override {
        EffectsFile::restoreBuiltInDefaults();
        tree.write("/Configs/Sounds/Effects.snd", effectsFile);
        tree.write("/Sounds/device.cfg", "frequency = 48000;\n");
        tree.write("/Sounds/hit.wav", std::string(100, 'h'));
        tree.write("/Sounds/wind.ogg", std::string(300, 'w'));
        tree.write("/Sounds/plain.wav", std::string(50, 'p'));
    }
    void warned(const std::string& text) {
        EXPECT_TRUE(log.contains("RequestManager", Kind::Warning, text)) << text;
    }
};

}  // namespace

TEST_F(RequestTest, InitialisationFindsTheDeviceReadsTheFileAndPassesTheDeviceSettings) {
    requests.initialize();
    EXPECT_TRUE(device->isInitialized());
    EXPECT_EQ(device->settingsRead(), "frequency = 48000;\n");
    EXPECT_EQ(resources.open, 0);
    ASSERT_NE(requests.getRequestEffectConfig("wind"), nullptr);
    EXPECT_EQ(requests.getRequestEffectConfig("wind")->storage, "disk");
    EXPECT_EQ(requests.getRequestEffectConfig("nothing"), nullptr);
    EXPECT_EQ(requests.requestListener(), &device->listener());
    requests.initialize();
    requests.uninitialize();
    requests.uninitialize();
    EXPECT_FALSE(device->isInitialized());
    EXPECT_EQ(requests.getRequestEffectConfig("wind"), nullptr);
    EXPECT_THAT(log.records(),
                ElementsAre(logged("RequestManager", Kind::Error, 0.0f, "Skip initialize: already done"),
                            logged("RequestManager", Kind::Warning, 0.1f, "Skip uninitialize: already done"),
                            logged("RequestManager", Kind::Warning, 0.1f,
                                   "Skip getRequestEffectConfig for wind: device is uninitialized")));
}

TEST_F(RequestTest, MemoryIsLoadedOnceAndClonedDiskIsStreamedPerRequest) {
    requests.initialize();
    Sound3DEffect* a = requests.load("hit");
    Sound3DEffect* b = requests.load("hit");
    EXPECT_EQ(device->count("createStatic"), 1u);
    EXPECT_THAT(device->calls("clone").at(0).args, ElementsAre("effect#1"));
    EXPECT_EQ(resources.open, 0);  // a static load gives its stream back at once
    requests.unload("hit", a);
    requests.unload("hit", b);
    requests.unload("hit", requests.load("hit"));  // none left: the file is read again
    EXPECT_EQ(device->count("createStatic"), 2u);

    Sound3DEffect* w1 = requests.load("wind");
    Sound3DEffect* w2 = requests.load("wind");
    EXPECT_EQ(device->count("createStreaming"), 2u);
    EXPECT_THAT(device->calls("createStreaming").at(0).args, ElementsAre("/Sounds/wind.ogg", "4"));
    EXPECT_EQ(resources.open, 2);
    requests.unload("wind", w1);
    EXPECT_EQ(resources.open, 1);
    requests.unload("wind", w2);
    EXPECT_EQ(resources.open, 0);

    // An empty storage word: streamed the first time, cloned after.
    Sound3DEffect* p1 = requests.load("plain");
    Sound3DEffect* p2 = requests.load("plain");
    std::string s1, s2;
    p1->getState(s1);
    p2->getState(s2);
    EXPECT_EQ(s1, "streaming");
    EXPECT_EQ(s2, "clone");

    // A pointer handed out under another name is still released and
    // destroyed, silently, and is not given back a second time later.
    requests.unload("hit", p2);
    EXPECT_EQ(device->liveEffects().size(), 1u);
    EXPECT_EQ(requests.getHandedOutCount(), 1u);

    // Uninitialising gives every outstanding effect back and closes its stream.
    requests.load("wind");
    requests.uninitialize();
    EXPECT_TRUE(device->liveEffects().empty());
    EXPECT_EQ(resources.open, 0);
    EXPECT_EQ(device->count("destroyEffect"), 8u);
    EXPECT_TRUE(log.records().empty());
}

TEST_F(RequestTest, EveryRefusalIsReportedAndLeavesNothingBehind) {
    Sound3DEffect* stray = device->createEffect();
    EXPECT_EQ(requests.load("hit"), nullptr);
    requests.unload("hit", stray);
    EXPECT_EQ(requests.requestListener(), nullptr);
    requests.freeListener(nullptr);
    warned("Skip load hit: device is uninitialized");
    warned("Skip unload hit: device is uninitialized");
    warned("Skip requestListener: device is not initialized");
    warned("Skip freeListener: device is not initialized");
    device->destroyEffect(stray);

    requests.initialize();
    log.clear();
    EXPECT_EQ(requests.load("nothing"), nullptr);
    EXPECT_EQ(requests.load("lost"), nullptr);
    requests.unload("hit", nullptr);
    Sound3DEffect* first = requests.load("hit");
    device->failNext("clone", "clone refused");
    EXPECT_EQ(requests.load("hit"), nullptr);
    device->failNext("createStreaming", "corrupt ogg");
    EXPECT_EQ(requests.load("wind"), nullptr);
    requests.unload("hit", first);
    device->failNext("createStatic", "corrupt wav");
    EXPECT_EQ(requests.load("hit"), nullptr);
    // A batch the device refuses: logged, and effects simply start as played.
    device->failNext("beginBatch", "no batches");
    requests.beginBatch();
    requests.endBatch();
    EXPECT_EQ(device->count("endBatch"), 1u);
    EXPECT_THAT(log.records(),
                ElementsAre(logged("RequestManager", Kind::Warning, 0.1f, "Skip load nothing: not found EffectConfig"),
                            logged("RequestManager", Kind::Warning, 0.1f, "Skip load lost: lost.wav not found"),
                            logged("RequestManager", Kind::Warning, 0.1f, "Skip unload hit: effect = 0"),
                            logged("RequestManager", Kind::Warning, 0.1f, "Failed to clone hit"),
                            logged("RequestManager", Kind::Warning, 0.1f, "clone refused"),
                            logged("RequestManager", Kind::Warning, 0.1f, "Failed to create streaming file wind wind.ogg"),
                            logged("RequestManager", Kind::Warning, 0.1f, "corrupt ogg"),
                            logged("RequestManager", Kind::Warning, 0.1f, "Failed to create static file hit hit.wav"),
                            logged("RequestManager", Kind::Warning, 0.1f, "corrupt wav"),
                            logged("RequestManager", Kind::Warning, 0.1f, "no batches")));
    EXPECT_TRUE(device->liveEffects().empty());  // every failed effect went back to the device
    EXPECT_EQ(resources.open, 0);
    EXPECT_EQ(requests.getHandedOutCount(), 0u);
}

TEST_F(RequestTest, DeviceFailuresAtInitialisation) {
    // No device listed: the records read stay until the next uninitialise.
    auto none = std::make_unique<testsupport::DeviceProviderGuard>(std::vector<std::shared_ptr<SoundDevice>>{});
    requests.initialize();
    none.reset();
    testsupport::DeviceProviderGuard recordingAgain(device);
    EXPECT_FALSE(requests.isInitialized());
    warned("Not found sound device!");
    tree.write("/Configs/Sounds/Effects.snd", "hit = 'changed.wav';\n");
    requests.initialize();  // a name already present keeps its record
    ASSERT_TRUE(requests.isInitialized());
    EXPECT_EQ(requests.getRequestEffectConfig("hit")->fileName, "hit.wav");
    EXPECT_TRUE(log.contains("RequestManager", Kind::Error, "Not found EffectConfig for device") == false);
    requests.uninitialize();

    device->failNext("initialize", "no sound card");
    log.clear();
    requests.initialize();
    EXPECT_FALSE(requests.isInitialized());
    EXPECT_THAT(log.records(), ElementsAre(logged("RequestManager", Kind::Warning, 0.1f, "no sound card")));

    // No "device" entry: the device still initialises; a missing settings
    // file reaches the device as a null stream.
    tree.write("/Configs/Sounds/Effects.snd", "hit = 'hit.wav';\n");
    log.clear();
    requests.initialize();
    EXPECT_TRUE(requests.isInitialized());
    EXPECT_THAT(log.records(),
                ElementsAre(logged("RequestManager", Kind::Error, 0.0f, "Not found EffectConfig for device")));
    requests.uninitialize();
    tree.write("/Configs/Sounds/Effects.snd", "device = 'missing.cfg';\n");
    requests.initialize();
    EXPECT_THAT(device->calls("loadSettings").back().args, ElementsAre("null"));
    requests.reReadConfig();
    EXPECT_TRUE(requests.isInitialized());
    EXPECT_EQ(device->count("initialize"), 5u);
    requests.uninitialize();

    // A device that refuses its settings: no device, and the settings file
    // is closed again.
    tree.write("/Configs/Sounds/Effects.snd", effectsFile);
    device->failNext("loadSettings", "bad settings");
    log.clear();
    requests.initialize();
    EXPECT_FALSE(requests.isInitialized());
    EXPECT_EQ(resources.open, 0);
    EXPECT_THAT(log.records(), ElementsAre(logged("RequestManager", Kind::Warning, 0.1f, "bad settings")));
}

TEST_F(RequestTest, StatisticsPerNameAndTotalsMergedWithTheDevicesLines) {
    std::list<std::list<std::string>> perName{{"stale"}};
    std::list<std::string> totals{"stale"};
    requests.generateInfo(perName, totals);  // uninitialised: lists untouched
    EXPECT_EQ(totals, std::list<std::string>{"stale"});
    EXPECT_THAT(log.records(), ElementsAre(logged("RequestManager", Kind::Error, 0.0f,
                                                  "Skip generateInfo: device is not initialized")));

    device->setFormat("/Sounds/hit.wav", {44100, 2, 16});
    device->setInfoLines({"Device: recording", "Total size: 0", "Voices: 3"});
    requests.initialize();
    requests.generateInfo(perName, totals);
    EXPECT_TRUE(perName.empty());
    // Each device line goes before the first remaining totals line greater than it.
    EXPECT_THAT(totals, ElementsAre("Device: recording", "Total size: 0", "Total sounds: 0", "Total size: 0",
                                    "Total clone number: 0", "Total playing number: 0", "Voices: 3"));

    Sound3DEffect* h1 = requests.load("hit");
    requests.load("hit")->play();
    requests.load("hit");
    Sound3DEffect* w1 = requests.load("wind");
    w1->play();
    Sound3DEffect* w2 = requests.load("wind");  // a second stream: only its state counts
    requests.generateInfo(perName, totals);
    ASSERT_EQ(perName.size(), 2u);
    EXPECT_THAT(perName.front(), ElementsAre("hit", "100", "static", "2", "1", "44100", "16", "2"));
    EXPECT_THAT(perName.back(), ElementsAre("wind", "300", "streaming", "0", "1", "22050", "16", "1"));
    EXPECT_THAT(totals, testing::Contains("Total size: 400"));
    EXPECT_THAT(totals, testing::Contains("Total clone number: 2"));
    EXPECT_THAT(totals, testing::Contains("Total playing number: 2"));
    h1->play();
    requests.generateInfo(perName, totals);
    EXPECT_THAT(totals, testing::Contains("Total playing number: 3"));

    // The rows of the previous call are written over: a name gone takes its
    // row with it, and the rows left read as if made afresh.
    requests.unload("wind", w1);
    requests.unload("wind", w2);
    requests.generateInfo(perName, totals);
    ASSERT_EQ(perName.size(), 1u);
    EXPECT_THAT(perName.front(), ElementsAre("hit", "100", "static", "2", "2", "44100", "16", "2"));
    EXPECT_THAT(totals, ElementsAre("Device: recording", "Total size: 0", "Total sounds: 1", "Total size: 100",
                                    "Total clone number: 2", "Total playing number: 2", "Voices: 3"));
}

TEST_F(RequestTest, ReReadingTheConfigurationKeepsDefaultsAndResetsTheDirectory) {
    requests.reReadConfig();  // uninitialised: nothing at all
    EXPECT_TRUE(device->calls().empty());
    EXPECT_TRUE(log.records().empty());

    tree.write("/Configs/Sounds/Effects.snd",
               "device = 'device.cfg';\n"
               "default = 0.4, 7.0, memory, true, headrelative, 3;\n"
               "directory = 'ui/';\n"
               "click = 'click.wav';\n");
    requests.initialize();
    EXPECT_EQ(requests.getRequestEffectConfig("click")->fileName, "ui/click.wav");
    Sound3DEffect* held = requests.load("hit");  // not declared any more
    EXPECT_EQ(held, nullptr);

    tree.write("/Configs/Sounds/Effects.snd", "device = 'device.cfg';\nclick = 'click2.wav';\n");
    requests.reReadConfig();
    ASSERT_TRUE(requests.isInitialized());
    const EffectConfig* click = requests.getRequestEffectConfig("click");
    ASSERT_NE(click, nullptr);
    EXPECT_EQ(click->fileName, "click2.wav");  // the prefix did not survive the re-read
    EXPECT_EQ(click->volume, 0.4f);            // the defaults did
    EXPECT_EQ(click->storage, "memory");
    EXPECT_EQ(click->mode, "headrelative");
    EXPECT_EQ(device->count("initialize"), 2u);
    EXPECT_EQ(device->count("uninitialize"), 1u);
    EXPECT_EQ(device->count("loadSettings"), 2u);
    EXPECT_THAT(log.records(),
                ElementsAre(logged("RequestManager", Kind::Warning, 0.1f, "Skip load hit: not found EffectConfig")));
}

TEST_F(RequestTest, OtherDeviceFailuresAreLoggedNotThrown) {
    requests.initialize();
    device->failNext("createEffect", "no more effects");
    EXPECT_EQ(requests.load("hit"), nullptr);
    EXPECT_EQ(requests.getHandedOutCount(), 0u);

    Sound3DEffect* effect = requests.load("hit");
    ASSERT_NE(effect, nullptr);
    std::list<std::list<std::string>> perName;
    std::list<std::string> totals;
    device->failNext("getInfo", "device busy");
    requests.generateInfo(perName, totals);
    EXPECT_TRUE(perName.empty());
    EXPECT_TRUE(totals.empty());

    device->failNext("uninitialize", "already gone");
    requests.uninitialize();
    EXPECT_FALSE(requests.isInitialized());
    EXPECT_TRUE(device->liveEffects().empty());
    EXPECT_THAT(log.records(), ElementsAre(logged("RequestManager", Kind::Warning, 0.1f, "no more effects"),
                                           logged("RequestManager", Kind::Warning, 0.1f, "device busy"),
                                           logged("RequestManager", Kind::Warning, 0.1f, "already gone")));
}

// Each warning names the line that reported it, not the line of a shared
// helper: four refusals, four different positions in the request manager.
TEST_F(RequestTest, EachWarningCarriesThePositionOfItsReport) {
    Sound3DEffect* stray = device->createEffect();
    requests.load("hit");
    requests.unload("hit", stray);
    requests.requestListener();
    requests.freeListener(nullptr);
    std::set<std::string> contexts;
    for (const debug::Record& r : log.onChannel("RequestManager")) {
        EXPECT_THAT(r.context, testing::StartsWith("(RequestManager.cpp,")) << r.text;
        contexts.insert(r.context);
    }
    EXPECT_EQ(log.onChannel("RequestManager").size(), 4u);
    EXPECT_EQ(contexts.size(), 4u);
    device->destroyEffect(stray);
}
