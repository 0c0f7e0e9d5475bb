#pragma once
// The statistics window's content: the lines, the first line shown (the
// vertical scroll position), the largest allowed first line and the lines
// per page, and the scroll actions over them. It is the client the window's
// platform side draws from and reports scroll actions to.
//
// Threads: any thread. One lock guards the fields; no operation calls out
// while holding it, so the rendering thread's setLines never waits for the
// window thread (it only asks the window to redraw, which does not block).
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "interfaces/TextWindow.h"

class ScrolledLines : public textwindow::TextWindowClient {
public:
    ScrolledLines() = default;
    ~ScrolledLines() override = default;

    // Replaces the lines (moved out of the argument), keeps the first line
    // within the new range and redraws.
    void setLines(std::vector<std::string>& newLines);
    // The lines the last setLines replaced, for their storage: a caller that
    // writes its next lines over them allocates nothing for lines no longer
    // than before. `into`'s own lines are dropped.
    void takeSpareLines(std::vector<std::string>& into);
    // Removes every line; both scroll positions go back to 0.
    void clearLines();
    void addLine(const std::string& line);

    // A scroll action as the scroll bar, the keys or the wheel give it.
    void scrolled(textwindow::ScrollCode code, int position) override;
    textwindow::Page page() override;
    void drawn(unsigned long version) override;

    int getFirstLine();
    int getLastFirstLine();
    int getLinesPerPage();
    std::vector<std::string> getLines();
    // Waits until the current content has been drawn on a visible window;
    // false when that has not happened within `limit`.
    bool waitUntilShown(std::chrono::milliseconds limit);

    ScrolledLines(const ScrolledLines&) = delete;
    ScrolledLines& operator=(const ScrolledLines&) = delete;

protected:
    // Asks the window (if any) to draw again; never blocks.
    virtual void requestRedraw() {}

private:
    using Guard = std::lock_guard<std::mutex>;
    void changed();  // under the lock

    std::mutex lock;
    std::condition_variable shownChanged;
    int firstLine = 0;
    int lastFirstLine = 0;
    int linesPerPage = 20;
    std::vector<std::string> lines;
    std::vector<std::string> spare;  // the lines replaced last, until taken
    unsigned long version = 1;
    unsigned long shownVersion = 0;
};
