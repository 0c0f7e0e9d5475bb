#pragma once
// Decodes a sound file read through a resource stream (WAV, FLAC,
// Ogg/Vorbis, Opus, MP3: whatever libsndfile reads) into 16-bit samples.
//
// Every failure throws SoundObjectException whose text names the resource
// and gives the decoder's reason.
//
// Threads: one thread at a time per decoder.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "interfaces/Resource.h"

struct sf_private_tag;

namespace aldevice {

// The samples of a sound decoded whole. Room is made without zeroing it
// (the decoder writes every sample kept), and a buffer that is used again
// keeps its room, so the pages of the last decode are reused instead of
// being faulted in and cleared by the system again.
class DecodedSamples {
public:
    DecodedSamples() = default;
    // Handed on only by swap: a buffer is one place's at a time.
    DecodedSamples(const DecodedSamples&) = delete;
    DecodedSamples& operator=(const DecodedSamples&) = delete;
    void swap(DecodedSamples& other) noexcept {
        room.swap(other.room);
        std::swap(capacity, other.capacity);
        std::swap(used, other.used);
    }

    const int16_t* data() const { return room.get(); }
    size_t size() const { return used; }
    size_t capacityOf() const { return capacity; }
    // Gives back room above `keep` samples (a long sound's buffer is not
    // held on to after its load).
    void trim(size_t keep);

private:
    friend class Decoder;
    // Room for at least `samples`, the first `used` kept.
    void reserve(size_t samples);

    std::unique_ptr<int16_t[]> room;
    size_t capacity = 0;
    size_t used = 0;
};

class Decoder {
public:
    // Opens the stream's sound; the stream stays the caller's and must outlive
    // the decoder. `operation` starts the text of any failure.
    Decoder(ResourceStream* stream, const std::string& operation);
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    uint32_t frequency() const { return rate; }
    uint32_t channels() const { return channelCount; }
    // Frames the file declares (0 when unknown).
    uint64_t frames() const { return declaredFrames; }

    // Samples (frames times channels) a sound decoded whole may hold: 64 MB,
    // about six minutes of stereo at 48 kHz. Longer sounds are streamed.
    static constexpr size_t maxLoadedSamples = size_t(1) << 25;

    // Decodes the whole file into `samples` (what they held is replaced);
    // throws when it ends before the frames it declares, is longer than
    // maxLoadedSamples or the decoder reports an error.
    void decodeAll(DecodedSamples& samples);
    // Decodes up to `frames` frames at the read position; returns the frames
    // decoded (0 at the end). Throws on a decoder error.
    size_t read(int16_t* samples, size_t frames);
    // Moves the read position to a frame; false when the decoder cannot.
    bool seek(uint64_t frame);

    [[noreturn]] void fail(const std::string& reason) const;

private:
    ResourceStream* stream;
    std::string operation;
    std::string path;
    sf_private_tag* file = nullptr;
    uint32_t rate = 0;
    uint32_t channelCount = 0;
    uint64_t declaredFrames = 0;
    bool fuzzyLength = false;  // MPEG lengths are estimates
};

}  // namespace aldevice
