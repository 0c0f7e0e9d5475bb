// The pointers through which the game hands its engine, game logic, window
// and clock objects to the library. They are null until the host sets them,
// so the library links and runs on its own.
#include <mutex>

#include "interfaces/Engine.h"
#include "interfaces/GameLogic.h"
#include "interfaces/Window.h"

PausedRenderTimer* thePausedRenderTimer = nullptr;
landcamera::Manager* landcamera::theManager = nullptr;
RenderWindow* theRenderWindow = nullptr;
ZulUIInterface* ZULUI_INTERFACE = nullptr;

namespace {

std::mutex namerMutex;
std::function<std::string(Landscape::Subtype)>& namer() {
    static auto* instance = new std::function<std::string(Landscape::Subtype)>;
    return *instance;
}

}  // namespace

std::string Landscape::getNameOfLandscapeSubtype(Subtype subtype) {
    std::function<std::string(Subtype)> current;
    {
        std::lock_guard<std::mutex> guard(namerMutex);
        current = namer();
    }
    return current ? current(subtype) : std::to_string(subtype);
}

void Landscape::setSubtypeNamer(std::function<std::string(Subtype)> n) {
    std::lock_guard<std::mutex> guard(namerMutex);
    namer() = std::move(n);
}
