#pragma once
/// @file
/// Commands for the music worker.
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

/// Commands for the music worker: messages of two strings, a command and
/// an argument, removed in the order they were added; the music
/// insonificator fills it, a game does not. Destroyed with messages left, it
/// warns "Not all the messages was destroyed: size = N" (N strings).
///
/// Threads: addMessage, removeMessage and getSize from any thread.
class ZULSOUND_API MessageQueue {
public:
    /// An empty queue.
    MessageQueue();
    /// Warns about messages left (see the class).
    virtual ~MessageQueue();

    /// Appends a message (both strings under one hold of the lock). Out of
    /// memory for it: error "failed to addMessage COMMAND: out of memory",
    /// and the queue stays as it was.
    void addMessage(const std::string& command, const std::string& argument);
    /// addMessage(), answering whether the message was queued.
    bool offerMessage(const std::string& command, const std::string& argument);
    /// Takes the oldest message; empty command and argument when none waits.
    void removeMessage(std::string& command, std::string& argument);
    /// How many strings wait: two per message.
    unsigned long getSize();

    MessageQueue(const MessageQueue&) = delete;
    MessageQueue& operator=(const MessageQueue&) = delete;

private:
    std::recursive_mutex lock;
    std::list<std::string> entries;
};
