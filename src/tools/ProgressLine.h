// The progress of a long command of norik-tool (sample, build, fulltext, verify) on a terminal:
// one line, rewritten in place, with the share done and the time left. On anything but a terminal
// nothing at all is written, so that a log or a pipe gets only the command's final line. The line
// is cleared before that final line (Clear, or the destructor on an early return). Used on the
// thread that runs the command.
#pragma once

#include <chrono>
#include <cstddef>
#include <iosfwd>
#include <string>

namespace Norik {

// "what: 25% (500 of 2000), 0:30 left": the time left is the time taken so far spread over what is
// left, told once a second has passed and something is done.
std::string ProgressText(const std::string& what, std::size_t done, std::size_t total, double elapsedSeconds);

// Whether err is the process's standard error and that is a terminal.
bool IsTerminalStream(const std::ostream& err);

class ProgressLine {
public:
    ProgressLine(std::ostream& stream, bool terminal, std::string what);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Redrawn at most ten times a second, and at the end.
    void Show(std::size_t done, std::size_t total);
    void Clear();
    // Show as a callback for the builder and the verifier; lives as long as this line.
    auto Teller() {
        return [this](std::size_t done, std::size_t total) { Show(done, total); };
    }

private:
    std::ostream& m_stream;
    bool m_terminal;
    std::string m_what;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_shown{};
    bool m_visible = false;
};

}  // namespace Norik
