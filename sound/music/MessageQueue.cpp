#include "sound/music/MessageQueue.h"

#include <new>

#include "sound/manager/LogChannels.h"

MessageQueue::MessageQueue() = default;

MessageQueue::~MessageQueue() {
    if (!entries.empty())
        channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f)
                                    << "Not all the messages was destroyed: size = " << entries.size());
}

void MessageQueue::addMessage(const std::string& command, const std::string& argument) {
    offerMessage(command, argument);
}

bool MessageQueue::offerMessage(const std::string& command, const std::string& argument) {
    // Both strings are built before the lock is taken; the list only links
    // them, so a message that cannot be built leaves the queue as it was.
    std::list<std::string> message;
    try {
        message = {command, argument};
    } catch (const std::bad_alloc&) {
        channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << "failed to addMessage " << command
                                                                << ": out of memory");
        return false;
    }
    std::lock_guard<std::recursive_mutex> guard(lock);
    entries.splice(entries.end(), message);
    return true;
}

void MessageQueue::removeMessage(std::string& command, std::string& argument) {
    command.clear();
    argument.clear();
    std::lock_guard<std::recursive_mutex> guard(lock);
    if (entries.empty()) return;
    command = std::move(entries.front());
    entries.pop_front();
    if (entries.empty()) return;
    argument = std::move(entries.front());
    entries.pop_front();
}

unsigned long MessageQueue::getSize() {
    std::lock_guard<std::recursive_mutex> guard(lock);
    return static_cast<unsigned long>(entries.size());
}
