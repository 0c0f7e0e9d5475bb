#include "sandbox/demo/Session.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "sandbox/demo/Png.h"

namespace zsdemo {

Session::Session(const Script& script, SessionOptions options, SoundSide& sound, Pacer& pacer)
    : script(script),
      options(options),
      sound(sound),
      pacer(pacer),
      host(options.width, options.height, options.seed),
      layout(host.board.getCells()) {
    // The board starts as open sea; the game lays it out once it listens.
    host.board.reset(std::vector<Landscape::Subtype>(layout.size(), sandbox::Sea));
    host.clock.setTimeOfDay(0);
    const double length = std::max(script.length(), 1.0);
    host.setMinutesPerSecond(24.0 * 60.0 / length);

    // West to east across the board, weaving north and south, 3 units up,
    // looking ahead.
    const float w = static_cast<float>(options.width), h = static_cast<float>(options.height);
    const int legs = 4;
    for (int k = 0; k <= legs; ++k) {
        sandbox::Waypoint p;
        p.time = static_cast<float>(length * k / legs);
        p.position = {-0.45f * w + 0.9f * w * k / legs, (k % 2 ? 0.25f : -0.25f) * h, 3.0f};
        path.push_back(p);
    }
    for (size_t k = 0; k < path.size(); ++k) {
        const Vector& a = path[k].position;
        const Vector& b = path[k + 1 < path.size() ? k + 1 : k].position;
        const Vector& before = path[k > 0 ? k - 1 : 0].position;
        Vector d = k + 1 < path.size() ? Vector{b.x - a.x, b.y - a.y, 0.0f} : Vector{a.x - before.x, a.y - before.y, 0.0f};
        const float n = std::sqrt(d.x * d.x + d.y * d.y);
        if (n > 0) path[k].front = {d.x / n, d.y / n, 0.0f};
    }
    host.camera.setPath(path);
    host.camera.moveTo(0.0f);
}

Vector Session::cellCentre(unsigned long x, unsigned long y) const {
    return {static_cast<float>(x + 0.5 - options.width * 0.5), static_cast<float>(options.height * 0.5 - (y + 0.5)),
            0.5f};
}

bool Session::run() {
    std::ostream* log = options.log;
    if (!sound.begin(host)) return false;
    host.board.apply(layout);  // the listening game places the landscape's sources
    sources = sound.sources();

    const double step = 1.0 / options.framesPerSecond;
    const unsigned long total = static_cast<unsigned long>(std::ceil(script.length() * options.framesPerSecond)) + 1;
    size_t next = 0;
    bool ok = true;
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };
    const auto loopStart = Clock::now();
    for (frames = 0; frames < total; ++frames) {
        if (options.interrupted && options.interrupted->load()) {
            if (log) *log << "\ninterrupted: shutting down\n";
            break;
        }
        const double now = frames * step;
        bool ended = false;
        const auto frameStart = Clock::now();
        while (next < script.commands.size() && script.commands[next].time <= now + 1e-9) {
            const Command& c = script.commands[next++];
            if (log) {
                char when[32];
                std::snprintf(when, sizeof when, "%2d:%04.1f", static_cast<int>(c.time / 60), std::fmod(c.time, 60.0));
                *log << (options.progressLine ? "\r\033[K" : "") << "  " << when << "  " << c.text() << "\n";
            }
            if (c.verb == "end") ended = true;
            else execute(c);
        }
        if (ended) break;
        host.runFrame(static_cast<float>(step));
        sound.beforeMix();
        librarySeconds += seconds(frameStart, Clock::now());
        if (!pacer.frame(step)) {
            ok = false;
            break;
        }
        const auto afterStart = Clock::now();
        sound.afterFrame();
        librarySeconds += seconds(afterStart, Clock::now());
        if (options.progressLine && frames % 15 == 0) progress(false);
    }
    loopSeconds = seconds(loopStart, Clock::now());
    if (options.progressLine) progress(true);
    sources = sound.sources();
    sound.end();
    return ok;
}

void Session::execute(const Command& c) {
    const std::string& v = c.verb;
    auto cell = [&](size_t k, unsigned long* x, unsigned long* y) {
        *x = std::stoul(c.args[k]);
        *y = std::stoul(c.args[k + 1]);
        if (*x < options.width && *y < options.height) return true;
        if (options.log)
            *options.log << "  line " << c.line << ": cell (" << *x << ", " << *y << ") is off the " << options.width
                         << " x " << options.height << " board; skipped\n";
        return false;
    };
    unsigned long x = 0, y = 0;
    if (v == "subtype") {
        if (!cell(0, &x, &y)) return;
        for (Landscape::Subtype s = sandbox::Sea; s <= sandbox::Mountains; ++s)
            if (sandbox::subtypeName(s) == c.args[2]) host.board.setSubtype({static_cast<uint32_t>(x), static_cast<uint32_t>(y)}, s);
        return;
    }
    if (v == "focus") {
        focused = c.args[0] == "on";
        host.window.setFocus(focused);
        return;
    }
    Vector place;
    std::string file;
    if (v == "action") {
        if (!cell(1, &x, &y)) return;
        place = cellCentre(x, y);
        actions.push_back({c.args[0], place});
    }
    if (v == "save" || v == "load") file = options.saveDirectory + "/" + c.args[0];
    if (v == "pause" || v == "unpause") {
        paused = v == "pause";
        host.setPaused(paused);
    }
    sound.command(c, place, file);
    if (v == "save") sources = sound.sources();
}

void Session::progress(bool last) {
    if (!options.log) return;
    const DayTime minutes = host.clock.getDayTime();
    char line[256];
    std::snprintf(line, sizeof line, "\r\033[K  day %02d:%02d  frame %6lu  %s%s%s  %s", (minutes / 60) % 24,
                  minutes % 60, frames, paused ? "paused " : "", focused ? "" : "no focus ",
                  sound.status().c_str(), pacer.status().c_str());
    *options.log << line << (last ? "\n" : "") << std::flush;
}

namespace {

Rgb subtypeColour(Landscape::Subtype s) {
    switch (s) {
        case sandbox::Sea: return {40, 90, 170};
        case sandbox::Coast: return {225, 205, 140};
        case sandbox::Meadow: return {120, 190, 90};
        case sandbox::Forest: return {30, 110, 50};
        case sandbox::Mountains: return {140, 130, 125};
        default: return {0, 0, 0};
    }
}

}  // namespace

bool writeBoardPicture(Session& session, const std::string& file) {
    sandbox::Board& board = session.getHost().board;
    const int cell = 24;
    const int w = static_cast<int>(board.getWidth()), h = static_cast<int>(board.getHeight());
    Image image(w * cell, h * cell, {0, 0, 0});
    const auto cells = board.getCells();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            image.fill(x * cell, y * cell, (x + 1) * cell, (y + 1) * cell, subtypeColour(cells[static_cast<size_t>(y * w + x)]));
            image.frame(x * cell, y * cell, (x + 1) * cell, (y + 1) * cell, {0, 0, 0});
        }
    // World (x, y) to pixels: the board is centred on the origin, north up.
    auto px = [&](float wx) { return static_cast<int>(std::lround((wx + w * 0.5f) * cell)); };
    auto py = [&](float wy) { return static_cast<int>(std::lround((h * 0.5f - wy) * cell)); };
    for (const Source& s : session.getSources()) {
        const int x0 = px(s.x - s.width * 0.5f), x1 = px(s.x + s.width * 0.5f);
        const int y0 = py(s.y + s.height * 0.5f), y1 = py(s.y - s.height * 0.5f);
        image.frame(x0 + 2, y0 + 2, x1 - 1, y1 - 1, {255, 230, 0});
        image.fill(px(s.x) - 2, py(s.y) - 2, px(s.x) + 3, py(s.y) + 3, {255, 230, 0});
    }
    const auto& path = session.getPath();
    for (size_t k = 1; k < path.size(); ++k)
        image.line(px(path[k - 1].position.x), py(path[k - 1].position.y), px(path[k].position.x),
                   py(path[k].position.y), {255, 255, 255});
    for (const ActionPlace& a : session.getActions()) image.cross(px(a.place.x), py(a.place.y), 6, {230, 30, 30});
    return image.write(file);
}

}  // namespace zsdemo
