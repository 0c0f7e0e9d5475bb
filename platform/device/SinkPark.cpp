// The system output's parking place between two lives of a device's mixer
// (Sink.h), and the memory of a server that did not answer.
//
// One sink at most is parked: one device plays on the system's output at a
// time in a game; so is one tail (a mixer playing on through a re-read's
// hold). A thread of the park's own closes a sink nobody took back in time
// and ends a tail left over; it sleeps on a condition variable while the
// park is empty. The park itself lives until the process ends, when what it
// holds is closed.
#include <atomic>
#include <condition_variable>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/device/Sink.h"

namespace aldevice {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> parkGone{false};  // the process is ending: nothing is parked any more
std::atomic<int> holdDepth{0};      // open beginOutputHold() calls

// The server a sink was opened on: the user's (empty) or PULSE_SERVER's.
std::string serverNamed() {
    const char* named = std::getenv("PULSE_SERVER");
    return named ? named : "";
}

class Park {
public:
    ~Park() {
        parkGone = true;
        std::unique_lock<std::mutex> guard(mutex);
        quitting = true;
        guard.unlock();
        wake.notify_all();
        if (closer.joinable()) closer.join();
        parked.reset();
        if (tail) tail->endTail();  // a re-read cut short by the process's end
        tail.reset();
    }

    void park(std::unique_ptr<Sink> sink, uint32_t rate) {
        std::unique_ptr<Sink> former;
        {
            std::lock_guard<std::mutex> guard(mutex);
            former = std::move(parked);
            parked = std::move(sink);
            parkedRate = rate;
            parkedOn = serverNamed();
            until = Clock::now() + parkedFor;
            if (!closer.joinable() && !quitting) {
                try {
                    closer = std::thread([this] { closeLate(); });
                } catch (const std::system_error&) {
                    former = std::move(parked);  // no thread to close it in time: closed now
                }
            }
        }
        wake.notify_all();
        // `former` closes here, without the park's lock.
    }

    std::unique_ptr<Sink> take(uint32_t rate) {
        std::unique_ptr<Sink> dead;
        std::lock_guard<std::mutex> guard(mutex);
        if (!usable()) {
            dead = std::move(parked);  // gone with its server, or another server asked for
            return nullptr;
        }
        if (parkedRate != rate) return nullptr;
        return std::move(parked);
    }

    bool holds() {
        std::lock_guard<std::mutex> guard(mutex);
        return usable() || (tail && tailOn == serverNamed());
    }

    std::shared_ptr<MixerTail> parkTail(std::shared_ptr<MixerTail> next, uint32_t rate) {
        std::shared_ptr<MixerTail> former;
        {
            std::lock_guard<std::mutex> guard(mutex);
            former = std::move(tail);
            tail = std::move(next);
            tailRate = rate;
            tailOn = serverNamed();
            tailUntil = Clock::now() + parkedFor;
            if (!closer.joinable() && !quitting) {
                try {
                    closer = std::thread([this] { closeLate(); });
                } catch (const std::system_error&) {
                    // No thread: the hold's end ends the tail all the same.
                }
            }
        }
        wake.notify_all();
        return former;
    }

    std::shared_ptr<MixerTail> takeTail(uint32_t rate) {
        std::lock_guard<std::mutex> guard(mutex);
        if (!tail || tailRate != rate || tailOn != serverNamed()) return nullptr;
        return std::move(tail);
    }

    std::shared_ptr<MixerTail> takeAnyTail() {
        std::lock_guard<std::mutex> guard(mutex);
        return std::move(tail);
    }

    void noteHung(const std::string& why) {
        std::lock_guard<std::mutex> guard(mutex);
        hungAt = Clock::now();
        hungWhy = why;
        hungOn = serverNamed();
        hungSeen = true;
    }
    void noteAnswered() {
        std::lock_guard<std::mutex> guard(mutex);
        hungSeen = false;
    }
    bool hungRecently(std::string* why) {
        std::lock_guard<std::mutex> guard(mutex);
        if (!hungSeen || hungOn != serverNamed() || Clock::now() - hungAt >= outputPatience) return false;
        if (why) *why = hungWhy;
        return true;
    }

private:
    bool usable() { return parked && parkedOn == serverNamed() && parked->alive(); }

    void closeLate() {
        std::unique_lock<std::mutex> guard(mutex);
        while (!quitting) {
            if (!parked && !tail) {
                wake.wait(guard);
                continue;
            }
            const auto now = Clock::now();
            if (parked && now >= until) {
                std::unique_ptr<Sink> late = std::move(parked);
                guard.unlock();
                late.reset();  // closed without the lock: bounded, but not instant
                guard.lock();
                continue;
            }
            if (tail && now >= tailUntil) {
                // A hold that never ended: the tail's sink is parked (here
                // again, without the lock) like any other.
                std::shared_ptr<MixerTail> over = std::move(tail);
                guard.unlock();
                over->endTail();
                over.reset();
                guard.lock();
                continue;
            }
            wake.wait_until(guard, parked && tail ? std::min(until, tailUntil) : parked ? until : tailUntil);
        }
    }

    std::mutex mutex;  // a leaf
    std::condition_variable wake;
    std::unique_ptr<Sink> parked;
    uint32_t parkedRate = 0;
    std::string parkedOn;  // the server it plays on
    std::shared_ptr<MixerTail> tail;
    uint32_t tailRate = 0;
    std::string tailOn;
    Clock::time_point tailUntil;
    Clock::time_point until;
    bool quitting = false;
    std::thread closer;
    Clock::time_point hungAt;
    std::string hungWhy;
    std::string hungOn;  // the server that did not answer
    bool hungSeen = false;
};

Park& thePark() {
    static Park park;  // closed at the process's end
    return park;
}

}  // namespace

void parkSink(std::unique_ptr<Sink> sink, uint32_t rate) {
    if (sink && !parkGone) thePark().park(std::move(sink), rate);
}

std::unique_ptr<Sink> takeParkedSink(uint32_t rate) { return parkGone ? nullptr : thePark().take(rate); }

bool sinkParked() { return !parkGone && thePark().holds(); }

void beginOutputHold() { ++holdDepth; }

void endOutputHold() {
    int depth = holdDepth.load();
    while (depth > 0 && !holdDepth.compare_exchange_weak(depth, depth - 1)) {
    }
    if (depth != 1 || parkGone) return;
    // The hold is over: a tail the next device did not take (another rate,
    // no device made) ends here. One taken is handed over by its taker.
    if (std::shared_ptr<MixerTail> left = thePark().takeAnyTail()) left->endTail();
}

bool outputHeld() { return holdDepth.load() > 0; }

std::shared_ptr<MixerTail> parkTail(std::shared_ptr<MixerTail> tail, uint32_t rate) {
    if (!tail || parkGone) return tail;
    return thePark().parkTail(std::move(tail), rate);
}

std::shared_ptr<MixerTail> takeTail(uint32_t rate) { return parkGone ? nullptr : thePark().takeTail(rate); }

void noteServerHung(const std::string& why) { thePark().noteHung(why); }
void noteServerAnswered() { thePark().noteAnswered(); }
bool serverHungRecently(std::string* why) { return thePark().hungRecently(why); }

}  // namespace aldevice
