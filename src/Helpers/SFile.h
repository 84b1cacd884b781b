// Byte streams of the storage layer.
//
// SFile is the abstract stream through which every table file and every container entry is read.
// SFileStream reads and writes plain files through C stdio; SUn7zFile (SUn7zFile.h) decodes one
// container entry. Operations return result codes (ResultCode.h) and report each failure once to
// the error log where it is detected. A stream belongs to one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>

#include "common/ResultCode.h"
#include "diagnostics/ErrorLog.h"

namespace Norik {

// Open modes of SFile::Open.
enum OpenMode : int { kModeRead = 1, kModeWrite = 2, kModeReadWrite = 3 };

class SFile {
public:
    // Opens a file or entry; 0 on success, a failure code otherwise.
    virtual HResult Open(const std::string& name, int mode, bool binary) = 0;
    // Reads up to count bytes: the number read (> 0), or 0 / a failure code when nothing was read.
    virtual int Read(void* buffer, int count) = 0;
    // Writes count bytes: the number written, or a failure code.
    virtual int Write(const void* buffer, int count) = 0;
    // Reads one line of at most size - 1 characters, newline kept, NUL-terminated: 0 when a line
    // was read, non-zero at end of file or on failure (the buffer is then left as it was).
    virtual int ReadLine(char* buffer, int size) = 0;
    virtual HResult WriteLine(const char* text) = 0;
    // Closes the stream; for a written file, a failure to store the last bytes is returned here.
    virtual HResult Close() = 0;
    // Reads one optionally signed decimal number after white space; never 0 on failure.
    virtual HResult ReadUInt(std::int32_t& value) = 0;
    virtual ~SFile() = default;

    // Reads one decimal integer into a 16- or 32-bit target (the 16-bit one keeps the low 16
    // bits). The target is written only on success; a failure is reported and returned.
    template <class T>
    HResult ReadType(T& target) {
        static_assert(std::is_integral_v<T> && (sizeof(T) == 2 || sizeof(T) == 4));
        std::int32_t value = 0;
        const HResult code = ReadUInt(value);
        if (code != kOk) return NORIK_REPORT(code, "SFile::ReadType");
        target = static_cast<T>(static_cast<std::make_unsigned_t<T>>(static_cast<std::uint32_t>(value)));
        return kOk;
    }
};

// A plain file read or written through C stdio. Read returns 0 at the end of the file without a
// report. Close (also run by the destructor) flushes and closes the file and reports a failure of
// either, so that a write the disk refused never passes for done.
class SFileStream : public SFile {
public:
    SFileStream() = default;
    ~SFileStream() override;
    SFileStream(const SFileStream&) = delete;
    SFileStream& operator=(const SFileStream&) = delete;

    // Mode 1 "r", 2 "w", 3 "w+", then "b" or "t"; letters this C library does not accept are dropped.
    // Mode 1 opens through OpenDataFile (DataFile.h): a FIFO, a device or a folder is refused
    // at once.
    HResult Open(const std::string& path, int mode, bool binary) override;
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int ReadLine(char* buffer, int size) override;
    HResult WriteLine(const char* text) override;
    HResult Close() override;
    HResult ReadUInt(std::int32_t& value) override;

    // True when the last line ReadLine gave held a NUL byte, so that its text stops short of the
    // line: known whenever more of the file follows that line.
    bool lineHeldNul() const { return m_lineHeldNul; }

    bool isOpen() const { return m_file != nullptr; }
    // The path of the last Open.
    const std::string& path() const { return m_path; }
    // The open handle, for readers that need stdio directly (null while closed).
    std::FILE* handle() const { return m_file; }

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
    bool m_textMode = false;  // CR LF line ends arrive as a single newline
    bool m_lineHeldNul = false;
};

// The mode string SFileStream::Open passes to fopen.
std::string StreamModeString(int mode, bool binary);

// Index folder + table name + ".ttx".
std::string GetTablePath(const std::string& tableName);

// Reads the "|"-separated fields of one line held in a caller's buffer of N characters.
// Fields are not trimmed; after the newline (or the NUL ending the text) every field is empty,
// and all fields of one line together cover at most N characters.
template <int N>
class CLineFields {
public:
    explicit CLineFields(const char* line) : m_position(line) {}

    std::string NextField() {
        if (m_ended) return {};
        const char* start = m_position;
        const char* scan = m_position;
        while (m_consumed < N && *scan != '|' && *scan != '\n' && *scan != '\0') {
            ++scan;
            ++m_consumed;
        }
        std::string field(start, scan);
        // A scan that ran out of the N characters stops without a terminator to step over.
        if (m_consumed >= N || *scan == '\n' || *scan == '\0') {
            m_ended = true;
        } else {
            m_position = scan + 1;
        }
        return field;
    }

private:
    int m_consumed = 0;
    const char* m_position;
    bool m_ended = false;
};

// atoi-style conversion of a field: leading blanks, optional sign, digits up to the first other
// character; no digits gives 0. Never overflows: out-of-range values saturate.
std::int32_t FieldToInt(const std::string& field);

}  // namespace Norik
