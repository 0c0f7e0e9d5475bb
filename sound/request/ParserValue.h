#pragma once
// The value of one token of "Effects.snd". Plain data, as the generated
// parser's stack requires: texts point into the reader's own storage, which
// lives until the read ends.
struct EffectsValue {
    const char* text;
    float number;
    int integer;
    bool flag;
};
