// The first enumeration of the system's output, in a process of its own (the
// sound system reads its log settings once): neither ALSA nor OpenAL Soft
// writes to standard error, whether or not a sound card opens.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "interfaces/SoundDevice.h"
#include "tests/support/ResourceTree.h"

namespace {

// Standard error of the process, collected in a file while it lives.
class StandardErrorCapture {
public:
    explicit StandardErrorCapture(const std::string& file) : path(file) {
        std::fflush(stderr);
        saved = dup(2);
        std::FILE* target = std::fopen(path.c_str(), "w");
        dup2(fileno(target), 2);
        std::fclose(target);
    }
    std::string finish() {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        return testsupport::readWholeFile(path);
    }

private:
    std::string path;
    int saved = -1;
};

}  // namespace

TEST(QuietFirstRun, TheSoundSystemsOwnComplaintsStayOffStandardError) {
    unsetenv("ZULSOUND_DEBUG");
    unsetenv("ALSOFT_LOGLEVEL");
    unsetenv("ALSOFT_DRIVERS");
    Sound3DDeviceManager::setOutput("default");
    testsupport::TemporaryDirectory dir;
    StandardErrorCapture capture(dir.file("stderr.txt"));
    std::string names;
    {
        Sound3DDeviceManager manager;
        for (SoundDevice* device : *manager.enumerateSoundDevices(1)) names += device->getName() + ";";
    }
    const std::string text = capture.finish();
    Sound3DDeviceManager::setOutput("");
    EXPECT_NE(names.find("null;"), std::string::npos) << names;  // the null output is always listed
    EXPECT_EQ(text.find("ALSA lib"), std::string::npos) << text;
    EXPECT_EQ(text.find("AL lib"), std::string::npos) << text;
    ASSERT_NE(std::getenv("ALSOFT_LOGLEVEL"), nullptr);
    EXPECT_STREQ(std::getenv("ALSOFT_LOGLEVEL"), "0");
    // OpenAL Soft's playback backends stay off the system's output: only our
    // own sink talks to the sound server.
    ASSERT_NE(std::getenv("ALSOFT_DRIVERS"), nullptr);
    EXPECT_STREQ(std::getenv("ALSOFT_DRIVERS"), "null");
}
