// The system output's parking place between two lives of a device's mixer
// (Sink.h), and the memory of a server that did not answer.
//
// One sink at most is parked: one device plays on the system's output at a
// time in a game. A thread of the park's own closes a sink nobody took back
// in time; it sleeps on a condition variable while the park is empty. The
// park itself lives until the process ends, when what it holds is closed.
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/device/Sink.h"

namespace aldevice {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> parkGone{false};  // the process is ending: nothing is parked any more

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
        return usable();
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
            if (!parked) {
                wake.wait(guard);
                continue;
            }
            if (Clock::now() < until) {
                wake.wait_until(guard, until);
                continue;
            }
            std::unique_ptr<Sink> late = std::move(parked);
            guard.unlock();
            late.reset();  // closed without the lock: bounded, but not instant
            guard.lock();
        }
    }

    std::mutex mutex;  // a leaf
    std::condition_variable wake;
    std::unique_ptr<Sink> parked;
    uint32_t parkedRate = 0;
    std::string parkedOn;  // the server it plays on
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

void noteServerHung(const std::string& why) { thePark().noteHung(why); }
void noteServerAnswered() { thePark().noteAnswered(); }
bool serverHungRecently(std::string* why) { return thePark().hungRecently(why); }

}  // namespace aldevice
