// The host objects a game may leave to the library's defaults. Each keeps
// its listeners under a lock of its own and calls them outside it (a
// listener may unregister itself, or another, while being called).
#include "interfaces/SimpleHost.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

template <typename Listener>
class Listeners {
public:
    void add(Listener* listener) {
        std::lock_guard<std::mutex> guard(mutex);
        list.push_back(listener);
    }
    void remove(Listener* listener) {
        std::lock_guard<std::mutex> guard(mutex);
        list.erase(std::remove(list.begin(), list.end(), listener), list.end());
    }
    std::vector<Listener*> now() {
        std::lock_guard<std::mutex> guard(mutex);
        return list;
    }

private:
    std::mutex mutex;
    std::vector<Listener*> list;
};

class FrameView : public View {
public:
    void registerListener(RenderDriverListener* listener) override { listeners.add(listener); }
    void unregisterListener(RenderDriverListener* listener) override { listeners.remove(listener); }
    void frame() {
        for (RenderDriverListener* listener : listeners.now()) listener->initView(nullptr);
    }

private:
    Listeners<RenderDriverListener> listeners;
};

class CellBoard : public GameBoard {
public:
    CellBoard(unsigned long w, unsigned long h) : width(w), height(h), cells(w * h, 0) {}
    unsigned long getWidth() override { return width; }
    unsigned long getHeight() override { return height; }
    void registerListener(GameBoardListener* listener, ListenerPriority) override { listeners.add(listener); }
    void unregisterListener(GameBoardListener* listener) override { listeners.remove(listener); }
    void set(Point2D cell, Landscape::Subtype subtype) {
        if (cell.x >= width || cell.y >= height) return;
        Landscape::Subtype& current = cells[cell.y * width + cell.x];
        const Landscape::Subtype old = current;
        current = subtype;
        for (GameBoardListener* listener : listeners.now()) listener->afterChangeLandscapeSubtype(cell, old, subtype);
    }

private:
    unsigned long width, height;
    std::vector<Landscape::Subtype> cells;
    Listeners<GameBoardListener> listeners;
};

class Timer : public PausedRenderTimer {
public:
    float getTime() override {
        std::lock_guard<std::mutex> guard(mutex);
        return time;
    }
    void advance(float seconds) {
        std::lock_guard<std::mutex> guard(mutex);
        time += seconds;
    }

private:
    std::mutex mutex;
    float time = 0.0f;
};

class ListenerCamera : public landcamera::Camera, public landcamera::Manager {
public:
    Vector getPosition() override { return read().position; }
    Vector getFront() override { return read().front; }
    Vector getTop() override { return read().top; }
    landcamera::Camera* getCurrentCamera() override { return this; }
    void set(const Vector& position, const Vector& front, const Vector& top) {
        std::lock_guard<std::mutex> guard(mutex);
        place = Place{position, front, top};
    }

private:
    struct Place {
        Vector position{0.0f, 0.0f, 0.0f}, front{0.0f, 1.0f, 0.0f}, top{0.0f, 0.0f, 1.0f};
    };
    Place read() {
        std::lock_guard<std::mutex> guard(mutex);
        return place;
    }
    std::mutex mutex;
    Place place;
};

class Clock : public ZulUIInterface {
public:
    DayTime getDayTime() override {
        std::lock_guard<std::mutex> guard(mutex);
        return minutes;
    }
    void set(DayTime m) {
        std::lock_guard<std::mutex> guard(mutex);
        minutes = m;
    }

private:
    std::mutex mutex;
    DayTime minutes = 0;
};

class Window : public RenderWindow {
public:
    bool hasFocus() override {
        std::lock_guard<std::mutex> guard(mutex);
        return focused;
    }
    void registerListener(RenderWindowListener* listener) override { listeners.add(listener); }
    void unregisterListener(RenderWindowListener* listener) override { listeners.remove(listener); }
    void setFocus(bool focus) {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (focused == focus) return;
            focused = focus;
        }
        for (RenderWindowListener* listener : listeners.now()) {
            if (focus) listener->getFocus();
            else listener->lostFocus();
        }
    }

private:
    std::mutex mutex;
    bool focused = true;
    Listeners<RenderWindowListener> listeners;
};

}  // namespace

struct SimpleHost::Objects {
    Objects(unsigned long w, unsigned long h) : board(w, h) {}
    FrameView view;
    CellBoard board;
    Timer timer;
    ListenerCamera camera;
    Clock clock;
    Window window;
};

SimpleHost::SimpleHost(unsigned long boardWidth, unsigned long boardHeight)
    : objects(new Objects(boardWidth, boardHeight)) {
    thePausedRenderTimer = &objects->timer;
    landcamera::theManager = &objects->camera;
    ZULUI_INTERFACE = &objects->clock;
    theRenderWindow = &objects->window;
}

SimpleHost::~SimpleHost() {
    if (thePausedRenderTimer == &objects->timer) thePausedRenderTimer = nullptr;
    if (landcamera::theManager == &objects->camera) landcamera::theManager = nullptr;
    if (ZULUI_INTERFACE == &objects->clock) ZULUI_INTERFACE = nullptr;
    if (theRenderWindow == &objects->window) theRenderWindow = nullptr;
}

View* SimpleHost::view() { return &objects->view; }
GameBoard* SimpleHost::board() { return &objects->board; }

void SimpleHost::frame(float seconds) {
    objects->timer.advance(seconds);
    objects->view.frame();
}

void SimpleHost::setListener(const Vector& position, const Vector& front, const Vector& top) {
    objects->camera.set(position, front, top);
}

void SimpleHost::setDayTime(DayTime minutes) { objects->clock.set(minutes); }

void SimpleHost::setSubtype(Point2D cell, Landscape::Subtype subtype) { objects->board.set(cell, subtype); }

void SimpleHost::setFocus(bool focused) { objects->window.setFocus(focused); }
