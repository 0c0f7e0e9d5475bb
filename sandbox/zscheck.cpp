// zscheck: lists every problem of a game's sound content at once.
//
//   zscheck [--strict] [DIR|ZIP]
//
// Mounts the content (by default the build tree's sample content) and checks
// "Effects.snd", the sound files it names, the ".cfg" files of
// /Configs/Sounds and the "Sounds" blocks of the maps below /Maps. Each
// problem is one line "file:line: text" (or "file: text"). Exit status 0
// when the content is clean, 1 when problems were found, 2 when the content
// cannot be mounted. Warnings (maps in the old "regionRadius" form, which
// the library converts as it reads them) are listed but leave the status 0
// unless --strict is given.
#include <iostream>
#include <string>

#include "interfaces/Debug.h"
#include "interfaces/Resource.h"
#include "sandbox/check/ContentCheck.h"

#ifndef ZULSOUND_CONTENT_DIR
#define ZULSOUND_CONTENT_DIR "content"
#endif

int main(int argc, char** argv) {
    std::string content = ZULSOUND_CONTENT_DIR;
    bool strict = false, given = false;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--strict") {
            strict = true;
        } else if (arg.empty() || arg[0] == '-' || given) {
            std::cerr << "usage: zscheck [--strict] [DIR|ZIP]\n";
            return 2;
        } else {
            content = arg;
            given = true;
        }
    }
    // The problems are listed here, once each; the library's own messages
    // would repeat them.
    debug::setStandardErrorOutput(false);
    if (!theResourceManager->mount(content)) {
        std::cerr << "zscheck: cannot mount the content " << content << "\n";
        return 2;
    }
    const auto problems = zscheck::checkContent();
    for (const auto& p : problems) std::cout << p.format() << "\n";
    const size_t errors = zscheck::countErrors(problems);
    std::cout << "zscheck: " << content << ": " << errors << " problem(s), " << problems.size() - errors
              << " warning(s)\n";
    return errors > 0 || (strict && !problems.empty()) ? 1 : 0;
}
