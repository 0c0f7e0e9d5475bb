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

namespace {

// One sound file written into a temporary tree, a loopback device from the
// device manager, an effect on it and the file's stream open.
class SoundFileLimit : public testing::Test {
protected:
    void open(const std::string& path, const std::string& bytes) {
        tree.write(path, bytes);
        Sound3DDeviceManager::setOutput("loopback");
        device = dynamic_cast<Sound3DEffectDevice*>(manager.enumerateSoundDevices(1)->front());
        Sound3DDeviceManager::setOutput("");
        ASSERT_NE(device, nullptr);
        device->initialize();
        effect = device->createEffect();
        stream = theResourceManager->openStream(path.c_str());
        ASSERT_NE(stream, nullptr);
    }
    void TearDown() override {
        if (effect) {
            effect->release();
            device->destroyEffect(effect);
        }
        if (stream) theResourceManager->closeStream(stream);
        if (device) device->uninitialize();
    }
    testsupport::ResourceTree tree;
    Sound3DDeviceManager manager;
    Sound3DEffectDevice* device = nullptr;
    Sound3DEffect* effect = nullptr;
    ResourceStream* stream = nullptr;
};

}  // namespace

TEST_F(SoundFileLimit, AHeaderClaimingAnHourOfSoundIsRefusedByTheStaticLoad) {
    // FLAC with one STREAMINFO block: 8 kHz mono 16 bit, 2^30 frames, no audio.
    const unsigned char flac[] = {'f',  'L',  'a',  'C',  0x80, 0x00, 0x00, 0x22, 0x10, 0x00, 0x10,
                                  0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0xF4, 0x00, 0xF0,
                                  0x40, 0x00, 0x00, 0x00, 0,    0,    0,    0,    0,    0,    0,
                                  0,    0,    0,    0,    0,    0,    0,    0,    0};
    ASSERT_NO_FATAL_FAILURE(open("/Sounds/claims.flac", std::string(reinterpret_cast<const char*>(flac), sizeof flac)));
    std::string text;
    try {
        effect->createStatic(stream);
    } catch (const debug::Exception& e) {
        text = e.getString();
    }
    theResourceManager->closeStream(stream);
    stream = nullptr;
    EXPECT_THAT(text, testing::HasSubstr("createStatic /Sounds/claims.flac: the sound is longer than a loaded sound"));
}

TEST_F(SoundFileLimit, AStreamDamagedPastItsHeaderEndsWhereTheDamageStarts) {
    std::ifstream in("fuzz/corpus/fuzz-sound-file/broken-frames.flac", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    ASSERT_NO_FATAL_FAILURE(open("/Sounds/broken.flac", bytes.str()));
    debug::Capture capture;
    effect->createStreaming(stream, 4);  // the header is good
    effect->setLooped(true);
    EXPECT_NO_THROW(effect->play());
    std::string warnings;
    for (const auto& record : capture.records()) warnings += record.text + "\n";
    EXPECT_THAT(warnings, testing::HasSubstr("/Sounds/broken.flac"));
    EXPECT_THAT(warnings, testing::HasSubstr("; the stream ends there"));
}
