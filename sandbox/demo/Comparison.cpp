#include "sandbox/demo/Comparison.h"

#include <algorithm>
#include <cmath>

namespace zsdemo {

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

// The shift (in envelope points) of b against a, within [lowest, highest],
// that best lines up a's points [from, to) with b. The correlation is
// normalised by the level of b's part: a plain sum of products prefers
// whatever shift takes in more of a loud neighbour, so a window at the end
// of a fade would be moved back into the music and measured too loud.
long align(const std::vector<double>& a, const std::vector<double>& b, long lowest, long highest, long from, long to) {
    long best = lowest;
    double bestScore = -1;
    for (long lag = lowest; lag <= highest; ++lag) {
        double products = 0, power = 0;
        for (long k = std::max(from, 0L); k < to && k < static_cast<long>(a.size()); ++k) {
            const long j = k + lag;
            if (j < 0 || j >= static_cast<long>(b.size())) continue;
            products += a[static_cast<size_t>(k)] * b[static_cast<size_t>(j)];
            power += b[static_cast<size_t>(j)] * b[static_cast<size_t>(j)];
        }
        const double score = power > 0 ? products / std::sqrt(power) : 0.0;
        if (score > bestScore) {
            bestScore = score;
            best = lag;
        }
    }
    return best;
}

}  // namespace

Comparison compareEnvelopes(const std::vector<double>& live, const std::vector<double>& rendered,
                            const ComparisonSettings& settings) {
    Comparison result;
    const long size = static_cast<long>(rendered.size());
    const long lag = align(rendered, live, std::lround(settings.earliest * 100.0), std::lround(settings.latest * 100.0),
                           0, size);
    result.lag = lag / 100.0;
    const long points = std::max(1L, std::lround(settings.window * 100.0));
    const long range = std::lround(settings.shift * 100.0);
    for (long from = 0; from < size; from += points) {
        const long to = std::min(from + points, size);
        if (to - from < points / 2) break;  // a tail shorter than half a window
        const long moved = align(rendered, live, lag - range, lag + range, from, to);
        WindowDifference w;
        w.from = from / 100.0;
        w.to = to / 100.0;
        w.rendered = decibels(windowRms(rendered, from, to));
        w.live = decibels(windowRms(live, from + moved, to + moved));
        w.shift = (moved - lag) / 100.0;
        w.counted = w.rendered > -60.0 || w.live > -60.0;
        if (w.counted) {
            w.difference = std::isfinite(w.live) && std::isfinite(w.rendered) ? w.live - w.rendered : HUGE_VAL;
            result.largest = std::max(result.largest, std::fabs(w.difference));
        }
        result.windows.push_back(w);
    }
    return result;
}

std::vector<double> envelopeOf(const std::vector<float>& stereo, uint32_t rate) {
    std::vector<double> envelope;
    const size_t hundredth = std::max<size_t>(1, rate / 100) * 2;
    for (size_t at = 0; at < stereo.size(); at += hundredth) {
        const size_t end = std::min(at + hundredth, stereo.size());
        double sum = 0;
        for (size_t k = at; k < end; ++k) sum += static_cast<double>(stereo[k]) * stereo[k];
        envelope.push_back(std::sqrt(sum / static_cast<double>(end - at)));
    }
    return envelope;
}

}  // namespace zsdemo
