// Windows' system output as a sink: a shared-mode WASAPI stream on the
// default render endpoint (console role), event driven. The stream takes
// the mixer's interleaved stereo floats at the mixer's rate and the audio
// engine converts to the endpoint's mix format (AUTOCONVERTPCM with its
// default-quality resampler), so a reopened output never changes the mixer.
//
// Pacing: the engine's buffer holds about `bufferFrames` frames; a write
// copies in what fits, then waits on the stream's event (signalled each
// engine period) in steps of at most 100 ms. An engine that takes nothing
// for outputPatience loses the output, as a stopped server does for the
// sound-server sink.
//
// Lost: the endpoint gone (AUDCLNT_E_DEVICE_INVALIDATED: unplugged,
// disabled, the audio service restarted) or any other failure of the
// stream; and the user choosing another default output device (an
// IMMNotificationClient watches for it), so that the device's thread, which
// tries the system output again every second, reopens on the new default.
//
// Bounded waits: the engine's calls are normally quick, but one behind a
// sound server that does not answer (Wine's PulseAudio driver, with the
// server stopped) can wait without a limit in opening, starting or closing
// a stream. So the open and the close run on a thread of their own, waited
// for no longer than outputPatience; one that does not finish goes on alone
// and releases what it made when it ends. While such an open is still
// stuck, a new one is refused at once instead of stacking threads.
//
// COM: every thread that calls into the stream first joins the
// multithreaded apartment (CoInitializeEx, left at the thread's end); a
// thread already in a single-threaded apartment (RPC_E_CHANGED_MODE) is
// used as it is, the engine's objects being free-threaded.
#include <windows.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>

#include "platform/device/Sink.h"

namespace aldevice {
namespace {

using Clock = std::chrono::steady_clock;

// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, spelled out so no GUID library is needed.
constexpr GUID floatSamples = {0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
constexpr std::chrono::milliseconds waitStep{100};

// Whether the process is ending: the library's statics are being
// destroyed, every other thread is gone (the engine's too). Then neither a
// new thread nor a call into the engine is wise, and what is left is the
// system's to clean up.
bool processEnding() {
    using Query = BOOLEAN(WINAPI*)();
    static const Query query = reinterpret_cast<Query>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlDllShutdownInProgress")));
    return query && query();
}

// A thread that may outlive its waiter runs the library's code: the library
// stays loaded from the first one on (a FreeLibrary would pull the code
// from under it).
void keepLibraryLoaded() {
    static const bool pinned = [] {
        HMODULE self = nullptr;
        return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                                  reinterpret_cast<LPCWSTR>(&keepLibraryLoaded), &self) != 0;
    }();
    (void)pinned;
}

// The multithreaded apartment for the calling thread, for the thread's
// life.
class ComOnThread {
public:
    ComOnThread() : joined(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComOnThread() {
        if (joined && !processEnding()) CoUninitialize();
    }
    ComOnThread(const ComOnThread&) = delete;
    ComOnThread& operator=(const ComOnThread&) = delete;

private:
    bool joined;  // false: RPC_E_CHANGED_MODE (the thread's own apartment), or no COM at all
};

void comOnThisThread() {
    thread_local ComOnThread com;
    (void)com;
}

std::string hex(HRESULT result) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
    return text;
}

// What a failed call of the engine means, in the output's terms.
std::string describe(HRESULT result) {
    switch (result) {
    case AUDCLNT_E_DEVICE_INVALIDATED: return "the output device is gone (AUDCLNT_E_DEVICE_INVALIDATED)";
    case AUDCLNT_E_SERVICE_NOT_RUNNING: return "the Windows audio service is not running";
    case AUDCLNT_E_DEVICE_IN_USE: return "the output device is in exclusive use by another program";
    case AUDCLNT_E_UNSUPPORTED_FORMAT: return "the output device refuses stereo floats";
    case AUDCLNT_E_ENDPOINT_CREATE_FAILED: return "the output device's endpoint cannot be made";
    case E_NOTFOUND: return "no output device";
    case E_OUTOFMEMORY: return "out of memory";
    default: return "error " + hex(result);
    }
}

template <typename T>
void release(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// Told by the system when the default output device changes; the sink
// reads the flag, the event wakes a write that waits.
class DefaultWatch : public IMMNotificationClient {
public:
    explicit DefaultWatch(HANDLE wake) {
        if (!DuplicateHandle(GetCurrentProcess(), wake, GetCurrentProcess(), &event, 0, FALSE, DUPLICATE_SAME_ACCESS))
            event = nullptr;
    }
    bool changed() const { return defaultChanged.load(); }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(id, __uuidof(IUnknown)) || IsEqualIID(id, __uuidof(IMMNotificationClient))) {
            *object = static_cast<IMMNotificationClient*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) override {
        if (flow == eRender && role == eConsole) {
            defaultChanged = true;
            if (event) SetEvent(event);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

private:
    virtual ~DefaultWatch() {
        if (event) CloseHandle(event);
    }
    std::atomic<ULONG> references{1};
    std::atomic<bool> defaultChanged{false};
    HANDLE event = nullptr;
};

// What an open made: the stream and what it hangs on.
struct Stream {
    IMMDeviceEnumerator* devices = nullptr;
    IMMDevice* device = nullptr;
    IAudioClient* client = nullptr;
    IAudioRenderClient* render = nullptr;
    IAudioClock* clock = nullptr;
    UINT64 clockFrequency = 0;  // the clock's units a second
    DefaultWatch* watch = nullptr;
    bool watching = false;
    HANDLE wake = nullptr;
    UINT32 bufferFrames = 0;
    double engineLatency = 0.0;  // seconds the engine adds after the buffer

    ~Stream() {
        if (watching) devices->UnregisterEndpointNotificationCallback(watch);
        release(watch);
        release(render);
        release(clock);
        if (client) client->Stop();
        release(client);
        release(device);
        release(devices);
        if (wake) CloseHandle(wake);
    }

    // On a thread that joined COM. False with *why set on failure (what was
    // made is released by the destructor).
    bool open(uint32_t rate, uint32_t wantFrames, std::string* why) {
        HRESULT result = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                          __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(&devices));
        if (FAILED(result)) return fail(why, "no device enumerator (" + describe(result) + ")");
        result = devices->GetDefaultAudioEndpoint(eRender, eConsole, &device);
        if (result == E_NOTFOUND || !device) return fail(why, "no output device");
        if (FAILED(result)) return fail(why, "no default output device (" + describe(result) + ")");
        result = device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client));
        if (FAILED(result)) return fail(why, "the output device does not activate (" + describe(result) + ")");

        WAVEFORMATEXTENSIBLE format{};
        format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        format.Format.nChannels = 2;
        format.Format.nSamplesPerSec = rate;
        format.Format.wBitsPerSample = 32;
        format.Format.nBlockAlign = 2 * sizeof(float);
        format.Format.nAvgBytesPerSec = rate * format.Format.nBlockAlign;
        format.Format.cbSize = sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);
        format.Samples.wValidBitsPerSample = 32;
        format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
        format.SubFormat = floatSamples;
        const REFERENCE_TIME duration = REFERENCE_TIME(wantFrames) * 10000000 / rate;  // 100 ns units
        const DWORD flags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_NOPERSIST;
        const DWORD convert = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;
        result = client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags | convert, duration, 0,
                                    reinterpret_cast<const WAVEFORMATEX*>(&format), nullptr);
        if (result == E_INVALIDARG) {
            // An engine without its own conversion (before Windows 7 SP1's
            // update) refuses the flags: the endpoint may still take the
            // format as it is.
            result = client->Initialize(AUDCLNT_SHAREMODE_SHARED, flags, duration, 0,
                                        reinterpret_cast<const WAVEFORMATEX*>(&format), nullptr);
        }
        if (FAILED(result)) return fail(why, "the stream does not open (" + describe(result) + ")");
        wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (!wake) return fail(why, "no event for the stream");
        result = client->SetEventHandle(wake);
        if (SUCCEEDED(result)) result = client->GetBufferSize(&bufferFrames);
        if (SUCCEEDED(result))
            result = client->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&render));
        if (FAILED(result)) return fail(why, "the stream does not open (" + describe(result) + ")");
        REFERENCE_TIME engine = 0;
        if (SUCCEEDED(client->GetStreamLatency(&engine))) engineLatency = double(engine) / 1e7;
        // The stream's clock tells what was played (heard), past the
        // engine's own buffers; without it latency() counts the buffer.
        if (FAILED(client->GetService(__uuidof(IAudioClock), reinterpret_cast<void**>(&clock))) ||
            FAILED(clock->GetFrequency(&clockFrequency)) || clockFrequency == 0)
            release(clock);

        // Watching the default from here on: a change while the stream
        // starts is seen by the first write.
        watch = new (std::nothrow) DefaultWatch(wake);
        if (watch && SUCCEEDED(devices->RegisterEndpointNotificationCallback(watch))) watching = true;
        // Started empty: the engine plays silence until the first write.
        result = client->Start();
        if (FAILED(result)) return fail(why, "the stream does not start (" + describe(result) + ")");
        return true;
    }

    static bool fail(std::string* why, const std::string& reason) {
        *why = reason;
        return false;
    }
};

// The body of runBounded's thread: `argument` is the work, owned here.
DWORD WINAPI boundedThread(void* argument) {
    std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(argument));
    // The apartment is left inside the thread's own function, so the
    // thread's handle is signalled only after it.
    const bool joined = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    try {
        (*work)();
    } catch (...) {
        // The work catches what it can; nothing may leave a thread.
    }
    work.reset();
    if (joined) CoUninitialize();
    return 0;
}

// Runs `work` on a thread of its own (in the multithreaded apartment) and
// waits for it until `until`. True when it finished in time; false when it
// goes on alone (or no thread could be made: then it did not run).
//
// "Finished" is the thread's end, not the end of `work`: the wait is on the
// thread's handle, which the system signals only once the thread has left
// the apartment and run every library's thread detach. A thread still on
// its way out when the caller goes on could be cut off by the process's end
// while it holds a lock of the C++ runtime, and the runtime's own process
// detach would then wait for that lock for ever (the process never ends).
bool runBounded(std::function<void()> work, Clock::time_point until, bool* ran = nullptr) {
    if (ran) *ran = false;
    if (processEnding()) return false;
    keepLibraryLoaded();
    std::function<void()>* job = new (std::nothrow) std::function<void()>(std::move(work));
    if (!job) return false;
    HANDLE thread = CreateThread(nullptr, 0, boundedThread, job, 0, nullptr);
    if (!thread) {
        delete job;
        return false;
    }
    if (ran) *ran = true;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    const DWORD wait = static_cast<DWORD>(std::max<long long>(0, left.count()));
    const bool ended = WaitForSingleObject(thread, wait) == WAIT_OBJECT_0;
    CloseHandle(thread);  // one that goes on alone ends by itself
    return ended;
}

// Opens that went on alone past their limit and have not ended yet.
std::atomic<int> stuckOpens{0};

std::string noAnswer() {
    return "the audio engine did not answer within " + std::to_string(outputPatience.count()) + " ms";
}

class WasapiSink : public Sink {
public:
    WasapiSink(std::unique_ptr<Stream> opened, uint32_t r) : stream(std::move(opened)), rate(r) {}
    ~WasapiSink() override {
        // Closing may wait on the engine (it stops the stream); it is given
        // outputPatience, then finishes alone. At the process's end (a sink
        // parked until then) the system cleans up after the process.
        Stream* closing = stream.release();
        if (processEnding()) return;
        bool ran = false;
        runBounded([closing] { delete closing; }, Clock::now() + outputPatience, &ran);
        if (!ran) delete closing;  // no thread to spare: closed here
    }

    bool write(const float* samples, uint32_t frames) override {
        if (!why.empty()) return false;
        comOnThisThread();
        auto lastTaken = Clock::now();
        bool checkedDry = false;
        while (frames > 0) {
            if (stream->watch && stream->watch->changed()) return lose("the default output device changed");
            UINT32 padding = 0;
            HRESULT result = stream->client->GetCurrentPadding(&padding);
            if (FAILED(result)) return lose(describe(result));
            // Nothing left queued when a period comes: the engine ran dry
            // before it (counted once a write, once something was played).
            if (!checkedDry && played && padding == 0) ++dry;
            checkedDry = true;
            const UINT32 room = padding < stream->bufferFrames ? stream->bufferFrames - padding : 0;
            if (room > 0) {
                const UINT32 n = std::min<UINT32>(room, frames);
                BYTE* data = nullptr;
                result = stream->render->GetBuffer(n, &data);
                if (FAILED(result)) return lose(describe(result));
                std::memcpy(data, samples, size_t(n) * frameBytes);
                result = stream->render->ReleaseBuffer(n, 0);
                if (FAILED(result)) return lose(describe(result));
                samples += size_t(n) * 2;
                frames -= n;
                written += n;
                played = true;
                lastTaken = Clock::now();
                continue;
            }
            const auto now = Clock::now();
            if (now - lastTaken >= outputPatience)
                return lose("the audio engine took no samples for " + std::to_string(outputPatience.count()) + " ms");
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lastTaken + outputPatience - now);
            WaitForSingleObject(stream->wake, static_cast<DWORD>(std::min(left, waitStep).count() + 1));
        }
        return true;
    }
    bool paced() const override { return true; }
    double latency() override {
        if (!why.empty()) return 0.0;
        comOnThisThread();
        UINT32 padding = 0;
        if (FAILED(stream->client->GetCurrentPadding(&padding))) return 0.0;
        const double queued = double(padding) / rate + stream->engineLatency;
        // What was handed over less what the clock says was played: the
        // whole way to the ear, where the engine holds more than its buffer.
        UINT64 position = 0;
        if (!stream->clock || FAILED(stream->clock->GetPosition(&position, nullptr))) return queued;
        const double ahead = double(written) / rate - double(position) / double(stream->clockFrequency);
        return std::max(ahead, queued);
    }
    std::string name() const override { return "wasapi"; }
    std::string failure() const override { return why; }
    uint64_t underflows() const override { return dry.load(); }
    bool alive() override {
        if (!why.empty() || (stream->watch && stream->watch->changed())) return false;
        comOnThisThread();
        UINT32 padding = 0;
        return SUCCEEDED(stream->client->GetCurrentPadding(&padding));
    }

private:
    static constexpr uint32_t frameBytes = 2 * sizeof(float);

    bool lose(const std::string& reason) {
        why = reason;
        return false;
    }

    std::unique_ptr<Stream> stream;
    uint32_t rate;
    uint64_t written = 0;  // frames handed over
    bool played = false;  // something was written: an empty buffer is a dry engine from now on
    std::atomic<uint64_t> dry{0};
    std::string why;
};

std::unique_ptr<Sink> openWasapi(uint32_t rate, uint32_t bufferFrames, std::string* why, bool* hung) {
    if (stuckOpens.load() > 0) {
        *hung = true;
        *why = "Windows audio: " + noAnswer() + " (an earlier open still waits)";
        return nullptr;
    }
    // The thread that asks joins COM too: it is the one that writes, most
    // often, and it keeps the apartment alive past the open's thread.
    comOnThisThread();
    struct Opening {
        std::mutex mutex;
        bool ended = false;   // the open's thread is done
        bool gaveUp = false;  // nobody waits for it any more
        std::unique_ptr<Stream> stream;
        std::string why;
    };
    auto opening = std::make_shared<Opening>();
    bool ran = false;
    const bool finished = runBounded(
        [opening, rate, bufferFrames] {
            auto made = std::make_unique<Stream>();
            std::string reason;
            const bool good = made->open(rate, bufferFrames, &reason);
            {
                std::lock_guard<std::mutex> guard(opening->mutex);
                opening->why = reason;
                if (!opening->gaveUp && good) opening->stream = std::move(made);
            }
            made.reset();  // a failed open's, or one nobody waits for any more
            std::lock_guard<std::mutex> guard(opening->mutex);
            opening->ended = true;
            if (opening->gaveUp) --stuckOpens;
        },
        Clock::now() + outputPatience, &ran);
    if (!ran) {
        *why = "Windows audio: no thread for the open";
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(opening->mutex);
    if (!finished && !opening->ended && !opening->stream) {
        opening->gaveUp = true;
        ++stuckOpens;
        *hung = true;
        *why = "Windows audio: " + noAnswer();
        return nullptr;
    }
    if (!opening->stream) {
        *why = "Windows audio: " + opening->why;
        return nullptr;
    }
    return std::make_unique<WasapiSink>(std::move(opening->stream), rate);
}

}  // namespace

std::unique_ptr<Sink> openWasapiSink(uint32_t rate, uint32_t bufferFrames, std::string* why, bool* hung) {
    std::string reason;
    bool stuck = false;
    std::unique_ptr<Sink> sink;
    try {
        sink = openWasapi(rate, bufferFrames, &reason, &stuck);
    } catch (...) {
        reason = "Windows audio: out of memory";
    }
    if (why) *why = reason;
    if (hung) *hung = stuck;
    return sink;
}

std::unique_ptr<Sink> openSystemSink(uint32_t rate, uint32_t bufferFrames, std::string* why, bool trustRecentHang) {
    std::string reason;
    if (trustRecentHang && serverHungRecently(&reason)) {
        if (why) *why = reason;
        return nullptr;
    }
    bool hung = false;
    std::unique_ptr<Sink> sink = openWasapiSink(rate, bufferFrames, &reason, &hung);
    if (hung) noteServerHung(reason);
    else noteServerAnswered();
    if (!sink && why) *why = reason;
    return sink;
}

}  // namespace aldevice
