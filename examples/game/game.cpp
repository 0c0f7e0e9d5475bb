// A small but complete game host of the sound library, built against the
// installed package only: the engine, board, clock and window objects the
// library calls, and a few seconds of a game (menus, actions, music, the
// landscape of a board, save and load), then a clean shutdown.
//
//   game CONTENT [OUT.wav]
//
// CONTENT is a content directory or .zip (the library's sample content);
// with OUT.wav the sound is rendered into that file through the hand-pumped
// loopback output, as fast as it mixes, else it plays on the system's
// default output in real time. The README's "Using the library from a game"
// quotes the regions marked "readme:" here word for word (a test checks).
//
// Here the game's calls, the frames and the board's changes all run on the
// main thread; a game with a rendering thread calls the view's listeners
// there, and the library guards itself against the calls meeting.

// readme:begin includes
#include <zulsound/zulsound.h>  // the library, the interfaces a host implements
// readme:end includes

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// The host's objects: what the library calls in the game.

// The 3D view: calls its listeners once per rendered frame.
class GameView : public View {
public:
    void registerListener(RenderDriverListener* listener) override {
        std::lock_guard<std::mutex> guard(mutex);
        listeners.push_back(listener);
    }
    void unregisterListener(RenderDriverListener* listener) override {
        std::lock_guard<std::mutex> guard(mutex);
        for (auto it = listeners.begin(); it != listeners.end(); ++it)
            if (*it == listener) {
                listeners.erase(it);
                break;
            }
    }
    // One rendered frame: the landscape moves its sources and the listener.
    void frame() {
        std::vector<RenderDriverListener*> now;
        {
            std::lock_guard<std::mutex> guard(mutex);
            now = listeners;
        }
        for (RenderDriverListener* listener : now) listener->initView(nullptr);
    }

private:
    std::mutex mutex;
    std::vector<RenderDriverListener*> listeners;
};

// The game board: width x height cells of landscape subtypes.
enum Subtype : Landscape::Subtype { Sea, Coast, Meadow, Forest, Mountains };

std::string subtypeName(Landscape::Subtype subtype) {
    static const char* const names[] = {"sea", "coast", "meadow", "forest", "mountains"};
    return subtype >= 0 && subtype <= Mountains ? names[subtype] : "none";
}

class GameBoardOfCells : public GameBoard {
public:
    GameBoardOfCells(unsigned long w, unsigned long h) : width(w), height(h), cells(w * h, Meadow) {
        for (unsigned long y = 0; y < height; ++y)
            for (unsigned long x = 0; x < width; ++x)
                cells[y * width + x] = x == 0 ? Sea : x == 1 ? Coast : x < 10 ? Meadow : x < 14 ? Forest : Mountains;
    }
    unsigned long getWidth() override { return width; }
    unsigned long getHeight() override { return height; }
    void registerListener(GameBoardListener* listener, ListenerPriority) override { listeners.push_back(listener); }
    void unregisterListener(GameBoardListener* listener) override {
        for (auto it = listeners.begin(); it != listeners.end(); ++it)
            if (*it == listener) {
                listeners.erase(it);
                break;
            }
    }
    // Tells every listener each cell's subtype, as if each had just changed.
    void replay() {
        for (unsigned long y = 0; y < height; ++y)
            for (unsigned long x = 0; x < width; ++x) {
                const Landscape::Subtype subtype = cells[y * width + x];
                Point2D cell;
                cell.x = static_cast<uint32_t>(x);
                cell.y = static_cast<uint32_t>(y);
                for (GameBoardListener* listener : listeners) listener->afterChangeLandscapeSubtype(cell, subtype, subtype);
            }
    }

private:
    unsigned long width, height;
    std::vector<Landscape::Subtype> cells;
    std::vector<GameBoardListener*> listeners;
};

// Render time that stands still while the game is paused.
class GameTimer : public PausedRenderTimer {
public:
    float getTime() override { return time; }
    float time = 0.0f;
};

// The landscape camera: flies along the board at height 3.
class GameCamera : public landcamera::Camera, public landcamera::Manager {
public:
    Vector getPosition() override { return position; }
    Vector getFront() override { return Vector(0.0f, 1.0f, 0.0f); }
    Vector getTop() override { return Vector(0.0f, 0.0f, 1.0f); }
    landcamera::Camera* getCurrentCamera() override { return this; }
    Vector position{-7.0f, 0.0f, 3.0f};
};

// The game clock, in minutes of the day.
class GameClock : public ZulUIInterface {
public:
    DayTime getDayTime() override { return minutes; }
    DayTime minutes = 10 * 60;
};

// The game window: has the focus.
class GameWindow : public RenderWindow {
public:
    bool hasFocus() override { return true; }
    void registerListener(RenderWindowListener*) override {}
    void unregisterListener(RenderWindowListener*) override {}
};

// ---------------------------------------------------------------------------
// The game.

struct Game {
    GameView view;
    GameBoardOfCells board{16, 12};
    GameTimer timer;
    GameCamera camera;
    GameClock clock;
    GameWindow window;
    std::string output;  // the rendered file; empty: the system's output
    uint32_t framesPerTick = 0;
    int frame = 0;

    // One frame of 1/60 s: the engine's time, the camera, the view's
    // listeners, then the mix of that frame.
    void tick() {
        ++frame;
        timer.time += 1.0f / 60.0f;
        camera.position.x += 0.04f;
        if (frame % 60 == 0) clock.minutes += 1;
        view.frame();
        if (!output.empty()) {
            Sound3DDeviceManager::renderLoopbackToFile(output, framesPerTick);
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(16667));
        }
    }
    void run(int frames) {
        for (int k = 0; k < frames; ++k) tick();
    }
};

// An action sound at a board position.
void playAction(const std::string& name, const Vector& where) {
    // readme:begin action
    Effect* shot = theActInsonificator->createEffect(name);  // one shared effect per name
    if (shot) {
        shot->setPosition(where);
        shot->play();
    }
    // readme:end action
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CONTENT [OUT.wav]\n", argv[0]);
        return 2;
    }
    std::printf("zulsound %s (built against %s)\n", zulsound::getVersion(), ZULSOUND_VERSION_STRING);
    Game game;
    const std::string saveFile = argc > 2 ? std::string(argv[2]) + ".save" : "example.save";
    if (argc > 2) game.output = argv[2];

    // readme:begin setup
    // Before the SoundManager: the content, the output, and every engine,
    // game-logic and window object the library calls.
    if (!theResourceManager->mount(argv[1])) return 1;
    if (!game.output.empty()) {
        Sound3DDeviceManager::openLoopback();  // mixed only when the game renders
    } else {
        Sound3DDeviceManager::setOutput("default");  // the sound card, else the null output
    }
    thePausedRenderTimer = &game.timer;
    landcamera::theManager = &game.camera;
    ZULUI_INTERFACE = &game.clock;
    theRenderWindow = &game.window;  // before activate(): its focus is read there
    Landscape::setSubtypeNamer(&subtypeName);
    // readme:end setup

    // readme:begin start
    SoundManager* sound = new SoundManager;  // builds and publishes every singleton
    theSoundManager = sound;                 // the library never sets this pointer
    sound->activate();                       // the device opens, "Effects.snd" is read
    UIInsonificator* menus = new UIInsonificator;  // after activate(), else silent for good
    sound->startMusic("theme");

    sound->prepareGame(&game.view, &game.board);
    sound->startGame();
    sound->reReadConfig("/valley.cfg");  // the map "/Maps/valley.cfg": names are below "/Maps"
    game.board.replay();                 // the landscape hears the board's cells only from the board
    // readme:end start
    game.framesPerTick = Sound3DDeviceManager::getLoopbackFrequency() / 60;

    menus->play("button_press");
    game.run(10);
    playAction("shot", Vector(0.5f, 0.0f, 0.0f));
    game.run(50);
    menus->play("hover");
    playAction("bell", Vector(-6.5f, 2.5f, 4.0f));
    game.run(60);

    {
        // readme:begin save
        configmanager::ConfigManager save;  // the game's own save tree
        configmanager::Block* soundBlock = new configmanager::Block;
        save.addProperty(configmanager::LinkedName("sound"), soundBlock);  // adopted by the tree
        sound->saveGame(soundBlock);  // writes its keys at the top of the block it is given
        const std::string playing = "theme";
        soundBlock->setProperty("bgmID", &playing);  // the music a load brings back
        save.writePlainFile(saveFile);
        // readme:end save
    }

    // readme:begin switch
    sound->stopMusic();  // a second start while music plays is ignored
    sound->startMusic("nocturne");
    // readme:end switch
    playAction("door", Vector(2.5f, -1.5f, 0.0f));
    game.run(90);

    {
        // readme:begin load
        configmanager::ConfigManager save;
        configmanager::Block* soundBlock = nullptr;
        if (save.readPlainFile(saveFile) && save.getPropertyAccess("sound", &soundBlock)) {
            sound->stopMusic();
            sound->loadGame(soundBlock);       // landscape sources and "bgmID"
            theMusicInsonificator->start();    // the saved music starts only here
        }
        // readme:end load
    }
    theInsonificatorManager->setVolume(1, 0.8f);  // the "Environment sounds" group
    playAction("shot", Vector(-3.5f, 1.5f, 0.0f));
    game.run(90);

    // readme:begin shutdown
    sound->stopMusic();
    theMusicInsonificator->waitUntilServed();  // the fade-out ends, the queue is empty
    sound->stopGame();
    sound->releaseGame();
    delete menus;  // before the SoundManager
    sound->deactivate();
    theSoundManager = nullptr;
    delete sound;  // every singleton pointer back to null
    Sound3DDeviceManager::closeLoopback();  // the rendered file is complete
    thePausedRenderTimer = nullptr;
    landcamera::theManager = nullptr;
    ZULUI_INTERFACE = nullptr;
    theRenderWindow = nullptr;
    Landscape::setSubtypeNamer(nullptr);
    // readme:end shutdown

    std::remove(saveFile.c_str());
    std::printf("%d frames%s%s\n", game.frame, game.output.empty() ? "" : ", rendered to ", game.output.c_str());
    return 0;
}
