#pragma once
/// @file
/// The developer keys' test insonificator, built by the game.
//
// A developer tool that loads the sound system from the keyboard. On debug
// shortcut 19 it creates the effect "sin" and the 500 effects "test0" to
// "test499" (once); on 25 it plays every numbered effect; on 26 it plays
// "sin" again from its start. It keeps the name "undefined insonificator",
// so no group setting of the registry reaches it. The host constructs it
// after the sound manager and may publish it through theTestInsonificator;
// the library never does.
//
// Threads: the debug-input thread calls process(); it takes the
// insonificator's lock like every other operation.
#include <list>

#include "interfaces/DebugInput.h"
#include "interfaces/Export.h"
#include "sound/insonificators/Insonificator.h"

/// A developer tool that loads the sound system from the keyboard: debug
/// shortcut 19 creates the effect "sin" and the 500 effects "test0" to
/// "test499" (once), 25 plays every numbered effect, 26 plays "sin" again
/// from its start. The game builds it after SoundManager::activate(),
/// deletes it before the SoundManager, and may publish it through
/// theTestInsonificator; the library never does. Its name stays
/// "undefined insonificator", so no group setting reaches it.
///
/// Threads: the thread that calls debuginput::dispatch() runs process().
class ZULSOUND_API TestInsonificator : public Insonificator, public DebugInputCapturer {
public:
    /// Registers the shortcuts 19, 25 and 26.
    TestInsonificator();
    /// Unregisters them and hands its effects back.
    ~TestInsonificator() override;

    /// A developer key (see the class); other codes and releases (value 0)
    /// do nothing.
    void process(int code, int value) override;

private:
    Effect* testEffect = nullptr;
    std::list<Effect*> numberedEffects;
};
