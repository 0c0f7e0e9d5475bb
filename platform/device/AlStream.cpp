// Streams: an effect that decodes its sound block by block into a few
// queued buffers while it plays, looped by seeking its decoder.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>

#include "platform/device/Decoder.h"
#include "platform/device/DeviceLog.h"

#include "platform/device/AlInternal.h"

namespace aldevice {

void AlEffect::queueFrom(uint32_t frame) {
    const ContextScope current = device.makeCurrent();
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    alSourcei(source, AL_LOOPING, AL_FALSE);  // a stream loops by seeking its decoder
    decoder->seek(frame);
    decodePosition = frame;
    queuedBase = frame;
    decoderEnded = false;
    for (unsigned id : streamBuffers)
        if (!queueNextBlock(id)) break;
    alSourcePlay(source);
}

bool AlEffect::queueNextBlock(unsigned id) {
    blockSamples.resize(static_cast<size_t>(streamBlockFrames) * streamChannels);
    size_t n = 0;
    try {
        n = decoder->read(blockSamples.data(), streamBlockFrames);
        if (n == 0 && looped && decodePosition > 0) {
            decoder->seek(0);  // the loop point: the next block starts again at the first frame
            decodePosition = 0;
            n = decoder->read(blockSamples.data(), streamBlockFrames);
        }
    } catch (const debug::Exception& e) {
        // A file broken past its header: the stream ends where the damage
        // starts (this runs in play and on the mixing thread, neither of
        // which may throw).
        channel().post(debug::Warning(DEBUG_CONTEXT, 0.1f) << e.getString() << "; the stream ends there");
        n = 0;
    }
    if (n == 0) {
        decoderEnded = true;
        return false;
    }
    decodePosition += n;
    alBufferData(id, formatOf(streamChannels), blockSamples.data(), static_cast<ALsizei>(n * streamChannels * 2),
                 static_cast<ALsizei>(streamFrequency));
    alSourceQueueBuffers(source, 1, &id);
    return true;
}

void AlEffect::refillStream() {
    if (!source || !decoder) return;
    const ContextScope current = device.makeCurrent();
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0) {
        ALuint id = 0;
        alSourceUnqueueBuffers(source, 1, &id);
        ALint bytes = 0;
        alGetBufferi(id, AL_SIZE, &bytes);
        queuedBase += static_cast<uint64_t>(bytes) / (2 * streamChannels);
        if (!decoderEnded) queueNextBlock(id);
    }
    ALint queued = 0, stateNow = 0;
    alGetSourcei(source, AL_BUFFERS_QUEUED, &queued);
    alGetSourcei(source, AL_SOURCE_STATE, &stateNow);
    if (stateNow != AL_PLAYING) {
        if (queued > 0) alSourcePlay(source);  // an under-run: play on from what is queued
        else finish();
    }
}

void AlEffect::createStreaming(ResourceStream* s, unsigned long buffers) {
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    auto opened = std::make_unique<Decoder>(s, "createStreaming");
    const size_t count = std::max<unsigned long>(2, std::min<unsigned long>(buffers, 16));
    std::vector<unsigned> ids(count);
    const ContextScope current = device.makeCurrent();
    alGetError();
    alGenBuffers(static_cast<ALsizei>(count), ids.data());
    if (alGetError() != AL_NO_ERROR) opened->fail("no buffers for the stream");
    decoder = std::move(opened);
    stream = s;
    streamBuffers = ids;
    streamFrequency = decoder->frequency();
    streamChannels = decoder->channels();
    streamFrames = decoder->frames();
    streamBytes = static_cast<uint32_t>(count * streamBlockFrames * streamChannels * 2);
    device.bufferBytes += streamBytes;
    state = "streaming";
}

}  // namespace aldevice
