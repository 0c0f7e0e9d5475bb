#pragma once
// The content checker behind zscheck: reads the content mounted at "/" the
// way the library would (the "Effects.snd" reader, the configuration layer,
// the sound decoder) and lists every problem it finds, not just the first.
//
// Files checked: "Effects.snd" (syntax, names declared twice, sound files
// missing or not decoding, the device settings file), UI.cfg,
// DefaultSounds.cfg, AdaptSettings.cfg, MusicSettings.cfg, Listener.cfg and
// the "Sounds" block of every map below "/Maps" (effect names that
// "Effects.snd" does not declare, malformed files, keys of the wrong type,
// values out of range, landscape subtypes the sandbox game does not know,
// regions in the old "regionRadius" form).
//
// Threads: one check at a time (the "Effects.snd" reader keeps its state in
// statics).
#include <string>
#include <vector>

namespace zscheck {

struct Problem {
    std::string file;  // content path without the leading "/" ("Configs/Sounds/UI.cfg")
    int line = 0;      // 0 when the problem has no line
    std::string text;
    // The library reads it right all the same (a map in the old
    // "regionRadius" form): listed, but the content still passes.
    bool warning = false;

    // "file:line: text", or "file: text" without a line; "warning: "
    // before the text of a warning.
    std::string format() const;
};

// Checks the content mounted at "/" in theResourceManager.
std::vector<Problem> checkContent();
// How many of them are not warnings.
size_t countErrors(const std::vector<Problem>& problems);

}  // namespace zscheck
