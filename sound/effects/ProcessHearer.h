#pragma once
// Objects that want to be looked at regularly (idle unloading effects, the
// statistics window) register with the one ProcessHearerManager, which calls
// them at most once every processTimeLimit seconds of frame time.
//
// A pass runs on the rendering thread without holding the registry's lock
// while it calls a hearer, so it never waits for an effect's lock while
// holding its own (effects call the registry under their lock). A hearer
// removed during a pass is not called afterwards; a hearer that is about to
// be destroyed calls retireHearer first, which also waits until a call into
// it that another thread's pass has already started has returned.
//
// Threads: addHearer/removeHearer/retireHearer from any thread;
// processHearers from the rendering thread.
#include <condition_variable>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

class ProcessHearer {
public:
    virtual ~ProcessHearer() = default;
    virtual void process() = 0;
};

class ProcessHearerManager {
public:
    ProcessHearerManager();
    virtual ~ProcessHearerManager();

    void addHearer(ProcessHearer* hearer);
    void removeHearer(ProcessHearer* hearer);
    // removeHearer, then wait until no pass on another thread is inside the
    // hearer's process(). Call it first thing in a hearer's destructor.
    void retireHearer(ProcessHearer* hearer);
    // Adds the frame's elapsed time; runs a pass when processTimeLimit is reached.
    void processHearers(float elapsedTime);

    size_t getHearerCount();

private:
    std::recursive_mutex lock;
    std::condition_variable_any idle;
    std::list<ProcessHearer*> hearers;
    float elapsed = 0.0f;
    // The pass in progress: hearers still to call, last first (it keeps its
    // room, so a pass allocates nothing once one has run), the one being
    // called.
    std::vector<ProcessHearer*> pending;
    ProcessHearer* calling = nullptr;
    std::thread::id passThread;
};
