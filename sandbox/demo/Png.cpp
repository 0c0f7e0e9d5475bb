#include "sandbox/demo/Png.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>

namespace zsdemo {

namespace {

uint32_t crc32(const std::string& data, size_t from = 0) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t k = from; k < data.size(); ++k) {
        crc ^= static_cast<unsigned char>(data[k]);
        for (int b = 0; b < 8; ++b) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(std::string& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<char>((v >> s) & 0xFF));
}

void chunk(std::string& out, const char* type, const std::string& data) {
    put32(out, static_cast<uint32_t>(data.size()));
    std::string body = type + data;
    out += body;
    put32(out, crc32(body));
}

// zlib stream of stored blocks (at most 65535 bytes each).
std::string zlibStored(const std::string& raw) {
    std::string out = "\x78\x01";
    size_t pos = 0;
    do {
        const size_t n = std::min<size_t>(65535, raw.size() - pos);
        const bool last = pos + n == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<char>(n & 0xFF));
        out.push_back(static_cast<char>(n >> 8));
        out.push_back(static_cast<char>(~n & 0xFF));
        out.push_back(static_cast<char>((~n >> 8) & 0xFF));
        out.append(raw, pos, n);
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (unsigned char c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(out, (b << 16) | a);
    return out;
}

}  // namespace

Image::Image(int width, int height, Rgb background)
    : w(width), h(height), pixels(static_cast<size_t>(width) * static_cast<size_t>(height), background) {}

void Image::set(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < w && y < h) pixels[static_cast<size_t>(y) * w + x] = c;
}

Rgb Image::get(int x, int y) const { return pixels[static_cast<size_t>(y) * w + x]; }

void Image::fill(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = std::max(y0, 0); y < std::min(y1, h); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, w); ++x) set(x, y, c);
}

void Image::frame(int x0, int y0, int x1, int y1, Rgb c) {
    line(x0, y0, x1 - 1, y0, c);
    line(x0, y1 - 1, x1 - 1, y1 - 1, c);
    line(x0, y0, x0, y1 - 1, c);
    line(x1 - 1, y0, x1 - 1, y1 - 1, c);
}

void Image::line(int x0, int y0, int x1, int y1, Rgb c) {
    const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        set(x0, y0, c);
        if (x0 == x1 && y0 == y1) break;
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void Image::cross(int x, int y, int size, Rgb c) {
    line(x - size, y - size, x + size, y + size, c);
    line(x - size, y + size, x + size, y - size, c);
}

std::string Image::png() const {
    std::string out = "\x89PNG\r\n\x1a\n";
    std::string header;
    put32(header, static_cast<uint32_t>(w));
    put32(header, static_cast<uint32_t>(h));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter choice, no interlace
    chunk(out, "IHDR", header);
    std::string raw;
    raw.reserve(static_cast<size_t>(h) * (1 + 3 * static_cast<size_t>(w)));
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < w; ++x) {
            const Rgb p = get(x, y);
            raw.push_back(static_cast<char>(p.r));
            raw.push_back(static_cast<char>(p.g));
            raw.push_back(static_cast<char>(p.b));
        }
    }
    chunk(out, "IDAT", zlibStored(raw));
    chunk(out, "IEND", "");
    return out;
}

bool Image::write(const std::string& path) const {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = png();
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

}  // namespace zsdemo
