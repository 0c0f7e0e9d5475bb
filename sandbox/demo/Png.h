#pragma once
// A small RGB image and a PNG writer of our own: zlib "stored" blocks (no
// compression) with their Adler-32, and the chunks' CRC-32.
#include <cstdint>
#include <string>
#include <vector>

namespace zsdemo {

struct Rgb {
    uint8_t r, g, b;
};

class Image {
public:
    Image(int width, int height, Rgb background);
    int width() const { return w; }
    int height() const { return h; }
    void set(int x, int y, Rgb c);  // ignores points off the image
    Rgb get(int x, int y) const;
    void fill(int x0, int y0, int x1, int y1, Rgb c);  // [x0, x1) x [y0, y1)
    void frame(int x0, int y0, int x1, int y1, Rgb c);  // outline of the same rectangle
    void line(int x0, int y0, int x1, int y1, Rgb c);
    void cross(int x, int y, int size, Rgb c);
    // The PNG file's bytes.
    std::string png() const;
    // Writes the PNG file; false when it cannot be written.
    bool write(const std::string& path) const;

private:
    int w, h;
    std::vector<Rgb> pixels;
};

}  // namespace zsdemo
