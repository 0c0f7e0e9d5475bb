// zscheck: lists every problem of a game's sound content at once.
//
//   zscheck [DIR|ZIP]
//
// Mounts the content (by default the build tree's sample content) and checks
// "Effects.snd", the sound files it names, the ".cfg" files of
// /Configs/Sounds and the "Sounds" blocks of the maps below /Maps. Each
// problem is one line "file:line: text" (or "file: text"). Exit status 0
// when the content is clean, 1 when problems were found, 2 when the content
// cannot be mounted.
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
    if (argc > 2 || (argc == 2 && (std::string(argv[1]) == "-h" || std::string(argv[1]) == "--help"))) {
        std::cerr << "usage: zscheck [DIR|ZIP]\n";
        return 2;
    }
    if (argc == 2) content = argv[1];
    // The problems are listed here, once each; the library's own messages
    // would repeat them.
    debug::setStandardErrorOutput(false);
    if (!theResourceManager->mount(content)) {
        std::cerr << "zscheck: cannot mount the content " << content << "\n";
        return 2;
    }
    const auto problems = zscheck::checkContent();
    for (const auto& p : problems) std::cout << p.format() << "\n";
    std::cout << "zscheck: " << content << ": "
              << (problems.empty() ? "no problems" : std::to_string(problems.size()) + " problem(s)") << "\n";
    return problems.empty() ? 0 : 1;
}
