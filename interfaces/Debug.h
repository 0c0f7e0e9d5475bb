#pragma once
/// @file
/// The logging library as the sound library calls it: named channels
/// (debug::Filter), three kinds of message (Error, Warning with a level,
/// Message with a level), each carrying the "(file,line)" context of the code
/// that built it, and the exception base of the device library.
///
/// Threads: every operation may be called from any thread at once.
#include <sstream>
#include <string>

#include "interfaces/Export.h"

/// The logging library.
namespace debug {

/// Where a message was built: its text reads "(" + file + "," + line + ")",
/// with the base name of the file. The file is a string that outlives the
/// context (DEBUG_CONTEXT passes __FILE__) and is kept as the pointer it is:
/// the base name is found only when a message is written, so building a
/// context costs nothing on paths that never post one (every device call of
/// a frame builds one).
class ZULSOUND_API Context {
public:
    /// The context of `file` (kept as a pointer) and `line`.
    Context(const char* file, int line);
    /// The base name of the file.
    std::string getFile() const;
    /// The line.
    int getLine() const { return line; }
    /// "(" + file + "," + line + ")".
    std::string getText() const;

private:
    const char* file;
    int line;
};

/// The context of the line that uses it.
#define DEBUG_CONTEXT ::debug::Context(__FILE__, __LINE__)

/// What a message is.
enum class Kind { Error, Warning, Message };

/// A message under construction: text is streamed in with the stream's
/// default formatting (numbers as the stream writes them, bools as 1 and 0).
class ZULSOUND_API Message {
public:
    /// A plain message of `level`, built at `context`.
    Message(const Context& context, float level);
    virtual ~Message();
    /// Copies kind, level, context and text.
    Message(const Message&);
    /// Copies kind, level, context and text.
    Message& operator=(const Message&);

    /// Appends `value` as the stream writes it.
    template <typename T>
    Message& operator<<(const T& value) {
        stream << value;
        return *this;
    }

    /// Error, Warning or Message.
    Kind getKind() const { return kind; }
    /// The level (0.0 for errors).
    float getLevel() const { return level; }
    /// The text streamed in so far.
    std::string getText() const { return stream.str(); }
    /// Where it was built.
    const Context& getContext() const { return context; }

protected:
    Message(const Context& context, float level, Kind kind);

private:
    Context context;
    float level;
    Kind kind;
    std::ostringstream stream;
};

/// A warning of a level (0.1 for failures, 1.0 for repeated events).
class ZULSOUND_API Warning : public Message {
public:
    /// A warning of `messageLevel`, built at `where`.
    Warning(const Context& where, float messageLevel) : Message(where, messageLevel, Kind::Warning) {}
};

/// An error: misuse (a call in the wrong state, a failed cast).
class ZULSOUND_API Error : public Message {
public:
    /// An error built at `where`.
    explicit Error(const Context& where) : Message(where, 0.0f, Kind::Error) {}
};

/// A named log channel. Channels with the same name share their output.
class ZULSOUND_API Filter {
public:
    /// The channel `name`.
    explicit Filter(const std::string& name);
    ~Filter();
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    /// The channel's name.
    const std::string& getName() const { return name; }

    /// Hands the message to the output; never throws, never stops the caller.
    void post(const Message& message) const;

private:
    std::string name;
};

/// Base of the exceptions thrown by the outside libraries (the sound device
/// library's SoundDeviceException and SoundObjectException among them).
class ZULSOUND_API Exception {
public:
    /// An exception with its text.
    explicit Exception(std::string text = std::string());
    virtual ~Exception();
    /// The text (logged as a warning where the library catches it).
    virtual std::string getString() const;

private:
    std::string text;
};

/// Host-side control of the output. By default warnings and errors go to the
/// standard error stream. A log file, when set, receives every message whose
/// level does not exceed the threshold (errors always pass).
/// Writes the log to the file at `path` too; false when it does not open.
ZULSOUND_API bool setLogFile(const std::string& path);
/// The log file receives messages up to this level (errors always).
ZULSOUND_API void setLevelThreshold(float maxLevel);
/// Whether warnings and errors go to standard error (true at first).
ZULSOUND_API void setStandardErrorOutput(bool enabled);

}  // namespace debug
