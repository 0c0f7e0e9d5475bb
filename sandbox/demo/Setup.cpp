#include "sandbox/demo/Setup.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ostream>

#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "interfaces/SoundDevice.h"
#include "interfaces/ThreadClock.h"
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

// The length of a music fade in seconds, from the content's music settings:
// the demo starts a new music once the playing one has faded out.
double musicFadeSeconds() {
    configmanager::ConfigManager settings;
    int steps = 1000, pause = 0;
    settings.readFile("/Configs/Sounds/MusicSettings.cfg");
    settings.getProperty("fadeStepNumber", &steps);
    settings.getProperty("sleepMilliseconds", &pause);
    return pause >= 20 ? std::max(steps - 1, 0) * (pause + 0.5) / 1000.0 : 0.0;
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
    sideOptions.musicFadeSeconds = musicFadeSeconds();
    if (setup->isRendering()) {
        // The library's threads sleep on the mix's clock while rendering.
        setup->clock = std::make_unique<RenderClock>();
        osthread::setThreadClock(setup->clock.get());
        sideOptions.renderClock = setup->clock.get();
    }
    sideOptions.log = options.log;
    sideOptions.watch = options.watch;
    setup->side = makeSoundSide(sideOptions);

    SessionSetup* s = setup.get();
    if (setup->isRendering()) setup->rendered = std::make_unique<RenderPacer>(device, *setup->clock);
    else setup->live = std::make_unique<RealTimePacer>();
    setup->opening = std::make_unique<OpeningSide>(*setup->side, [s] {
        if (!s->isRendering() || s->rendered->open(s->options.render)) return true;
        if (s->options.errors) *s->options.errors << "zsdemo: cannot write " << s->options.render << "\n";
        return false;
    });
    return setup;
}

SessionSetup::~SessionSetup() {
    // A session that never ended (it failed to begin) shuts the library down
    // here: nothing more is mixed, so the worker's sleeps end at once.
    if (clock) clock->release();
    opening.reset();
    side.reset();
    // The library's threads are gone with the sound side.
    if (clock) osthread::setThreadClock(nullptr);
    Sound3DDeviceManager::setDeviceProvider(nullptr);
    if (contentMounted) theResourceManager->unmount(options.content);
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
