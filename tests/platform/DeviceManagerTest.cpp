#include <gtest/gtest.h>

#include "interfaces/SoundDevice.h"
#include "tests/support/RecordingDevice.h"
#include "tests/support/ResourceTree.h"

using testsupport::DeviceProviderGuard;
using testsupport::RecordingDevice;

TEST(DeviceManager, ListsInstalledDevicesAndKeepsThemAliveWithTheManager) {
    auto recording = std::make_shared<RecordingDevice>("first");
    std::weak_ptr<RecordingDevice> second;
    {
        auto other = std::make_shared<RecordingDevice>("second");
        second = other;
        DeviceProviderGuard guard({recording, other});
        other.reset();
        auto manager = std::make_unique<Sound3DDeviceManager>();
        std::list<SoundDevice*>* devices = manager->enumerateSoundDevices(1);
        ASSERT_EQ(devices->size(), 2u);
        EXPECT_EQ(devices->front(), recording.get());
        EXPECT_EQ(devices->back()->getName(), "second");
        EXPECT_FALSE(second.expired());
    }
    // The provider is gone; the library lists its own devices again, and
    // the manager that listed "second" released it.
    EXPECT_TRUE(second.expired());
    Sound3DDeviceManager own;
    const auto* devices = own.enumerateSoundDevices(1);
    ASSERT_FALSE(devices->empty());
    EXPECT_NE(dynamic_cast<Sound3DEffectDevice*>(devices->back()), nullptr);
}

// The silent device that needs no mixer: every call is accepted and the getters
// report what was set or loaded.
TEST(DeviceManager, NullDeviceAnswersConsistently) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/a.wav", std::string(1234, 'x'));
    Sound3DDeviceManager manager;
    Sound3DEffectDevice* device = nullptr;
    for (SoundDevice* d : *manager.enumerateSoundDevices(1))
        if (d->getName() == "silent") device = dynamic_cast<Sound3DEffectDevice*>(d);
    ASSERT_NE(device, nullptr);
    device->initialize();

    ResourceStream* stream = theResourceManager->openStream("/Sounds/a.wav");
    Sound3DEffect* loaded = device->createEffect();
    loaded->createStatic(stream);
    theResourceManager->closeStream(stream);
    Sound3DEffect* copy = device->createEffect();
    copy->clone(loaded);
    std::string state;
    copy->getState(state);
    EXPECT_EQ(state, "clone");
    EXPECT_EQ(copy->getSize(), 1234u);
    EXPECT_EQ(copy->getFrequency(), loaded->getFrequency());
    EXPECT_THROW(copy->createStatic(nullptr), SoundObjectException);

    copy->play();
    copy->setPlayPosition(480);
    EXPECT_TRUE(copy->isPlaying());
    EXPECT_EQ(copy->getPlayPosition(), 480u);
    copy->stop();
    EXPECT_FALSE(copy->isPlaying());

    Sound3DListener* listener = device->getListener();
    listener->setRolloffFactor(0.5f, SOUND3D_APPLY_DEFERRED);
    listener->setDistanceFactor(2.0f, SOUND3D_APPLY_IMMEDIATE);
    listener->commit();
    EXPECT_EQ(listener->getRolloffFactor(), 0.5f);
    EXPECT_EQ(listener->getDistanceFactor(), 2.0f);

    std::list<std::string> info;
    device->getInfo(info);
    EXPECT_EQ(info.back(), "Effects: 2");
    copy->release();
    device->destroyEffect(copy);
    loaded->release();
    device->destroyEffect(loaded);
    device->uninitialize();
}

// The recording device the other tests rely on: calls recorded with their
// arguments, scripted failures of the right exception type.
TEST(DeviceManager, RecordingDeviceRecordsAndFailsOnRequest) {
    testsupport::ResourceTree tree;
    tree.write("/Sounds/a.wav", "12345678");
    RecordingDevice device;
    device.setFormat("/Sounds/a.wav", {44100, 2, 16});
    device.failNext("initialize", "no card");
    EXPECT_THROW(device.initialize(), SoundDeviceException);
    device.initialize();
    EXPECT_TRUE(device.isInitialized());

    Sound3DEffect* effect = device.createEffect();
    ResourceStream* stream = theResourceManager->openStream("/Sounds/a.wav");
    device.failNext("createStatic", "corrupt", 1);
    try {
        effect->createStatic(stream);
        FAIL() << "createStatic did not throw";
    } catch (const SoundObjectException& e) {
        EXPECT_EQ(e.getString(), "corrupt");
    }
    effect->createStatic(stream);
    theResourceManager->closeStream(stream);
    effect->setVolume(0.5f);
    effect->setPosition(Vector(1, 2, 3), SOUND3D_APPLY_DEFERRED);
    EXPECT_EQ(effect->getSize(), 8u);
    EXPECT_EQ(effect->getChannels(), 2u);

    const auto calls = device.calls();
    std::vector<std::string> texts;
    for (const auto& c : calls) texts.push_back(c.text());
    EXPECT_EQ(texts, (std::vector<std::string>{"device.initialize()", "device.initialize()", "device.createEffect()",
                                               "effect#1.createStatic(/Sounds/a.wav)",
                                               "effect#1.createStatic(/Sounds/a.wav)", "effect#1.setVolume(0.5)",
                                               "effect#1.setPosition((1,2,3),1)", "effect#1.getSize()",
                                               "effect#1.getChannels()"}));
    device.destroyEffect(effect);
    EXPECT_TRUE(device.liveEffects().empty());
}
