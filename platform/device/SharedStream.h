#pragma once
// The decoded sound of one streamed file, shared by every stream of that
// file on a device. The file is read once into memory and given one decoder,
// opened once; its sound is cut into blocks of streamBlockFrames frames, each
// decoded once into an OpenAL buffer that every stream of the file queues on
// its own voice. A stream only moves block numbers: N sources on one file
// cost one decoding, and a loop or a restart is a block number going back,
// never a decoder opened again.
//
// A file whose decoded sound fits in keptFileBytes keeps every block it has
// decoded for as long as any stream of it lives (a looped ambience decodes
// once), as long as the files kept whole on the device stay within
// keptDeviceBytes (a file takes its share when it is first opened, and gives
// it back with its last stream). A longer file, or one opened past that
// budget, keeps only the blocks some voice has queued, and decodes a block
// again when a stream comes back to it.
//
// Which file a stream shares is decided by its resource path and the
// content's identity: its size and its bytes at the head, the tail and
// spread through it. A file changed on disk (a content reload) therefore
// starts a sound of its own; the streams of the old content keep theirs.
//
// A file damaged part-way: the block where the decoder fails is the file's
// last, one warning says so, and every stream on it ends there instead of
// looping; the other files' streams are untouched.
//
// Threads: StreamCache::open reads the resource and sets a new decoder up
// before it takes the device's lock, so a game thread's call never waits on
// that work of another thread; everything else runs under the device's lock.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "interfaces/Resource.h"

namespace aldevice {

class AlDevice;
class Decoder;

// A resource's bytes held in memory, read as a stream.
class MemoryStream : public ResourceStream {
public:
    MemoryStream(std::string path, std::vector<char> bytes) : path(std::move(path)), bytes(std::move(bytes)) {}
    long seek(int origin, long offset) override;
    long read(void* buffer, long size) override;
    const std::string& getPath() const override { return path; }
    const std::vector<char>& contents() const { return bytes; }

private:
    std::string path;
    std::vector<char> bytes;
    long position = 0;
};

class SharedStream {
public:
    // Decoded bytes up to which a file keeps all its blocks (about 44 s of
    // stereo at 48 kHz), and the same for all the device's files together.
    static constexpr uint64_t keptFileBytes = uint64_t(8) << 20;
    static constexpr uint64_t keptDeviceBytes = uint64_t(64) << 20;

    ~SharedStream();
    SharedStream(const SharedStream&) = delete;
    SharedStream& operator=(const SharedStream&) = delete;

    uint32_t frequency() const { return rate; }
    uint32_t channels() const { return channelCount; }
    uint64_t frames() const { return declaredFrames; }  // 0 when unknown
    // The decoder failed part-way: its streams end at the damage.
    bool damaged() const { return broken; }

    // Under the device's lock, its context current. The OpenAL buffer of
    // block `index` (decoded now if no stream keeps it) and its frames; 0
    // when the file has no such block (its end, or the damage before it).
    unsigned block(uint64_t index, uint32_t* frames);
    // A voice queued the block / gave it back.
    void hold(uint64_t index);
    void letGo(uint64_t index);

    // Blocks decoded since the sound was opened (statistics and tests).
    uint64_t blocksDecoded() const { return decodedCount; }

private:
    friend class StreamCache;
    SharedStream(AlDevice& device, std::unique_ptr<MemoryStream> file, const std::string& operation);
    void freeBlock(uint64_t index);

    struct Block {
        unsigned buffer = 0;
        uint32_t frames = 0;
        uint32_t users = 0;  // voices that have it queued
    };

    AlDevice& device;
    std::unique_ptr<MemoryStream> file;
    std::unique_ptr<Decoder> decoder;
    uint32_t rate = 0, channelCount = 0;
    uint64_t declaredFrames = 0;
    bool keepAll = false;
    uint64_t wholeBytes = 0;  // the decoded size the file declares
    bool broken = false;
    std::vector<Block> blocks;
    uint64_t endBlock = UINT64_MAX;  // the first block the file does not have, once known
    uint64_t decoderAt = 0;          // the next frame the decoder gives
    std::vector<int16_t> samples;    // decoding space
    uint64_t keptBytes = 0;
    uint64_t decodedCount = 0;
};

// The shared sounds of one device.
class StreamCache {
public:
    explicit StreamCache(AlDevice& device) : device(device) {}
    // The shared sound of the stream's file: one that a live stream of the
    // same content already decodes, or a new one. Takes the device's lock
    // only to look up and to publish. Throws SoundObjectException (text
    // starting with `operation` and the resource path) when the file does
    // not decode.
    std::shared_ptr<SharedStream> open(ResourceStream* stream, const std::string& operation);
    // Live shared sounds (tests).
    size_t size();

private:
    struct Identity {
        std::string path;
        long size = 0;
        std::vector<std::pair<long, std::string>> samples;  // offset, bytes there
    };
    static Identity identify(ResourceStream* stream);
    std::shared_ptr<SharedStream> find(const Identity& identity);  // under the lock

    AlDevice& device;
    std::vector<std::weak_ptr<SharedStream>> sounds;
    uint64_t reservedBytes = 0;  // decoded bytes of the files kept whole
    friend class SharedStream;
};

}  // namespace aldevice
