#include "sound/manager/ContentWatch.h"

#include <atomic>
#include <cctype>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "sound/effects/ShellManager.h"
#include "sound/insonificators/UIInsonificator.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/manager/ResourceText.h"
#include "sound/music/MusicInsonificator.h"
#include "sound/request/RequestManager.h"

namespace {

const std::string soundsDirectory = "/Configs/Sounds/";
const std::string effectsPath = soundsDirectory + "Effects.snd";
const std::string listenerPath = soundsDirectory + "Listener.cfg";
const std::string menusPath = soundsDirectory + "UI.cfg";
const std::string musicPath = MusicInsonificator::settingsPath;
const std::string adaptPath = soundsDirectory + "AdaptSettings.cfg";
const std::string defaultsPath = soundsDirectory + "DefaultSounds.cfg";
const std::string mapsDirectory = "/Maps/";
const std::string soundFilesDirectory = "/Sounds/";

void error(const std::string& text) { channels::soundManager.post(debug::Error(DEBUG_CONTEXT) << text); }
void warn(const std::string& text) { channels::soundManager.post(debug::Warning(DEBUG_CONTEXT, 0.1f) << text); }
void inform(const std::string& text) { channels::soundManager.post(debug::Message(DEBUG_CONTEXT, 0.5f) << text); }

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// A content path as a checker names it: without the leading "/".
std::string shown(const std::string& resourcePath) {
    return resourcePath.empty() || resourcePath[0] != '/' ? resourcePath : resourcePath.substr(1);
}

std::string joined(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
    return out;
}

// The first line of an "Effects.snd" text on which `name` stands as a word.
int lineOfName(const std::string& text, const std::string& name) {
    auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    int line = 1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            continue;
        }
        if (text.compare(i, name.size(), name) == 0 && (i == 0 || !wordChar(text[i - 1])) &&
            (i + name.size() >= text.size() || !wordChar(text[i + name.size()])))
            return line;
    }
    return 0;
}

// The ".cfg" files the library reads through the configuration reader.
bool isConfigFile(const std::string& path) {
    return path == listenerPath || path == menusPath || path == musicPath || path == adaptPath ||
           path == defaultsPath || startsWith(path, mapsDirectory);
}

// Whether the library reads the file at that content path.
bool libraryReads(const std::string& path) {
    return path == effectsPath || isConfigFile(path) || startsWith(path, soundFilesDirectory);
}

bool sameSound(const EffectConfig& a, const EffectConfig& b) {
    return a.fileName == b.fileName && a.storage == b.storage && a.looped == b.looped;
}

}  // namespace

struct ContentWatch::State {
    std::chrono::milliseconds quiet;
    Clock clock;
    std::unique_ptr<filewatch::FileWatch> watch;
    // Directories watched, as mounted: (directory, mount point ending in "/").
    std::vector<std::pair<std::string, std::string>> mounts;
    UIInsonificator* menus = nullptr;

    std::mutex mutex;  // everything below
    std::condition_variable changed;
    std::set<std::string> pending;  // full paths
    std::set<std::string> seen;     // for waitForChange
    std::chrono::steady_clock::time_point lastChange;
    std::atomic<bool> anyPending{false};
    std::set<std::string> held;  // content paths of a refused batch, tried again with the next
    unsigned long reloads = 0;
    unsigned long refusals = 0;

    std::thread thread;

    void gather() {
        for (;;) {
            filewatch::Changes changes = watch->wait();
            for (const std::string& notice : changes.notices) warn("Content watch: " + notice);
            if (changes.stopped) return;
            if (changes.paths.empty()) continue;
            std::lock_guard<std::mutex> guard(mutex);
            for (const std::string& path : changes.paths) {
                pending.insert(path);
                seen.insert(path);
            }
            lastChange = clock();
            anyPending = true;
            changed.notify_all();
        }
    }

    // The content path a file system path stands for, or "" when no
    // watched mount holds it (the first mount in search order wins).
    std::string contentPath(const std::string& path) const {
        for (const auto& mount : mounts) {
            const std::string& dir = mount.first;
            if (path.size() > dir.size() + 1 && startsWith(path, dir) && path[dir.size()] == '/')
                return mount.second + path.substr(dir.size() + 1);
        }
        return std::string();
    }

    bool apply(const std::set<std::string>& paths);
};

ContentWatch::ContentWatch() : ContentWatch(Options()) {}

ContentWatch::ContentWatch(Options options) : state(std::make_unique<State>()) {
    State& s = *state;
    s.quiet = options.quiet;
    s.clock = options.clock ? options.clock : [] { return std::chrono::steady_clock::now(); };
    s.watch = options.watch ? std::move(options.watch) : filewatch::createFileWatch();
    std::vector<std::string> archives;
    std::vector<std::string> watched;
    if (ResourceManager* resources = theResourceManager) {
        for (auto mount : resources->getMounts()) {
            std::string dir = mount.first;
            while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
            std::string point = mount.second.empty() ? "/" : mount.second;
            if (point[0] != '/') point = "/" + point;
            if (point.back() != '/') point += '/';
            switch (s.watch->addDirectory(dir)) {
                case filewatch::AddResult::Watched:
                    s.mounts.emplace_back(dir, point);
                    watched.push_back(dir);
                    break;
                case filewatch::AddResult::NotDirectory:
                    archives.push_back(dir);
                    break;
                case filewatch::AddResult::Failed:
                    break;  // the watch's notice says why
            }
        }
    }
    if (!archives.empty()) warn("Content watch: archives are not watched: " + joined(archives));
    if (watched.empty()) warn("Content watch: no mounted directory to watch");
    else inform("Content watch: watching " + joined(watched));
    s.thread = std::thread([&s] { s.gather(); });
}

ContentWatch::~ContentWatch() {
    State& s = *state;
    s.watch->stop();
    if (s.thread.joinable()) s.thread.join();
    std::set<std::string> left;
    for (const std::string& path : s.pending) {
        const std::string content = s.contentPath(path);
        if (libraryReads(content)) left.insert(content);
    }
    left.insert(s.held.begin(), s.held.end());
    if (!left.empty()) {
        std::vector<std::string> names;
        for (const std::string& path : left) names.push_back(shown(path));
        warn("Content watch stopped: changes not applied: " + joined(names));
    }
}

void ContentWatch::setMenuSounds(UIInsonificator* menus) {
    std::lock_guard<std::mutex> guard(state->mutex);
    state->menus = menus;
}

bool ContentWatch::update() {
    State& s = *state;
    if (!s.anyPending.load(std::memory_order_acquire)) return false;
    std::set<std::string> paths;
    {
        std::lock_guard<std::mutex> guard(s.mutex);
        if (s.pending.empty() || s.clock() - s.lastChange < s.quiet) return false;
        paths.swap(s.pending);
        s.anyPending = false;
    }
    return s.apply(paths);
}

bool ContentWatch::hasPending() { return state->anyPending.load(std::memory_order_acquire); }

bool ContentWatch::hasHeld() {
    std::lock_guard<std::mutex> guard(state->mutex);
    return !state->held.empty();
}

bool ContentWatch::waitForChange(const std::string& path, std::chrono::milliseconds timeout) {
    State& s = *state;
    std::unique_lock<std::mutex> guard(s.mutex);
    const bool seen = s.changed.wait_for(guard, timeout, [&] { return s.seen.count(path) != 0; });
    s.seen.erase(path);
    return seen;
}

unsigned long ContentWatch::getReloadCount() {
    std::lock_guard<std::mutex> guard(state->mutex);
    return state->reloads;
}

unsigned long ContentWatch::getRefusedCount() {
    std::lock_guard<std::mutex> guard(state->mutex);
    return state->refusals;
}

bool ContentWatch::State::apply(const std::set<std::string>& paths) {
    std::set<std::string> content;
    UIInsonificator* menuSounds = nullptr;
    {
        std::lock_guard<std::mutex> guard(mutex);
        content.swap(held);
        menuSounds = menus;
    }
    for (const std::string& path : paths) {
        const std::string c = contentPath(path);
        if (libraryReads(c)) content.insert(c);
    }
    // Files the library never reads (an editor's temporary files, sessions,
    // anything else) are not mentioned.
    if (content.empty()) return false;

    std::vector<std::string> problems;  // "file:line: text"
    RequestManager* requests = theRequestManager;
    const bool device = requests && requests->isInitialized();

    // "Effects.snd": the new records, read beside those in use.
    EffectsFile::Records fresh;
    EffectConfig readerDefaults;
    bool effectsChanged = false;
    std::string effectsText;
    if (content.count(effectsPath)) {
        if (!readResourceText(effectsPath, &effectsText)) {
            problems.push_back(shown(effectsPath) + ": missing or unreadable");
        } else if (requests) {
            effectsChanged = true;
            readerDefaults = requests->getReaderDefaults();
            std::vector<EffectsFile::Problem> found;
            if (!requests->readEffectConfigs(effectsText, fresh, found)) {
                for (const auto& p : found)
                    problems.push_back(shown(effectsPath) + ":" + std::to_string(p.line) + ": " + p.text);
            }
        }
    }

    // What the effects need: names to load again, settings to take again,
    // and the new sounds' lengths, each sound checked once.
    ShellManager::EffectReload reload;
    std::map<std::pair<std::string, std::string>, uint32_t> checked;
    auto checkSound = [&](const std::string& name, const EffectConfig& record, const std::string& where) {
        if (name == "device") return;  // the device's settings file, not a sound
        const auto key = std::make_pair(record.fileName, record.storage);
        auto done = checked.find(key);
        if (done == checked.end()) {
            uint32_t frames = 0;
            std::string why;
            if (!requests->checkSound(record.fileName, record.storage, &frames, &why)) {
                const std::string sound = shown(soundFilesDirectory + record.fileName);
                problems.push_back((where == sound ? where : where + ": " + sound) + ": " + why);
                checked.emplace(key, 0);
                return;
            }
            done = checked.emplace(key, frames).first;
        }
        if (done->second) reload.frames[name] = done->second;
    };
    // The records in use, copied: the request manager may be read again on
    // another thread meanwhile.
    const std::map<std::string, EffectConfig> inUse =
        device ? requests->copyEffectConfigs() : std::map<std::string, EffectConfig>();
    if (effectsChanged && device && problems.empty()) {
        std::set<std::string> names;
        for (const auto& record : inUse) names.insert(record.first);
        for (const auto& record : fresh) names.insert(record.first);
        for (const std::string& name : names) {
            auto used = inUse.find(name);
            const EffectConfig* before = used == inUse.end() ? nullptr : &used->second;
            auto after = fresh.find(name);
            if (after == fresh.end()) {
                reload.reload.insert(name);  // gone: its effects fall silent as at a full re-read
                continue;
            }
            const EffectConfig& now = *after->second;
            if (!before || !sameSound(*before, now)) {
                reload.reload.insert(name);
                checkSound(name, now, shown(effectsPath) + ":" + std::to_string(lineOfName(effectsText, name)));
            }
            if (!before || before->volume != now.volume || before->radius != now.radius || before->looped != now.looped)
                reload.reconfigure.insert(name);
            if (!before || before->mode != now.mode) reload.remode.insert(name);
        }
    }

    // Sound files: every record that plays one loads it again.
    std::vector<std::string> soundFiles;
    bool deviceSettings = false;
    for (const std::string& path : content) {
        if (!startsWith(path, soundFilesDirectory)) continue;
        const std::string file = path.substr(soundFilesDirectory.size());
        soundFiles.push_back(file);
        if (!device) continue;
        if (effectsChanged && problems.empty()) {
            for (const auto& record : fresh)
                if (record.second->fileName == file) {
                    reload.reload.insert(record.first);
                    checkSound(record.first, *record.second, shown(path));
                }
        } else if (!effectsChanged) {
            for (const auto& record : inUse) {
                if (record.second.fileName != file) continue;
                deviceSettings = deviceSettings || record.first == "device";
                reload.reload.insert(record.first);
                checkSound(record.first, record.second, shown(path));
            }
        }
    }

    // ".cfg" files, through the configuration reader.
    std::vector<std::string> maps;
    for (const std::string& path : content) {
        if (!isConfigFile(path)) continue;
        if (startsWith(path, mapsDirectory)) maps.push_back(shown(path));
        std::string text, reason;
        int line = 0;
        if (!readResourceText(path, &text)) problems.push_back(shown(path) + ": missing or unreadable");
        else if (!configmanager::ConfigManager::checkText(text, &line, &reason))
            problems.push_back(shown(path) + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + reason);
    }

    std::vector<std::string> names;
    for (const std::string& path : content) names.push_back(shown(path));
    if (!problems.empty()) {
        RequestManager::freeRecords(fresh);
        if (effectsChanged) requests->restoreReaderDefaults(readerDefaults);
        for (const std::string& p : problems) error(p);
        error("Content not reloaded: " + std::to_string(problems.size()) + (problems.size() == 1 ? " error" : " errors") +
              " in " + joined(names) + "; the last good content plays on");
        std::lock_guard<std::mutex> guard(mutex);
        held.insert(content.begin(), content.end());
        ++refusals;
        return true;
    }

    std::vector<std::string> done;
    if (effectsChanged || !reload.reload.empty()) {
        if (!device || !theShellManager) {
            RequestManager::freeRecords(fresh);
            done.push_back("effects: none (the device is not initialized)");
        } else {
            const bool records = effectsChanged;
            const size_t n = theShellManager->reloadEffects(reload, [&] {
                if (records) requests->replaceEffectConfigs(fresh);
            });
            RequestManager::freeRecords(fresh);
            if (records) done.push_back("effect records");
            if (n) done.push_back(std::to_string(n) + (n == 1 ? " effect" : " effects") + " loaded again");
        }
    } else if (!soundFiles.empty()) {
        done.push_back("no effect plays " + joined(soundFiles));
    }
    if (deviceSettings) done.push_back("device settings: read when the device starts");
    if (content.count(listenerPath) && theShellManager && theShellManager->reloadListenerSettings())
        done.push_back("listener settings");
    if (content.count(menusPath)) {
        if (menuSounds && menuSounds->reloadTable()) done.push_back("menu sounds");
        else if (!menuSounds) done.push_back("menu sounds: none to reload");
    }
    if (content.count(musicPath) && theMusicInsonificator) {
        theMusicInsonificator->reReadConfig();
        done.push_back("music settings");
    }
    if (content.count(adaptPath) && theLandInsonificator && theLandInsonificator->reloadAdaptSettings())
        done.push_back("landscape tuning");
    if (content.count(defaultsPath) && theLandInsonificator && theLandInsonificator->reloadDefaultSounds())
        done.push_back("landscape default sounds (for later placements)");
    if (!maps.empty())
        done.push_back("maps not applied: the sources on the board stay (a re-read of the configuration reads " +
                       joined(maps) + ")");
    if (done.empty()) done.push_back("nothing the sound library reads");
    inform("Content changed: " + joined(names) + "; reloaded: " + joined(done));
    std::lock_guard<std::mutex> guard(mutex);
    ++reloads;
    return true;
}
