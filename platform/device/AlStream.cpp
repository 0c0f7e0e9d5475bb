// Streams: an effect that plays its file's blocks, decoded once for every
// stream of that file (SharedStream.h), by queueing a few of them on its
// voice at a time; a loop queues the first block again after the last.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>

#include "platform/device/DeviceLog.h"
#include "platform/device/SharedStream.h"

#include "platform/device/AlInternal.h"

namespace aldevice {

void AlEffect::queueFrom(uint32_t frame) {
    const ContextScope current = device.makeCurrent();
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    letGoOfQueue();
    alSourcei(source, AL_LOOPING, AL_FALSE);  // a stream loops by queueing its first block again
    uint32_t frames = 0;
    uint64_t first = frame / streamBlockFrames;
    // A position past a length the file only declared: a loop starts over.
    if (!shared->block(first, &frames) && looped && !shared->damaged()) first = 0, frame = 0;
    nextBlock = first;
    queuedBase = first * streamBlockFrames;
    decodePosition = queuedBase;
    decoderEnded = false;
    for (unsigned k = 0; k < queueDepth; ++k)
        if (!queueNextBlock()) break;
    if (queueCount == 0) return;
    if (frame > queuedBase) alSourcei(source, AL_SAMPLE_OFFSET, static_cast<ALint>(frame - queuedBase));
    alSourcePlay(source);
}

bool AlEffect::queueNextBlock() {
    if (queueCount >= maxQueued) return false;
    uint32_t frames = 0;
    unsigned id = shared->block(nextBlock, &frames);
    if (!id && looped && nextBlock > 0 && !shared->damaged()) {
        nextBlock = 0;  // the loop point: the next block is the first
        decodePosition = 0;
        id = shared->block(0, &frames);
    }
    if (!id) {
        decoderEnded = true;
        return false;
    }
    ALuint name = id;
    alSourceQueueBuffers(source, 1, &name);
    shared->hold(nextBlock);
    queued[(queueHead + queueCount) % maxQueued] = Queued{nextBlock, frames};
    ++queueCount;
    ++nextBlock;
    decodePosition += frames;
    return true;
}

void AlEffect::letGoOfQueue() {
    for (; queueCount > 0; --queueCount) {
        shared->letGo(queued[queueHead].block);
        queueHead = (queueHead + 1) % maxQueued;
    }
    queueHead = 0;
}

void AlEffect::refillStream() {
    if (!source || !shared) return;
    const ContextScope current = device.makeCurrent();
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0 && queueCount > 0) {
        ALuint id = 0;
        alSourceUnqueueBuffers(source, 1, &id);
        const Queued done = queued[queueHead];
        queueHead = (queueHead + 1) % maxQueued;
        --queueCount;
        queuedBase += done.frames;
        shared->letGo(done.block);
        if (!decoderEnded) queueNextBlock();
    }
    ALint stateNow = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &stateNow);
    if (stateNow != AL_PLAYING) {
        if (queueCount > 0) alSourcePlay(source);  // an under-run: play on from what is queued
        else finish();
    }
}

void AlEffect::createStreaming(ResourceStream* s, unsigned long buffers) {
    // Reading the file and setting a new decoder up run before the device's
    // lock is taken (the cache takes it only to look up and publish).
    std::shared_ptr<SharedStream> sound = device.streams.open(s, "createStreaming");
    std::lock_guard<std::recursive_mutex> guard(device.lock);
    shared = std::move(sound);
    stream = s;
    queueDepth = static_cast<unsigned>(std::max<unsigned long>(2, std::min<unsigned long>(buffers, maxQueued)));
    state = "streaming";
}

}  // namespace aldevice
