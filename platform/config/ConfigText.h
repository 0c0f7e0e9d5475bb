#pragma once
// Configuration text: the reader and the writer of block trees.
//
// The syntax: a file is a list of settings `name = value;` (':' may stand
// for '=', the ';' may be a ',' or left out). A value is an integer (decimal
// or 0x hexadecimal, an 'L' suffix allowed), a float (a '.' or an exponent),
// true or false (any case), a string in double quotes (escapes \\ \" \n \r
// \t \f \xHH; adjacent strings join), or a group { settings }. Lists ( ... )
// and arrays [ ... ] are read and skipped with a warning. Comments: #, // and
// /* */. Names start with a letter or '*' and hold letters, digits, '-',
// '_' and '*'.
//
// Threads: any thread; the writer holds each block's lock while it writes
// that block.
#include <string>

#include "interfaces/Config.h"

namespace configmanager {

// Parses text into a fresh block (the caller's block is not touched). On a
// fault, false with `line` and `reason` set; warnings for skipped lists go
// to `warnings` as "line N: text".
struct ReadResult {
    bool ok = false;
    int line = 0;
    std::string reason;
    std::vector<std::string> warnings;
};
ReadResult parseConfigText(const std::string& text, Block* fresh);

// Appends the tree's text; false with `reason` set (the text then is
// incomplete and must be thrown away).
bool writeConfigText(const Block& block, std::string* text, std::string* reason);

}  // namespace configmanager
