// The Windows system output, run under Wine: Wine's audio engine plays
// through its PulseAudio driver on a server of the tests' own, which
// tests/device/wasapi_server.sh (the tests' ctest fixture, on the host)
// starts and, asked through files in its directory, kills, stops, lets go
// on and records. Played and heard, lost when the server dies, bounded when
// it stops answering, left when the default output device changes.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/device/Sink.h"

namespace {

using aldevice::outputPatience;
using aldevice::Sink;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint32_t mixRate = 48000;
constexpr uint32_t period = 512;
constexpr uint32_t buffer = 4096;
// What a write or an open may take past outputPatience before it gives up:
// the last wait step, and a machine busy with other tests.
constexpr milliseconds margin{1500};

double secondsSince(Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); }
double limitSeconds() { return std::chrono::duration<double>(outputPatience + margin).count(); }

// The host's server, asked through the fixture's directory: the one its
// socket is in (PULSE_SERVER is "unix:DIR/native"), as Wine sees it.
class Server {
public:
    static std::string dir() {
        const char* named = std::getenv("PULSE_SERVER");
        const std::string server = named ? named : "";
        const std::string socket = "/native";
        if (server.rfind("unix:/", 0) != 0 || server.size() < socket.size() ||
            server.compare(server.size() - socket.size(), socket.size(), socket) != 0)
            return "";
        return "Z:" + server.substr(5, server.size() - 5 - socket.size());
    }
    // Has `action` done (start, kill, stop, cont, record, endrecord); true
    // once the host reports it done (waited for up to 20 s).
    static bool ask(const std::string& action) {
        // Named by process, time and count: Wine gives its processes the
        // same few ids run after run.
        static int asked = 0;
        const std::string name = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) + "-" +
                                 std::to_string(++asked);
        const std::string writing = dir() + "/writing-" + name;
        std::ofstream(writing) << action;
        // Renamed whole: the host never reads a request half written.
        if (!MoveFileA(writing.c_str(), (dir() + "/request-" + name).c_str())) return false;
        const std::string done = dir() + "/done-" + name;
        struct Tidy {
            const std::string& file;
            ~Tidy() { DeleteFileA(file.c_str()); }
        } tidy{done};
        const auto until = Clock::now() + std::chrono::seconds(20);
        while (Clock::now() < until) {
            if (GetFileAttributesA(done.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
            Sleep(10);
        }
        return false;
    }
    static std::vector<float> recorded() {
        std::ifstream file(dir() + "/recorded.raw", std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::vector<float> samples(bytes.size() / sizeof(float));
        if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
        return samples;
    }
};

// A server stopped or killed by a test runs again after it, whatever the
// test's outcome: the next test shares it.
struct ServerBack {
    ~ServerBack() {
        Server::ask("cont");
        Server::ask("start");
    }
};

// A 440 Hz tone of amplitude 0.5, period after period.
class Tone {
public:
    explicit Tone(uint32_t r) : rate(r), samples(size_t(period) * 2) {}
    const float* next() {
        for (uint32_t k = 0; k < period; ++k) {
            const float value = 0.5f * static_cast<float>(std::sin(6.283185307179586 * 440.0 * double(frame++) / rate));
            samples[2 * k] = samples[2 * k + 1] = value;
        }
        return samples.data();
    }

private:
    uint32_t rate;
    uint64_t frame = 0;
    std::vector<float> samples;
};

// Writes `seconds` of the tone; the frames the sink took before it refused
// one (all of them when it never did).
uint64_t play(Sink& sink, double seconds, uint32_t rate = mixRate) {
    Tone tone(rate);
    uint64_t taken = 0;
    while (taken < uint64_t(seconds * rate)) {
        if (!sink.write(tone.next(), period)) break;
        taken += period;
    }
    return taken;
}

// What play() hands over for `seconds`: whole periods.
uint64_t framesFor(double seconds, uint32_t rate = mixRate) {
    const uint64_t frames = uint64_t(seconds * rate);
    return (frames + period - 1) / period * period;
}

// Writes until the sink refuses a period, for at most `limit` seconds;
// whether it refused one.
bool playUntilLost(Sink& sink, double limit) {
    Tone tone(mixRate);
    const auto start = Clock::now();
    while (secondsSince(start) < limit)
        if (!sink.write(tone.next(), period)) return true;
    return false;
}

std::unique_ptr<Sink> open(uint32_t rate = mixRate) {
    std::string why;
    auto sink = aldevice::openWasapiSink(rate, buffer, &why);
    EXPECT_TRUE(sink) << why;
    return sink;
}

class WasapiSink : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(Server::dir().empty()) << "PULSE_SERVER names no server of the fixture's"; }
};

// The mixer's rate as the stream's, whatever the endpoint's: the engine
// converts.
TEST_F(WasapiSink, TakesTheMixAtTheMixersRate) {
    for (uint32_t rate : {48000u, 44100u, 22050u}) {
        SCOPED_TRACE(rate);
        auto sink = open(rate);
        ASSERT_TRUE(sink);
        EXPECT_EQ(sink->name(), "wasapi");
        EXPECT_TRUE(sink->paced());
        EXPECT_EQ(play(*sink, 1.0, rate), framesFor(1.0, rate)) << sink->failure();
        EXPECT_EQ(sink->failure(), "");
        EXPECT_TRUE(sink->alive());
        // What is queued now is heard later: at most the buffer and the
        // engine's own period or so.
        const double latency = sink->latency();
        EXPECT_GT(latency, 0.0);
        EXPECT_LT(latency, 1.0);
    }
}

// A period handed over after the buffer played out is counted; the stream
// plays on.
TEST_F(WasapiSink, CountsThePeriodsHandedOverLate) {
    auto sink = open();
    ASSERT_TRUE(sink);
    EXPECT_EQ(play(*sink, 0.3), framesFor(0.3));
    const uint64_t before = sink->underflows();
    // Three times the buffer (85 ms of frames, and the engine's own) with
    // nothing handed over: the engine has run dry whatever the machine does.
    Sleep(3 * buffer * 1000 / mixRate);
    EXPECT_EQ(play(*sink, 0.3), framesFor(0.3)) << sink->failure();
    EXPECT_GE(sink->underflows(), before + 1);
    EXPECT_TRUE(sink->alive());
}

TEST_F(WasapiSink, IsHeardAtTheServer) {
    auto sink = open();
    ASSERT_TRUE(sink);
    ASSERT_TRUE(Server::ask("record"));
    const uint64_t taken = play(*sink, 1.5);
    ASSERT_TRUE(Server::ask("endrecord"));
    EXPECT_EQ(taken, framesFor(1.5)) << sink->failure();
    // The tone (RMS 0.35) fills most of the recording: every 10 ms block
    // that carries it counts.
    const std::vector<float> heard = Server::recorded();
    const size_t block = 480 * 2;
    size_t loud = 0;
    for (size_t at = 0; at + block <= heard.size(); at += block) {
        double sum = 0;
        for (size_t k = at; k < at + block; ++k) sum += double(heard[k]) * heard[k];
        if (std::sqrt(sum / block) > 0.3) ++loud;
    }
    EXPECT_GE(loud, 100u) << "of " << heard.size() / block << " blocks recorded";
}

TEST_F(WasapiSink, IsLostWhenTheServerDiesAndOpensWhenItIsBack) {
    ServerBack back;
    auto sink = open();
    ASSERT_TRUE(sink);
    EXPECT_GT(play(*sink, 0.3), 0u);
    ASSERT_TRUE(Server::ask("kill"));
    const auto killed = Clock::now();
    ASSERT_TRUE(playUntilLost(*sink, limitSeconds() + 5.0)) << "the sink never noticed";
    EXPECT_LE(secondsSince(killed), limitSeconds());
    EXPECT_NE(sink->failure().find("the output device is gone"), std::string::npos) << sink->failure();
    EXPECT_FALSE(sink->alive());
    // Lost is lost: nothing more is taken.
    Tone tone(mixRate);
    EXPECT_FALSE(sink->write(tone.next(), period));
    sink.reset();

    // No server: no output, at once and with a reason.
    std::string why;
    bool hung = true;
    const auto tried = Clock::now();
    EXPECT_FALSE(aldevice::openWasapiSink(mixRate, buffer, &why, &hung));
    EXPECT_LE(secondsSince(tried), limitSeconds());
    EXPECT_FALSE(hung);
    EXPECT_EQ(why.rfind("Windows audio: ", 0), 0u) << why;

    ASSERT_TRUE(Server::ask("start"));
    auto again = open();
    ASSERT_TRUE(again);
    EXPECT_EQ(play(*again, 0.5), framesFor(0.5)) << again->failure();
}

TEST_F(WasapiSink, GivesUpOnAServerThatStopsAnswering) {
    ServerBack back;
    auto sink = open();
    ASSERT_TRUE(sink);
    EXPECT_GT(play(*sink, 0.3), 0u);
    ASSERT_TRUE(Server::ask("stop"));
    const auto stopped = Clock::now();
    ASSERT_TRUE(playUntilLost(*sink, limitSeconds() + 5.0)) << "the sink never noticed";
    EXPECT_LE(secondsSince(stopped), limitSeconds());
    EXPECT_NE(sink->failure().find("took no samples"), std::string::npos) << sink->failure();
    // Closing waits on the engine, which waits on the server: bounded.
    auto closing = Clock::now();
    sink.reset();
    EXPECT_LE(secondsSince(closing), limitSeconds());

    // An open that gets no answer gives up, and says so.
    std::string why;
    bool hung = false;
    auto tried = Clock::now();
    EXPECT_FALSE(aldevice::openWasapiSink(mixRate, buffer, &why, &hung));
    EXPECT_LE(secondsSince(tried), limitSeconds());
    EXPECT_TRUE(hung);
    EXPECT_NE(why.find("did not answer"), std::string::npos) << why;
    // The system output remembers the engine hung: asked again at once, it
    // does not wait again.
    tried = Clock::now();
    EXPECT_FALSE(aldevice::openSystemSink(mixRate, buffer, &why, true));
    EXPECT_LT(secondsSince(tried), std::chrono::duration<double>(outputPatience).count());
    EXPECT_NE(why.find("did not answer"), std::string::npos) << why;
    // Nor does a new open while the first still waits.
    tried = Clock::now();
    EXPECT_FALSE(aldevice::openWasapiSink(mixRate, buffer, &why, &hung));
    EXPECT_LT(secondsSince(tried), std::chrono::duration<double>(outputPatience).count());
    EXPECT_TRUE(hung);

    // The server going on ends the waiting open, and the output opens
    // again (tried the way the device does, once a second).
    ASSERT_TRUE(Server::ask("cont"));
    std::unique_ptr<Sink> again;
    for (int attempt = 0; attempt < 10 && !again; ++attempt) {
        again = aldevice::openWasapiSink(mixRate, buffer, &why);
        if (!again) Sleep(1000);
    }
    ASSERT_TRUE(again) << why;
    EXPECT_GT(play(*again, 0.3), 0u) << again->failure();
}

// Wine's audio engine takes the user's choice of default output from its
// driver's registry key (where winecfg writes it) and tells its clients
// when the choice changes.
class DefaultChoice {
public:
    static constexpr const wchar_t* key = L"Software\\Wine\\Drivers\\winepulse.drv";
    bool choose(const wchar_t* device) {
        HKEY opened = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr)) return false;
        const LONG result = RegSetValueExW(opened, L"DefaultOutput", 0, REG_SZ, reinterpret_cast<const BYTE*>(device),
                                           DWORD((wcslen(device) + 1) * sizeof(wchar_t)));
        RegCloseKey(opened);
        chose = result == ERROR_SUCCESS;
        return chose;
    }
    ~DefaultChoice() {
        if (chose) RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"DefaultOutput");
    }

private:
    bool chose = false;
};

TEST_F(WasapiSink, LeavesWhenTheDefaultOutputDeviceChanges) {
    DefaultChoice choice;
    auto sink = open();
    ASSERT_TRUE(sink);
    EXPECT_GT(play(*sink, 0.3), 0u);
    ASSERT_TRUE(choice.choose(L"zs"));
    const auto chosen = Clock::now();
    ASSERT_TRUE(playUntilLost(*sink, limitSeconds() + 5.0)) << "the sink never noticed";
    EXPECT_LE(secondsSince(chosen), limitSeconds());
    EXPECT_EQ(sink->failure(), "the default output device changed");
    EXPECT_FALSE(sink->alive());
    sink.reset();
    // The next open (the device's retry) plays on the new default.
    auto again = open();
    ASSERT_TRUE(again);
    EXPECT_GT(play(*again, 0.3), 0u) << again->failure();
    EXPECT_TRUE(again->alive());
}

}  // namespace
