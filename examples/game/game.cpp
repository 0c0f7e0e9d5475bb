// A small but complete game of the sound library, built against the
// installed package only: menus, actions, music, the landscape of a board,
// a listener that moves, save and load, then a clean shutdown. The host
// objects the library calls (view, board, timer, camera, clock, window) are
// the library's ready-made SimpleHost.
//
//   game CONTENT [OUT.wav]
//
// CONTENT is a content directory or .zip (the library's sample content);
// with OUT.wav the sound is rendered into that file through the hand-pumped
// loopback output, as fast as it mixes and on the mix's own clock (the same
// run gives the same file), else it plays on the system's default output in
// real time. The README's "Using the library from a game" quotes the
// regions marked "readme:" here word for word (a test checks).

// readme:begin includes
#include <zulsound/zulsound.h>  // the library, the interfaces a host implements
// readme:end includes

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

// The board's landscape: sea at the left, coast, meadow, forest, mountains.
enum Subtype : Landscape::Subtype { Sea, Coast, Meadow, Forest, Mountains };

std::string subtypeName(Landscape::Subtype subtype) {
    static const char* const names[] = {"sea", "coast", "meadow", "forest", "mountains"};
    return subtype >= 0 && subtype <= Mountains ? names[subtype] : "none";
}

const unsigned long boardWidth = 16, boardHeight = 12;

struct Game {
    SimpleHost host{boardWidth, boardHeight};
    std::string output;  // the rendered file; empty: the system's output
    uint32_t framesPerTick = 0;
    int frame = 0;
    Vector camera{-7.0f, 0.0f, 3.0f};

    // Tells the landscape every cell (it hears the board only through changes).
    void placeCells() {
        for (uint32_t y = 0; y < boardHeight; ++y)
            for (uint32_t x = 0; x < boardWidth; ++x) {
                Point2D cell;
                cell.x = x;
                cell.y = y;
                host.setSubtype(cell, x == 0 ? Sea : x == 1 ? Coast : x < 10 ? Meadow : x < 14 ? Forest : Mountains);
            }
    }
    // One frame of 1/60 s: the camera (the listener) flies along the board,
    // the clock runs a minute a second, then the mix of that frame.
    void tick() {
        ++frame;
        camera.x += 0.04f;
        host.setListener(camera);
        host.setDayTime(10 * 60 + frame / 60);
        host.frame(1.0f / 60.0f);
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
    shot->setPosition(where);  // an unknown name gives an effect that never plays
    shot->play();
    // readme:end action
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CONTENT [OUT.wav]\n", argv[0]);
        return 2;
    }
    std::printf("zulsound %s (built against %s)\n", zulsound::getVersion(), ZULSOUND_VERSION_STRING);
    const std::string saveFile = argc > 2 ? std::string(argv[2]) + ".save" : "example.save";
    // readme:begin setup
    // Before the SoundManager: the content, the output, the host's objects.
    if (!theResourceManager->mount(argv[1])) return 1;  // false: no content there
    Game game;  // its SimpleHost sets the engine, game-logic and window pointers
    if (argc > 2) {
        game.output = argv[2];
        Sound3DDeviceManager::openLoopback();  // mixed only when the game renders
    } else {
        Sound3DDeviceManager::setOutput("default");  // the sound card, else the null output
    }
    Landscape::setSubtypeNamer(&subtypeName);
    // readme:end setup

    // readme:begin start
    SoundManager* sound = new SoundManager;  // builds and publishes every singleton
    theSoundManager = sound;                 // the library never sets this pointer
    sound->activate();                       // the device opens, "Effects.snd" is read
    UIInsonificator* menus = new UIInsonificator;  // after activate(), else silent for good
    sound->startMusic("theme");

    sound->setRandomSeed(0.25f);  // the same landscape every run (else the calendar's)
    sound->prepareGame(game.host.view(), game.host.board());
    sound->startGame();
    sound->reReadConfig("/valley.cfg");  // the map "/Maps/valley.cfg": names are below "/Maps"
    game.placeCells();                   // the landscape hears the board's cells only from the board
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
    game.run(120);       // the fade-out: MusicSettings.cfg's 100 steps of 20 ms
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
            game.run(120);                     // the fade-out
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
    game.run(120);                          // the fade-out is heard
    Sound3DDeviceManager::closeLoopback();  // the file is complete; later fades end at once
    sound->stopGame();
    sound->releaseGame();
    delete menus;  // before the SoundManager
    sound->deactivate();
    theSoundManager = nullptr;
    delete sound;  // every singleton pointer back to null
    Landscape::setSubtypeNamer(nullptr);
    // readme:end shutdown

    std::remove(saveFile.c_str());
    std::printf("%d frames%s%s\n", game.frame, game.output.empty() ? "" : ", rendered to ", game.output.c_str());
    return 0;
}
