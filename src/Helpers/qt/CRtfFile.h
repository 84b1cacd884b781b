// The stored text of a document as a Qt device: a read-only sequential QIODevice over one
// container entry (SUn7zFile), through which a document text is read into the text window.
//
// openEntry(name) opens the entry name (a document file name such as "000042") and the device for
// reading, unbuffered, so every read reaches the entry in the size the reader asks for. The length
// is unknown (the device is sequential); a read of 0 bytes returns at once without touching the
// entry; a read at the end of the entry, or after damaged data ends it early, returns 0 (the end).
// Nothing can be written. The container stays open until the device is destroyed.
//
// Failures: openEntry returns false for a missing container or entry (nothing is reported) and
// for a header the entry reader refuses (reported there; openCode() tells kDataTooLarge, a text
// past its bound, from the rest); the entry reader's exceptions for a
// malformed header (std::logic_error, std::runtime_error, std::bad_alloc) pass out of openEntry,
// leaving the device closed.
//
// Threads: one at a time. The device has no signals anyone connects to, so it may be opened on
// one thread and read and destroyed on another.
#pragma once

#include <QIODevice>
#include <QString>
#include <string>

#include "Helpers/SUn7zFile.h"

namespace Norik {

class CRtfFile : public QIODevice {
    Q_OBJECT
public:
    CRtfFile() = default;
    ~CRtfFile() override;

    bool openEntry(const std::string& name);
    // The entry reader's result of the last openEntry (0 when it opened).
    HResult openCode() const { return m_openCode; }
    // The entry name given to openEntry.
    const std::string& entryName() const { return m_entryName; }
    // The decoded length the entry announces, and whether every byte of it has been read.
    qint64 announcedLength() const { return m_entry.length(); }
    bool atWholeEnd() const { return m_entry.delivered() == m_entry.length(); }

    bool isSequential() const override { return true; }
    // True once a read has met the end of the entry (or of what damaged data let through).
    bool atEnd() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 maxSize) override;

private:
    SUn7zFile m_entry;
    std::string m_entryName;
    bool m_ended = false;
    HResult m_openCode = kOk;
};

}  // namespace Norik
