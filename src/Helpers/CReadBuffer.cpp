#include "Helpers/CReadBuffer.h"

#include <stdexcept>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "diagnostics/ErrorLog.h"

namespace Norik {

std::u16string EntryStreamName(const std::string& entryName) {
    std::u16string name;
    name.reserve(entryName.size() + 2);
    for (const char byte : entryName) {
        name.push_back(static_cast<char16_t>(Cp1251ToUnicode(static_cast<unsigned char>(byte))));
    }
    name += u".t";
    return name;
}

CReadBuffer::~CReadBuffer() { Release(); }

void CReadBuffer::Release() {
    // The stream holds the container too; drop it first.
    m_stream.reset();
    m_storage.reset();
}

HResult CReadBuffer::Open(const std::string& entryName) {
    m_containerPath = m_fixedContainer.empty() ? GetDataFolder() + "Norik.sdb" : m_fixedContainer;
    const std::u16string streamName = EntryStreamName(entryName);
    Release();
    if (m_openContainer) {
        m_storage = m_openContainer;
    } else if (const HResult code = CompoundFile::Open(m_containerPath, m_storage); Failed(code)) {
        return code;
    }
    if (const HResult code = m_storage->OpenStream(streamName, m_stream); Failed(code)) return code;
    return kOk;
}

HResult CReadBuffer::ReadFile(void* buffer, std::size_t count) {
    if (!m_stream) return kFail;
    std::size_t delivered = 0;
    const HResult code = m_stream->Read(buffer, count, delivered);
    if (Failed(code)) return NORIK_REPORT(code, "CReadBuffer::ReadFile");
    return delivered < count ? kFail : kOk;
}

std::uint8_t CReadBuffer::ReadByte() {
    std::uint8_t byte = 0;
    std::size_t delivered = 0;
    if (!m_stream || Failed(m_stream->Read(&byte, 1, delivered)) || delivered != 1) {
        throw std::runtime_error(Utf8ToCp1251("ошибка при чтении файла"));
    }
    return byte;
}

HResult CReadBuffer::ReadCompressed(const std::uint8_t*& start, std::size_t& size) {
    start = m_buffer.data();
    if (!m_stream) return NORIK_REPORT(kFail, "CReadBuffer::ReadCompressed");
    std::size_t delivered = 0;
    const HResult code = m_stream->Read(m_buffer.data(), m_buffer.size(), delivered);
    if (Failed(code)) return NORIK_REPORT(code, "CReadBuffer::ReadCompressed");
    size = delivered;
    return kOk;
}

}  // namespace Norik
