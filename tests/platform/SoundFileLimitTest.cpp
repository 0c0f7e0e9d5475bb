// Sound files broken in the ways the fuzzer found: a header that claims more
// than the file holds (the static load refuses it from the header alone,
// without making room for what it claims), and audio damaged past a good
// header (a stream plays up to the damage and ends there, never throwing).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ResourceTree.h"

TEST(SoundFileLimit, AHeaderClaimingAnHourOfSoundIsRefusedByTheStaticLoad) {
    // FLAC with one STREAMINFO block: 8 kHz mono 16 bit, 2^30 frames, no audio.
    const unsigned char flac[] = {'f',  'L',  'a',  'C',  0x80, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10,
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xF4, 0x00, 0xF0,
                                  0x40, 0x00, 0x00, 0x00, 0,    0,    0,    0,    0,    0,    0,
                                  0,    0,    0,    0,    0,    0,    0,    0,    0};
    testsupport::ResourceTree tree;
    tree.write("/Sounds/claims.flac", std::string(reinterpret_cast<const char*>(flac), sizeof flac));

    Sound3DDeviceManager::setOutput("loopback");
    Sound3DDeviceManager manager;
    auto* device = dynamic_cast<Sound3DEffectDevice*>(manager.enumerateSoundDevices(1)->front());
    Sound3DDeviceManager::setOutput("");
    ASSERT_NE(device, nullptr);
    device->initialize();
    Sound3DEffect* effect = device->createEffect();
    ResourceStream* stream = theResourceManager->openStream("/Sounds/claims.flac");
    ASSERT_NE(stream, nullptr);
    std::string text;
    try {
        effect->createStatic(stream);
    } catch (const debug::Exception& e) {
        text = e.getString();
    }
    theResourceManager->closeStream(stream);
    EXPECT_THAT(text, testing::HasSubstr("createStatic /Sounds/claims.flac: the sound is longer than a loaded sound"));
    effect->release();
    device->destroyEffect(effect);
    device->uninitialize();
}

TEST(SoundFileLimit, AStreamDamagedPastItsHeaderEndsWhereTheDamageStarts) {
    std::ifstream in("fuzz/corpus/fuzz-sound-file/broken-frames.flac", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    testsupport::ResourceTree tree;
    tree.write("/Sounds/broken.flac", bytes.str());

    Sound3DDeviceManager::setOutput("loopback");
    Sound3DDeviceManager manager;
    auto* device = dynamic_cast<Sound3DEffectDevice*>(manager.enumerateSoundDevices(1)->front());
    Sound3DDeviceManager::setOutput("");
    ASSERT_NE(device, nullptr);
    device->initialize();
    Sound3DEffect* effect = device->createEffect();
    ResourceStream* stream = theResourceManager->openStream("/Sounds/broken.flac");
    ASSERT_NE(stream, nullptr);
    debug::Capture capture;
    effect->createStreaming(stream, 4);  // the header is good
    effect->setLooped(true);
    EXPECT_NO_THROW(effect->play());
    std::string warnings;
    for (const auto& record : capture.records()) warnings += record.text + "\n";
    EXPECT_THAT(warnings, testing::HasSubstr("/Sounds/broken.flac"));
    EXPECT_THAT(warnings, testing::HasSubstr("; the stream ends there"));
    effect->release();
    device->destroyEffect(effect);
    theResourceManager->closeStream(stream);
    device->uninitialize();
}
