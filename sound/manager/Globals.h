#pragma once
// The library's singleton pointers. The exported ones (the game's way in)
// are declared in sound/manager/Singletons.h, the header a game installs;
// the internal ones here connect the subsystems. SoundManager sets and deletes
// them all except theSoundManager and theTestInsonificator, which only the
// host sets. One object may stand behind several pointers, each typed as a
// different base of it.
#include "sound/manager/Singletons.h"

class RequestManager;
class RequestEffectInterface;
class RequestListenerInterface;
class ShellManager;
class ProcessHearerManager;
class Randomizer;
class RequestInformator;

// internal
extern RequestManager* theRequestManager;
extern RequestEffectInterface* theRequestEffectInterface;
extern RequestListenerInterface* theRequestListenerInterface;
extern ShellManager* theShellManager;
extern ProcessHearerManager* theProcessHearerManager;
extern Randomizer* theRandomizer;
extern RequestInformator* theRequestInformator;

