#include "Helpers/qt/CRtfFile.h"

#include <algorithm>
#include <climits>

namespace Norik {

CRtfFile::~CRtfFile() {
    if (isOpen()) close();
    m_entry.Close();
}

bool CRtfFile::openEntry(const std::string& name) {
    if (isOpen()) close();
    m_entryName = name;
    m_ended = false;
    m_openCode = m_entry.Open(name, kModeRead, true);
    if (Failed(m_openCode)) return false;
    return open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 CRtfFile::readData(char* data, qint64 maxSize) {
    if (maxSize <= 0) return 0;
    const int count = m_entry.Read(data, static_cast<int>(std::min<qint64>(maxSize, INT_MAX)));
    // The end of the entry, or the end of what damaged data let through.
    if (count <= 0) m_ended = true;
    return std::max(count, 0);
}

bool CRtfFile::atEnd() const { return !isOpen() || m_ended; }

qint64 CRtfFile::writeData(const char*, qint64) { return -1; }

}  // namespace Norik
