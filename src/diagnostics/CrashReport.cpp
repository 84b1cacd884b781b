#include "diagnostics/CrashReport.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <setjmp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/ucontext.h>
#include <time.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "Version.h"
#include "diagnostics/ErrorLog.h"
#include "diagnostics/FixedText.h"
#include "diagnostics/SymbolName.h"

extern char** environ;

namespace Norik {

namespace {

constexpr int kHandledSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kSignalCount = sizeof kHandledSignals / sizeof kHandledSignals[0];
constexpr std::size_t kPathCapacity = PATH_MAX;
// A symbol name is cut to 168 characters, as the report has always shown them.
constexpr std::size_t kSymbolCapacity = 169;
constexpr int kMaxFrames = 128;
// Room for the unwinder, the demangler and the report's buffers, with a wide margin.
constexpr std::size_t kSignalStackSize = std::size_t{256} * 1024;
// How long a thread that faults while another writes the report waits for that one to end the
// process before it ends the process itself.
constexpr int kWaitForReporterTenths = 300;

// Everything the handler needs, prepared by Install: the handler itself may not allocate.
struct HandlerState {
    bool installed = false;
    char logPath[kPathCapacity] = {};
    char helperPath[kPathCapacity] = {};
    char helperName[kPathCapacity] = {};  // the helper's argv[0]
    long utcOffsetSeconds = 0;
    struct sigaction previous[kSignalCount] = {};
    stack_t previousStack = {};
    void* stackMemory = nullptr;
    std::size_t stackMemorySize = 0;
    void* signalStack = nullptr;
};
HandlerState g_state;

// The thread writing a report (0: none). A second fault on that thread is a fault inside the
// handler; a fault on another thread waits.
std::atomic<pid_t> g_reportingThread{0};
static_assert(std::atomic<pid_t>::is_always_lock_free, "the handler needs a lock-free flag");
// Where a fault inside the unwinder returns to, while the reporting thread unwinds.
sigjmp_buf g_recovery;
volatile sig_atomic_t g_recoveryArmed = 0;

struct NamedCode {
    std::uint32_t code;
    const char* name;
};

constexpr NamedCode kExceptionNames[] = {
    {0x80000001u, "GUARD_PAGE"},
    {0x80000002u, "DATATYPE_MISALIGNMENT"},
    {0x80000003u, "BREAKPOINT"},
    {0x80000004u, "SINGLE_STEP"},
    {0xC0000005u, "ACCESS_VIOLATION"},
    {0xC0000006u, "IN_PAGE_ERROR"},
    {0xC0000008u, "INVALID_HANDLE"},
    {0xC000001Du, "ILLEGAL_INSTRUCTION"},
    {0xC0000025u, "NONCONTINUABLE_EXCEPTION"},
    {0xC0000026u, "INVALID_DISPOSITION"},
    {0xC000008Cu, "ARRAY_BOUNDS_EXCEEDED"},
    {0xC000008Du, "FLT_DENORMAL_OPERAND"},
    {0xC000008Eu, "FLT_DIVIDE_BY_ZERO"},
    {0xC000008Fu, "FLT_INEXACT_RESULT"},
    {0xC0000090u, "FLT_INVALID_OPERATION"},
    {0xC0000091u, "FLT_OVERFLOW"},
    {0xC0000092u, "FLT_STACK_CHECK"},
    {0xC0000093u, "FLT_UNDERFLOW"},
    {0xC0000094u, "INT_DIVIDE_BY_ZERO"},
    {0xC0000095u, "INT_OVERFLOW"},
    {0xC0000096u, "PRIV_INSTRUCTION"},
    {0xC00000FDu, "STACK_OVERFLOW"},
};

const char* BaseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// The path of the running executable, NUL-terminated; empty when it cannot be read.
void ReadOwnExecutablePath(char* path, std::size_t capacity) {
    const ssize_t length = readlink("/proc/self/exe", path, capacity - 1);
    path[length > 0 ? length : 0] = '\0';
}

// "6.4.2" gives 6, 4, 2, 0 packed in two halves; parts past 65535 are cut to 65535.
FileVersion ParseVersion(const char* text) {
    std::uint32_t parts[4] = {};
    int count = 0;
    while (count < 4 && *text >= '0' && *text <= '9') {
        std::uint32_t value = 0;
        while (*text >= '0' && *text <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(*text++ - '0');
            if (value > 0xFFFFu) value = 0xFFFFu;
        }
        parts[count++] = value;
        if (*text != '.') break;
        ++text;
    }
    if (count == 0) return {};
    return {parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
}

// The local time now, from the clock and the offset from UTC taken at install: localtime_r may
// take locks and read files, which a signal handler must not.
std::tm LocalTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long seconds = static_cast<long long>(now.tv_sec) + g_state.utcOffsetSeconds;
    long long days = seconds / 86400;
    long long secondOfDay = seconds % 86400;
    if (secondOfDay < 0) {
        secondOfDay += 86400;
        --days;
    }
    // Civil date from a day count since 1970-01-01 (proleptic Gregorian calendar).
    const long long shifted = days + 719468;
    const long long era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
    const long long dayOfEra = shifted - era * 146097;
    const long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long monthIndex = (5 * dayOfYear + 2) / 153;
    const long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    std::tm local{};
    local.tm_year = static_cast<int>(year - 1900);
    local.tm_mon = static_cast<int>(month - 1);
    local.tm_mday = static_cast<int>(day);
    local.tm_hour = static_cast<int>(secondOfDay / 3600);
    local.tm_min = static_cast<int>(secondOfDay / 60 % 60);
    local.tm_sec = static_cast<int>(secondOfDay % 60);
    return local;
}

void WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = write(fd, text.data(), text.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

// A block without prefix is cut to kMaxReportBlock characters, after its last whole line, so that
// the next entry of the log still starts on a line of its own.
void WriteBlock(int fd, std::string_view block) {
    if (block.size() > kMaxReportBlock) {
        const std::size_t lineEnd = block.substr(0, kMaxReportBlock).rfind('\n');
        block = block.substr(0, lineEnd == std::string_view::npos ? kMaxReportBlock : lineEnd + 1);
    }
    WriteAll(fd, block);
}

// Opens the log for appending; creates the folders on the way when they went missing since
// install.
int OpenLog() {
    constexpr int kFlags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
    int fd = open(g_state.logPath, kFlags, 0600);
    if (fd >= 0 || errno != ENOENT) return fd;
    char folder[kPathCapacity];
    std::memcpy(folder, g_state.logPath, sizeof folder);
    for (char* slash = std::strchr(folder + 1, '/'); slash; slash = std::strchr(slash + 1, '/')) {
        *slash = '\0';
        mkdir(folder, 0700);
        *slash = '/';
    }
    return open(g_state.logPath, kFlags, 0600);
}

// Checks that memory can be read without touching it: write(2) from it into a pipe fails with
// EFAULT instead of faulting. The raw system call, because a sanitizer's write() wrapper would
// itself inspect the bytes.
class MemoryProbe {
public:
    MemoryProbe() {
        if (pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) m_fds[0] = m_fds[1] = -1;
    }
    ~MemoryProbe() {
        if (m_fds[0] >= 0) close(m_fds[0]);
        if (m_fds[1] >= 0) close(m_fds[1]);
    }
    MemoryProbe(const MemoryProbe&) = delete;
    MemoryProbe& operator=(const MemoryProbe&) = delete;

    bool Readable(std::uintptr_t address, std::size_t size) {
        if (m_fds[1] < 0) return false;
        const long written = syscall(SYS_write, m_fds[1], address, size);
        char sink[64];
        while (syscall(SYS_read, m_fds[0], sink, sizeof sink) > 0) {
        }
        return written == static_cast<long>(size);
    }

private:
    int m_fds[2] = {-1, -1};
};

struct Frame {
    std::uintptr_t address = 0;
    std::uintptr_t frame = 0;
    bool isReturnAddress = false;  // the symbol is that of the call before it
};

struct UnwindState {
    std::uintptr_t target = 0;
    Frame* frames = nullptr;
    int capacity = 0;
    // Read again after a jump back out of a faulting unwinder.
    volatile int count = 0;
    volatile bool found = false;
};

_Unwind_Reason_Code CollectFrame(_Unwind_Context* context, void* argument) {
    auto& state = *static_cast<UnwindState*>(argument);
    int beforeInstruction = 0;
    const auto address = static_cast<std::uintptr_t>(_Unwind_GetIPInfo(context, &beforeInstruction));
    if (!state.found) {
        if (address != state.target) return _URC_NO_REASON;  // frames of the handler itself
        state.found = true;
    } else if (address == 0) {
        return _URC_END_OF_STACK;  // the outermost frame says there is no caller
    }
    state.frames[state.count] = {address, static_cast<std::uintptr_t>(_Unwind_GetCFA(context)), beforeInstruction == 0};
    state.count = state.count + 1;
    return state.count == state.capacity ? _URC_END_OF_STACK : _URC_NO_REASON;
}

// The frames from the one executing target outward, by the unwind tables; 0 when target is not
// met. guarded: a fault inside the unwinder (it reads the code at an address it cannot find
// tables for) jumps back here through the handler, keeping the frames found so far.
int Unwind(std::uintptr_t target, Frame* frames, int capacity, bool guarded) {
    UnwindState state;
    state.target = target;
    state.frames = frames;
    state.capacity = capacity;
    if (!guarded) {
        _Unwind_Backtrace(CollectFrame, &state);
    } else {
        if (sigsetjmp(g_recovery, 0) == 0) {
            g_recoveryArmed = 1;
            _Unwind_Backtrace(CollectFrame, &state);
        }
        g_recoveryArmed = 0;
    }
    return state.found ? state.count : 0;
}

// Follows saved frame pointers: each frame holds the caller's frame pointer and, above it, the
// return address. Reads the stack of other functions, which a sanitizer would call overflows.
__attribute__((no_sanitize_address)) int FollowFramePointers(std::uintptr_t address, std::uintptr_t frame,
                                                             Frame* frames, int capacity) {
    MemoryProbe probe;
    constexpr std::size_t kRecord = 2 * sizeof(std::uintptr_t);
    int count = 0;
    frames[count++] = {address, frame, false};
    while (count < capacity) {
        if (frame % alignof(std::uintptr_t) != 0 || !probe.Readable(frame, kRecord)) break;
        // Raw memory: a frame record is read where the frame pointer says it is.
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        const auto* record = reinterpret_cast<const std::uintptr_t*>(frame);
        const std::uintptr_t callerFrame = record[0];
        const std::uintptr_t returnAddress = record[1];
        if (callerFrame <= frame || callerFrame % alignof(std::uintptr_t) != 0 ||
            !probe.Readable(callerFrame, kRecord)) {
            break;
        }
        frames[count++] = {returnAddress, callerFrame, true};
        frame = callerFrame;
    }
    return count;
}

// The loaded module that holds an address, with what the module's own tables need.
struct ModuleHit {
    bool found = false;
    const char* name = nullptr;  // empty for the main program
    std::uintptr_t bias = 0;     // load address minus link address
    const ElfW(Phdr) * segments = nullptr;
    unsigned segmentCount = 0;
    ModuleSection where;
};

ModuleHit FindModule(std::uintptr_t address) {
    struct Search {
        std::uintptr_t address = 0;
        ModuleHit hit{};
    } search{address, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int {
            auto& s = *static_cast<Search*>(data);
            if (s.address < info->dlpi_addr) return 0;
            const std::uintptr_t linkAddress = s.address - info->dlpi_addr;
            unsigned number = 0;
            for (unsigned i = 0; i < info->dlpi_phnum; ++i) {
                const auto& segment = info->dlpi_phdr[i];
                if (segment.p_type != PT_LOAD) continue;
                ++number;
                const std::uintptr_t length = segment.p_memsz > segment.p_filesz ? segment.p_memsz : segment.p_filesz;
                if (linkAddress >= segment.p_vaddr && linkAddress - segment.p_vaddr <= length) {
                    s.hit = {true,
                             info->dlpi_name,
                             info->dlpi_addr,
                             info->dlpi_phdr,
                             info->dlpi_phnum,
                             {number, linkAddress - segment.p_vaddr}};
                    return 1;
                }
            }
            return 0;
        },
        &search);
    return search.hit;
}

void ModulePath(const ModuleHit& module, char* path, std::size_t capacity) {
    path[0] = '\0';
    if (!module.found) return;
    if (!module.name || module.name[0] == '\0') {  // the main program goes without a name
        ReadOwnExecutablePath(path, capacity);
    } else {
        FixedText text(path, capacity);
        text.Append(module.name);
    }
}

bool ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    return pread(fd, buffer, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}

// True when the file holds the build that is loaded: the note segments (build id) in memory and
// in the file agree.
bool IsLoadedBuild(int fd, const ModuleHit& module) {
    for (unsigned i = 0; i < module.segmentCount; ++i) {
        const auto& segment = module.segments[i];
        if (segment.p_type != PT_NOTE) continue;
        char fromFile[256];
        const std::size_t size = segment.p_filesz < sizeof fromFile ? segment.p_filesz : sizeof fromFile;
        if (!ReadAt(fd, fromFile, size, segment.p_offset)) return false;
        // Raw memory: the loaded segment's note is read where the program headers say it is mapped.
        // NOLINTNEXTLINE(performance-no-int-to-ptr)
        if (std::memcmp(fromFile, reinterpret_cast<const void*>(module.bias + segment.p_vaddr), size) != 0)
            return false;
    }
    return true;
}

// The name of the function at address from the module file's full symbol table, for the
// functions dladdr cannot name: those local to a source file and the cold parts the compiler
// splits off. Nothing when the file has no symbol table (stripped) or is no longer the build that
// was loaded.
bool SymbolFromFile(const ModuleHit& module, const char* path, std::uintptr_t address, char* raw, std::size_t capacity,
                    ElfW(Sym) * chunk, std::uint64_t chunkCount) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool named = false;
    ElfW(Ehdr) header{};
    ElfW(Shdr) symbols{};
    ElfW(Shdr) names{};
    bool haveSymbols = false;
    if (ReadAt(fd, &header, sizeof header, 0) && std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
        header.e_shentsize == sizeof(ElfW(Shdr)) && IsLoadedBuild(fd, module)) {
        for (unsigned i = 0; i < header.e_shnum && !haveSymbols; ++i) {
            if (!ReadAt(fd, &symbols, sizeof symbols, header.e_shoff + i * sizeof symbols)) break;
            haveSymbols = symbols.sh_type == SHT_SYMTAB && symbols.sh_link < header.e_shnum &&
                          ReadAt(fd, &names, sizeof names, header.e_shoff + symbols.sh_link * sizeof names);
        }
    }
    if (haveSymbols) {
        const std::uintptr_t linkAddress = address - module.bias;
        const std::uint64_t count = symbols.sh_size / sizeof(ElfW(Sym));
        std::uint64_t bestName = 0;
        for (std::uint64_t first = 0; first < count;) {
            const std::uint64_t n = count - first < chunkCount ? count - first : chunkCount;
            if (!ReadAt(fd, chunk, n * sizeof(ElfW(Sym)), symbols.sh_offset + first * sizeof(ElfW(Sym)))) break;
            for (std::uint64_t i = 0; i < n; ++i) {
                const ElfW(Sym)& symbol = chunk[i];
                if ((symbol.st_info & 0xF) == STT_FUNC && symbol.st_shndx != SHN_UNDEF &&
                    linkAddress >= symbol.st_value && linkAddress - symbol.st_value < symbol.st_size) {
                    bestName = symbol.st_name;
                    named = true;
                }
            }
            first += n;
        }
        if (named && bestName < names.sh_size) {
            const ssize_t got = pread(fd, raw, capacity - 1, static_cast<off_t>(names.sh_offset + bestName));
            raw[got > 0 ? got : 0] = '\0';
            named = got > 0;
        } else {
            named = false;
        }
    }
    close(fd);
    return named;
}

// The buffers of one stack walk, some 20 kilobytes. The handler uses one static set (one thread
// at a time writes a report), so that a thread with a small signal stack still has room;
// WalkCallStack outside the handler takes a set on its own stack.
struct WalkScratch {
    Frame frames[kMaxFrames]{};
    char line[1024]{};
    char modulePath[kPathCapacity]{};
    char symbolModulePath[kPathCapacity]{};
    char ownPath[kPathCapacity]{};
    char linkTarget[kPathCapacity]{};
    char rawSymbol[1024]{};
    ElfW(Sym) symbols[128]{};
};

FileVersion VersionOf(const char* modulePath, char* own, char* target) {
    if (!modulePath || modulePath[0] == '\0') return {};
    ReadOwnExecutablePath(own, kPathCapacity);
    if (std::strcmp(own, modulePath) == 0) return ParseVersion(Version::kVersion);
    // Libraries are loaded by their soname ("libQt6Core.so.6"), a link to the file that carries
    // the whole version.
    const ssize_t length = readlink(modulePath, target, kPathCapacity - 1);
    const char* name = BaseName(modulePath);
    if (length > 0) {
        target[length] = '\0';
        name = BaseName(target);
    }
    const char* so = std::strstr(name, ".so.");
    return so ? ParseVersion(so + 4) : FileVersion{};
}

void SymbolAt(std::uintptr_t address, char* out, std::size_t capacity, WalkScratch& scratch) {
    out[0] = '\0';
    Dl_info info{};
    // Raw memory: the symbol is looked up for an address taken from the stack.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    if (dladdr(reinterpret_cast<void*>(address), &info) != 0 && info.dli_sname) {
        DemangleSymbol(info.dli_sname, out, capacity);
        return;
    }
    const ModuleHit module = FindModule(address);
    char* path = scratch.symbolModulePath;
    ModulePath(module, path, kPathCapacity);
    if (path[0] && SymbolFromFile(module, path, address, scratch.rawSymbol, sizeof scratch.rawSymbol, scratch.symbols,
                                  sizeof scratch.symbols / sizeof scratch.symbols[0])) {
        DemangleSymbol(scratch.rawSymbol, out, capacity);
    }
}

// "%08X  %08X  %04X:%08X  %s (%d.%d.%d.%d) %s(...)\n"
void AppendFrameLine(FixedText& line, const Frame& frame, WalkScratch& scratch) {
    char* path = scratch.modulePath;
    const ModuleHit module = FindModule(frame.address);
    ModulePath(module, path, kPathCapacity);
    const ModuleSection where = module.where;
    const FileVersion version = VersionOf(path, scratch.ownPath, scratch.linkTarget);
    char symbol[kSymbolCapacity];
    SymbolAt(frame.isReturnAddress ? frame.address - 1 : frame.address, symbol, sizeof symbol, scratch);
    line.AppendHex(frame.address, 8, true).Append("  ").AppendHex(frame.frame, 8, true).Append("  ");
    line.AppendHex(where.section, 4, true).Append(':').AppendHex(where.offset, 8, true).Append("  ");
    line.Append(BaseName(path)).Append(" (");
    line.AppendDecimal(version.high >> 16).Append('.').AppendDecimal(version.high & 0xFFFFu).Append('.');
    line.AppendDecimal(version.low >> 16).Append('.').AppendDecimal(version.low & 0xFFFFu).Append(") ");
    line.Append(symbol).Append("(...)\n");
}

// The call stack text from (address, frame). unwindFrom is where the unwinder takes up when it
// differs from address: the caller of a bad call, after address itself as the first line.
std::size_t WalkFrames(std::uintptr_t address, std::uintptr_t frame, std::uintptr_t unwindFrom, char* buffer,
                       std::size_t capacity, bool guarded, WalkScratch& scratch) {
    FixedText text(buffer, capacity);
    text.Append("Address   Frame     Logical Addr   Module\n");
    Frame* frames = scratch.frames;
    int count = 0;
    if (unwindFrom != address) frames[count++] = {address, frame, false};
    const int unwound = Unwind(unwindFrom, frames + count, kMaxFrames - count, guarded);
    if (unwound > 0 && unwindFrom != address) frames[count].isReturnAddress = true;
    count += unwound;
    if (unwound == 0) count = FollowFramePointers(address, frame, frames, kMaxFrames);
    for (int i = 0; i < count; ++i) {
        FixedText line(scratch.line, sizeof scratch.line);
        AppendFrameLine(line, frames[i], scratch);
        if (line.overflowed()) {  // an absurdly long module name: the line is cut but ends
            line.Truncate(line.size() - 1);
            line.Append('\n');
        }
        if (text.size() + line.size() >= capacity) break;
        text.Append(line.view());
    }
    return text.size();
}

// What the processor context tells about the fault.
struct FaultContext {
    std::uintptr_t instruction = 0;
    std::uintptr_t frame = 0;
    const char* access = "read from";
};

#if defined(__x86_64__)
#ifndef UC_SIGCONTEXT_SS
#define UC_SIGCONTEXT_SS 0x2
#endif

// Data and extra segment registers are not saved with the context; signal delivery leaves them
// alone, so the handler sees the values the faulting code had.
std::uint16_t CurrentDataSegment() {
    std::uint16_t value = 0;
    asm volatile("mov %%ds, %0" : "=r"(value));
    return value;
}
std::uint16_t CurrentExtraSegment() {
    std::uint16_t value = 0;
    asm volatile("mov %%es, %0" : "=r"(value));
    return value;
}
std::uint16_t CurrentStackSegment() {
    std::uint16_t value = 0;
    asm volatile("mov %%ss, %0" : "=r"(value));
    return value;
}
#endif

FaultContext ReadFaultContext(const ucontext_t* context, int signal, const siginfo_t* info) {
    FaultContext fault;
    if (!context) return fault;
#if defined(__x86_64__)
    const greg_t* registers = context->uc_mcontext.gregs;
    fault.instruction = static_cast<std::uintptr_t>(registers[REG_RIP]);
    fault.frame = static_cast<std::uintptr_t>(registers[REG_RBP]);
    // A page fault's error code has bit 1 set for a write.
    const bool pageFault = signal == SIGSEGV && info && (info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR);
    if (pageFault && (registers[REG_ERR] & 2) != 0) fault.access = "write to";
#elif defined(__aarch64__)
    fault.instruction = static_cast<std::uintptr_t>(context->uc_mcontext.pc);
    fault.frame = static_cast<std::uintptr_t>(context->uc_mcontext.regs[29]);
    fault.access = "access to";  // the access kind is not read on this processor
    (void)signal;
    (void)info;
#else
    fault.access = "access to";
    (void)signal;
    (void)info;
#endif
    return fault;
}

// The register block. On x86-64 the 64-bit registers fill the slots of their 32-bit halves:
// RAX, RBX, RCX, RDX, RSI, RDI and RBP in EAX to EBP, RIP in EIP, RSP in ESP, RFLAGS in Flags;
// CS, FS and GS come from the saved context, SS from it where the kernel saves it, DS and ES from
// the processor. Values are printed whole (at least eight digits, sixteen when the upper half is
// used): one register a line, so the width breaks no layout. R8 to R15, which have no 32-bit
// slot, follow under their own names. Other processors print what their context names.
void AppendRegisters(FixedText& text, const ucontext_t* context) {
    text.Append("Registers:\n");
    if (!context) return;
#if defined(__x86_64__)
    const greg_t* r = context->uc_mcontext.gregs;
    const auto value = [r](int index) { return static_cast<std::uint64_t>(r[index]); };
    const std::uint64_t segments = value(REG_CSGSFS);
    const std::uint64_t cs = segments & 0xFFFF;
    const std::uint64_t gs = segments >> 16 & 0xFFFF;
    const std::uint64_t fs = segments >> 32 & 0xFFFF;
    const std::uint64_t ss = (context->uc_flags & UC_SIGCONTEXT_SS) ? segments >> 48 & 0xFFFF : CurrentStackSegment();
    const struct {
        const char* label;
        int index;
    } general[] = {{"\tEAX: ", REG_RAX}, {"\tEBX: ", REG_RBX}, {"\tECX: ", REG_RCX}, {"\tEDX: ", REG_RDX},
                   {"\tESI: ", REG_RSI}, {"\tEDI: ", REG_RDI}, {"\tEBP: ", REG_RBP}};
    for (const auto& g : general) text.Append(g.label).AppendHex(value(g.index), 8, true).Append('\n');
    text.Append("\tCS:EIP: ").AppendHex(cs, 4, true).Append(':').AppendHex(value(REG_RIP), 8, true).Append('\n');
    text.Append("\tSS:ESP: ").AppendHex(ss, 4, true).Append(':').AppendHex(value(REG_RSP), 8, true).Append('\n');
    text.Append("\tDS:")
        .AppendHex(CurrentDataSegment(), 4, true)
        .Append("  ES:")
        .AppendHex(CurrentExtraSegment(), 4, true);
    text.Append("  FS:").AppendHex(fs, 4, true).Append("  GS:").AppendHex(gs, 4, true).Append('\n');
    text.Append("\tFlags:").AppendHex(value(REG_EFL), 8, true).Append('\n');
    const struct {
        const char* label;
        int index;
    } extended[] = {{"\tR8: ", REG_R8},   {"\tR9: ", REG_R9},   {"\tR10: ", REG_R10}, {"\tR11: ", REG_R11},
                    {"\tR12: ", REG_R12}, {"\tR13: ", REG_R13}, {"\tR14: ", REG_R14}, {"\tR15: ", REG_R15}};
    for (const auto& e : extended) text.Append(e.label).AppendHex(value(e.index), 8, true).Append('\n');
#elif defined(__aarch64__)
    const auto& m = context->uc_mcontext;
    text.Append("\tPC: ").AppendHex(m.pc, 8, true).Append('\n');
    text.Append("\tSP: ").AppendHex(m.sp, 8, true).Append('\n');
    text.Append("\tFP: ").AppendHex(m.regs[29], 8, true).Append('\n');
    text.Append("\tLR: ").AppendHex(m.regs[30], 8, true).Append('\n');
    text.Append("\tPSTATE: ").AppendHex(m.pstate, 8, true).Append('\n');
#endif
}

#if defined(__x86_64__)
// A call to an address where no code is stops with the instruction pointer there and the return
// address on top of the stack. The saved context is changed to what a return would make it (the
// handler never returns to it), so that the unwinder can go on from the caller.
__attribute__((no_sanitize_address)) std::uintptr_t StepBackFromBadCall(ucontext_t* context) {
    greg_t* r = context->uc_mcontext.gregs;
    const auto instruction = static_cast<std::uintptr_t>(r[REG_RIP]);
    const auto stack = static_cast<std::uintptr_t>(r[REG_RSP]);
    if (FindModule(instruction).found || stack % alignof(std::uintptr_t) != 0) return instruction;
    MemoryProbe probe;
    if (!probe.Readable(stack, sizeof(std::uintptr_t))) return instruction;
    // Raw memory: the return address is read off the stack at the faulting stack pointer.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    const std::uintptr_t returnAddress = *reinterpret_cast<const std::uintptr_t*>(stack);
    if (!FindModule(returnAddress).found) return instruction;
    r[REG_RIP] = static_cast<greg_t>(returnAddress);
    r[REG_RSP] = static_cast<greg_t>(stack) + static_cast<greg_t>(sizeof(std::uintptr_t));
    return returnAddress;
}
#endif

// The handler's buffers, static rather than on a signal stack that may be small; only the
// reporting thread uses them.
struct ReportBuffers {
    char entry[kMaxEntryLength + 1]{};
    char block[kMaxReportBlock + 1]{};
    char stack[kCallStackBufferSize]{};
    WalkScratch walk;
};
ReportBuffers g_buffers;

void WriteReport(int signal, const siginfo_t* info, ucontext_t* context) {
    const int fd = OpenLog();
    if (fd < 0) return;  // the report is lost; the message is still shown
    const FaultContext fault = ReadFaultContext(context, signal, info);
    const std::uint32_t code = ExceptionCodeOfSignal(signal, info ? info->si_code : 0);

    FixedText entry(g_buffers.entry, sizeof g_buffers.entry);
    char prefix[kEntryPrefixLength];
    FormatEntryPrefix(LocalTimeNow(), prefix);
    entry.Append(std::string_view(prefix, kEntryPrefixLength));
    entry.Append("Exception code: 0x").AppendHex(code, 8, false).Append(' ').Append(ExceptionCodeName(code));
    if (code == kAccessViolation && info) {
        entry.Append(" (").Append(fault.access).Append(" 0x");
        entry.AppendHex(reinterpret_cast<std::uintptr_t>(info->si_addr), 8, false).Append(')');
    }
    entry.Append("\nFault Address: 0x").AppendHex(fault.instruction, 8, false).Append('\n');
    entry.Append('\n');  // the entry's own line end
    WriteAll(fd, entry.view());

    FixedText registers(g_buffers.block, sizeof g_buffers.block);
    AppendRegisters(registers, context);
    WriteBlock(fd, registers.view());

    WriteBlock(fd, "Call Stack:\n");
    std::uintptr_t unwindFrom = fault.instruction;
#if defined(__x86_64__)
    if (context) unwindFrom = StepBackFromBadCall(context);
#endif
    const std::size_t length = WalkFrames(fault.instruction, fault.frame, unwindFrom, g_buffers.stack,
                                          sizeof g_buffers.stack, true, g_buffers.walk);
    WriteBlock(fd, std::string_view(g_buffers.stack, length));
    close(fd);
}

// Starts "<helper> --crash-message <log path>" and leaves it running.
void StartMessageHelper() {
    if (g_state.helperPath[0] == '\0') return;
    char* const arguments[] = {g_state.helperName, const_cast<char*>(kCrashMessageArgument), g_state.logPath, nullptr};
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    const pid_t child = _Fork();  // no fork handlers: they may take locks the crash left held
#else
    const pid_t child = fork();
#endif
    if (child != 0) return;
    // The handler runs with signals blocked that the helper must have.
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);
    execve(g_state.helperPath, arguments, environ);
    _exit(127);
}

// Ends the process by the signal's default action, so that it ends as it would have without the
// handler.
[[noreturn]] void EndProcessWith(int signal) {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signal, &byDefault, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    _exit(128 + signal);
}

}  // namespace

const char* ExceptionCodeName(std::uint32_t code) {
    for (const NamedCode& named : kExceptionNames) {
        if (named.code == code) return named.name;
    }
    return "Unknown exception code";
}

std::uint32_t ExceptionCodeOfSignal(int signal, int signalCode) {
    const std::uint32_t unknown = kUnknownSignalCodeBase | static_cast<std::uint32_t>(signal);
    if (signalCode <= 0) return unknown;  // sent by kill(), raise() or abort(), not a fault
    switch (signal) {
        case SIGSEGV:
            return kAccessViolation;
        case SIGBUS:
            return signalCode == BUS_ADRALN ? 0x80000002u : 0xC0000006u;
        case SIGILL:
            return signalCode == ILL_PRVOPC || signalCode == ILL_PRVREG ? 0xC0000096u : 0xC000001Du;
        case SIGFPE:
            switch (signalCode) {
                case FPE_INTDIV:
                    return 0xC0000094u;
                case FPE_INTOVF:
                    return 0xC0000095u;
                case FPE_FLTDIV:
                    return 0xC000008Eu;
                case FPE_FLTOVF:
                    return 0xC0000091u;
                case FPE_FLTUND:
                    return 0xC0000093u;
                case FPE_FLTRES:
                    return 0xC000008Fu;
                case FPE_FLTINV:
                    return 0xC0000090u;
                case FPE_FLTSUB:
                    return 0xC000008Cu;
                default:
                    return unknown;
            }
        default:
            return unknown;
    }
}

bool ModuleSectionOfAddress(std::uintptr_t address, char* path, std::size_t pathCapacity, ModuleSection& where) {
    const ModuleHit module = FindModule(address);
    where = module.where;
    ModulePath(module, path, pathCapacity);
    return module.found;
}

FileVersion FileVersionOf(const char* modulePath) {
    char own[kPathCapacity];
    char target[kPathCapacity];
    return VersionOf(modulePath, own, target);
}

std::size_t WalkCallStack(std::uintptr_t address, std::uintptr_t frame, char* buffer, std::size_t capacity) {
    WalkScratch scratch;
    return WalkFrames(address, frame, address, buffer, capacity, false, scratch);
}

void WriteCrashReport(int signal, siginfo_t* info, void* context) {
    const auto self = static_cast<pid_t>(syscall(SYS_gettid));
    pid_t reporter = 0;
    if (!g_reportingThread.compare_exchange_strong(reporter, self)) {
        if (reporter == self) {
            // A fault while this thread writes its report: back out of the stack walk when that
            // is where it happened, else end the process now rather than fault again and again.
            if (g_recoveryArmed) {
                g_recoveryArmed = 0;
                siglongjmp(g_recovery, 1);
            }
            EndProcessWith(signal);
        }
        // Another thread is writing its report and will end the process.
        for (int i = 0; i < kWaitForReporterTenths; ++i) {
            timespec pause{0, 100'000'000};
            nanosleep(&pause, nullptr);
        }
        EndProcessWith(signal);
    }
    WriteReport(signal, info, static_cast<ucontext_t*>(context));
    StartMessageHelper();
    EndProcessWith(signal);
}

namespace {

// An alternate stack of kSignalStackSize with an inaccessible page below it, so that running off
// its end faults instead of overwriting other memory; null when there is no memory for it.
void* MapSignalStack(std::size_t& mappedSize, stack_t& stack) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    mappedSize = kSignalStackSize + page;
    void* memory = mmap(nullptr, mappedSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    mprotect(memory, page, PROT_NONE);
    stack = stack_t{};
    stack.ss_sp = static_cast<char*>(memory) + page;
    stack.ss_size = kSignalStackSize;
    return memory;
}

}  // namespace

void ThreadSignalStack::KeepForThread() { thread_local const ThreadSignalStack kept; }

ThreadSignalStack::ThreadSignalStack() {
    stack_t current{};
    if (sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE)) return;
    stack_t ours{};
    void* memory = MapSignalStack(m_size, ours);
    if (!memory) return;
    if (sigaltstack(&ours, nullptr) != 0) {
        munmap(memory, m_size);
        return;
    }
    m_memory = memory;
}

ThreadSignalStack::~ThreadSignalStack() {
    if (!m_memory) return;
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    munmap(m_memory, m_size);
}

bool CrashHandler::Install(const std::string& helperExecutable) {
    const std::string logPath = ErrorLog::path();
    char ownPath[kPathCapacity];
    ReadOwnExecutablePath(ownPath, sizeof ownPath);
    const std::string helperName = helperExecutable == "/proc/self/exe" && ownPath[0] ? ownPath : helperExecutable;
    if (logPath.size() >= kPathCapacity || helperExecutable.size() >= kPathCapacity) return false;
    const auto folder = std::filesystem::path(logPath).parent_path();
    if (!folder.empty()) MakeFoldersPrivate(folder.string());

    std::memcpy(g_state.logPath, logPath.c_str(), logPath.size() + 1);
    std::memcpy(g_state.helperPath, helperExecutable.c_str(), helperExecutable.size() + 1);
    std::memcpy(g_state.helperName, helperName.c_str(), helperName.size() + 1);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    g_state.utcOffsetSeconds = local.tm_gmtoff;
    if (g_state.installed) return true;

    std::size_t size = 0;
    stack_t ours{};
    void* memory = MapSignalStack(size, ours);
    if (!memory) return false;
    if (sigaltstack(&ours, &g_state.previousStack) != 0) {
        munmap(memory, size);
        return false;
    }
    g_state.stackMemory = memory;
    g_state.stackMemorySize = size;
    g_state.signalStack = ours.ss_sp;

    struct sigaction action {};
    action.sa_sigaction = WriteCrashReport;
    sigemptyset(&action.sa_mask);
    // No signal is deferred while the handler runs: a fault inside it must reach it again, to
    // back out of the stack walk or to end the process.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kHandledSignals[i], &action, &g_state.previous[i]);
    g_state.installed = true;

    // One walk now, so that whatever the unwinder and the dynamic loader set up on first use is
    // ready before a crash needs it.
    char scratch[kCallStackBufferSize];
    WalkCallStack(reinterpret_cast<std::uintptr_t>(__builtin_return_address(0)),
                  reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)), scratch, sizeof scratch);
    return true;
}

void CrashHandler::Remove() {
    if (!g_state.installed) return;
    for (int i = 0; i < kSignalCount; ++i) sigaction(kHandledSignals[i], &g_state.previous[i], nullptr);
    stack_t current{};
    sigaltstack(nullptr, &current);
    if (current.ss_sp == g_state.signalStack) {
        sigaltstack(&g_state.previousStack, nullptr);
        munmap(g_state.stackMemory, g_state.stackMemorySize);
    }
    // Otherwise Remove runs on another thread than Install, whose stack still points at the memory:
    // it is left mapped.
    g_state.stackMemory = nullptr;
    g_state.signalStack = nullptr;
    g_state.installed = false;
}

bool CrashHandler::IsInstalled() { return g_state.installed; }

}  // namespace Norik
