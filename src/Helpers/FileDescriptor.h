// An open file descriptor owned by one object, and writing a buffer whole to a descriptor.
//
// FileDescriptor closes what it holds when it goes, ignoring the result: a file written to is
// closed with Close, which reports a failure (data that did not reach the file). Move-only. Any
// thread; one object belongs to one thread at a time.
#pragma once

#include <cstddef>

namespace Norik {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // Closes the descriptor held, if any, and takes fd.
    void reset(int fd = -1);
    // Closes the descriptor now; false when the close reports an error (data not written).
    bool Close();

private:
    int m_fd = -1;
};

// Writes size bytes of data to fd, going on after interruptions and short writes; false (errno
// set) when the system refuses a write.
bool WriteAll(int fd, const void* data, std::size_t size);
// Reads exactly size bytes from fd into data, going on after interruptions and short reads; false
// when the file ends first or the system refuses a read.
bool ReadAll(int fd, void* data, std::size_t size);

}  // namespace Norik
