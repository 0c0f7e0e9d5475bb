#pragma once
// Commands for the music worker: messages of two strings, a command and an
// argument, removed in the order in which they were added. The queue holds
// strings, not pairs: its size counts strings, so one message counts 2.
//
// Threads: addMessage, removeMessage and getSize from any thread; each holds
// the queue's lock for its duration, so both strings of a message go in and
// come out under one hold and a message is never split or interleaved. The
// destructor takes no lock: the owner destroys the queue after its worker
// has stopped.
#include <list>
#include <mutex>
#include <string>

#include "interfaces/Export.h"

class ZULSOUND_API MessageQueue {
public:
    MessageQueue();
    virtual ~MessageQueue();

    void addMessage(const std::string& command, const std::string& argument);
    // Empty command (and argument) when no message was waiting.
    void removeMessage(std::string& command, std::string& argument);
    unsigned long getSize();

    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

private:
    std::recursive_mutex lock;
    std::list<std::string> entries;
};
