// The stream of one LZMA-compressed container entry.
//
// SUn7zFile opens the entry <name> (the stream <name>.t of the container, see CReadBuffer.h) and
// delivers its decoded bytes sequentially. An entry is a 13-byte header - properties byte
// (pb * 5 + lp) * 9 + lc, dictionary size (32 bits), decoded length (64 bits, little-endian) -
// followed by raw LZMA1 data, decoded by liblzma as the compressed bytes are pulled from the
// container in blocks of 65,536.
//
// Only Open and Read do anything. Write writes nothing (0) and Close does nothing (kOk); ReadLine,
// ReadUInt and WriteLine do nothing and say so (1, kFail, kFail), so that a line or number loop
// over an entry ends and no caller takes a write for done.
//
// Failures:
// - the container or the stream cannot be opened: Open returns its code, nothing is reported;
// - fewer than 5 header bytes, or a failing read of them: reported ("SUn7zFile::Open"), returned;
// - the stream ends within header bytes 5-12: Open throws std::runtime_error
//   "ошибка при чтении файла" (Windows-1251);
// - properties byte 225 or above: Open throws std::logic_error "property error";
// - an entry that cannot be decoded within bounds - a decoded length of 2 GiB or more (the
//   unknown-length marker among them), lc + lp above 4 - is refused: kStgDocfileCorrupt; a
//   decoded length above kMaxDocumentTextBytes (BaseLimits.h) is refused with kDataTooLarge.
//   A refusal sets damage() naming the entry and writes it to the error log with the container;
//   a dictionary size of 0 is taken as the decoded length, one below 4,096 is raised to 4,096,
//   and one larger than the decoded length, or than 16,384 times the compressed size, is cut
//   to it (the decoder never looks further back than the text it has produced, and LZMA cannot
//   expand one byte to more than about 7,000);
// - the dictionary cannot be allocated: std::bad_alloc leaves Open.
// After any failed or throwing Open, Read delivers nothing. Damaged or truncated compressed data
// and failing container reads end the entry: the Read that meets them still delivers the bytes
// it decoded before, every later Read returns 0. Failing container reads are reported by
// CReadBuffer::ReadCompressed.
//
// Whole entries. The decoder is told the stated length and must find the end of the compressed
// data exactly there (an end marker or a finished range coder), with no compressed byte left
// over. whole() says whether the entry ended so; an entry that ended otherwise - damaged data,
// data that ends before the stated length or goes on past it (a length field that was cut), bytes
// left over - has damage() describing it, and that is written once to the error log naming the
// container. Both are settled by the Read that delivers the last byte (or the first Read, for an
// entry of length 0).
//
// Ownership: the reader owns the decoder and, through its CReadBuffer, the container until it is
// destroyed or reopened. One thread at a time.
#pragma once

#include <lzma.h>

#include <cstdint>
#include <string>
#include <utility>

#include "Helpers/CReadBuffer.h"
#include "Helpers/SFile.h"

namespace Norik {

class SUn7zFile : public SFile {
public:
    SUn7zFile() = default;
    // A reader of the container at containerPath (see CReadBuffer), for a thread of its own.
    explicit SUn7zFile(std::string containerPath) : m_buffer(std::move(containerPath)) {}
    // A reader of container, already open (see CReadBuffer).
    SUn7zFile(std::string containerPath, std::shared_ptr<CompoundFile> container)
        : m_buffer(std::move(containerPath), std::move(container)) {}
    ~SUn7zFile() override;
    SUn7zFile(const SUn7zFile&) = delete;
    SUn7zFile& operator=(const SUn7zFile&) = delete;

    // Opens the entry name; mode and binary are ignored.
    HResult Open(const std::string& name, int mode, bool binary) override;
    // Up to count decoded bytes; 0 at the end of the entry and after a failure.
    int Read(void* buffer, int count) override;
    int Write(const void* buffer, int count) override;
    int ReadLine(char* buffer, int size) override;
    HResult WriteLine(const char* text) override;
    HResult Close() override;
    HResult ReadUInt(std::int32_t& value) override;

    // The decoded length from the header and the bytes delivered so far.
    std::uint32_t length() const { return m_length; }
    std::uint32_t delivered() const { return m_delivered; }
    // True once the entry has been delivered whole (see the contract above).
    bool whole() const { return m_whole; }
    // What ended the entry short of whole ("entry 000029.t: the compressed data goes on past its
    // stated length of 1200 bytes"), or why Open refused its header; empty while reading and for
    // a whole entry.
    const std::string& damage() const { return m_damage; }

private:
    void EndDecoder();
    // Decodes up to wanted bytes into out; returns how many it produced.
    std::size_t Decode(std::uint8_t* out, std::size_t wanted);
    std::size_t Produced(std::size_t wanted) const { return wanted - m_lzma.avail_out; }
    // How the decoding of an entry ended: at the end of the compressed data (whole when that lies
    // at the stated length with nothing left over), at damage, at input that ran out, or at a
    // failing container read.
    enum class EndKind { EndOfData, Damaged, EndedEarly, Unreadable };
    void End(std::size_t producedNow, EndKind kind);
    // Refuses the entry name at Open: notes and reports problem, returns code.
    HResult Refuse(const std::string& name, HResult code, const std::string& problem);

    std::uint32_t m_length = 0;
    std::uint32_t m_delivered = 0;
    CReadBuffer m_buffer;
    lzma_stream m_lzma = LZMA_STREAM_INIT;
    bool m_decoderReady = false;
    bool m_finished = true;     // nothing more will be delivered
    bool m_inputEnded = false;  // the container stream has no more compressed bytes
    bool m_whole = false;
    std::string m_damage;
    std::string m_name;
};

}  // namespace Norik
