// Built while the library's façade has no implementation yet: the session
// runs its frames, board and camera, and says that nothing reaches the
// library.
#include <ostream>

#include "sandbox/demo/SoundSide.h"

namespace zsdemo {

namespace {

class NoSoundSide : public SoundSide {
public:
    explicit NoSoundSide(const SoundSideOptions& options) : options(options) {}
    bool begin(sandbox::Host&) override {
        if (options.log) *options.log << "zsdemo: this build has no SoundManager; the session plays silently\n";
        return true;
    }
    void command(const Command&, const Vector&, const std::string&) override {}
    void end() override {}

private:
    SoundSideOptions options;
};

}  // namespace

std::unique_ptr<SoundSide> makeSoundSide(const SoundSideOptions& options) {
    return std::make_unique<NoSoundSide>(options);
}
bool haveSoundManager() { return false; }

}  // namespace zsdemo
