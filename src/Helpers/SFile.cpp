#include "Helpers/SFile.h"

#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstring>

#include "Helpers/DataFile.h"
#include "Helpers/Folders.h"

namespace Norik {

namespace {

// The code of the error the last call left in errno; calls clear errno first, so that an end of
// file with no system error gives 0 rather than a stale error of some earlier call.
HResult CurrentErrorCode() { return LastSystemErrorCode(); }

}  // namespace

std::string StreamModeString(int mode, bool binary) {
    std::string text;
    switch (mode) {
        case kModeRead:
            text = "r";
            break;
        case kModeWrite:
            text = "w";
            break;
        case kModeReadWrite:
            text = "w+";
            break;
        default:
            break;
    }
    // The text-mode letter "t" and the sequential-access hint "S" are not C letters; stdio here
    // has no text mode (line ends arrive as they are stored) and reads sequentially anyway.
    if (binary) text += "b";
    return text;
}

SFileStream::~SFileStream() { Close(); }

HResult SFileStream::Open(const std::string& path, int mode, bool binary) {
    if (m_file) {
        // A stream opened again gives up the file it had: a failed close no longer concerns it.
        (void)std::fclose(m_file);
        m_file = nullptr;
    }
    errno = 0;
    m_path = path;
    if (mode == kModeRead) {
        // Data files are opened without waiting and only when they are regular files.
        int fd = -1;
        if (const HResult code = OpenDataFile(path, fd); Failed(code)) {
            return NORIK_REPORT_DAMAGE(code, "SFileStream::Open", path, "cannot be opened");
        }
        m_file = ::fdopen(fd, StreamModeString(mode, binary).c_str());
        if (!m_file) ::close(fd);
        // Tables are read through in one go: 64 KiB a read rather than the default page.
        if (m_file) (void)std::setvbuf(m_file, nullptr, _IOFBF, std::size_t{1} << 16);
    } else {
        m_file = std::fopen(path.c_str(), StreamModeString(mode, binary).c_str());
    }
    if (!m_file) {
        HResult code = CurrentErrorCode();
        if (code == kOk) code = kFail;  // fopen refused the mode string itself
        return NORIK_REPORT_DAMAGE(code, "SFileStream::Open", path, "cannot be opened");
    }
    m_textMode = !binary;
    return kOk;
}

int SFileStream::Read(void* buffer, int count) {
    if (!m_file || count <= 0) return 0;
    errno = 0;
    const std::size_t read = std::fread(buffer, 1, static_cast<std::size_t>(count), m_file);
    if (read > 0) return static_cast<int>(read);
    // The end of the file is no failure and is not reported.
    if (!std::ferror(m_file)) return 0;
    HResult code = CurrentErrorCode();
    if (code == kOk) code = kFail;
    return NORIK_REPORT(code, "SFileStream::Read");
}

int SFileStream::Write(const void* buffer, int count) {
    if (!m_file || count <= 0) return 0;
    errno = 0;
    const std::size_t written = std::fwrite(buffer, 1, static_cast<std::size_t>(count), m_file);
    if (written == 0) return NORIK_REPORT(CurrentErrorCode(), "SFileStream::Write");
    return static_cast<int>(written);
}

int SFileStream::ReadLine(char* buffer, int size) {
    m_lineHeldNul = false;
    if (!m_file || size <= 0) return 1;
    if (!std::fgets(buffer, size, m_file)) return 1;
    const std::size_t length = std::strlen(buffer);
    // fgets stops after a newline, with the buffer full, or at the end of the file; a text that
    // ends before all three went on past a NUL byte.
    m_lineHeldNul = length + 1 < static_cast<std::size_t>(size) && (length == 0 || buffer[length - 1] != '\n') &&
                    !std::feof(m_file);
    if (m_textMode) {
        if (length >= 2 && buffer[length - 2] == '\r' && buffer[length - 1] == '\n') {
            buffer[length - 2] = '\n';
            buffer[length - 1] = '\0';
        }
    }
    return 0;
}

HResult SFileStream::WriteLine(const char* text) {
    if (!m_file) return kFail;
    errno = 0;
    if (std::fputs(text, m_file) < 0) {
        HResult code = CurrentErrorCode();
        if (code == kOk) code = kFail;
        return NORIK_REPORT(code, "SFileStream::WriteLine");
    }
    return kOk;
}

HResult SFileStream::Close() {
    if (!m_file) return kOk;
    // Written bytes wait in the C library's buffer: a full disk or a failing device is noticed
    // only when they are flushed, so the flush and the close decide whether the writing worked.
    errno = 0;
    HResult code = std::fflush(m_file) == 0 ? kOk : CurrentErrorCode();
    errno = 0;
    if (std::fclose(m_file) != 0 && code == kOk) code = CurrentErrorCode();
    m_file = nullptr;
    if (code == kOk) return kOk;
    return NORIK_REPORT(Failed(code) ? code : kFail, "SFileStream::Close");
}

HResult SFileStream::ReadUInt(std::int32_t& value) {
    // Reads what fscanf("%d") reads: white space, an optional sign, decimal digits, stopping right
    // after the last digit. Done by hand because "%d" is undefined for numbers out of range; those
    // wrap to 32 bits here, as a 64-bit conversion narrowed to int would.
    bool converted = false;
    errno = 0;
    if (m_file) {
        // The stream belongs to one thread, so the character reads need not lock it: a table of
        // thousands of rows reads three numbers a row.
        ::flockfile(m_file);
        int c = getc_unlocked(m_file);
        while (c != EOF && std::isspace(static_cast<unsigned char>(c))) c = getc_unlocked(m_file);
        bool negative = false;
        if (c == '+' || c == '-') {
            negative = c == '-';
            c = getc_unlocked(m_file);
        }
        std::uint64_t magnitude = 0;
        while (c != EOF && c >= '0' && c <= '9') {
            converted = true;
            if (magnitude < (std::uint64_t{1} << 62)) magnitude = magnitude * 10 + static_cast<unsigned>(c - '0');
            c = getc_unlocked(m_file);
        }
        if (c != EOF) (void)std::ungetc(c, m_file);  // one character back always fits
        ::funlockfile(m_file);
        if (converted) {
            const std::uint64_t bits = negative ? ~magnitude + 1 : magnitude;
            value = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
            return kOk;
        }
    }
    HResult code = CurrentErrorCode();
    if (code == kOk) code = kFail;  // a failed read never returns success
    return NORIK_REPORT(code, "SFileStream::ReadUInt");
}

std::string GetTablePath(const std::string& tableName) { return GetIndexFolder() + tableName + ".ttx"; }

std::int32_t FieldToInt(const std::string& field) {
    std::size_t i = 0;
    while (i < field.size() && std::isspace(static_cast<unsigned char>(field[i]))) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    std::int64_t magnitude = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (field[i] - '0');
        if (magnitude > std::int64_t{INT32_MAX} + 1) break;
    }
    const std::int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > INT32_MAX) return INT32_MAX;
    if (signedValue < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(signedValue);
}

}  // namespace Norik
