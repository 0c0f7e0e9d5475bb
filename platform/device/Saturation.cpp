#include "platform/device/Saturation.h"

#ifdef _WIN32
// libsndfile's wide-path open, so a path with non-ASCII characters works.
#include <windows.h>
#define ENABLE_SNDFILE_WINDOWS_PROTOTYPES 1
#include "platform/files/WidePath.h"
#endif
#include <sndfile.h>

namespace aldevice {

void saturate(float* samples, size_t count) {
    for (size_t k = 0; k < count; ++k) {
        const float s = samples[k];
        // Written so that NaN fails both tests and ends as 0.
        samples[k] = s >= 1.0f ? 1.0f : s <= -1.0f ? -1.0f : (s == s ? s : 0.0f);
    }
}

bool saturateWhenWriting(void* file) {
    return sf_command(static_cast<SNDFILE*>(file), SFC_SET_CLIPPING, nullptr, SF_TRUE) == SF_TRUE;
}

void* openSaturatingWav(const std::string& path, uint32_t rate) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(rate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
#ifdef _WIN32
    SNDFILE* file = sf_wchar_open(widepath::toWide(path).c_str(), SFM_WRITE, &info);
#else
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
#endif
    if (file) saturateWhenWriting(file);  // floats past full scale become full scale, never wrap
    return file;
}

}  // namespace aldevice
