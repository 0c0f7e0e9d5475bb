#pragma once
// The logging library as the sound library calls it: named channels
// (debug::Filter), three kinds of message (Error, Warning with a level,
// Message with a level), each carrying the "(file,line)" context of the code
// that built it, and the exception base of the device library.
//
// Threads: every operation may be called from any thread at once.
#include <sstream>
#include <string>

#include "interfaces/Export.h"

namespace debug {

// Where a message was built: its text reads "(" + file + "," + line + ")".
// The file is a string that outlives the context (DEBUG_CONTEXT passes
// __FILE__); only its base name is kept, as a pointer into it, so building a
// context costs nothing on paths that never post a message.
class ZULSOUND_API Context {
public:
    Context(const char* file, int line);
    std::string getFile() const { return file; }
    int getLine() const { return line; }
    std::string getText() const;

private:
    const char* file;
    int line;
};

#define DEBUG_CONTEXT ::debug::Context(__FILE__, __LINE__)

enum class Kind { Error, Warning, Message };

// A message under construction: text is streamed in with the stream's
// default formatting (numbers as the stream writes them, bools as 1 and 0).
class ZULSOUND_API Message {
public:
    Message(const Context& context, float level);
    virtual ~Message();
    Message(const Message&);
    Message& operator=(const Message&);

    template <typename T>
    Message& operator<<(const T& value) {
        stream << value;
        return *this;
    }

    Kind getKind() const { return kind; }
    float getLevel() const { return level; }
    std::string getText() const { return stream.str(); }
    const Context& getContext() const { return context; }

protected:
    Message(const Context& context, float level, Kind kind);

private:
    Context context;
    float level;
    Kind kind;
    std::ostringstream stream;
};

class ZULSOUND_API Warning : public Message {
public:
    Warning(const Context& where, float messageLevel) : Message(where, messageLevel, Kind::Warning) {}
};

class ZULSOUND_API Error : public Message {
public:
    explicit Error(const Context& where) : Message(where, 0.0f, Kind::Error) {}
};

// A named log channel. Channels with the same name share their output.
class ZULSOUND_API Filter {
public:
    explicit Filter(const std::string& name);
    ~Filter();
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    const std::string& getName() const { return name; }

    // Hands the message to the output; never throws, never stops the caller.
    void post(const Message& message) const;

private:
    std::string name;
};

// Base of the exceptions thrown by the outside libraries (the sound device
// library's SoundDeviceException and SoundObjectException among them).
class ZULSOUND_API Exception {
public:
    explicit Exception(std::string text = std::string());
    virtual ~Exception();
    virtual std::string getString() const;

private:
    std::string text;
};

// Host-side control of the output. By default warnings and errors go to the
// standard error stream. A log file, when set, receives every message whose
// level does not exceed the threshold (errors always pass).
ZULSOUND_API bool setLogFile(const std::string& path);
ZULSOUND_API void setLevelThreshold(float maxLevel);
ZULSOUND_API void setStandardErrorOutput(bool enabled);

}  // namespace debug
