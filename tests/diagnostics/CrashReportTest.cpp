#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

#include "LogStamp.h"
#include "TestSupport.h"
#include "diagnostics/CrashReport.h"
#include "diagnostics/ErrorLog.h"

using namespace Norik;
using NorikTest::ErrorLogCapture;

// Functions that crash on purpose, and the runner that calls them in a child process under the
// handler. Outside an anonymous namespace and never inlined, so that the stack walk finds them by
// their exported names.
namespace CrashTest {

volatile std::uintptr_t g_address16 = 16;

__attribute__((noinline)) void WriteToAddress16() { *reinterpret_cast<volatile int*>(g_address16) = 1; }

// Integer division by zero traps on x86 only; the sanitizer would report it before it traps.
__attribute__((noinline, no_sanitize("undefined"))) void DivideByZero() {
    volatile int zero = 0;
    volatile int result = 7 / zero;
    (void)result;
}

__attribute__((noinline)) void Abort() { std::abort(); }

// A jump to an address where no code is: the unwinder cannot read there and faults itself.
__attribute__((noinline)) void CallBadAddress() { reinterpret_cast<void (*)()>(g_address16)(); }

// The same with a return address that leads nowhere either: the unwinder faults on its way, and
// the handler must back out of that fault and finish the report.
__attribute__((noinline)) void JumpToBadAddressWithBadStack() {
#if defined(__x86_64__)
    asm volatile("pushq $0x20\n\tjmp *%0" : : "r"(g_address16) : "memory");
#else
    CallBadAddress();
#endif
}

// Document texts are read on worker threads: a fault there is reported as well, without the
// alternate stack of the thread that installed.
__attribute__((noinline)) void WriteOnAWorkerThread() {
    std::thread worker(WriteToAddress16);
    worker.join();
}

int Recurse(int depth);
int (*volatile g_recurse)(int) = Recurse;
__attribute__((noinline)) int Recurse(int depth) {
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    return g_recurse(depth + 1) + pad[0];
}
__attribute__((noinline)) void OverflowTheStack() { g_recurse(0); }

// A thread the program starts opens with its own signal stack: an overflow there is reported too.
__attribute__((noinline)) void OverflowOnAWorkerThread() {
    std::thread worker([] {
        const ThreadSignalStack signalStack;
        OverflowTheStack();
    });
    worker.join();
}

struct Outcome {
    bool signaled = false;
    int signal = 0;
};

__attribute__((noinline)) Outcome RunCrashing(void (*crash)(), const std::string& helper = "") {
    const pid_t child = fork();
    if (child == 0) {
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        if (!CrashHandler::Install(helper)) _exit(90);
        crash();
        _exit(91);
    }
    int status = 0;
    for (int i = 0; i < 600; ++i) {
        if (waitpid(child, &status, WNOHANG) == child) return {WIFSIGNALED(status), WTERMSIG(status)};
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    ADD_FAILURE() << "the crashing process did not end";
    return {};
}

}  // namespace CrashTest

namespace {

// Not exported: named from the program file's own symbol table.
__attribute__((noinline)) void WriteInALocalFunction() { *reinterpret_cast<volatile int*>(CrashTest::g_address16) = 2; }

using CrashTest::RunCrashing;

struct FrameLine {
    std::uint64_t address = 0;
    unsigned section = 0;
    std::string module;
    std::string symbol;
};

const std::regex kFrameLine(
    R"(([0-9A-F]{8,16})  ([0-9A-F]{8,16})  ([0-9A-F]{4}):([0-9A-F]{8,16})  (\S*) \(\d+\.\d+\.\d+\.\d+\) (.*)\(\.\.\.\))");

// The frame lines after "Call Stack:"; every line up to the end of the log must be one.
std::vector<FrameLine> FramesOf(const std::string& log) {
    const std::string header = "Call Stack:\nAddress   Frame     Logical Addr   Module\n";
    const std::size_t start = log.find(header);
    EXPECT_NE(start, std::string::npos) << log;
    if (start == std::string::npos) return {};
    EXPECT_EQ(log.back(), '\n');
    EXPECT_LE(log.size() - start - 12, kMaxReportBlock);  // the walk's block, cut whole lines at most
    std::vector<FrameLine> frames;
    std::istringstream lines(log.substr(start + header.size()));
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        EXPECT_TRUE(std::regex_match(line, m, kFrameLine)) << line;
        if (m.empty()) break;
        frames.push_back(
            {std::stoull(m[1], nullptr, 16), static_cast<unsigned>(std::stoul(m[3], nullptr, 16)), m[5], m[6]});
    }
    return frames;
}

bool NamesFunction(const std::vector<FrameLine>& frames, const std::string& name) {
    for (const FrameLine& frame : frames) {
        if (frame.symbol == name) return true;
    }
    return false;
}

TEST(CrashReport, WriteToAddress16GivesTheExceptionTheRegistersAndTheFaultingFunction) {
    ErrorLogCapture capture;
    const std::time_t before = std::time(nullptr);
    const auto outcome = RunCrashing(CrashTest::WriteToAddress16);
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(outcome.signaled);
    EXPECT_EQ(outcome.signal, SIGSEGV);

    const std::string log = capture.text();
    // The handler works out the date from the clock by itself: it must be today's.
    EXPECT_TRUE(NorikTest::StampedBetween(log, before, after)) << log.substr(0, 40);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m,
                                  std::regex(R"(^<Err>:\d\d/\d\d/\d\d \d\d:\d\d:\d\d: Exception code: 0xc0000005 )"
                                             R"(ACCESS_VIOLATION \(write to 0x00000010\)\n)"
                                             R"(Fault Address: 0x([0-9a-f]{8,16})\n\nRegisters:\n)")))
        << log;
    const std::uint64_t faultAddress = std::stoull(m[1], nullptr, 16);

#if defined(__x86_64__)
    ASSERT_TRUE(std::regex_search(
        log, m,
        std::regex(R"(Registers:\n\tEAX: [0-9A-F]{8,16}\n\tEBX: [0-9A-F]{8,16}\n\tECX: [0-9A-F]{8,16}\n)"
                   R"(\tEDX: [0-9A-F]{8,16}\n\tESI: [0-9A-F]{8,16}\n\tEDI: [0-9A-F]{8,16}\n\tEBP: [0-9A-F]{8,16}\n)"
                   R"(\tCS:EIP: 0033:([0-9A-F]{8,16})\n\tSS:ESP: 002B:([0-9A-F]{8,16})\n)"
                   R"(\tDS:[0-9A-F]{4}  ES:[0-9A-F]{4}  FS:[0-9A-F]{4}  GS:[0-9A-F]{4}\n\tFlags:[0-9A-F]{8,16}\n)"
                   R"((\tR(8|9|1[0-5]): [0-9A-F]{8,16}\n){8}Call Stack:\n)")))
        << log;
    EXPECT_EQ(std::stoull(m[1], nullptr, 16), faultAddress);  // EIP is the faulting instruction
    EXPECT_NE(std::stoull(m[2], nullptr, 16), 0u);
#endif

    const auto frames = FramesOf(log);
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0].address, faultAddress);
    EXPECT_EQ(frames[0].module, "test_diagnostics");
    EXPECT_GE(frames[0].section, 1u);
    EXPECT_EQ(frames[0].symbol, "CrashTest::WriteToAddress16");
    EXPECT_TRUE(NamesFunction(frames, "CrashTest::RunCrashing")) << log;
}

struct CrashCase {
    const char* name;
    void (*crash)();
    int signal;
    const char* exception;
    const char* function;  // a frame that must be named, if any
};

class CrashKinds : public ::testing::TestWithParam<CrashCase> {};

TEST_P(CrashKinds, ReportTheExceptionAndEndWithTheSignal) {
    const CrashCase& c = GetParam();
    ErrorLogCapture capture;
    const auto outcome = RunCrashing(c.crash);
    EXPECT_TRUE(outcome.signaled);
    EXPECT_EQ(outcome.signal, c.signal);
    const std::string log = capture.text();
    EXPECT_EQ(log.find(": Exception code: 0x"), kEntryPrefixLength - 2) << log;
    EXPECT_NE(log.find(std::string("Exception code: ") + c.exception), std::string::npos) << log;
    const auto frames = FramesOf(log);
    EXPECT_FALSE(frames.empty());
    if (c.function) {
        EXPECT_TRUE(NamesFunction(frames, c.function)) << log;
    }
}

const CrashCase kCrashCases[] = {
#if defined(__x86_64__) || defined(__i386__)
    {"DivideByZero", CrashTest::DivideByZero, SIGFPE, "0xc0000094 INT_DIVIDE_BY_ZERO", "CrashTest::DivideByZero"},
#endif
    // abort() is not a fault: an application code, which has no name.
    {"Abort", CrashTest::Abort, SIGABRT, "0xe0000006 Unknown exception code", "CrashTest::Abort"},
    // The report is whole and goes on from the caller when the code address is bad.
    {"CallBadAddress", CrashTest::CallBadAddress, SIGSEGV,
     "0xc0000005 ACCESS_VIOLATION (read from 0x00000010)\nFault Address: 0x00000010", "CrashTest::RunCrashing"},
    {"BadAddressAndStack", CrashTest::JumpToBadAddressWithBadStack, SIGSEGV,
     "0xc0000005 ACCESS_VIOLATION (read from 0x00000010)\nFault Address: 0x00000010", nullptr},
    {"WorkerThread", CrashTest::WriteOnAWorkerThread, SIGSEGV, "0xc0000005 ACCESS_VIOLATION (write to 0x00000010)",
     "CrashTest::WriteToAddress16"},
    {"LocalFunction", WriteInALocalFunction, SIGSEGV, "0xc0000005 ACCESS_VIOLATION (write to 0x00000010)",
     "(anonymous namespace)::WriteInALocalFunction"},
    // The handler runs on its own stack; the walk is cut at whole lines.
    {"StackOverflow", CrashTest::OverflowTheStack, SIGSEGV, "0xc0000005 ACCESS_VIOLATION", "CrashTest::Recurse"},
    {"WorkerStackOverflow", CrashTest::OverflowOnAWorkerThread, SIGSEGV, "0xc0000005 ACCESS_VIOLATION",
     "CrashTest::Recurse"},
};
INSTANTIATE_TEST_SUITE_P(CrashReport, CrashKinds, ::testing::ValuesIn(kCrashCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CrashReport, HelperIsStartedWithTheMessageArgumentAndTheLogPath) {
    ErrorLogCapture capture;
    NorikTest::TempDir dir;
    const std::string helper = dir.file("helper.sh");
    NorikTest::WriteFile(helper, "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.args\"\n");
    chmod(helper.c_str(), 0755);
    RunCrashing(CrashTest::Abort, helper);
    // The handler does not wait for the helper.
    for (int i = 0; i < 200 && !std::filesystem::exists(helper + ".args"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ(NorikTest::ReadFile(helper + ".args"), "--crash-message\n" + capture.path() + "\n");
}

void OtherHandler(int) {}

TEST(CrashHandler, RemovePutsThePreviousHandlersAndSignalStackBack) {
    const int signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
    struct sigaction other {};
    other.sa_handler = OtherHandler;
    struct sigaction saved[5];
    for (int i = 0; i < 5; ++i) sigaction(signals[i], &other, &saved[i]);
    stack_t before{};
    sigaltstack(nullptr, &before);

    ASSERT_TRUE(CrashHandler::Install(""));
    EXPECT_TRUE(CrashHandler::IsInstalled());
    for (int signal : signals) {
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_sigaction, &WriteCrashReport) << signal;
        EXPECT_TRUE(now.sa_flags & SA_ONSTACK);
    }
    stack_t during{};
    sigaltstack(nullptr, &during);
    EXPECT_NE(during.ss_sp, before.ss_sp);
    EXPECT_GE(during.ss_size, 64u * 1024);

    CrashHandler::Remove();
    EXPECT_FALSE(CrashHandler::IsInstalled());
    for (int signal : signals) {
        struct sigaction now {};
        sigaction(signal, nullptr, &now);
        EXPECT_EQ(now.sa_handler, &OtherHandler) << signal;
    }
    stack_t after{};
    sigaltstack(nullptr, &after);
    EXPECT_EQ(after.ss_sp, before.ss_sp);
    EXPECT_EQ(after.ss_flags, before.ss_flags);
    for (int i = 0; i < 5; ++i) sigaction(signals[i], &saved[i], nullptr);
}

TEST(CrashReport, SignalsMapToTheirExceptionCodesAndNames) {
    const struct {
        int signal;
        int code;
        std::uint32_t expected;
        const char* name;
    } cases[] = {
        {SIGBUS, BUS_ADRALN, 0x80000002u, "DATATYPE_MISALIGNMENT"},
        {SIGBUS, BUS_ADRERR, 0xC0000006u, "IN_PAGE_ERROR"},
        {SIGFPE, FPE_INTOVF, 0xC0000095u, "INT_OVERFLOW"},
        {SIGFPE, FPE_FLTDIV, 0xC000008Eu, "FLT_DIVIDE_BY_ZERO"},
        {SIGFPE, FPE_FLTINV, 0xC0000090u, "FLT_INVALID_OPERATION"},
        {SIGFPE, FPE_FLTUND, 0xC0000093u, "FLT_UNDERFLOW"},
        {SIGILL, ILL_ILLOPC, 0xC000001Du, "ILLEGAL_INSTRUCTION"},
        {SIGILL, ILL_PRVOPC, 0xC0000096u, "PRIV_INSTRUCTION"},
        {SIGSEGV, SI_USER, 0xE000000Bu, "Unknown exception code"},  // kill -SEGV is no access violation
    };
    for (const auto& c : cases) {
        const std::uint32_t code = ExceptionCodeOfSignal(c.signal, c.code);
        EXPECT_EQ(code, c.expected) << c.signal << "/" << c.code;
        EXPECT_STREQ(ExceptionCodeName(code), c.name);
    }
    EXPECT_STREQ(ExceptionCodeName(0xC00000FDu), "STACK_OVERFLOW");
    EXPECT_STREQ(ExceptionCodeName(0xC0000007u), "Unknown exception code");
}

TEST(CrashReport, FileVersionComesFromTheLibraryFileTheSonameLinksTo) {
    NorikTest::TempDir dir;
    NorikTest::WriteFile(dir.file("libfoo.so.3.12.7.2"), "");
    std::filesystem::create_symlink("libfoo.so.3.12.7.2", dir.file("libfoo.so.3"));
    const struct {
        std::string path;
        std::uint32_t high;
        std::uint32_t low;
    } cases[] = {
        {dir.file("libfoo.so.3"), 0x0003000Cu, 0x00070002u},
        {dir.file("libbar.so.5"), 0x00050000u, 0u},
        {dir.file("libbar.so.70000.1"), 0xFFFF0001u, 0u},
        {dir.file("libplain.so"), 0u, 0u},
        {"", 0u, 0u},
    };
    for (const auto& c : cases) {
        const FileVersion version = FileVersionOf(c.path.c_str());
        EXPECT_EQ(version.high, c.high) << c.path;
        EXPECT_EQ(version.low, c.low) << c.path;
    }
    const std::string own = std::filesystem::read_symlink("/proc/self/exe").string();
    const FileVersion program = FileVersionOf(own.c_str());
    EXPECT_NE(program.high | program.low, 0u);
}

}  // namespace
