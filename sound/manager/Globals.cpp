#include "sound/manager/Globals.h"

RequestManager* theRequestManager = nullptr;
RequestEffectInterface* theRequestEffectInterface = nullptr;
RequestListenerInterface* theRequestListenerInterface = nullptr;
ShellManager* theShellManager = nullptr;
ProcessHearerManager* theProcessHearerManager = nullptr;
Randomizer* theRandomizer = nullptr;
RequestInformator* theRequestInformator = nullptr;

EffectManager* theEffectManager = nullptr;
ListenerManager* theListenerManager = nullptr;
InsonificatorManager* theInsonificatorManager = nullptr;
ActInsonificator* theActInsonificator = nullptr;
LandInsonificator* theLandInsonificator = nullptr;
MusicInsonificator* theMusicInsonificator = nullptr;
SoundManager* theSoundManager = nullptr;
TestInsonificator* theTestInsonificator = nullptr;
