#include "tests/support/RecordingDevice.h"

#include <algorithm>
#include <sstream>

namespace testsupport {

std::string text(float value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

std::string text(const Vector& v) { return "(" + text(v.x) + "," + text(v.y) + "," + text(v.z) + ")"; }

namespace {
std::string text(bool value) { return value ? "1" : "0"; }
std::string text(int value) { return std::to_string(value); }
std::string text(uint32_t value) { return std::to_string(value); }
std::string streamText(ResourceStream* stream) { return stream ? stream->getPath() : "null"; }

uint32_t streamBytes(ResourceStream* stream) {
    const long end = stream->seek(ResourceStream::End, 0);
    stream->seek(ResourceStream::Begin, 0);
    return end > 0 ? static_cast<uint32_t>(end) : 0;
}
}  // namespace

std::string Call::text() const {
    std::string out = object + "." + name + "(";
    for (size_t k = 0; k < args.size(); ++k) out += (k ? "," : "") + args[k];
    return out + ")";
}

// ---------------------------------------------------------------- effect

RecordingEffect::RecordingEffect(RecordingDevice& d, int i) : device(d), id(i) {}


void RecordingEffect::play() {
    auto guard = device.enter(label(), "play", {});
    s.playing = device.playStarts;
}
void RecordingEffect::setLooped(bool looped) {
    auto guard = device.enter(label(), "setLooped", {text(looped)});
    s.looped = looped;
}
void RecordingEffect::stop() {
    auto guard = device.enter(label(), "stop", {});
    s.playing = false;
}
void RecordingEffect::trigger() {
    auto guard = device.enter(label(), "trigger", {});
    s.position = 0;
    s.playing = device.playStarts;
}
bool RecordingEffect::isPlaying() {
    auto guard = device.enter(label(), "isPlaying", {});
    return s.playing;
}
uint32_t RecordingEffect::getPlayPosition() {
    auto guard = device.enter(label(), "getPlayPosition", {});
    return s.position;
}
void RecordingEffect::setPlayPosition(uint32_t position) {
    auto guard = device.enter(label(), "setPlayPosition", {text(position)});
    s.position = position;
}
void RecordingEffect::setVolume(float volume) {
    auto guard = device.enter(label(), "setVolume", {text(volume)});
    s.volume = volume;
}
void RecordingEffect::release() {
    auto guard = device.enter(label(), "release", {});
    s.playing = false;
    s.released = true;
}
void RecordingEffect::setRadius(float radius, Sound3DApply apply) {
    auto guard = device.enter(label(), "setRadius", {text(radius), text(static_cast<int>(apply))});
    s.radius = radius;
}
void RecordingEffect::setMode(Sound3DMode mode, Sound3DApply apply) {
    auto guard = device.enter(label(), "setMode", {text(static_cast<int>(mode)), text(static_cast<int>(apply))});
    s.mode = mode;
}
void RecordingEffect::setPosition(const Vector& position, Sound3DApply apply) {
    auto guard = device.enter(label(), "setPosition", {text(position), text(static_cast<int>(apply))});
    s.place = position;
}
void RecordingEffect::clone(Sound3DEffect* source) {
    auto* from = dynamic_cast<RecordingEffect*>(source);
    auto guard = device.enter(label(), "clone", {from ? from->label() : std::string("null")});
    if (!from) throw SoundObjectException("clone: the source is not an effect of this device");
    s.frequency = from->s.frequency;
    s.channels = from->s.channels;
    s.bits = from->s.bits;
    s.size = from->s.size;
    s.source = from->s.source;
    s.state = "clone";
}
void RecordingEffect::take(ResourceStream* stream, const std::string& state) {
    s.source = stream->getPath();
    uint32_t size = streamBytes(stream);
    const auto format = device.formatFor(s.source, &size);
    s.frequency = format.frequency;
    s.channels = format.channels;
    s.bits = format.bits;
    s.size = size;
    s.state = state;
}
void RecordingEffect::createStreaming(ResourceStream* stream, unsigned long buffers) {
    auto guard = device.enter(label(), "createStreaming", {streamText(stream), std::to_string(buffers)});
    if (!stream) throw SoundObjectException("createStreaming: no stream");
    s.stream = stream;
    take(stream, "streaming");
}
void RecordingEffect::createStatic(ResourceStream* stream) {
    auto guard = device.enter(label(), "createStatic", {streamText(stream)});
    if (!stream) throw SoundObjectException("createStatic: no stream");
    take(stream, "static");
}
ResourceStream* RecordingEffect::getStream() {
    auto guard = device.enter(label(), "getStream", {});
    return s.stream;
}
uint32_t RecordingEffect::getFrequency() {
    auto guard = device.enter(label(), "getFrequency", {});
    return s.frequency;
}
uint32_t RecordingEffect::getChannels() {
    auto guard = device.enter(label(), "getChannels", {});
    return s.channels;
}
uint32_t RecordingEffect::getBits() {
    auto guard = device.enter(label(), "getBits", {});
    return s.bits;
}
uint32_t RecordingEffect::getSize() {
    auto guard = device.enter(label(), "getSize", {});
    return s.size;
}
void RecordingEffect::getState(std::string& state) {
    auto guard = device.enter(label(), "getState", {});
    state = s.state;
}

RecordingEffect::State RecordingEffect::snapshot() {
    std::lock_guard<std::recursive_mutex> guard(device.mutex);
    return s;
}

void RecordingEffect::setPlaying(bool playing) {
    std::lock_guard<std::recursive_mutex> guard(device.mutex);
    s.playing = playing;
}

void RecordingEffect::advanceTo(uint32_t position) {
    std::lock_guard<std::recursive_mutex> guard(device.mutex);
    s.position = position;
}


// ---------------------------------------------------------------- listener

void RecordingListener::commit() { auto guard = device.enter("listener", "commit", {}); }
float RecordingListener::getDistanceFactor() {
    auto guard = device.enter("listener", "getDistanceFactor", {});
    return distanceFactor;
}
void RecordingListener::setDistanceFactor(float factor, Sound3DApply apply) {
    auto guard = device.enter("listener", "setDistanceFactor", {text(factor), text(static_cast<int>(apply))});
    distanceFactor = factor;
}
void RecordingListener::setOrientation(const Vector& f, const Vector& t, Sound3DApply apply) {
    auto guard = device.enter("listener", "setOrientation", {text(f), text(t), text(static_cast<int>(apply))});
    front = f;
    top = t;
}
void RecordingListener::setPosition(const Vector& p, Sound3DApply apply) {
    auto guard = device.enter("listener", "setPosition", {text(p), text(static_cast<int>(apply))});
    position = p;
}
float RecordingListener::getRolloffFactor() {
    auto guard = device.enter("listener", "getRolloffFactor", {});
    return rolloffFactor;
}
void RecordingListener::setRolloffFactor(float factor, Sound3DApply apply) {
    auto guard = device.enter("listener", "setRolloffFactor", {text(factor), text(static_cast<int>(apply))});
    rolloffFactor = factor;
}

// ---------------------------------------------------------------- device

RecordingDevice::RecordingDevice(std::string n) : name(std::move(n)), theListener(*this) {}

RecordingDevice::~RecordingDevice() {
    for (RecordingEffect* e : live) delete e;
}

void RecordingDevice::record(const std::string& object, const std::string& operation, std::vector<std::string> args) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    log.push_back(Call{object, operation, std::move(args)});
}

std::unique_lock<std::recursive_mutex> RecordingDevice::enter(const std::string& object, const std::string& operation,
                                                             std::vector<std::string> args) {
    std::unique_lock<std::recursive_mutex> guard(mutex);
    record(object, operation, std::move(args));
    maybeFail(operation);
    return guard;
}

void RecordingDevice::maybeFail(const std::string& operation) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    auto found = failures.find(operation);
    if (found == failures.end() || found->second.second <= 0) return;
    const std::string message = found->second.first;
    if (--found->second.second == 0) failures.erase(found);
    if (operation == "initialize") throw SoundDeviceException(message);
    if (operation == "clone" || operation == "createStatic" || operation == "createStreaming")
        throw SoundObjectException(message);
    throw debug::Exception(message);
}

RecordingDevice::Format RecordingDevice::formatFor(const std::string& path, uint32_t* size) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    auto found = formats.find(path);
    if (found == formats.end()) return Format{};
    if (found->second.second) *size = found->second.second;
    return found->second.first;
}

Sound3DEffect* RecordingDevice::createEffect() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    record("device", "createEffect", {});
    maybeFail("createEffect");
    auto* effect = new RecordingEffect(*this, nextId++);
    live.push_back(effect);
    return effect;
}

void RecordingDevice::destroyEffect(Sound3DEffect* effect) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    auto* e = dynamic_cast<RecordingEffect*>(effect);
    record("device", "destroyEffect", {e ? e->label() : std::string("unknown")});
    auto found = std::find(live.begin(), live.end(), e);
    if (found == live.end()) return;  // not ours, or destroyed twice: recorded, not freed
    live.erase(found);
    delete e;
}

void RecordingDevice::initialize() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    record("device", "initialize", {});
    maybeFail("initialize");
    initialized = true;
}

void RecordingDevice::uninitialize() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    record("device", "uninitialize", {});
    maybeFail("uninitialize");
    initialized = false;
}

void RecordingDevice::loadSettings(ResourceStream* stream) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    record("device", "loadSettings", {streamText(stream)});
    maybeFail("loadSettings");
    settings.clear();
    if (!stream) return;
    char buffer[512];
    long n;
    while ((n = stream->read(buffer, sizeof buffer)) > 0) settings.append(buffer, static_cast<size_t>(n));
}

void RecordingDevice::beginBatch() { auto guard = enter("device", "beginBatch", {}); }

void RecordingDevice::endBatch() { auto guard = enter("device", "endBatch", {}); }

void RecordingDevice::getInfo(std::list<std::string>& lines) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    record("device", "getInfo", {});
    maybeFail("getInfo");
    lines.insert(lines.end(), infoLines.begin(), infoLines.end());
}

Sound3DListener* RecordingDevice::getListener() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    record("device", "getListener", {});
    maybeFail("getListener");
    return &theListener;
}

void RecordingDevice::failNext(const std::string& operation, const std::string& message, int times) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    failures[operation] = {message, times};
}

void RecordingDevice::setFormat(const std::string& path, Format format, uint32_t size) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    formats[path] = {format, size};
}

void RecordingDevice::setInfoLines(std::list<std::string> lines) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    infoLines = std::move(lines);
}

void RecordingDevice::setPlayStarts(bool starts) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    playStarts = starts;
}

std::vector<Call> RecordingDevice::calls() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    return log;
}

std::vector<Call> RecordingDevice::calls(const std::string& operation) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    std::vector<Call> result;
    for (const auto& c : log)
        if (c.name == operation) result.push_back(c);
    return result;
}

size_t RecordingDevice::count(const std::string& operation) { return calls(operation).size(); }

void RecordingDevice::clearCalls() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    log.clear();
}

std::vector<RecordingEffect*> RecordingDevice::liveEffects() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    return live;
}

RecordingEffect* RecordingDevice::effect(int id) {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    for (RecordingEffect* e : live)
        if (e->getId() == id) return e;
    return nullptr;
}

bool RecordingDevice::isInitialized() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    return initialized;
}

std::string RecordingDevice::settingsRead() {
    std::lock_guard<std::recursive_mutex> guard(mutex);
    return settings;
}

DeviceProviderGuard::DeviceProviderGuard(std::vector<std::shared_ptr<SoundDevice>> devices) {
    Sound3DDeviceManager::setDeviceProvider([devices] {
        return Sound3DDeviceManager::DeviceList(devices.begin(), devices.end());
    });
}

DeviceProviderGuard::~DeviceProviderGuard() { Sound3DDeviceManager::setDeviceProvider(nullptr); }

}  // namespace testsupport
