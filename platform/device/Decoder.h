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
#include <string>
#include <vector>

#include "interfaces/Resource.h"

struct sf_private_tag;

namespace aldevice {

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

    // Decodes the whole file; throws when it ends before the frames it
    // declares, is longer than maxLoadedSamples or the decoder reports an
    // error.
    std::vector<int16_t> decodeAll();
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
