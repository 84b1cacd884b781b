#include "tools/ProgressLine.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <iostream>

#include "tools/ToolCommon.h"

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

// Writes text to stream with its control sequences as they are, also through the escaping of a
// terminal's output (TerminalEscapes), which is there for the texts of a base, not for the line.
void WriteRaw(std::ostream& stream, std::string_view text) {
    stream.flush();
    if (auto* escapes = dynamic_cast<TerminalEscapes*>(stream.rdbuf())) {
        escapes->WriteUnescaped(text);
    } else {
        stream.write(text.data(), static_cast<std::streamsize>(text.size()));
        stream.flush();
    }
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

bool IsTerminalStream(const std::ostream& err) {
    const auto* escapes = dynamic_cast<const TerminalEscapes*>(err.rdbuf());
    const bool standardError = &err == &std::cerr || err.rdbuf() == std::cerr.rdbuf() ||
                               (escapes != nullptr && escapes->target() == std::cerr.rdbuf());
    return standardError && ::isatty(STDERR_FILENO) == 1;
}

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
    WriteRaw(m_stream, '\r' + ProgressText(m_what, done, total, elapsed) + "\x1b[K");
    m_visible = true;
}

void ProgressLine::Clear() {
    if (!m_visible) return;
    WriteRaw(m_stream, "\r\x1b[K");
    m_visible = false;
}

}  // namespace Norik
