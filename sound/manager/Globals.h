#pragma once
// The library's singleton pointers. The exported ones are the game's way in;
// the internal ones connect the subsystems. SoundManager sets and deletes
// them all except theSoundManager and theTestInsonificator, which only the
// host sets. One object may stand behind several pointers, each typed as a
// different base of it.
#include "interfaces/Export.h"

class RequestManager;
class RequestEffectInterface;
class RequestListenerInterface;
class ShellManager;
class EffectManager;
class ListenerManager;
class InsonificatorManager;
class ActInsonificator;
class LandInsonificator;
class MusicInsonificator;
class ProcessHearerManager;
class Randomizer;
class RequestInformator;
class SoundManager;
class TestInsonificator;

// internal
extern RequestManager* theRequestManager;
extern RequestEffectInterface* theRequestEffectInterface;
extern RequestListenerInterface* theRequestListenerInterface;
extern ShellManager* theShellManager;
extern ProcessHearerManager* theProcessHearerManager;
extern Randomizer* theRandomizer;
extern RequestInformator* theRequestInformator;

// exported
extern ZULSOUND_API EffectManager* theEffectManager;
extern ZULSOUND_API ListenerManager* theListenerManager;
extern ZULSOUND_API InsonificatorManager* theInsonificatorManager;
extern ZULSOUND_API ActInsonificator* theActInsonificator;
extern ZULSOUND_API LandInsonificator* theLandInsonificator;
extern ZULSOUND_API MusicInsonificator* theMusicInsonificator;
extern ZULSOUND_API SoundManager* theSoundManager;
extern ZULSOUND_API TestInsonificator* theTestInsonificator;
