#pragma once
// The session script zsdemo plays: a plain text file, one timed command a
// line.
//
//   # a comment; blank lines are skipped
//   TIME COMMAND [ARGUMENT...]   [# comment]
//
// TIME is the session time in seconds ("12.5") or minutes and seconds
// ("1:02.5"); "+SECONDS" is relative to the previous command. Times never
// go back. The commands and their arguments are listed in `commandTable`
// (and in README.md). A line that is not understood gives a message with
// its line number and is skipped; the rest of the script still plays.
#include <string>
#include <vector>

namespace zsdemo {

struct Command {
    double time = 0.0;  // seconds of session time
    int line = 0;       // line in the script
    std::string verb;
    std::vector<std::string> args;

    // The command as it reads in the script, without its time.
    std::string text() const;
};

struct ScriptMessage {
    int line;
    std::string text;
    // "LINE: text"
    std::string format() const { return "line " + std::to_string(line) + ": " + text; }
};

// What a command expects: its word, its arguments, what it does.
struct CommandForm {
    const char* verb;
    const char* arguments;  // e.g. "EFFECT X Y"; empty for none
    const char* meaning;
};
const std::vector<CommandForm>& commandTable();

struct Script {
    std::vector<Command> commands;  // in time order
    std::vector<ScriptMessage> messages;
    // The time of the last command ("end" included).
    double length() const { return commands.empty() ? 0.0 : commands.back().time; }
};

Script parseScript(const std::string& text);

}  // namespace zsdemo
