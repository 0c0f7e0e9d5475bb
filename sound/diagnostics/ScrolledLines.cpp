#include "sound/diagnostics/ScrolledLines.h"

#include <algorithm>

using textwindow::ScrollCode;

void ScrolledLines::changed() {
    lastFirstLine = std::max(0, static_cast<int>(lines.size()) - linesPerPage);
    firstLine = std::clamp(firstLine, 0, lastFirstLine);
    ++version;
}

void ScrolledLines::setLines(std::vector<std::string>& newLines) {
    {
        Guard guard(lock);
        // The lines replaced are kept, not freed: takeSpareLines gives their
        // storage back to the caller that builds the next ones.
        spare.swap(lines);
        lines.swap(newLines);
        newLines.clear();
        changed();
    }
    requestRedraw();
}

void ScrolledLines::takeSpareLines(std::vector<std::string>& into) {
    Guard guard(lock);
    into.swap(spare);
    spare.clear();
}

void ScrolledLines::clearLines() {
    {
        Guard guard(lock);
        lines.clear();
        firstLine = 0;
        changed();
    }
    requestRedraw();
}

void ScrolledLines::addLine(const std::string& line) {
    {
        Guard guard(lock);
        lines.push_back(line);
        changed();
    }
    requestRedraw();
}

void ScrolledLines::scrolled(ScrollCode code, int position) {
    Guard guard(lock);
    int next = firstLine;
    switch (code) {
    case ScrollCode::LineUp: next = firstLine - 1; break;
    case ScrollCode::LineDown: next = firstLine + 1; break;
    case ScrollCode::PageUp: next = firstLine - linesPerPage; break;
    case ScrollCode::PageDown: next = firstLine + linesPerPage; break;
    case ScrollCode::ThumbPosition:
    case ScrollCode::ThumbTrack: next = position; break;
    case ScrollCode::Top: next = 0; break;
    case ScrollCode::Bottom: next = lastFirstLine; break;
    case ScrollCode::EndScroll: return;
    }
    firstLine = std::clamp(next, 0, lastFirstLine);
    ++version;
}

textwindow::Page ScrolledLines::page() {
    Guard guard(lock);
    textwindow::Page p;
    const size_t from = static_cast<size_t>(firstLine);
    const size_t to = std::min(lines.size(), from + static_cast<size_t>(linesPerPage));
    if (from < to) p.lines.assign(lines.begin() + from, lines.begin() + to);
    p.range = lastFirstLine + linesPerPage;
    p.page = linesPerPage;
    p.position = firstLine;
    p.version = version;
    return p;
}

void ScrolledLines::drawn(unsigned long shown) {
    {
        Guard guard(lock);
        shownVersion = std::max(shownVersion, shown);
    }
    shownChanged.notify_all();
}

bool ScrolledLines::waitUntilShown(std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> guard(lock);
    return shownChanged.wait_for(guard, limit, [&] { return shownVersion >= version; });
}

int ScrolledLines::getFirstLine() {
    Guard guard(lock);
    return firstLine;
}

int ScrolledLines::getLastFirstLine() {
    Guard guard(lock);
    return lastFirstLine;
}

int ScrolledLines::getLinesPerPage() {
    Guard guard(lock);
    return linesPerPage;
}

std::vector<std::string> ScrolledLines::getLines() {
    Guard guard(lock);
    return lines;
}
