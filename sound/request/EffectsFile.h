#pragma once
// Reading "Effects.snd": the declarations of every sound the game can play.
// The request manager points the reader at its map of records, resets the
// directory prefix and reads the file at each device initialisation; each
// entry becomes an EffectConfig as soon as it is recognised, the first
// record of a name wins, and "default" entries change the values of later
// short entries for as long as the library is loaded.
//
// Token values (names and quoted texts) are at most maxTokenLength
// characters. A longer one ends the input like an invalid character, with
// the error "Token longer than 2047 characters at line N": a clipped file
// name would silently load the wrong sound. A float too large for its type
// reads as infinity, an integer beyond 2147483647 as 2147483647.
//
// Threads: one read at a time (the request manager reads under its lock);
// the scanner and parser keep their state in this module's statics.
#include <map>
#include <string>
#include <vector>

#include "sound/request/EffectConfig.h"

class EffectsFile {
public:
    using Records = std::map<std::string, EffectConfig*>;
    static constexpr int maxTokenLength = 2047;

    // An error of the text: the line it was found on and the reader's message.
    struct Problem {
        int line = 0;
        std::string text;
    };

    static void resetDirectoryPrefix();
    // While a sink is set, the reader's errors are added to it instead of
    // being logged (a check before the records are used).
    static void setProblemSink(std::vector<Problem>* sink);
    static void setTarget(Records* records);
    // Reads "/Configs/Sounds/" + fileName through the resource manager; a
    // missing or unreadable file yields nothing and says nothing.
    static void read(const std::string& fileName);
    // Parses text as the file's content (as read() does after reading).
    static void parse(const std::string& text);
    // Whether text holds anything but blanks and comments (an empty text does
    // not parse: a reader looking past an error stops there).
    static bool hasStatements(const std::string& text);

    // The values "default" entries set; in force until changed again.
    static const EffectConfig& getDefaults();
    static void restoreBuiltInDefaults();  // for tests: the values at load time
    // Puts back values saved with getDefaults() (a read that is not kept).
    static void restoreDefaults(const EffectConfig& saved);

    // Called by the generated scanner and parser.
    static const char* keep(const char* text, int length);
    static float toFloat(const char* text);
    static int toInteger(const char* text);
    static void newLine();
    static void countLines(const char* text);
    static int reportInvalidSymbol();
    static int reportTooLong();
    static void reportParseError();
    static void addFull(const char* name, const char* file, float volume, float radius, const char* storage,
                        bool looped, const char* mode, int spare);
    static void addWithVolumeAndRadius(const char* name, const char* file, float volume, float radius);
    static void addShort(const char* name, const char* file);
    static void setDirectory(const char* directory);
    static void setDefaults(float volume, float radius, const char* storage, bool looped, const char* mode, int spare);
};
