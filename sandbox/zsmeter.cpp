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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "sandbox/demo/Comparison.h"
#include "sandbox/demo/Loudness.h"

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

    zsdemo::ComparisonSettings settings;
    settings.window = window;
    settings.shift = shift;
    const zsdemo::Comparison comparison = zsdemo::compareEnvelopes(figures[0].envelope, figures[1].envelope, settings);
    std::printf("live is %+.2f s against the rendering\n", comparison.lag);
    std::printf("window            live dBFS  rendered dBFS  difference dB  shift s\n");
    for (const zsdemo::WindowDifference& w : comparison.windows) {
        if (!w.counted)
            std::printf("%5.1f-%5.1f s   %8.1f  %13.1f  (both below -60 dBFS)\n", w.from, w.to, w.live, w.rendered);
        else
            std::printf("%5.1f-%5.1f s   %8.1f  %13.1f  %+13.1f  %+7.2f\n", w.from, w.to, w.live, w.rendered, w.difference,
                        comparison.lag + w.shift);
    }
    const double worst = comparison.largest;
    std::printf("largest difference %.1f dB (limit %.1f)\n", worst, limit);
    return worst <= limit ? 0 : 1;
}
