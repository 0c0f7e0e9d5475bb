#pragma once
// The quiet stretches of a recording heard block by block: runs of frames
// where both channels are near zero. A 0.5 sine passes that near zero for
// a frame at a time; a gap in the output is a run of exact silence.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct QuietStretches {
    QuietStretches(uint32_t rate, uint32_t period) : rate(rate), period(period) {}
    void add(const std::vector<float>& stereo) {
        for (size_t k = 0; k + 1 < stereo.size(); k += 2) {
            if (std::fabs(stereo[k]) < 0.01f && std::fabs(stereo[k + 1]) < 0.01f) {
                ++run;
                continue;
            }
            end();
            ++frame;
        }
    }
    // Closes the current run (also one still open when the recording ends).
    void end() {
        if (run > period) {
            ++longer;
            where += " " + std::to_string((frame * 1000) / rate) + " ms (" + std::to_string(run * 1000 / rate) + " ms)";
        }
        longest = std::max(longest, run);
        frame += run;
        run = 0;
    }
    uint32_t rate, period;  // a run longer than `period` frames is a gap
    uint64_t frame = 0;     // frames seen before the current run
    uint64_t run = 0;       // quiet frames in a row so far
    uint64_t longest = 0;
    uint64_t longer = 0;  // runs longer than one period
    std::string where;
};

}  // namespace testsupport
