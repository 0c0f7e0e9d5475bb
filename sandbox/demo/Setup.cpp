#include "sandbox/demo/Setup.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>

#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"
#include "platform/device/AlDevice.h"

namespace zsdemo {

namespace {

namespace fs = std::filesystem;

// Opens the rendering's file once the inner side has begun (the device is
// initialised then and knows its rate).
class OpeningSide : public SoundSide {
public:
    OpeningSide(SoundSide& inner, std::function<bool()> opened) : inner(inner), opened(std::move(opened)) {}
    bool begin(sandbox::Host& host) override { return inner.begin(host) && opened(); }
    void command(const Command& c, const Vector& p, const std::string& f) override { inner.command(c, p, f); }
    void beforeMix() override { inner.beforeMix(); }
    void afterFrame() override { inner.afterFrame(); }
    void end() override { inner.end(); }
    std::vector<Source> sources() override { return inner.sources(); }
    std::string status() override { return inner.status(); }
    std::vector<std::string> statistics() override { return inner.statistics(); }

private:
    SoundSide& inner;
    std::function<bool()> opened;
};

// A rendering reads the music settings from an overlay mounted before the
// content: the same fades without the worker's real-time pauses (the demo
// fades the music group over the same length of game time). Returns that
// length.
double renderingFadeSeconds(const fs::path& overlay, bool& written) {
    configmanager::ConfigManager settings;
    int steps = 1000, pause = 0;
    float louder = 0.5f;
    settings.readFile("/Configs/Sounds/MusicSettings.cfg");
    settings.getProperty("fadeStepNumber", &steps);
    settings.getProperty("sleepMilliseconds", &pause);
    settings.getProperty("louder", &louder);
    const double fadeSeconds = pause >= 20 ? std::max(steps, 1) * pause / 1000.0 : 0.0;
    pause = 0;
    std::error_code error;
    fs::create_directories(overlay / "Configs" / "Sounds", error);
    configmanager::ConfigManager rendering;
    rendering.setProperty("fadeStepNumber", &steps);
    rendering.setProperty("sleepMilliseconds", &pause);
    rendering.setProperty("louder", &louder);
    written = rendering.writePlainFile((overlay / "Configs" / "Sounds" / "MusicSettings.cfg").string());
    return fadeSeconds;
}

}  // namespace

std::unique_ptr<SessionSetup> prepareSession(const SetupOptions& options) {
    std::unique_ptr<SessionSetup> setup(new SessionSetup(options));
    std::ostream* errors = options.errors;
    if (!theResourceManager->mount(options.content)) {
        if (errors) *errors << "zsdemo: cannot mount the content " << options.content << "\n";
        return nullptr;
    }
    setup->contentMounted = true;
    std::error_code error;
    fs::create_directories(options.saveDirectory, error);

    double fadeSeconds = 0.0;
    if (setup->isRendering()) {
        const fs::path overlay = fs::path(options.saveDirectory) / "render-settings";
        bool written = false;
        fadeSeconds = renderingFadeSeconds(overlay, written);
        bool mounted = written && theResourceManager->unmount(options.content);
        if (mounted) {
            setup->contentMounted = false;
            mounted = theResourceManager->mount(overlay.string());
        }
        if (mounted) {
            setup->overlay = overlay.string();
            mounted = setup->contentMounted = theResourceManager->mount(options.content);
        }
        if (!mounted) {
            if (errors) *errors << "zsdemo: cannot set up the rendering's music settings in " << overlay.string() << "\n";
            return nullptr;
        }
    }

    // The devices the library will list: ours, so that the demo can pump
    // the loopback output or read the voices in use.
    std::shared_ptr<aldevice::AlDevice> device;
    if (setup->isRendering()) {
        device = std::make_shared<aldevice::AlDevice>(aldevice::Output{aldevice::Output::Loopback, ""});
    } else {
        if (!options.output.empty()) Sound3DDeviceManager::setOutput(options.output);
        for (auto& d : Sound3DDeviceManager::listOwnDevices())
            if ((device = std::dynamic_pointer_cast<aldevice::AlDevice>(d))) break;
    }
    setup->device = device;
    if (device)
        Sound3DDeviceManager::setDeviceProvider([device] { return Sound3DDeviceManager::DeviceList{device}; });

    SoundSideOptions sideOptions;
    sideOptions.map = options.map;
    sideOptions.seed = options.seed;
    sideOptions.rendering = setup->isRendering();
    sideOptions.renderFadeSeconds = fadeSeconds;
    sideOptions.log = options.log;
    setup->side = makeSoundSide(sideOptions);

    SessionSetup* s = setup.get();
    if (setup->isRendering()) setup->rendered = std::make_unique<RenderPacer>(device);
    else setup->live = std::make_unique<RealTimePacer>();
    setup->opening = std::make_unique<OpeningSide>(*setup->side, [s] {
        if (!s->isRendering() || s->rendered->open(s->options.render)) return true;
        if (s->options.errors) *s->options.errors << "zsdemo: cannot write " << s->options.render << "\n";
        return false;
    });
    return setup;
}

SessionSetup::~SessionSetup() {
    opening.reset();
    side.reset();
    Sound3DDeviceManager::setDeviceProvider(nullptr);
    if (contentMounted) theResourceManager->unmount(options.content);
    if (!overlay.empty()) theResourceManager->unmount(overlay);
}

Pacer& SessionSetup::getPacer() {
    if (rendered) return *rendered;
    return *live;
}

double SessionSetup::getRenderedSeconds() const {
    return rendered && rendered->getFrequency() ? static_cast<double>(rendered->getFrames()) / rendered->getFrequency()
                                                : 0.0;
}

bool SessionSetup::finish() { return !rendered || rendered->close(); }

}  // namespace zsdemo
