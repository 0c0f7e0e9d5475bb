#pragma once
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

class ZULSOUND_API TestInsonificator : public Insonificator, public DebugInputCapturer {
public:
    TestInsonificator();
    ~TestInsonificator() override;

    void process(int code, int value) override;

private:
    Effect* testEffect = nullptr;
    std::list<Effect*> numberedEffects;
};
