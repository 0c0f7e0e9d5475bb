// One decoding per streamed file, whatever the number of its streams.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/SharedStream.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <cstring>

#include "platform/device/AlDevice.h"
#include "platform/device/Decoder.h"
#include "platform/device/DeviceLog.h"

#include "platform/device/AlInternal.h"

namespace aldevice {

// ---------------------------------------------------------------- memory stream

long MemoryStream::seek(int origin, long offset) {
    const long size = static_cast<long>(bytes.size());
    const long base = origin == Begin ? 0 : origin == Current ? position : size;
    if (base + offset < 0 || base + offset > size) return -1;
    return position = base + offset;
}

long MemoryStream::read(void* buffer, long size) {
    const long count = std::min(size, static_cast<long>(bytes.size()) - position);
    if (count <= 0) return 0;
    std::memcpy(buffer, bytes.data() + position, static_cast<size_t>(count));
    position += count;
    return count;
}

// ---------------------------------------------------------------- shared sound

SharedStream::SharedStream(AlDevice& d, std::unique_ptr<MemoryStream> f, const std::string& operation)
    : device(d), file(std::move(f)) {
    decoder = std::make_unique<Decoder>(file.get(), operation);
    rate = decoder->frequency();
    channelCount = decoder->channels();
    declaredFrames = decoder->frames();
    wholeBytes = declaredFrames * channelCount * 2;  // kept whole only if the cache grants it
    // Room for every block the file declares (within reason: a header may
    // claim any length), so that streaming it does not grow the table while
    // the device mixes.
    blocks.resize(static_cast<size_t>(std::min<uint64_t>(declaredFrames / streamBlockFrames + 1, 16384)));
    samples.resize(static_cast<size_t>(streamBlockFrames) * channelCount);
}

SharedStream::~SharedStream() {
    if (keepAll) {
        std::lock_guard<std::recursive_mutex> guard(device.lock);
        device.streams.reservedBytes -= wholeBytes;
    }
    bool any = false;
    for (const Block& b : blocks) any = any || b.buffer;
    if (!any) return;
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    const ContextScope current = device.makeCurrent();
    for (uint64_t k = 0; k < blocks.size(); ++k) freeBlock(k);
}

void SharedStream::freeBlock(uint64_t index) {
    Block& b = blocks[index];
    if (!b.buffer) return;
    alDeleteBuffers(1, &b.buffer);
    const uint64_t bytes = uint64_t(b.frames) * channelCount * 2;
    keptBytes -= bytes;
    device.bufferBytes -= bytes;
    b = Block{};
}

unsigned SharedStream::block(uint64_t index, uint32_t* frames) {
    if (index >= endBlock) return 0;
    if (index < blocks.size() && blocks[index].buffer) {
        *frames = blocks[index].frames;
        return blocks[index].buffer;
    }
    if (index >= blocks.size()) blocks.resize(static_cast<size_t>(index + 1));  // a length the file did not declare
    const uint64_t first = index * streamBlockFrames;
    size_t n = 0;
    try {
        if (decoderAt != first) {
            if (!decoder->seek(first)) {
                endBlock = index;
                return 0;
            }
            decoderAt = first;
        }
        n = decoder->read(samples.data(), streamBlockFrames);
    } catch (const debug::Exception& e) {
        // A file broken past its header: the sound ends where the damage
        // starts, for every stream on it (this runs in play and on the
        // mixing thread, neither of which may throw).
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << e.getString() << "; the stream ends there");
        broken = true;
        endBlock = index;
        return 0;
    }
    if (n == 0) {
        endBlock = index;
        return 0;
    }
    decoderAt = first + n;
    Block& b = blocks[index];
    alGetError();
    alGenBuffers(1, &b.buffer);
    if (alGetError() != AL_NO_ERROR) {
        b.buffer = 0;
        return 0;  // the mixer has no room: the stream ends as at an end
    }
    alBufferData(b.buffer, formatOf(channelCount), samples.data(), static_cast<ALsizei>(n * channelCount * 2),
                 static_cast<ALsizei>(rate));
    b.frames = static_cast<uint32_t>(n);
    const uint64_t bytes = uint64_t(n) * channelCount * 2;
    keptBytes += bytes;
    device.bufferBytes += bytes;
    ++decodedCount;
    *frames = b.frames;
    return b.buffer;
}

void SharedStream::hold(uint64_t index) { ++blocks[index].users; }

void SharedStream::letGo(uint64_t index) {
    Block& b = blocks[index];
    if (b.users > 0) --b.users;
    if (b.users == 0 && !keepAll) freeBlock(index);
}

// ---------------------------------------------------------------- cache

StreamCache::Identity StreamCache::identify(ResourceStream* stream) {
    Identity id;
    id.path = stream->getPath();
    id.size = stream->seek(ResourceStream::End, 0);
    if (id.size <= 0) return id;
    // The head (a format's header), the tail, and windows spread between.
    constexpr long head = 4096, window = 512, windows = 8;
    std::vector<long> offsets = {0};
    for (long k = 1; k <= windows; ++k) offsets.push_back(id.size * k / (windows + 1));
    offsets.push_back(std::max(0L, id.size - head));
    for (long offset : offsets) {
        const long wanted = std::min(offset == 0 || offset == id.size - head ? head : window, id.size - offset);
        std::string bytes(static_cast<size_t>(std::max(0L, wanted)), '\0');
        long got = 0;
        if (stream->seek(ResourceStream::Begin, offset) == offset) {
            while (got < wanted) {
                const long n = stream->read(&bytes[static_cast<size_t>(got)], wanted - got);
                if (n <= 0) break;
                got += n;
            }
        }
        bytes.resize(static_cast<size_t>(got));
        id.samples.emplace_back(offset, std::move(bytes));
    }
    return id;
}

std::shared_ptr<SharedStream> StreamCache::find(const Identity& id) {
    sounds.erase(std::remove_if(sounds.begin(), sounds.end(), [](auto& w) { return w.expired(); }), sounds.end());
    if (id.size <= 0) return nullptr;  // no size to tell versions apart: never shared
    for (auto& weak : sounds) {
        std::shared_ptr<SharedStream> sound = weak.lock();
        if (!sound || sound->file->getPath() != id.path) continue;
        const std::vector<char>& bytes = sound->file->contents();
        if (static_cast<long>(bytes.size()) != id.size) continue;
        bool same = true;
        for (const auto& [offset, sample] : id.samples)
            same = same && std::memcmp(bytes.data() + offset, sample.data(), sample.size()) == 0;
        if (same) return sound;
    }
    return nullptr;
}

std::shared_ptr<SharedStream> StreamCache::open(ResourceStream* stream, const std::string& operation) {
    if (!stream) throw SoundObjectException(operation + ": no stream");
    const Identity id = identify(stream);
    {
        std::lock_guard<std::recursive_mutex> guard(device.lock);
        if (auto shared = find(id)) return shared;
    }
    // A file no live stream decodes: read it whole and set its decoder up
    // without the device's lock.
    std::vector<char> bytes;
    stream->seek(ResourceStream::Begin, 0);
    if (id.size > 0) bytes.reserve(static_cast<size_t>(id.size));
    char chunk[16384];
    for (long n; (n = stream->read(chunk, sizeof chunk)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
    std::shared_ptr<SharedStream> made(
        new SharedStream(device, std::make_unique<MemoryStream>(id.path, std::move(bytes)), operation));
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    // Another thread may have published the same content meanwhile.
    if (auto shared = find(id)) return shared;
    if (id.size > 0) sounds.push_back(made);
    // Kept whole when the file is short enough and the device's budget has
    // room for it.
    const uint64_t whole = made->wholeBytes;
    if (whole && whole <= SharedStream::keptFileBytes && reservedBytes + whole <= SharedStream::keptDeviceBytes) {
        made->keepAll = true;
        reservedBytes += whole;
    }
    return made;
}

size_t StreamCache::size() {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    size_t n = 0;
    for (auto& weak : sounds) n += weak.expired() ? 0 : 1;
    return n;
}

}  // namespace aldevice
