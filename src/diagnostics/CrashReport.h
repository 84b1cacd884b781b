// The crash report: what the process writes to the error log when it dies of a fault.
//
// CrashHandler::Install puts WriteCrashReport in charge of SIGSEGV, SIGBUS, SIGFPE, SIGILL and
// SIGABRT, on an alternate signal stack so that a stack overflow is reported too; Remove puts the
// handlers and the signal stack that were there before back. The application object installs at
// construction and removes at destruction, on the user-interface thread: the alternate stack
// belongs to the thread that installs, and Remove must run on that thread.
//
// When a signal arrives, WriteCrashReport appends to the error log one prefixed entry naming the
// exception and the faulting instruction, then without prefix the registers, "Call Stack:" and
// the frames of WalkCallStack; it then starts the message helper and ends the process with the
// signal it got, by the signal's default action (a core dump where the system keeps them). Inside
// the handler only async-signal-safe calls are made: text is built in stack buffers and written
// with write(2) to the log opened with open(2); everything that needs allocation (the log path,
// the local time offset, the helper's arguments) is prepared by Install.
//
// Threads. The alternate stack of Install serves the installing thread; a stack overflow on any
// other thread would find no stack to report on, and the process would end without a report.
// Every thread the program starts therefore opens with a ThreadSignalStack, which gives it its own
// alternate stack for its lifetime.
//
// The message: a signal handler cannot show a window, so the handler starts the helper executable
// given to Install (our own program by default) as "<helper> --crash-message <log path>" and does
// not wait for it: the process is damaged, and a helper that cannot reach the display or waits for
// the user must not keep it alive. The program's main hands that command line to
// ShowCrashMessage (app/CrashMessage.h). An empty helper path starts nothing.
//
// Exception codes. Signals map to the codes of the report's table: SIGSEGV to ACCESS_VIOLATION;
// SIGBUS to DATATYPE_MISALIGNMENT for a misaligned access, IN_PAGE_ERROR for any other (a mapped
// file cut short); SIGFPE by its cause (INT_DIVIDE_BY_ZERO, INT_OVERFLOW, FLT_DIVIDE_BY_ZERO,
// FLT_OVERFLOW, FLT_UNDERFLOW, FLT_INEXACT_RESULT, FLT_INVALID_OPERATION, ARRAY_BOUNDS_EXCEEDED
// for a subscript out of range); SIGILL to PRIV_INSTRUCTION for a privileged opcode or register,
// ILLEGAL_INSTRUCTION otherwise. SIGABRT, and any signal that another process or raise() sent
// rather than a fault, has no code of its own: it gets 0xE0000000 plus the signal number, which
// the table names "Unknown exception code" (bit 29 marks an application's own code, so it can
// never be taken for a system code).
#pragma once

#include <signal.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace Norik {

// The first argument of the helper process that shows the crash message.
inline constexpr const char* kCrashMessageArgument = "--crash-message";

// The text buffer WalkCallStack fills, and the longest block written without prefix.
inline constexpr std::size_t kCallStackBufferSize = 4096;
inline constexpr std::size_t kMaxReportBlock = 2048;

inline constexpr std::uint32_t kAccessViolation = 0xC0000005u;
inline constexpr std::uint32_t kUnknownSignalCodeBase = 0xE0000000u;

// The name of an exception code; "Unknown exception code" for a code outside the table.
const char* ExceptionCodeName(std::uint32_t code);

// The exception code of a signal and the si_code it came with.
std::uint32_t ExceptionCodeOfSignal(int signal, int signalCode);

// Where an address lies: the loaded module (executable or shared library) that holds it, the
// 1-based number of the module's loadable segment that holds it ("section"; readelf -l lists them
// in this order) and the offset within that segment, so that the segment's virtual address plus
// the offset is the address to give addr2line. False, with an empty path and 0 and 0, when no
// module holds the address. path receives at most pathCapacity - 1 characters and a NUL.
struct ModuleSection {
    unsigned section = 0;
    std::uintptr_t offset = 0;
};
bool ModuleSectionOfAddress(std::uintptr_t address, char* path, std::size_t pathCapacity, ModuleSection& where);

// The file version of a module as two 32-bit halves of four 16-bit parts (major, minor; patch,
// build): our own executable carries the program's version, a shared library the numbers after
// ".so." in the name of the file it resolves to ("libQt6Core.so.6.4.2" gives 6.4.2.0). 0 and 0
// when there is none.
struct FileVersion {
    std::uint32_t high = 0;
    std::uint32_t low = 0;
};
FileVersion FileVersionOf(const char* modulePath);

// Writes the call stack as text into buffer (capacity characters with the NUL, normally
// kCallStackBufferSize): the header "Address   Frame     Logical Addr   Module" and one line a
// frame, "address  frame  section:offset  module (version) symbol(...)", innermost first, while
// whole lines fit. The frames are those of the calling thread's stack from the one executing
// address outward, found from the compiler's unwind tables; when address is not on that stack (a
// jump to a bad address, code without unwind tables) the chain of saved frame pointers is
// followed from frame instead, while each frame is aligned, lies above the one before and can be
// read. The frame column shows the frame's canonical address (the stack pointer before the call)
// for unwound frames and the frame pointer for followed ones. A symbol is the exported name dladdr
// knows, else the name in the module file's own symbol table (functions local to a file, cold
// parts) when the file is not stripped and is still the build that was loaded; demangled, cut to
// 168 characters. Returns the length written. Async-signal-safe; any thread may call it.
std::size_t WalkCallStack(std::uintptr_t address, std::uintptr_t frame, char* buffer, std::size_t capacity);

// The signal handler itself (an sa_sigaction). Writes the report, starts the message helper and
// ends the process; it does not return.
void WriteCrashReport(int signal, siginfo_t* info, void* context);

// The alternate signal stack of the calling thread, from construction to destruction: declared
// first thing in a thread's function, so that the crash report is written for a stack overflow
// there too. The destructor puts back what the thread had before. Nothing happens when the thread
// has an alternate stack already or no memory is left for one (the thread then runs as before).
class ThreadSignalStack {
public:
    // Gives the calling thread an alternate stack until it ends, for code that runs on a thread it
    // did not start (a pool's): the first call on a thread makes it, later ones do nothing.
    static void KeepForThread();

    ThreadSignalStack();
    ~ThreadSignalStack();
    ThreadSignalStack(const ThreadSignalStack&) = delete;
    ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

private:
    void* m_memory = nullptr;
    std::size_t m_size = 0;
};

class CrashHandler {
public:
    // Installs the handler; helperExecutable is the program started to show the message (empty:
    // none). The log path is fixed now, from ErrorLog::path(), and its folder created. Installing
    // again keeps the handlers remembered the first time and takes the new helper. False when the
    // handler could not be installed (a path too long, no memory for the signal stack).
    static bool Install(const std::string& helperExecutable = "/proc/self/exe");
    // Puts back the handlers and the signal stack that were there before Install.
    static void Remove();
    static bool IsInstalled();
};

}  // namespace Norik
