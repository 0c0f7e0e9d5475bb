#include "sound/manager/ContentWatch.h"

#include <atomic>
#include <cctype>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "interfaces/Config.h"
#include "interfaces/Resource.h"
#include "sound/effects/ListenerSettings.h"
#include "sound/effects/ShellManager.h"
#include "sound/insonificators/UIInsonificator.h"
#include "sound/land/LandInsonificator.h"
#include "sound/manager/Globals.h"
#include "sound/manager/LogChannels.h"
#include "sound/manager/ResourceText.h"
#include "sound/music/MusicInsonificator.h"
#include "sound/music/ThreadCreation.h"
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

// The file name at the end of a content path.
std::string baseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The extension of a file name, lower case ("" when none).
std::string extensionOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::string();
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// What editors leave beside the files they save: swap and lock files
// (".x.swp", ".#x"), autosaves ("#x#"), backups ("x~"). Their probe files
// ("4913") and temporaries (".x.tmp", "x.tmp") have no extension the
// library reads and fall out with the rest.
bool isEditorsFile(const std::string& name) {
    return name.empty() || name[0] == '.' || name[0] == '#' || name.back() == '~' || name.back() == '#';
}

// Extensions of the sound files the decoder reads, and ".cfg" for the
// device's settings, which an entry of "Effects.snd" names like a sound.
bool isSoundFileName(const std::string& name) {
    static const std::set<std::string> extensions = {"wav", "wave", "ogg", "oga", "opus", "flac", "aif", "aiff", "aifc",
                                                     "au",  "snd",  "caf", "w64", "mp3",  "cfg"};
    return !isEditorsFile(name) && extensions.count(extensionOf(name)) != 0;
}

bool isMapFile(const std::string& path) {
    return startsWith(path, mapsDirectory) && !isEditorsFile(baseName(path)) && endsWith(path, ".cfg");
}

// The ".cfg" files the library reads through the configuration reader.
bool isConfigFile(const std::string& path) {
    return path == listenerPath || path == menusPath || path == musicPath || path == adaptPath ||
           path == defaultsPath || isMapFile(path);
}

bool isSoundFile(const std::string& path) {
    return startsWith(path, soundFilesDirectory) && isSoundFileName(baseName(path));
}

// Whether the library reads the file at that content path: nothing else
// is gathered, checked or mentioned.
bool libraryReads(const std::string& path) { return path == effectsPath || isConfigFile(path) || isSoundFile(path); }

// A content file as it was when the batch was read: its bytes, or none.
struct Snapshot {
    enum State { Read, Missing, Unreadable } state = Missing;
    std::shared_ptr<const std::string> bytes;
};

Snapshot snapshotOf(const std::string& path) {
    Snapshot shot;
    ResourceManager* resources = theResourceManager;
    if (!resources) return shot;
    ResourceLock guard(resources);
    if (resources->notFound(path.c_str())) return shot;
    auto text = std::make_shared<std::string>();
    if (!readResourceText(path, text.get())) {
        shot.state = Snapshot::Unreadable;
        return shot;
    }
    shot.state = Snapshot::Read;
    shot.bytes = std::move(text);
    return shot;
}

// Holds the batch's files to the bytes read for the check while the batch
// is checked and applied: every reader (the sound loader, the
// configuration reader) reads what was checked, whatever the files do
// meanwhile. A removed ".cfg" is held to an empty text: no keys, as a
// missing file reads at start-up.
class Pins {
public:
    explicit Pins(const std::map<std::string, Snapshot>& files) : resources(theResourceManager) {
        if (!resources) return;
        for (const auto& file : files) {
            std::shared_ptr<const std::string> bytes = file.second.bytes;
            if (file.second.state == Snapshot::Missing && isConfigFile(file.first))
                bytes = std::make_shared<const std::string>();
            if (file.second.state != Snapshot::Unreadable && resources->pin(file.first, bytes))
                pinned.push_back(file.first);
        }
    }
    ~Pins() {
        for (const std::string& path : pinned) resources->unpin(path);
    }
    Pins(const Pins&) = delete;
    Pins& operator=(const Pins&) = delete;

private:
    ResourceManager* resources;
    std::vector<std::string> pinned;
};

bool sameSound(const EffectConfig& a, const EffectConfig& b) {
    return a.fileName == b.fileName && a.storage == b.storage && a.looped == b.looped;
}

}  // namespace

struct ContentWatch::State {
    using Time = std::chrono::steady_clock::time_point;
    // A file the library reads, changed and not yet taken.
    struct Pending {
        filewatch::ChangeKind kind;
        Time at;  // its last change
    };

    std::chrono::milliseconds quiet;
    Clock clock;
    std::unique_ptr<filewatch::FileWatch> watch;
    bool completesOnQuiet = false;
    // Directories watched, as mounted: (directory, mount point ending in "/").
    std::vector<std::pair<std::string, std::string>> mounts;
    UIInsonificator* menus = nullptr;

    std::mutex mutex;  // everything below
    std::condition_variable changed;
    std::map<std::string, Pending> pending;  // full paths of files the library reads
    std::set<std::string> seen;              // every path seen, for waitForChange
    std::atomic<bool> anyPending{false};
    // A file of a refused batch. One refused with others is tried again
    // with the next batch; one in error itself when it changes again, or
    // when a sound file it named and did not find comes.
    struct Held {
        bool inError = false;
        std::set<std::string> waitsFor;  // content paths of sound files
    };
    std::map<std::string, Held> held;  // by content path
    unsigned long reloads = 0;
    unsigned long refusals = 0;

    std::thread thread;

    void gather() {
        for (;;) {
            filewatch::Changes changes = watch->wait();
            for (const std::string& notice : changes.notices) warn("Content watch: " + notice);
            if (changes.stopped) return;
            if (changes.files.empty()) continue;
            std::lock_guard<std::mutex> guard(mutex);
            const Time now = clock();
            for (const filewatch::Change& change : changes.files) {
                seen.insert(change.path);
                if (libraryReads(contentPath(change.path))) pending[change.path] = Pending{change.kind, now};
            }
            anyPending = !pending.empty();
            changed.notify_all();
        }
    }

    // Whether a file is whole: closed after writing, moved into place or
    // gone; a file last seen written is whole only for a watch that cannot
    // see writers close, once it has been quiet.
    bool complete(filewatch::ChangeKind kind) const {
        return kind != filewatch::ChangeKind::Modified || completesOnQuiet;
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
    s.completesOnQuiet = s.watch->completesOnQuiet();
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
    // A thread the system refuses leaves a watch that gathers nothing: the
    // game goes on with the content it has, and says so once.
    try {
        thread::beforeThreadCreation();
        s.thread = std::thread([&s] { s.gather(); });
    } catch (const std::exception& failure) {
        error(std::string("Content watch: failed to create thread: ") + failure.what() +
              "; saved content is not applied while the game runs");
    }
}

ContentWatch::~ContentWatch() {
    State& s = *state;
    s.watch->stop();
    if (s.thread.joinable()) s.thread.join();
    std::set<std::string> left;
    for (const auto& file : s.pending) left.insert(s.contentPath(file.first));
    for (const auto& file : s.held) left.insert(file.first);
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
        // Each file on its own clock: a busy file holds back only itself.
        const State::Time now = s.clock();
        for (auto file = s.pending.begin(); file != s.pending.end();) {
            if (s.complete(file->second.kind) && now - file->second.at >= s.quiet) {
                paths.insert(file->first);
                file = s.pending.erase(file);
            } else {
                ++file;
            }
        }
        s.anyPending = !s.pending.empty();
    }
    if (paths.empty()) return false;
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
        for (const std::string& path : paths) content.insert(contentPath(path));
        // Files refused only for another file's error come again; a file in
        // error itself waits for its own next change, or for a sound it
        // named and did not find.
        for (const auto& file : held) {
            bool comes = !file.second.inError;
            for (const std::string& sound : file.second.waitsFor) comes = comes || content.count(sound) != 0;
            if (comes) content.insert(file.first);
        }
        menuSounds = menus;
    }
    if (content.empty()) return false;

    // Each file is read once: the check and the apply both read these bytes.
    std::map<std::string, Snapshot> files;
    for (const std::string& path : content) files[path] = snapshotOf(path);
    const Pins pins(files);

    std::vector<std::string> problems;  // "file:line: text"
    std::map<std::string, Held> inError;  // the content paths they belong to
    auto problem = [&](const std::string& file, const std::string& text) {
        problems.push_back(text);
        inError[file].inError = true;
    };
    std::vector<std::string> done;  // what was reloaded, for the log line
    RequestManager* requests = theRequestManager;
    const bool device = requests && requests->isInitialized();

    // "Effects.snd": the new records, read beside those in use. A removed
    // file leaves the records in use: without it no effect would sound.
    EffectsFile::Records fresh;
    EffectConfig readerDefaults;
    bool effectsChanged = false;
    std::string effectsText;
    if (content.count(effectsPath)) {
        const Snapshot& shot = files[effectsPath];
        if (shot.state == Snapshot::Missing) {
            done.push_back(shown(effectsPath) + " removed: the effect records in use stay");
        } else if (shot.state == Snapshot::Unreadable) {
            problem(effectsPath, shown(effectsPath) + ": unreadable");
        } else if (requests) {
            effectsText = *shot.bytes;
            effectsChanged = true;
            readerDefaults = requests->getReaderDefaults();
            std::vector<EffectsFile::Problem> found;
            if (!requests->readEffectConfigs(effectsText, fresh, found)) {
                for (const auto& p : found)
                    problem(effectsPath, shown(effectsPath) + ":" + std::to_string(p.line) + ": " + p.text);
            }
        }
    }

    // What the effects need: names to load again, settings to take again,
    // and the new sounds' lengths, each sound checked once.
    ShellManager::EffectReload reload;
    std::map<std::pair<std::string, std::string>, uint32_t> checked;
    // `owner`: the file the error belongs to (the record's or the sound's).
    auto checkSound = [&](const std::string& name, const EffectConfig& record, const std::string& where,
                          const std::string& owner) {
        if (name == "device") return;  // the device's settings file, not a sound
        const auto key = std::make_pair(record.fileName, record.storage);
        auto known = checked.find(key);
        if (known == checked.end()) {
            uint32_t frames = 0;
            std::string why;
            if (!requests->checkSound(record.fileName, record.storage, &frames, &why)) {
                const std::string sound = shown(soundFilesDirectory + record.fileName);
                problem(owner, (where == sound ? where : where + ": " + sound) + ": " + why);
                if (owner != soundFilesDirectory + record.fileName)
                    inError[owner].waitsFor.insert(soundFilesDirectory + record.fileName);
                checked.emplace(key, 0);
                return;
            }
            known = checked.emplace(key, frames).first;
        }
        if (known->second) reload.frames[name] = known->second;
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
                checkSound(name, now, shown(effectsPath) + ":" + std::to_string(lineOfName(effectsText, name)),
                           effectsPath);
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
        if (!isSoundFile(path)) continue;
        const std::string file = path.substr(soundFilesDirectory.size());
        soundFiles.push_back(file);
        if (!device) continue;
        if (effectsChanged && problems.empty()) {
            for (const auto& record : fresh)
                if (record.second->fileName == file) {
                    reload.reload.insert(record.first);
                    checkSound(record.first, *record.second, shown(path), path);
                }
        } else if (!effectsChanged) {
            for (const auto& record : inUse) {
                if (record.second.fileName != file) continue;
                deviceSettings = deviceSettings || record.first == "device";
                reload.reload.insert(record.first);
                checkSound(record.first, record.second, shown(path), path);
            }
        }
    }

    // ".cfg" files, through the configuration reader. A removed settings
    // file reads as an empty one (its built-in values, put back where the
    // reader starts from the values in use); a removed map has nothing to
    // give.
    std::vector<std::string> maps, removedMaps;
    for (const std::string& path : content) {
        if (!isConfigFile(path)) continue;
        const Snapshot& shot = files[path];
        const bool map = isMapFile(path);
        if (shot.state == Snapshot::Missing) {
            if (map) removedMaps.push_back(shown(path));
            continue;
        }
        if (map) maps.push_back(shown(path));
        std::string reason;
        int line = 0;
        if (shot.state == Snapshot::Unreadable) problem(path, shown(path) + ": unreadable");
        else if (!configmanager::ConfigManager::checkText(*shot.bytes, &line, &reason))
            problem(path, shown(path) + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + reason);
    }
    auto removed = [&](const std::string& path) { return files[path].state == Snapshot::Missing; };

    std::vector<std::string> names;
    for (const std::string& path : content) names.push_back(shown(path));
    if (!problems.empty()) {
        RequestManager::freeRecords(fresh);
        if (effectsChanged) requests->restoreReaderDefaults(readerDefaults);
        for (const std::string& p : problems) error(p);
        error("Content not reloaded: " + std::to_string(problems.size()) + (problems.size() == 1 ? " error" : " errors") +
              " in " + joined(names) + "; the last good content plays on");
        std::lock_guard<std::mutex> guard(mutex);
        for (const std::string& path : content) {
            auto found = inError.find(path);
            held[path] = found == inError.end() ? Held() : found->second;
        }
        ++refusals;
        return true;
    }

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
    if (content.count(listenerPath) && theShellManager) {
        if (removed(listenerPath)) ListenerSettings::reset();  // the reader starts from the values in use
        if (theShellManager->reloadListenerSettings())
            done.push_back(removed(listenerPath) ? "listener settings (defaults)" : "listener settings");
    }
    if (content.count(menusPath)) {
        if (menuSounds && menuSounds->reloadTable()) done.push_back("menu sounds");
        else if (!menuSounds) done.push_back("menu sounds: none to reload");
    }
    // The music's and the landscape's readers also start from the values in
    // use (the game's own re-read keeps them for a missing file): a removed
    // file puts the built-in values back first.
    if (content.count(musicPath) && theMusicInsonificator) {
        if (removed(musicPath)) theMusicInsonificator->resetSettings();
        theMusicInsonificator->reReadConfig();
        done.push_back(removed(musicPath) ? "music settings (defaults)" : "music settings");
    }
    if (content.count(adaptPath) && theLandInsonificator) {
        if (removed(adaptPath)) theLandInsonificator->resetAdaptSettings();
        if (theLandInsonificator->reloadAdaptSettings())
            done.push_back(removed(adaptPath) ? "landscape tuning (defaults)" : "landscape tuning");
    }
    if (content.count(defaultsPath) && theLandInsonificator && theLandInsonificator->reloadDefaultSounds())
        done.push_back("landscape default sounds (for later placements)");
    if (!maps.empty())
        done.push_back("maps not applied: the sources on the board stay (a re-read of the configuration reads " +
                       joined(maps) + ")");
    if (!removedMaps.empty()) done.push_back("maps removed, nothing to apply: " + joined(removedMaps));
    if (done.empty()) done.push_back("nothing the sound library reads");
    inform("Content changed: " + joined(names) + "; reloaded: " + joined(done));
    std::lock_guard<std::mutex> guard(mutex);
    for (const std::string& path : content) held.erase(path);
    ++reloads;
    return true;
}
