// Start-up of the viewer, from the start of the process to the first list window painted, on the
// default and on the full-size sample base, against a bare Qt program that shows an empty
// maximised QMainWindow, all in one run; and, on the full base, a list window of every document
// opened right after the start, to its first paint. Each start is a fresh process of this program (the
// viewer's own start-up sequence, the same as norik's), reporting the moment of its first paint;
// the peak memory is the process's maximum resident set.
//
//   build/norik-tool sample /tmp/base-default
//   build/norik-tool sample /tmp/base-full --documents 16000 --large
//   xvfb-run -a build/StartupBench /tmp/base-default /tmp/base-full [runs]     (default 9 runs)
//
// Goals: the full base at most 0.3 s slower than the bare window; peak memory at most the bare
// window's plus twice the size of the table files (*.ttx).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "Helpers/DecimalText.h"
#include "app/Velda1App.h"
#include "platform/Profile.h"
#include "showdata/ListDoc.h"
#include "views/ListDocView.h"

namespace {

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Reports the moment the first paint of a watched widget has been delivered, then ends the
// process at once (teardown is not part of the start).
class FirstPaint : public QObject {
public:
    explicit FirstPaint(bool (*watched)(QObject*)) : m_watched(watched) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (!m_seen && event->type() == QEvent::Paint && m_watched(object)) {
            m_seen = true;
            QTimer::singleShot(0, [] {
                std::printf("%.9f\n", Now());
                (void)std::fflush(stdout);
                _exit(0);
            });
        }
        return false;
    }

private:
    bool (*m_watched)(QObject*);
    bool m_seen = false;
};

int RunBare(int argc, char** argv) {
    QApplication application(argc, argv);
    FirstPaint watcher([](QObject* object) { return qobject_cast<QMainWindow*>(object) != nullptr; });
    application.installEventFilter(&watcher);
    QMainWindow window;
    if (QScreen* screen = window.screen()) window.setGeometry(screen->availableGeometry());
    window.showMaximized();
    return QApplication::exec();
}

// The viewer's start; with everyDocument, then a list window of every document of the base (as a
// search that finds them all opens it), timed to its first paint.
int RunViewer(int argc, char** argv, const char* base, bool everyDocument) {
    QApplication application(argc, argv);
    static bool watchLongList = false;
    watchLongList = everyDocument;
    FirstPaint watcher([](QObject* object) {
        auto* view = object->parent() ? qobject_cast<Norik::CListDocView*>(object->parent()) : nullptr;
        return view != nullptr && (!watchLongList || view->model()->rowCount() > 1);
    });
    application.installEventFilter(&watcher);
    Norik::MemoryProfile profile;
    profile.WriteProfileInt(Norik::kSectionDefault, Norik::kValueInstall, 1);
    Norik::Cvelda1App velda(profile);
    if (!velda.InitInstance({.baseFolder = std::string(base)})) return 1;
    if (everyDocument) {
        std::vector<std::int16_t> numbers;
        for (const ShowData::DocItem& row : ShowData::GetDocTable()) numbers.push_back(row.number);
        std::sort(numbers.begin(), numbers.end());
        numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
        velda.userPort().OpenResultListWindow(numbers, ShowData::SearchRequest{});
    }
    return QApplication::exec();
}

struct Start {
    double seconds = 0;
    long peakKilobytes = 0;
};

// Starts this program in the given mode and waits for its first paint.
Start Measure(const char* self, const std::vector<std::string>& arguments) {
    int out[2];
    if (pipe(out) != 0) std::exit(2);
    const double started = Now();
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        std::vector<char*> argv{const_cast<char*>(self)};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(self, argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string reported;
    char chunk[64];
    for (ssize_t got; (got = read(out[0], chunk, sizeof chunk)) > 0;) reported.append(chunk, static_cast<size_t>(got));
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || reported.empty()) {
        std::fprintf(stderr, "StartupBench: %s %s did not paint\n", self, arguments.front().c_str());
        std::exit(2);
    }
    return {std::strtod(reported.c_str(), nullptr) - started, usage.ru_maxrss};
}

std::uintmax_t TableBytes(const std::string& base) {
    std::uintmax_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(base))
        if (entry.path().extension() == ".ttx") total += entry.file_size();
    return total;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--bare") return RunBare(argc, argv);
    if (argc >= 3 && std::string(argv[1]) == "--viewer") return RunViewer(argc, argv, argv[2], false);
    if (argc >= 3 && std::string(argv[1]) == "--every-document") return RunViewer(argc, argv, argv[2], true);
    if (argc < 3) {
        std::fprintf(stderr, "usage: StartupBench DEFAULT_BASE FULL_BASE [runs]\n");
        return 2;
    }
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const int runs = argc > 3 ? static_cast<int>(Norik::ParseDecimal(argv[3], 1, 1000).value_or(9)) : 9;
    struct Subject {
        const char* name;
        std::vector<std::string> arguments;
        std::vector<double> seconds;
        long peakKilobytes = 0;
    };
    std::vector<Subject> subjects = {{"bare QMainWindow", {"--bare"}},
                                     {"viewer, default base", {"--viewer", argv[1]}},
                                     {"viewer, full base", {"--viewer", argv[2]}},
                                     {"full base, every document", {"--every-document", argv[2]}}};
    // Interleaved, so that a slower moment of the machine falls on every subject alike.
    for (int run = 0; run < runs; ++run) {
        for (Subject& subject : subjects) {
            const Start start = Measure(self.c_str(), subject.arguments);
            subject.seconds.push_back(start.seconds);
            subject.peakKilobytes = std::max(subject.peakKilobytes, start.peakKilobytes);
        }
    }
    const double bare = Median(subjects[0].seconds);
    std::printf("%-24s %12s %10s %12s %12s\n", "start to first paint", "median s", "ratio", "extra s", "peak MiB");
    for (const Subject& subject : subjects) {
        const double median = Median(subject.seconds);
        std::printf("%-24s %12.3f %10.2f %12.3f %12.1f\n", subject.name, median, median / bare, median - bare,
                    static_cast<double>(subject.peakKilobytes) / 1024.0);
    }
    const double fullExtra = Median(subjects[2].seconds) - bare;
    const double tablesMiB = static_cast<double>(TableBytes(argv[2])) / (1024.0 * 1024.0);
    const double memoryBudget = static_cast<double>(subjects[0].peakKilobytes) / 1024.0 + 2 * tablesMiB;
    std::printf("full base: %.3f s over the bare window (goal at most 0.300 s): %s\n", fullExtra,
                fullExtra <= 0.3 ? "met" : "missed");
    std::printf("full base: peak %.1f MiB, budget %.1f MiB (bare + 2 x %.1f MiB of tables): %s\n",
                static_cast<double>(subjects[2].peakKilobytes) / 1024.0, memoryBudget, tablesMiB,
                static_cast<double>(subjects[2].peakKilobytes) / 1024.0 <= memoryBudget ? "met" : "missed");
    return 0;
}
