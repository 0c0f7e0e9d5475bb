#pragma once
// Effects played while a StartTogether lives start together on the device,
// in one mixing period: the effects a developer key plays at once, or those
// every effect's activation resumes after a pause, stay in step even when a
// mixing period of the device's own thread falls among their play() calls.
#include "sound/manager/Globals.h"
#include "sound/request/RequestManager.h"

class StartTogether {
public:
    StartTogether() : manager(theRequestManager) {
        if (manager) manager->beginBatch();
    }
    ~StartTogether() {
        if (manager) manager->endBatch();
    }
    StartTogether(const StartTogether&) = delete;
    StartTogether& operator=(const StartTogether&) = delete;

private:
    RequestManager* manager;
};
