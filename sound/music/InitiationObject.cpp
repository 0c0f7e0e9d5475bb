#include "sound/music/InitiationObject.h"

namespace thread {

InitiationObject::InitiationObject() = default;

InitiationObject::~InitiationObject() { stopNotifying(); }

void InitiationObject::notify(unsigned long) { process(); }

void InitiationObject::initiate() { startNotifying(&initiationEvent); }

}  // namespace thread
