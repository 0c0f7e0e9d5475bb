#pragma once
// The record of one entry of "Effects.snd": how effects of that name are
// created. Owned by the request manager from one device initialisation to
// the next shutdown.
#include <cstdint>
#include <string>

struct EffectConfig {
    std::string fileName;  // relative to "/Sounds/": directory prefix + the entry's text
    float volume = 0.0f;
    float radius = 0.0f;
    std::string storage;  // "memory", "disk", or empty when taken from unset defaults
    bool looped = false;
    std::string mode;  // "normal", "headrelative", "disable", or empty
    int32_t spareNumber = 0;  // read and kept; nothing uses it
};
