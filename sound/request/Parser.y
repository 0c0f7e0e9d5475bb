%{
// The grammar of "Effects.snd": a non-empty sequence of entries, each acted
// on as soon as it is recognised, so entries before a syntax error stay.
#include "sound/request/EffectsFile.h"
#include "sound/request/ParserValue.h"

int effectslex(EffectsValue* value, void* scanner);
static void effectserror(void* scanner, const char* message);
%}

// The prefix keeps the generated parser's names (effectsparse, ...) apart
// from any other generated parser linked into the same program.
%define api.prefix {effects}
%define api.pure full
%define api.value.type {EffectsValue}
%lex-param {void* scanner}
%parse-param {void* scanner}

%token NAME TEXT STORAGE MODE DIRECTORY DEFAULT BOOLEAN INTEGER FLOAT

%%

file
    : entries
    ;

entries
    : entry
    | entries entry
    ;

entry
    : NAME '=' TEXT ',' FLOAT ',' FLOAT ',' STORAGE ',' BOOLEAN ',' MODE ',' INTEGER ';'
        { EffectsFile::addFull($1.text, $3.text, $5.number, $7.number, $9.text, $11.flag, $13.text, $15.integer); }
    | NAME '=' TEXT ',' FLOAT ',' FLOAT ';'
        { EffectsFile::addWithVolumeAndRadius($1.text, $3.text, $5.number, $7.number); }
    | NAME '=' TEXT ';'
        { EffectsFile::addShort($1.text, $3.text); }
    | DIRECTORY '=' TEXT ';'
        { EffectsFile::setDirectory($3.text); }
    | DEFAULT '=' FLOAT ',' FLOAT ',' STORAGE ',' BOOLEAN ',' MODE ',' INTEGER ';'
        { EffectsFile::setDefaults($3.number, $5.number, $7.text, $9.flag, $11.text, $13.integer); }
    ;

%%

// Bison's own text ("syntax error") is replaced by the reader's messages.
static void effectserror(void*, const char*) { EffectsFile::reportParseError(); }
