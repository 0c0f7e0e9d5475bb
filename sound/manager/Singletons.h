#pragma once
/// @file
/// The exported singleton pointers: the game's way to the library's
/// long-lived objects.
///
/// Constructing the SoundManager sets every pointer here except
/// theSoundManager and theTestInsonificator, which only the game sets;
/// destroying it sets them back to null. One object may stand behind several
/// pointers, each typed as a different base of it (theEffectManager and
/// theListenerManager are the same effect and listener manager).
///
/// Threads: read them from any thread while the SoundManager lives; they
/// change only while it is constructed and destroyed.
#include "interfaces/Export.h"

class EffectManager;
class ListenerManager;
class InsonificatorManager;
class ActInsonificator;
class LandInsonificator;
class MusicInsonificator;
class SoundManager;
class TestInsonificator;

/// Creates and destroys effects (the same object as theListenerManager).
extern ZULSOUND_API EffectManager* theEffectManager;
/// Creates and destroys listeners (the same object as theEffectManager).
extern ZULSOUND_API ListenerManager* theListenerManager;
/// The four sound groups by id: volume, quality and on/off.
extern ZULSOUND_API InsonificatorManager* theInsonificatorManager;
/// The game's action sounds (group 0, "Sound effects").
extern ZULSOUND_API ActInsonificator* theActInsonificator;
/// The landscape sounds of the board (group 1, "Environment sounds").
extern ZULSOUND_API LandInsonificator* theLandInsonificator;
/// The background music (group 3, "Music").
extern ZULSOUND_API MusicInsonificator* theMusicInsonificator;
/// Null until the game stores its SoundManager here; the library never sets it.
extern ZULSOUND_API SoundManager* theSoundManager;
/// Null until the game stores its TestInsonificator here; the library never sets it.
extern ZULSOUND_API TestInsonificator* theTestInsonificator;
