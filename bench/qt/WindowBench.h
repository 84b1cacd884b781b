// What the window benchmarks share: a user port that answers every question with OK and prints the
// messages, and a run of the window's events that measures the longest time they waited.
#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "../RichTextCorpus.h"
#include "platform/UserPort.h"

namespace WindowBench {

using Clock = std::chrono::steady_clock;
using RichTextCorpus::Seconds;

// Answers every question with OK and prints the messages; nothing else is asked of it.
class BenchPort : public Norik::IUserPort {
public:
    Norik::MessageAnswer MessageBox(const std::string& text, const std::string&, Norik::MessageButtons,
                                    Norik::MessageIcon) override {
        std::printf("  message: %s\n", text.c_str());
        return Norik::MessageAnswer::Ok;
    }
    void BeginWait() override {}
    void EndWait() override {}
    bool OpenDocumentText(const std::string&) override { return false; }
    void RunAttributeSearch(ShowData::SearchRequest&, const std::vector<std::int16_t>*) override {}
    void OpenResultListWindow(const std::vector<std::int16_t>&, const ShowData::SearchRequest&) override {}
};

// Runs events until done says so, ticking every millisecond; the longest gap between ticks.
template <typename Done>
double RunUntil(Done done) {
    QEventLoop loop;
    QTimer tick;
    double longest = 0;
    auto last = Clock::now();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, Seconds(last));
        last = Clock::now();
        if (done()) loop.quit();
    });
    tick.start(1);
    loop.exec();
    return longest;
}

}  // namespace WindowBench
