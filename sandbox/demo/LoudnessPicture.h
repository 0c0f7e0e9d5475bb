#pragma once
// A rendered session as a picture a person can read: its spectrogram (0 to
// 12 kHz up, louder brighter) over its loudness curve (short-term loudness
// in LUFS up, the game-audio target band of -24 LUFS +-2 shaded), time
// across both (20 pixels a second), and the script's commands marked where
// they happen, with their verbs.
#include <string>

#include "sandbox/demo/Loudness.h"
#include "sandbox/demo/Script.h"

namespace zsdemo {

// `wav` is the rendered file `figures` were measured from.
bool writeLoudnessPicture(const std::string& wav, const LoudnessFigures& figures, const Script& script,
                          const std::string& path);

}  // namespace zsdemo
