#include "Helpers/SUn7zFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <stdexcept>

#include "Helpers/BaseLimits.h"
#include "Helpers/MemoryPages.h"
#include "diagnostics/ErrorLog.h"

namespace Norik {

namespace {

constexpr std::uint32_t kHeaderSize = 13;
constexpr unsigned kPropertiesLimit = 225;  // 9 * 5 * 5
constexpr std::uint32_t kLengthLimit = 0x80000000u;
constexpr std::uint64_t kMaxExpansion = 16384;

// The most of a block backed at once: the dictionary of a real entry (a text of up to a few
// megabytes) whole. A header may state a text and a dictionary of tens of megabytes over a few
// kilobytes that decode to nothing: the rest is backed only as the decoder writes to it.
constexpr std::size_t kMaxPrefault = std::size_t{8} << 20;

// liblzma's memory, with the pages of a large block - the dictionary, as large as the text up to
// the size the entry names - backed at once, up to kMaxPrefault, rather than one fault at a time
// as the text grows.
void* Allocate(void*, std::size_t count, std::size_t size) {
    if (size != 0 && count > SIZE_MAX / size) return nullptr;
    void* block = std::malloc(count * size);
    PrefaultPages(block, std::min(count * size, kMaxPrefault));
    return block;
}

void Release(void*, void* block) { std::free(block); }

const lzma_allocator kAllocator{Allocate, Release, nullptr};

}  // namespace

SUn7zFile::~SUn7zFile() { EndDecoder(); }

void SUn7zFile::EndDecoder() {
    if (m_decoderReady) lzma_end(&m_lzma);
    m_lzma = LZMA_STREAM_INIT;
    m_decoderReady = false;
}

HResult SUn7zFile::Open(const std::string& name, int /*mode*/, bool /*binary*/) {
    EndDecoder();
    m_finished = true;
    m_whole = false;
    m_damage.clear();
    m_inputEnded = false;
    m_length = 0;
    m_delivered = 0;
    if (const HResult code = m_buffer.Open(name); Failed(code)) return code;

    std::uint8_t head[5] = {};
    if (const HResult code = m_buffer.ReadFile(head, sizeof head); Failed(code)) {
        return NORIK_REPORT(code, "SUn7zFile::Open");
    }
    std::uint32_t length = 0;
    for (int i = 0; i < 4; ++i) length += static_cast<std::uint32_t>(m_buffer.ReadByte()) << (8 * i);
    std::uint32_t lengthHigh = 0;
    for (int i = 0; i < 4; ++i) lengthHigh += static_cast<std::uint32_t>(m_buffer.ReadByte()) << (8 * i);

    const unsigned properties = head[0];
    if (properties >= kPropertiesLimit) throw std::logic_error("property error");
    const unsigned pb = properties / 45;
    const unsigned lp = (properties % 45) / 9;
    const unsigned lc = properties % 9;
    std::uint32_t dictionary = 0;
    for (int i = 0; i < 4; ++i) dictionary += static_cast<std::uint32_t>(head[1 + i]) << (8 * i);

    // The remaining count is a signed 32-bit value: a length of 2 GiB or more (a non-zero high
    // half, the all-ones marker of an unknown length) would let Read decode without bound.
    if (lengthHigh != 0 || length >= kLengthLimit)
        return Refuse(name, kStgDocfileCorrupt, "states a length of 2 GiB or more");
    // A text past the bound would be held whole, and built into a document many times its size.
    if (length > kMaxDocumentTextBytes) {
        return Refuse(name, kDataTooLarge,
                      "states a text of " + std::to_string(length) + " bytes, more than the " +
                          std::to_string(kMaxDocumentTextBytes) + " a document may have");
    }
    // liblzma decodes lc + lp up to 4; standard encoders never write more.
    if (lc + lp > LZMA_LCLP_MAX) {
        return Refuse(name, kStgDocfileCorrupt,
                      "has LZMA properties out of range (lc " + std::to_string(lc) + " + lp " + std::to_string(lp) +
                          " is above " + std::to_string(LZMA_LCLP_MAX) + ")");
    }

    // A match never reaches further back than the text decoded so far, so a dictionary larger
    // than the entry is never used: cutting it keeps a hostile header from claiming 4 GiB. A
    // dictionary size of 0 says nothing; the whole entry as dictionary decodes whatever it holds.
    if (dictionary == 0) dictionary = length;
    dictionary = std::min(dictionary, length);
    // Nor can the text outgrow what its compressed bytes encode: every range-coder decision costs
    // at least 0.022 bits, so one compressed byte yields at most about 7,000 bytes (the longest
    // match, 273 bytes, takes 14 decisions). Twice that bound keeps a short hostile entry from
    // claiming a 2 GiB window.
    const std::uint64_t compressed = m_buffer.streamSize() > kHeaderSize ? m_buffer.streamSize() - kHeaderSize : 0;
    dictionary = static_cast<std::uint32_t>(std::min<std::uint64_t>(dictionary, compressed * kMaxExpansion));
    dictionary = std::max<std::uint32_t>(LZMA_DICT_SIZE_MIN, dictionary);

    // The decoder is told the stated length, so that it ends there and checks that the data ends
    // there too: at an end marker, or with the range coder finished. Data that goes on after the
    // stated length is damage, not a shorter text.
    lzma_options_lzma options{};
    options.dict_size = dictionary;
    options.lc = lc;
    options.lp = lp;
    options.pb = pb;
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(options, length);
    const lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    m_lzma.allocator = &kAllocator;
    const lzma_ret started = lzma_raw_decoder(&m_lzma, filters);
    if (started == LZMA_MEM_ERROR) throw std::bad_alloc();
    if (started != LZMA_OK) return Refuse(name, kStgDocfileCorrupt, "has LZMA properties the decoder refuses");
    m_decoderReady = true;
    m_length = length;
    m_finished = false;
    m_name = name;
    return kOk;
}

int SUn7zFile::Read(void* buffer, int count) {
    if (count <= 0 || m_finished || !m_decoderReady) return 0;
    const auto remaining = static_cast<std::int32_t>(m_length - m_delivered);
    std::size_t produced = 0;
    if (remaining > 0) produced = Decode(static_cast<std::uint8_t*>(buffer), std::min(remaining, count));
    // With the stated length delivered, the decoder must be at the end of the data: one more call
    // (which cannot produce a byte past the stated length) lets it say whether it is.
    if (!m_finished && m_delivered == m_length) {
        std::uint8_t spare = 0;
        Decode(&spare, 1);
    }
    return static_cast<int>(produced);
}

std::size_t SUn7zFile::Decode(std::uint8_t* out, std::size_t wanted) {
    m_lzma.next_out = out;
    m_lzma.avail_out = wanted;
    while (m_lzma.avail_out > 0) {
        if (m_lzma.avail_in == 0 && !m_inputEnded) {
            const std::uint8_t* start = nullptr;
            std::size_t size = 0;
            if (Failed(m_buffer.ReadCompressed(start, size))) {
                End(Produced(wanted), EndKind::Unreadable);
                break;
            }
            m_lzma.next_in = start;
            m_lzma.avail_in = size;
            m_inputEnded = size == 0;
        }
        const std::size_t inBefore = m_lzma.avail_in;
        const std::size_t outBefore = m_lzma.avail_out;
        const lzma_ret status = lzma_code(&m_lzma, LZMA_RUN);
        if (status == LZMA_STREAM_END) {
            End(Produced(wanted), EndKind::EndOfData);
            break;
        }
        // Damaged data, data that goes on past the stated length, or input that ran out before
        // the text did: the entry ends here, after the bytes this call has decoded so far.
        if (status != LZMA_OK) {
            End(Produced(wanted), EndKind::Damaged);
            break;
        }
        if (m_inputEnded && m_lzma.avail_in == inBefore && m_lzma.avail_out == outBefore) {
            End(Produced(wanted), EndKind::EndedEarly);
            break;
        }
    }
    const std::size_t produced = Produced(wanted);
    m_delivered += static_cast<std::uint32_t>(produced);
    return produced;
}

HResult SUn7zFile::Refuse(const std::string& name, HResult code, const std::string& problem) {
    m_damage = "entry " + name + ".t " + problem;
    return NORIK_REPORT_DAMAGE(code, "SUn7zFile::Open", m_buffer.containerPath(), m_damage);
}

void SUn7zFile::End(std::size_t producedNow, EndKind kind) {
    m_finished = true;
    const std::uint64_t delivered = std::uint64_t{m_delivered} + producedNow;
    const std::string stated = std::to_string(m_length);
    const std::string after = " after " + std::to_string(delivered) + " of its stated " + stated + " bytes";
    if (kind == EndKind::EndOfData && delivered != m_length) kind = EndKind::EndedEarly;
    std::string problem;
    switch (kind) {
        case EndKind::EndOfData:
            if (m_lzma.avail_in > 0 || !m_buffer.atStreamEnd())
                problem = "compressed bytes are left over after its stated length of " + stated + " bytes";
            break;
        case EndKind::Damaged:
            // At the stated length, the data that does not end there is a text longer than stated.
            problem = delivered == m_length
                          ? "the compressed data goes on past its stated length of " + stated + " bytes"
                          : "the compressed data is damaged" + after;
            break;
        case EndKind::EndedEarly:
            problem = "the compressed data ends" + after;
            break;
        case EndKind::Unreadable:
            problem = "the container cannot be read" + after;
            break;
    }
    if (problem.empty()) {
        m_whole = true;
        return;
    }
    m_damage = "entry " + m_name + ".t: " + problem;
    NORIK_REPORT_DAMAGE(kDataDamaged, "SUn7zFile::Read", m_buffer.containerPath(), m_damage);
}

int SUn7zFile::Write(const void* /*buffer*/, int /*count*/) { return 0; }

int SUn7zFile::ReadLine(char* /*buffer*/, int /*size*/) { return 1; }

HResult SUn7zFile::WriteLine(const char* /*text*/) { return kFail; }

HResult SUn7zFile::Close() { return kOk; }

HResult SUn7zFile::ReadUInt(std::int32_t& /*value*/) { return kFail; }

}  // namespace Norik
