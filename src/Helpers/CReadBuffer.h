// The buffered reader of one container entry.
//
// CReadBuffer opens the container GetDataFolder() + "Norik.sdb" afresh on every Open and then the
// stream entry name + ".t" in its root storage, so a container that appears or is replaced later
// is found. It reads the entry exactly (ReadFile), byte by byte (ReadByte) and in blocks of up to
// 65,536 bytes into its own buffer for the LZMA decoder (ReadCompressed).
//
// Ownership: the reader holds the open container and the open stream until it is reopened or
// destroyed. One thread uses a reader; readers are independent of each other.
//
// Failures: Open returns the container's code (kStgFileNotFound for a missing container or
// stream) and reports nothing; ReadFile and ReadCompressed report a failing stream read to the
// error log ("CReadBuffer::ReadFile", "CReadBuffer::ReadCompressed"); ReadFile returns kFail,
// unreported, for a short read; ReadByte throws std::runtime_error "ошибка при чтении файла"
// (Windows-1251) when no byte can be read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "Helpers/CompoundFile.h"
#include "common/ResultCode.h"

namespace Norik {

class CReadBuffer {
public:
    static constexpr std::size_t kBufferSize = 65536;

    CReadBuffer() = default;
    // A reader of the container at containerPath instead: the path is not looked up, so the
    // reader may be used on any thread.
    explicit CReadBuffer(std::string containerPath) : m_fixedContainer(std::move(containerPath)) {}
    // A reader of container, already open, at containerPath (for messages): one that reads many
    // entries reads the container's tables once. The container is not to be shared between threads.
    CReadBuffer(std::string containerPath, std::shared_ptr<CompoundFile> container)
        : m_fixedContainer(std::move(containerPath)), m_openContainer(std::move(container)) {}
    ~CReadBuffer();
    CReadBuffer(const CReadBuffer&) = delete;
    CReadBuffer& operator=(const CReadBuffer&) = delete;

    // Opens the stream entryName + ".t" (entryName in Windows-1251).
    HResult Open(const std::string& entryName);
    // Reads exactly count bytes.
    HResult ReadFile(void* buffer, std::size_t count);
    // Reads one byte; throws std::runtime_error when there is none.
    std::uint8_t ReadByte();
    // Refills the buffer with up to kBufferSize bytes: start points at the buffer, size is the
    // number of bytes delivered (0 at the end of the stream). On failure size is left unchanged.
    HResult ReadCompressed(const std::uint8_t*& start, std::size_t& size);

    // Releases the stream and the container.
    void Release();
    bool isOpen() const { return m_stream != nullptr; }
    // The size of the open stream in bytes (0 when none is open).
    std::uint64_t streamSize() const { return m_stream ? m_stream->size() : 0; }
    // True when every byte of the open stream has been read (or none is open).
    bool atStreamEnd() const { return !m_stream || m_stream->position() >= m_stream->size(); }
    // The container of the last Open: GetDataFolder() + "Norik.sdb".
    const std::string& containerPath() const { return m_containerPath; }

private:
    std::array<std::uint8_t, kBufferSize> m_buffer{};
    std::unique_ptr<CompoundStream> m_stream;
    std::shared_ptr<CompoundFile> m_storage;
    std::string m_containerPath;
    std::string m_fixedContainer;
    std::shared_ptr<CompoundFile> m_openContainer;
};

// The UTF-16 stream name of an entry: each Windows-1251 byte of entryName, then ".t".
std::u16string EntryStreamName(const std::string& entryName);

}  // namespace Norik
