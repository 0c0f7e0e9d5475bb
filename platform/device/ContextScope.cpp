// A device call's OpenAL context, current only for the call.
#define AL_ALEXT_PROTOTYPES
#include "platform/device/AlDevice.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include "platform/device/AlInternal.h"

namespace aldevice {

ContextScope::ContextScope(void* context) {
    if (!context) return;
    previous = alcGetThreadContext();
    if (previous == context) return;  // an operation within an operation
    changed = alcSetThreadContext(contextOf(context)) == ALC_TRUE;
}

ContextScope::~ContextScope() {
    if (changed) alcSetThreadContext(contextOf(previous));
}

ContextScope AlDevice::makeCurrent() { return ContextScope(alcContext); }

}  // namespace aldevice
