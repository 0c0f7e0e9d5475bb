// zsmeter: the loudness of a sound file, or how two recordings of the same
// session differ.
//
//   zsmeter FILE.wav                  integrated loudness, range, true peak
//   zsmeter LIVE.wav RENDERED.wav     both, aligned by the cross-correlation
//                                     of their envelopes, compared over
//                                     windows of --window seconds (4), each
//                                     moved up to --shift seconds (0.25) to
//                                     fit; exit status 1 when a window
//                                     differs by more than --limit dB (1.5)
//
// Windows where both lie below -60 dBFS are not compared.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sandbox/demo/Loudness.h"

namespace {

double decibels(double rms) { return rms > 0 ? 20.0 * std::log10(rms) : -HUGE_VAL; }

// Root mean square over envelope points [from, to).
double windowRms(const std::vector<double>& envelope, long from, long to) {
    double sum = 0;
    long n = 0;
    for (long k = std::max(from, 0L); k < to && k < static_cast<long>(envelope.size()); ++k, ++n)
        sum += envelope[static_cast<size_t>(k)] * envelope[static_cast<size_t>(k)];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0.0;
}

// The shift (in envelope points) of b against a, within `range` of
// `around`, that best lines up a's points [from, to) with b.
long align(const std::vector<double>& a, const std::vector<double>& b, long around, long range, long from, long to) {
    long best = around;
    double bestScore = -1;
    for (long lag = around - range; lag <= around + range; ++lag) {
        double score = 0;
        for (long k = std::max(from, 0L); k < to && k < static_cast<long>(a.size()); ++k) {
            const long j = k + lag;
            if (j >= 0 && j < static_cast<long>(b.size())) score += a[static_cast<size_t>(k)] * b[static_cast<size_t>(j)];
        }
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    double limit = 1.5, window = 4.0, shift = 0.25;
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        if (arg == "--limit" && k + 1 < argc) limit = std::strtod(argv[++k], nullptr);
        else if (arg == "--window" && k + 1 < argc) window = std::strtod(argv[++k], nullptr);
        else if (arg == "--shift" && k + 1 < argc) shift = std::strtod(argv[++k], nullptr);
        else files.push_back(arg);
    }
    if (files.empty() || files.size() > 2) {
        std::fprintf(stderr, "usage: zsmeter FILE.wav | zsmeter [--limit DB] [--window SECONDS] [--shift SECONDS] LIVE.wav "
                             "RENDERED.wav\n");
        return 2;
    }
    std::vector<zsdemo::LoudnessFigures> figures;
    for (const std::string& f : files) {
        figures.push_back(zsdemo::measureLoudness(f));
        if (!figures.back().ok) {
            std::fprintf(stderr, "zsmeter: cannot read %s\n", f.c_str());
            return 2;
        }
        std::printf("%s: %.1f s, %s\n", f.c_str(), figures.back().seconds,
                    zsdemo::describeLoudness(figures.back()).c_str());
    }
    if (files.size() == 1) return 0;

    const auto& live = figures[0].envelope;
    const auto& rendered = figures[1].envelope;
    // The whole recordings up to 3 s either way, then each window within
    // --shift seconds of that: a live run keeps real time only roughly.
    const long lag = align(rendered, live, 0, 300, 0, static_cast<long>(rendered.size()));
    std::printf("live is %+.2f s against the rendering\n", lag / 100.0);
    std::printf("window            live dBFS  rendered dBFS  difference dB  shift s\n");
    double worst = 0;
    const long points = std::max(1L, std::lround(window * 100.0));
    for (long w = 0; w * points < static_cast<long>(rendered.size()); ++w) {
        const long from = w * points, to = std::min<long>(from + points, static_cast<long>(rendered.size()));
        if (to - from < points / 2) break;  // a tail shorter than half a window
        const long moved = align(rendered, live, lag, std::lround(shift * 100.0), from, to);
        const double r = decibels(windowRms(rendered, from, to)), l = decibels(windowRms(live, from + moved, to + moved));
        if (!(r > -60.0) && !(l > -60.0)) {
            std::printf("%5.1f-%5.1f s   %8.1f  %13.1f  (both below -60 dBFS)\n", from / 100.0, to / 100.0, l, r);
            continue;
        }
        const double d = std::isfinite(l) && std::isfinite(r) ? l - r : HUGE_VAL;
        if (std::fabs(d) > worst) worst = std::fabs(d);
        std::printf("%5.1f-%5.1f s   %8.1f  %13.1f  %+13.1f  %+7.2f\n", from / 100.0, to / 100.0, l, r, d, moved / 100.0);
    }
    std::printf("largest difference %.1f dB (limit %.1f)\n", worst, limit);
    return worst <= limit ? 0 : 1;
}
