// The statistics window on Windows.
#include <atomic>

#include "interfaces/TextWindow.h"

namespace textwindow {
namespace {

class NoWindow : public TextWindow {
public:
    Ending run(const std::string&, int, int, TextWindowClient&, std::string& reason) override {
        if (quitAsked) return Ending::Quit;
        reason = "no window system";
        return Ending::NoDisplay;
    }
    void redraw() override {}
    void quit() override { quitAsked = true; }

private:
    std::atomic<bool> quitAsked{false};
};

}  // namespace

std::unique_ptr<TextWindow> createTextWindow() { return std::make_unique<NoWindow>(); }

}  // namespace textwindow
