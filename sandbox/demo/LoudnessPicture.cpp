#include "sandbox/demo/LoudnessPicture.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include <sndfile.h>

#include <complex>
#include <memory>
#include <vector>

#include "sandbox/demo/Png.h"

namespace zsdemo {

namespace {

// A 3 x 5 pixel font: five rows of three bits (4 left, 2 middle, 1 right).
struct Glyph {
    char c;
    unsigned char rows[5];
};
const Glyph glyphs[] = {
    {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}}, {'2', {7, 1, 7, 4, 7}}, {'3', {7, 1, 7, 1, 7}},
    {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 7, 1, 7}}, {'6', {7, 4, 7, 5, 7}}, {'7', {7, 1, 1, 1, 1}},
    {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 7}}, {'-', {0, 0, 7, 0, 0}}, {':', {0, 2, 0, 2, 0}},
    {'.', {0, 0, 0, 0, 2}}, {'+', {0, 2, 7, 2, 0}}, {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}},
    {'C', {3, 4, 4, 4, 3}}, {'D', {6, 5, 5, 5, 6}}, {'E', {7, 4, 6, 4, 7}}, {'F', {7, 4, 6, 4, 4}},
    {'G', {3, 4, 5, 5, 3}}, {'H', {5, 5, 7, 5, 5}}, {'I', {7, 2, 2, 2, 7}}, {'J', {1, 1, 1, 5, 2}},
    {'K', {5, 5, 6, 5, 5}}, {'L', {4, 4, 4, 4, 7}}, {'M', {5, 7, 7, 5, 5}}, {'N', {6, 5, 5, 5, 5}},
    {'O', {2, 5, 5, 5, 2}}, {'P', {6, 5, 6, 4, 4}}, {'Q', {2, 5, 5, 6, 3}}, {'R', {6, 5, 6, 5, 5}},
    {'S', {3, 4, 2, 1, 6}}, {'T', {7, 2, 2, 2, 2}}, {'U', {5, 5, 5, 5, 7}}, {'V', {5, 5, 5, 5, 2}},
    {'W', {5, 5, 7, 7, 5}}, {'X', {5, 5, 2, 5, 5}}, {'Y', {5, 5, 2, 2, 2}}, {'Z', {7, 1, 2, 4, 7}},
};

constexpr int scale = 2;  // font pixels per glyph pixel

int textWidth(const std::string& text) { return static_cast<int>(text.size()) * 4 * scale; }

void drawText(Image& image, int x, int y, const std::string& text, Rgb colour) {
    for (char ch : text) {
        const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        for (const Glyph& g : glyphs) {
            if (g.c != upper) continue;
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col)
                    if (g.rows[row] & (4 >> col))
                        image.fill(x + col * scale, y + row * scale, x + (col + 1) * scale, y + (row + 1) * scale, colour);
        }
        x += 4 * scale;
    }
}

// In-place radix-2 transform of a power-of-two length.
void transform(std::vector<std::complex<double>>& x) {
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2.0 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> v(1.0, 0.0);
            for (size_t k = 0; k < len / 2; ++k, v *= w) {
                const std::complex<double> a = x[i + k], b = x[i + k + len / 2] * v;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
            }
        }
    }
}

// Black through purple, red and yellow to white as `share` goes 0 to 1.
Rgb heat(double share) {
    share = std::max(0.0, std::min(1.0, share));
    const double stops[][3] = {{0, 0, 0}, {70, 0, 110}, {200, 20, 60}, {255, 150, 0}, {255, 255, 200}};
    const double at = share * 4.0;
    const int k = std::min(3, static_cast<int>(at));
    const double f = at - k;
    auto mix = [&](int c) { return static_cast<uint8_t>(stops[k][c] + (stops[k + 1][c] - stops[k][c]) * f); };
    return {mix(0), mix(1), mix(2)};
}

// The spectrogram of the file's mono sum into [left, left + width) x
// [top, top + height): one column every 50 ms (1024-point transform, Hann
// window), 0 Hz at the bottom to 12 kHz at the top, -100 to -20 dBFS.
void drawSpectrogram(Image& image, const std::string& wav, int left, int top, int width, int height) {
    SF_INFO info{};
    SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
    if (!file) return;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> closer(file, sf_close);
    const size_t channels = static_cast<size_t>(info.channels), size = 1024;
    std::vector<float> all(static_cast<size_t>(info.frames) * channels);
    sf_readf_float(file, all.data(), info.frames);
    const double hop = info.samplerate / 20.0;  // a column a pixel, 20 a second
    const double topHertz = std::min(12000.0, info.samplerate / 2.0);
    std::vector<std::complex<double>> x(size);
    for (int col = 0; col < width; ++col) {
        const size_t start = static_cast<size_t>(col * hop);
        for (size_t k = 0; k < size; ++k) {
            double v = 0;
            const size_t frame = start + k;
            if (frame < static_cast<size_t>(info.frames))
                for (size_t c = 0; c < channels; ++c) v += all[frame * channels + c];
            const double hann = 0.5 - 0.5 * std::cos(2.0 * M_PI * k / (size - 1));
            x[k] = v / static_cast<double>(channels) * hann;
        }
        transform(x);
        for (int row = 0; row < height; ++row) {
            const double from = topHertz * row / height, to = topHertz * (row + 1) / height;
            const size_t b0 = static_cast<size_t>(from / info.samplerate * size);
            const size_t b1 = std::max(b0 + 1, static_cast<size_t>(to / info.samplerate * size));
            double power = 0;
            for (size_t b = b0; b < b1 && b < size / 2; ++b) power = std::max(power, std::norm(x[b]));
            // A full-scale sine gives |X| = size / 4 with the Hann window.
            const double dbfs = 10.0 * std::log10(power / (size * size / 16.0) + 1e-30);
            image.set(left + col, top + height - 1 - row, heat((dbfs + 100.0) / 80.0));
        }
    }
}

// Plot width in pixels for a session of `seconds`: 20 pixels a second.
int loudnessPlotWidth(double seconds) { return std::max(1, static_cast<int>(std::ceil(seconds * 20.0))); }

}  // namespace

bool writeLoudnessPicture(const std::string& wav, const LoudnessFigures& figures, const Script& script,
                          const std::string& path) {
    const double top = 0.0, bottom = -60.0;  // LUFS
    const int left = 56, labels = 4 * 14, spectrumTop = labels + 8, spectrumHeight = 200;
    const int plotTop = spectrumTop + spectrumHeight + 8, plotHeight = 300;
    const int plotWidth = loudnessPlotWidth(figures.seconds);
    const std::string footer =
        "SPECTROGRAM 0-12 KHZ. SHORT-TERM LOUDNESS LUFS, TARGET -24 +-2 SHADED. " + describeLoudness(figures);
    const int width = std::max(left + plotWidth + 16, textWidth(footer) + 8), height = plotTop + plotHeight + 40;
    const Rgb background{255, 255, 255}, grid{225, 225, 225}, ink{40, 40, 40}, band{215, 240, 215}, curve{20, 70, 200},
        mark{200, 60, 60};
    Image image(width, height, background);
    auto yOf = [&](double lufs) {
        const double share = (top - std::max(bottom, std::min(top, lufs))) / (top - bottom);
        return plotTop + static_cast<int>(std::lround(share * (plotHeight - 1)));
    };
    auto xOf = [&](double seconds) { return left + static_cast<int>(std::lround(seconds * 20.0)); };

    // The spectrogram, with its frequencies every 3 kHz.
    drawSpectrogram(image, wav, left, spectrumTop, plotWidth, spectrumHeight);
    for (int khz = 0; khz <= 12; khz += 3) {
        const int y = spectrumTop + spectrumHeight - 1 - khz * (spectrumHeight - 1) / 12;
        const std::string text = std::to_string(khz) + "K";
        drawText(image, left - 6 - textWidth(text), y - 5, text, ink);
    }
    image.frame(left, spectrumTop, left + plotWidth, spectrumTop + spectrumHeight, ink);

    // The target band, the grid every 6 LU and every 5 s, the axes' labels.
    image.fill(left, yOf(-22.0), left + plotWidth, yOf(-26.0) + 1, band);
    for (int lufs = 0; lufs >= -60; lufs -= 6) {
        image.line(left, yOf(lufs), left + plotWidth - 1, yOf(lufs), grid);
        const std::string text = std::to_string(lufs);
        drawText(image, left - 6 - textWidth(text), yOf(lufs) - 5, text, ink);
    }
    for (int s = 0; s <= static_cast<int>(figures.seconds); s += 5) {
        image.line(xOf(s), plotTop, xOf(s), plotTop + plotHeight - 1, grid);
        const std::string text = std::to_string(s) + "S";
        drawText(image, xOf(s) - textWidth(text) / 2, plotTop + plotHeight + 6, text, ink);
    }
    drawText(image, 4, plotTop + plotHeight + 24, footer, ink);

    // The script's commands: a line down the plot, the verb in one of four
    // rows above it so that neighbours do not overwrite each other.
    for (size_t k = 0; k < script.commands.size(); ++k) {
        const int x = xOf(script.commands[k].time), row = static_cast<int>(k % 4);
        for (int y = plotTop; y < plotTop + plotHeight; y += 4) image.set(x, y, mark);
        image.line(x, 4 + row * 14 + 10, x, spectrumTop - 1, mark);
        image.line(x, spectrumTop + spectrumHeight + 1, x, plotTop, mark);
    }
    for (size_t k = 0; k < script.commands.size(); ++k) {
        const std::string& verb = script.commands[k].verb;
        const int row = static_cast<int>(k % 4);
        int x = xOf(script.commands[k].time) + 1;
        if (x + 2 + textWidth(verb) > width) x -= 3 + textWidth(verb);  // left of its line at the right edge
        image.fill(x, 3 + row * 14, x + 2 + textWidth(verb), 4 + row * 14 + 11, background);
        drawText(image, x + 1, 4 + row * 14, verb, mark);
    }

    // The curve, a point every 100 ms, two pixels thick; silence on the floor.
    int lastX = -1, lastY = -1;
    for (size_t k = 0; k < figures.shortTerm.size(); ++k) {
        const int x = xOf((k + 1) / 10.0), y = yOf(std::isfinite(figures.shortTerm[k]) ? figures.shortTerm[k] : bottom);
        if (lastX >= 0) {
            image.line(lastX, lastY, x, y, curve);
            image.line(lastX, lastY + 1, x, y + 1, curve);
        }
        lastX = x;
        lastY = y;
    }
    image.frame(left, plotTop, left + plotWidth, plotTop + plotHeight, ink);
    return image.write(path);
}

}  // namespace zsdemo
