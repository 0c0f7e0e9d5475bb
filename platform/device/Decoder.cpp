#include "platform/device/Decoder.h"

#include <sndfile.h>

#include <algorithm>
#include <cstring>

#include "interfaces/SoundDevice.h"

namespace aldevice {
namespace {

ResourceStream* streamOf(void* user) { return static_cast<ResourceStream*>(user); }

sf_count_t streamLength(void* user) {
    ResourceStream* s = streamOf(user);
    const long here = s->seek(ResourceStream::Current, 0);
    const long end = s->seek(ResourceStream::End, 0);
    s->seek(ResourceStream::Begin, here < 0 ? 0 : here);
    return end < 0 ? 0 : end;
}

sf_count_t streamSeek(sf_count_t offset, int whence, void* user) {
    const int origin = whence == SEEK_SET ? ResourceStream::Begin
                       : whence == SEEK_CUR ? ResourceStream::Current
                                            : ResourceStream::End;
    return streamOf(user)->seek(origin, static_cast<long>(offset));
}

sf_count_t streamRead(void* buffer, sf_count_t size, void* user) {
    const long n = streamOf(user)->read(buffer, static_cast<long>(size));
    return n < 0 ? 0 : n;
}

sf_count_t streamWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t streamTell(void* user) { return streamOf(user)->seek(ResourceStream::Current, 0); }

// A WAV whose data chunk is longer in its header than in the file was cut
// short; libsndfile quietly plays what is there, the log says so.
bool headerLongerThanData(SNDFILE* file) {
    char log[4096] = {0};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);
    const char* data = std::strstr(log, "\ndata : ");
    if (!data) return false;
    const char* end = std::strchr(data + 1, '\n');
    const char* should = std::strstr(data, "(should be");
    return should && (!end || should < end);
}

}  // namespace

Decoder::Decoder(ResourceStream* s, const std::string& op) : stream(s), operation(op) {
    if (!stream) throw SoundObjectException(operation + ": no stream");
    path = stream->getPath();
    stream->seek(ResourceStream::Begin, 0);
    SF_VIRTUAL_IO io{streamLength, streamSeek, streamRead, streamWrite, streamTell};
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    file = sf_open_virtual(&io, SFM_READ, &info, stream);
    if (!file) fail(sf_strerror(nullptr));
    rate = static_cast<uint32_t>(info.samplerate);
    channelCount = static_cast<uint32_t>(info.channels);
    declaredFrames = info.frames > 0 && info.frames < SF_COUNT_MAX ? static_cast<uint64_t>(info.frames) : 0;
    fuzzyLength = (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
    std::string refused;
    if (channelCount < 1 || channelCount > 2)
        refused = "unsupported channel count " + std::to_string(channelCount) + " (mono and stereo play)";
    else if (rate == 0)
        refused = "no sample rate";
    else if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV && headerLongerThanData(file))
        refused = "file is truncated: its data chunk is shorter than its header says";
    if (refused.empty()) return;
    // A constructor that throws has no destructor run: the file closes here.
    sf_close(file);
    file = nullptr;
    fail(refused);
}

Decoder::~Decoder() {
    if (file) sf_close(file);
}

void Decoder::fail(const std::string& reason) const {
    throw SoundObjectException(operation + " " + path + ": " + reason);
}

void DecodedSamples::reserve(size_t samples) {
    if (samples <= capacity) return;
    const size_t larger = std::max(samples, capacity + capacity / 2);
    std::unique_ptr<int16_t[]> grown(new int16_t[larger]);  // not zeroed: written before it is read
    if (used) std::memcpy(grown.get(), room.get(), used * sizeof(int16_t));
    room = std::move(grown);
    capacity = larger;
}

void DecodedSamples::trim(size_t keep) {
    if (capacity <= keep) return;
    room.reset();
    capacity = 0;
    used = 0;
}

void Decoder::decodeAll(DecodedSamples& samples) {
    samples.used = 0;
    const size_t chunk = 16384;
    // A header may claim any length: room is made for at most a few seconds
    // up front, and a sound held whole in memory has a limit of its own.
    if (declaredFrames > maxLoadedSamples / channelCount)
        fail("the sound is longer than a loaded sound may be (" + std::to_string(maxLoadedSamples) +
             " samples): stream it");
    samples.reserve(std::min<size_t>((static_cast<size_t>(declaredFrames) + chunk) * channelCount, size_t(1) << 21));
    size_t frames = 0;
    for (;;) {
        if (frames * channelCount > maxLoadedSamples)
            fail("the sound is longer than a loaded sound may be (" + std::to_string(maxLoadedSamples) +
                 " samples): stream it");
        samples.reserve((frames + chunk) * channelCount);
        const size_t n = read(samples.room.get() + frames * channelCount, chunk);
        frames += n;
        samples.used = frames * channelCount;
        if (n < chunk) break;
    }
    if (frames == 0) fail("no samples");
    // An MPEG length is an estimate; anything else must be complete.
    const uint64_t needed = fuzzyLength ? declaredFrames * 9 / 10 : declaredFrames;
    if (frames < needed)
        fail("file is truncated: " + std::to_string(frames) + " of " + std::to_string(declaredFrames) +
             " frames decoded");
}

size_t Decoder::read(int16_t* samples, size_t frames) {
    const sf_count_t n = sf_readf_short(file, samples, static_cast<sf_count_t>(frames));
    if (sf_error(file) != SF_ERR_NO_ERROR) fail(sf_strerror(file));
    return n > 0 ? static_cast<size_t>(n) : 0;
}

bool Decoder::seek(uint64_t frame) {
    sf_error(file);
    return sf_seek(file, static_cast<sf_count_t>(frame), SEEK_SET) >= 0;
}

}  // namespace aldevice
