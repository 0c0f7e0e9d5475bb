#pragma once
// What the device's files share inside the device library: the OpenAL
// handles behind the device's opaque pointers, sizes, formats and axes.
// Included by platform/device/*.cpp only, after the OpenAL headers.
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "interfaces/Vector.h"

namespace aldevice {

constexpr uint32_t streamBlockFrames = 8192;  // frames a stream decodes per queued buffer
// Frames the device's own thread mixes per period: 10.7 ms at 48 kHz, the
// wait between a call and the mix that carries it.
constexpr uint32_t realTimePeriod = 512;
// Frames a paced sink keeps queued at its output (85 ms at 48 kHz): enough
// for a busy machine not to under-run (43 ms had gaps on a loaded machine,
// 64 ms now and then under a sanitizer with both cores busy), and the most a
// write blocks.
constexpr uint32_t realTimeBuffer = 8 * realTimePeriod;
constexpr uint32_t realTimeRate = 48000;  // the rate a probe opens the output at

inline ALCdevice* alcOf(void* p) { return static_cast<ALCdevice*>(p); }
inline ALCcontext* contextOf(void* p) { return static_cast<ALCcontext*>(p); }

inline ALenum formatOf(uint32_t channels) { return channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16; }

// Head-relative positions arrive as (forward, left, up); OpenAL's own axes
// are (right, up, backward).
inline Vector toOpenAlHeadAxes(const Vector& v) { return Vector(-v.y, v.z, -v.x); }

inline float length(const Vector& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

inline ALenum distanceModelOf(const std::string& name) {
    if (name == "linear") return AL_LINEAR_DISTANCE_CLAMPED;
    if (name == "exponent") return AL_EXPONENT_DISTANCE_CLAMPED;
    if (name == "none") return AL_NONE;
    return AL_INVERSE_DISTANCE_CLAMPED;
}

}  // namespace aldevice
