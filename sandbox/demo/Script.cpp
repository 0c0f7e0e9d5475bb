#include "sandbox/demo/Script.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

#include "sandbox/host/Board.h"

namespace zsdemo {

std::string Command::text() const {
    std::string out = verb;
    for (const std::string& a : args) out += " " + a;
    return out;
}

const std::vector<CommandForm>& commandTable() {
    static const std::vector<CommandForm> table = {
        {"menu", "SOUND", "plays a menu sound of UI.cfg"},
        {"action", "EFFECT X Y", "plays an action sound at board cell (X, Y)"},
        {"music", "EFFECT", "starts the music"},
        {"music-stop", "", "stops the music (fades out)"},
        {"quiet", "", "music at its quiet level"},
        {"loud", "", "music at its normal level"},
        {"subtype", "X Y SUBTYPE", "cell (X, Y) becomes sea, coast, meadow, forest or mountains"},
        {"focus", "on|off", "the game window gains or loses the focus"},
        {"pause", "", "pauses the game: every effect and the render timer"},
        {"unpause", "", "resumes the game"},
        {"save", "FILE", "saves the game into FILE (in the output directory)"},
        {"load", "FILE", "loads a saved game and restarts its music"},
        {"reread", "", "re-reads every configuration file"},
        {"emulate3d", "on|off", "landscape sounds placed by volume instead of by the device"},
        {"group", "GROUP on|off", "switches a sound group (0 actions, 1 landscape, 2 menus, 3 music)"},
        {"volume", "GROUP VALUE", "sets a sound group's volume (0 to 1)"},
        {"key", "CODE", "presses and releases a developer key"},
        {"end", "", "ends the session"},
    };
    return table;
}

namespace {

std::vector<std::string> words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

bool number(const std::string& s, double* value) {
    if (s.empty()) return false;
    char* end = nullptr;
    *value = std::strtod(s.c_str(), &end);
    return end == s.c_str() + s.size() && std::isfinite(*value);
}

bool wholeNumber(const std::string& s, long* value) {
    if (s.empty()) return false;
    char* end = nullptr;
    *value = std::strtol(s.c_str(), &end, 10);
    return end == s.c_str() + s.size();
}

// "12.5", "1:02.5" or "+3"; false when it is none of them.
bool parseTime(const std::string& s, double previous, double* time) {
    if (!s.empty() && s[0] == '+') {
        double d;
        if (!number(s.substr(1), &d) || d < 0) return false;
        *time = previous + d;
        return true;
    }
    const size_t colon = s.find(':');
    if (colon == std::string::npos) return number(s, time) && *time >= 0;
    long minutes;
    double seconds;
    if (!wholeNumber(s.substr(0, colon), &minutes) || minutes < 0 || !number(s.substr(colon + 1), &seconds) ||
        seconds < 0 || seconds >= 60)
        return false;
    *time = minutes * 60.0 + seconds;
    return true;
}

// Checks one argument against the word that names it in the table; empty
// when it fits, else what is wrong.
std::string checkArgument(const std::string& kind, const std::string& value) {
    double d;
    long n;
    if (kind == "X" || kind == "Y")
        return wholeNumber(value, &n) && n >= 0 ? "" : kind + " should be a cell number (0 or more), not " + value;
    if (kind == "VALUE") return number(value, &d) && d >= 0 && d <= 1 ? "" : "VALUE should be from 0 to 1, not " + value;
    if (kind == "GROUP")
        return wholeNumber(value, &n) && n >= 0 && n <= 3 ? "" : "GROUP should be 0, 1, 2 or 3, not " + value;
    if (kind == "CODE") return wholeNumber(value, &n) ? "" : "CODE should be a whole number, not " + value;
    if (kind == "on|off") return value == "on" || value == "off" ? "" : "expected on or off, not " + value;
    if (kind == "SUBTYPE") {
        for (int s = sandbox::Sea; s <= sandbox::Mountains; ++s)
            if (value == sandbox::subtypeName(s)) return "";
        return "unknown subtype " + value + " (sea, coast, meadow, forest, mountains)";
    }
    return "";
}

}  // namespace

Script parseScript(const std::string& text) {
    Script script;
    std::istringstream in(text);
    std::string raw;
    double previous = 0.0;
    for (int line = 1; std::getline(in, raw); ++line) {
        const size_t hash = raw.find('#');
        const std::vector<std::string> w = words(hash == std::string::npos ? raw : raw.substr(0, hash));
        if (w.empty()) continue;
        auto fail = [&](const std::string& why) { script.messages.push_back({line, why}); };
        double time;
        if (!parseTime(w[0], previous, &time)) {
            fail("\"" + w[0] + "\" is not a time (seconds, MIN:SEC or +SECONDS)");
            continue;
        }
        if (time < previous) {
            fail("time " + w[0] + " goes back before the previous command");
            continue;
        }
        if (w.size() < 2) {
            fail("a time without a command");
            continue;
        }
        const CommandForm* form = nullptr;
        for (const CommandForm& s : commandTable())
            if (w[1] == s.verb) form = &s;
        if (!form) {
            fail("unknown command \"" + w[1] + "\"");
            continue;
        }
        const std::vector<std::string> kinds = words(form->arguments);
        const std::vector<std::string> args(w.begin() + 2, w.end());
        if (args.size() != kinds.size()) {
            fail(std::string(form->verb) + " takes " +
                 (kinds.empty() ? std::string("no arguments") : std::string(form->arguments)));
            continue;
        }
        std::string wrong;
        for (size_t k = 0; k < args.size() && wrong.empty(); ++k) wrong = checkArgument(kinds[k], args[k]);
        if (!wrong.empty()) {
            fail(std::string(form->verb) + ": " + wrong);
            continue;
        }
        previous = time;
        script.commands.push_back({time, line, w[1], args});
    }
    return script;
}

}  // namespace zsdemo
