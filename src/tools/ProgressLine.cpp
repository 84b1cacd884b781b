#include "tools/ProgressLine.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>

namespace Norik {

namespace {

// m:ss, or h:mm:ss from an hour on.
std::string Duration(long long seconds) {
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

}  // namespace

std::string ProgressText(const std::string& what, std::size_t done, std::size_t total, double elapsedSeconds) {
    const std::size_t percent = total == 0 ? 100 : done * 100 / total;
    std::string text =
        what + ": " + std::to_string(percent) + "% (" + std::to_string(done) + " of " + std::to_string(total) + ")";
    if (done > 0 && done < total && elapsedSeconds >= 1) {
        const double left = elapsedSeconds * static_cast<double>(total - done) / static_cast<double>(done);
        text += ", " + Duration(std::llround(left)) + " left";
    }
    return text;
}

bool IsTerminalStream(const std::ostream& err) { return &err == &std::cerr && ::isatty(STDERR_FILENO) == 1; }

ProgressLine::ProgressLine(std::ostream& stream, bool terminal, std::string what)
    : m_stream(stream), m_terminal(terminal), m_what(std::move(what)) {}

ProgressLine::~ProgressLine() { Clear(); }

void ProgressLine::Show(std::size_t done, std::size_t total) {
    if (!m_terminal) return;
    const auto now = std::chrono::steady_clock::now();
    if (m_visible && done < total && now - m_shown < std::chrono::milliseconds(100)) return;
    m_shown = now;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    // Back to the start of the line, the text, and the rest of a longer earlier text wiped.
    m_stream << '\r' << ProgressText(m_what, done, total, elapsed) << "\x1b[K" << std::flush;
    m_visible = true;
}

void ProgressLine::Clear() {
    if (!m_visible) return;
    m_stream << "\r\x1b[K" << std::flush;
    m_visible = false;
}

}  // namespace Norik
