// The in-memory index: loading, saving and the lookups.
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <istream>
#include <limits>
#include <ostream>

#include "Helpers/MemoryPages.h"
#include "Helpers/SFile.h"
#include "diagnostics/ErrorLog.h"
#include "index/DocBitmap.h"
#include "index/IndexSpace.h"

namespace IndexSpace::IndexImpl {

namespace {

constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kEntryHeadBytes = 10;  // key + list length
// Files are written in chunks of about a megabyte, and read in smaller ones: a read buffer is
// memory touched for the first time, which costs a page fault for every page.
constexpr std::size_t kReadChunk = 1 << 20;
constexpr std::size_t kLoadChunk = 1 << 17;
// The most entries and list items reserved up front, whatever the file announces; beyond them the
// arrays grow as entries really arrive. A file's size does not prove its bytes are there: a
// sparse file of gigabytes takes a few kilobytes of disk, and reads as zeros.
constexpr std::size_t kMostReservedEntries = std::size_t{1} << 20;
constexpr std::size_t kMostReservedPostings = std::size_t{1} << 23;

std::uint32_t ReadLe32(const unsigned char* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::uint64_t ReadLe64(const unsigned char* bytes) {
    return static_cast<std::uint64_t>(ReadLe32(bytes)) | static_cast<std::uint64_t>(ReadLe32(bytes + 4)) << 32;
}

void PutLe(unsigned char* out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

// Backs an array's reserved storage with pages at once (see MemoryPages.h): a word index fills
// megabytes, whose pages touched one by one would cost more than reading the file.
template <class T>
void PrefaultStorage(std::vector<T>& array) {
    Norik::PrefaultPages(array.data(), array.capacity() * sizeof(T));
}

void FixListByteOrder(DocNumber* docs, std::size_t count) {
    if constexpr (std::endian::native == std::endian::big) {
        for (std::size_t i = 0; i < count; ++i) {
            const auto bits = static_cast<std::uint16_t>(docs[i]);
            docs[i] = static_cast<DocNumber>(static_cast<std::uint16_t>(bits << 8 | bits >> 8));
        }
    } else {
        (void)docs;
        (void)count;
    }
}

}  // namespace

// The index file as the loader sees it: a source of bytes that may know how many are left.
class IndexInt::Source {
public:
    virtual ~Source() = default;
    // Reads up to count bytes; the number read, 0 at the end of the data or on failure.
    virtual std::size_t ReadSome(void* buffer, std::size_t count) = 0;
    // Bytes left from the current position, or -1 when that cannot be told.
    virtual std::int64_t Remaining() = 0;
    // How the error log names the data: the file's path where it is known.
    virtual std::string Name() const = 0;
};

namespace {

class SFileSource final : public IndexInt::Source {
public:
    explicit SFileSource(Norik::SFile& stream) : m_stream(stream) {}

    std::size_t ReadSome(void* buffer, std::size_t count) override {
        const int asked = static_cast<int>(std::min<std::size_t>(count, std::numeric_limits<int>::max()));
        const int read = m_stream.Read(buffer, asked);
        return read > 0 ? static_cast<std::size_t>(read) : 0;
    }

    std::int64_t Remaining() override {
        auto* plain = dynamic_cast<Norik::SFileStream*>(&m_stream);
        if (!plain || !plain->handle()) return -1;
        std::FILE* file = plain->handle();
        struct stat info {};
        if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
        const long position = std::ftell(file);
        if (position < 0 || position > info.st_size) return -1;
        return static_cast<std::int64_t>(info.st_size) - position;
    }

    std::string Name() const override {
        const auto* plain = dynamic_cast<const Norik::SFileStream*>(&m_stream);
        return plain ? plain->path() : std::string("(index stream)");
    }

private:
    Norik::SFile& m_stream;
};

class StdStreamSource final : public IndexInt::Source {
public:
    explicit StdStreamSource(std::istream& stream) : m_stream(stream) {}

    std::size_t ReadSome(void* buffer, std::size_t count) override {
        if (!m_stream) return 0;
        m_stream.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(m_stream.gcount());
    }

    std::int64_t Remaining() override {
        const std::istream::pos_type position = m_stream.tellg();
        if (position == std::istream::pos_type(-1)) {
            m_stream.clear(m_stream.rdstate() & ~std::ios::failbit);
            return -1;
        }
        m_stream.seekg(0, std::ios::end);
        const std::istream::pos_type end = m_stream.tellg();
        m_stream.seekg(position);
        if (end == std::istream::pos_type(-1) || !m_stream) {
            m_stream.clear();
            m_stream.seekg(position);
            return -1;
        }
        return static_cast<std::int64_t>(end - position);
    }

    std::string Name() const override { return "(index stream)"; }

private:
    std::istream& m_stream;
};

// Reads exact byte counts from a source through one large buffer, never asking the source for
// more than it is known to hold (a read past the end of a file would count as a failure).
class BufferedReader {
public:
    explicit BufferedReader(IndexInt::Source& source) : m_source(source), m_known(source.Remaining()) {
        // A small file needs no more buffer than its own size.
        std::size_t size = kLoadChunk;
        if (m_known >= 0 && m_known < static_cast<std::int64_t>(size)) size = static_cast<std::size_t>(m_known) + 1;
        m_buffer.resize(size);
    }

    // Bytes known to be left (buffered + unread), or -1.
    std::int64_t Remaining() const {
        return m_known < 0 ? -1 : m_known + static_cast<std::int64_t>(m_end - m_position);
    }

    // Copies exactly count bytes to out; false (with an unspecified part of out filled) when the
    // data ends first.
    bool Read(void* out, std::size_t count) {
        auto* target = static_cast<unsigned char*>(out);
        while (count > 0) {
            if (m_position == m_end && !Refill()) return false;
            const std::size_t take = std::min(count, m_end - m_position);
            std::memcpy(target, m_buffer.data() + m_position, take);
            m_position += take;
            target += take;
            count -= take;
        }
        return true;
    }

private:
    bool Refill() {
        std::size_t want = m_buffer.size();
        if (m_known >= 0) {
            if (m_known == 0) return false;
            want = static_cast<std::size_t>(std::min<std::int64_t>(m_known, static_cast<std::int64_t>(want)));
        }
        const std::size_t got = m_source.ReadSome(m_buffer.data(), want);
        if (got == 0) {
            m_known = 0;
            return false;
        }
        if (m_known >= 0) m_known -= static_cast<std::int64_t>(got);
        m_position = 0;
        m_end = got;
        return true;
    }

    IndexInt::Source& m_source;
    std::int64_t m_known = -1;
    std::vector<unsigned char> m_buffer;
    std::size_t m_position = 0;
    std::size_t m_end = 0;
};

}  // namespace

void IndexInt::Load(Norik::SFile& stream) {
    SFileSource source(stream);
    LoadFrom(source);
}

void IndexInt::LoadStream(std::istream& stream) {
    StdStreamSource source(stream);
    LoadFrom(source);
}

void IndexInt::LoadFrom(Source& source) {
    // Loading replaces what the index held.
    std::vector<IndexKey>().swap(m_keys);
    std::vector<std::uint32_t>{0}.swap(m_starts);
    std::vector<DocNumber>().swap(m_postings);
    m_total = 0;
    m_damage.clear();
    m_damageKind = Norik::DamageKind::Damaged;

    BufferedReader reader(source);
    const std::int64_t available = reader.Remaining();
    unsigned char head[kEntryHeadBytes];
    if (!reader.Read(head, kHeaderBytes)) {
        m_damage = "is shorter than its 4-byte entry count";
        m_damageKind = Norik::DamageKind::Cut;
        NORIK_REPORT_DAMAGE(Norik::kDataDamaged, "IndexSpace::IndexImpl::IndexInt::Load", source.Name(), m_damage);
        return;
    }
    const std::uint32_t declared = ReadLe32(head);

    // The count in the file is not trusted: reserve no more entries than the rest of the data could
    // hold, and for the lists no more than the bytes the entries leave; and never more than the
    // fixed bounds above.
    std::size_t entryRoom = std::min<std::size_t>(declared, kMostReservedEntries);
    std::size_t postingRoom = entryRoom * 8;
    if (available >= 0) {
        const auto body = static_cast<std::uint64_t>(available) - kHeaderBytes;
        entryRoom = static_cast<std::size_t>(std::min<std::uint64_t>(entryRoom, body / kEntryHeadBytes));
        postingRoom = static_cast<std::size_t>((body - entryRoom * kEntryHeadBytes) / sizeof(DocNumber));
    }
    postingRoom = std::min(postingRoom, kMostReservedPostings);
    m_keys.reserve(entryRoom);
    m_starts.reserve(entryRoom + 1);
    m_postings.reserve(postingRoom);
    PrefaultStorage(m_keys);
    PrefaultStorage(m_starts);
    PrefaultStorage(m_postings);

    // Every kind of damage found, described by its first place; one error-log entry names them all.
    std::string cut;
    std::string keysOutOfOrder;
    std::string listsRepaired;
    const std::string ofDeclared = " of " + std::to_string(declared);
    for (std::uint32_t entry = 0; entry < declared; ++entry) {
        if (!reader.Read(head, kEntryHeadBytes)) {
            cut = "ends inside entry " + std::to_string(entry + 1) + ofDeclared;
            m_damageKind = Norik::DamageKind::Cut;
            break;
        }
        const auto key = static_cast<IndexKey>(ReadLe64(head));
        const auto length = static_cast<std::int16_t>(static_cast<std::uint16_t>(head[8] | head[9] << 8));
        if (length < 0 ||
            m_postings.size() + static_cast<std::size_t>(length) > std::numeric_limits<std::uint32_t>::max()) {
            cut = "entry " + std::to_string(entry + 1) + ofDeclared + " has a list length of " + std::to_string(length);
            break;
        }
        if (EndsTheEntries(!m_keys.empty(), m_keys.empty() ? 0 : m_keys.back(), key, length)) {
            cut = "entry " + std::to_string(entry + 1) + ofDeclared + " repeats an earlier key without documents";
            break;
        }
        const std::size_t start = m_postings.size();
        m_postings.resize(start + static_cast<std::size_t>(length));
        if (!reader.Read(m_postings.data() + start, static_cast<std::size_t>(length) * sizeof(DocNumber))) {
            m_postings.resize(start);
            cut = "ends inside the list of entry " + std::to_string(entry + 1) + ofDeclared;
            m_damageKind = Norik::DamageKind::Cut;
            break;
        }
        DocNumber* list = m_postings.data() + start;
        FixListByteOrder(list, static_cast<std::size_t>(length));
        // Every set operation relies on ascending lists without duplicates; a damaged list is put
        // in order rather than allowed to produce unordered results.
        if (std::adjacent_find(list, list + length, [](DocNumber a, DocNumber b) { return a >= b; }) != list + length) {
            std::sort(list, list + length);
            m_postings.resize(static_cast<std::size_t>(std::unique(list, list + length) - m_postings.data()));
            if (listsRepaired.empty())
                listsRepaired = "the list of entry " + std::to_string(entry + 1) + " is out of order";
        }
        if (!m_keys.empty() && key <= m_keys.back() && keysOutOfOrder.empty())
            keysOutOfOrder = "keys are out of order from entry " + std::to_string(entry + 1);
        m_keys.push_back(key);
        m_starts.push_back(static_cast<std::uint32_t>(m_postings.size()));
        m_total += length;
    }
    // Bytes after the last announced entry mean a count that is too small: entries are missing.
    if (cut.empty()) {
        const std::int64_t left = reader.Remaining();
        unsigned char probe = 0;
        if (left > 0)
            cut = std::to_string(left) + " bytes follow its " + std::to_string(declared) + " entries";
        else if (left < 0 && reader.Read(&probe, 1))
            cut = "data follows its " + std::to_string(declared) + " entries";
    }
    if (m_postings.capacity() > m_postings.size() + m_postings.size() / 4 + 1024) m_postings.shrink_to_fit();
    if (m_keys.capacity() > m_keys.size() + m_keys.size() / 4 + 1024) {
        m_keys.shrink_to_fit();
        m_starts.shrink_to_fit();
    }

    // Lookups stay safe on keys out of order, but may miss keys; the file needs rebuilding.
    for (const std::string* part : {&cut, &keysOutOfOrder, &listsRepaired}) {
        if (part->empty()) continue;
        if (!m_damage.empty()) m_damage += "; ";
        m_damage += *part;
    }
    if (!m_damage.empty())
        NORIK_REPORT_DAMAGE(Norik::kDataDamaged, "IndexSpace::IndexImpl::IndexInt::Load", source.Name(), m_damage);
}

namespace {

// Encodes index in the file format, handing the bytes to emit in chunks of about a megabyte.
template <class Emit>
void EncodeIndex(const IndexInt& index, Emit&& emit) {
    std::vector<unsigned char> buffer;
    buffer.reserve(kReadChunk + kEntryHeadBytes + sizeof(DocNumber) * IndexInt::kMaxListLength);
    unsigned char head[kEntryHeadBytes];
    PutLe(head, static_cast<std::uint32_t>(index.EntryCount()), 4);
    buffer.insert(buffer.end(), head, head + kHeaderBytes);
    for (std::size_t entry = 0; entry < index.EntryCount(); ++entry) {
        const std::span<const DocNumber> list = index.ListAt(entry);
        PutLe(head, static_cast<std::uint64_t>(index.KeyAt(entry)), 8);
        PutLe(head + 8, list.size(), 2);
        buffer.insert(buffer.end(), head, head + kEntryHeadBytes);
        for (const DocNumber doc : list) {
            const auto bits = static_cast<std::uint16_t>(doc);
            buffer.push_back(static_cast<unsigned char>(bits));
            buffer.push_back(static_cast<unsigned char>(bits >> 8));
        }
        if (buffer.size() >= kReadChunk) {
            emit(buffer);
            buffer.clear();
        }
    }
    if (!buffer.empty()) emit(buffer);
}

}  // namespace

void IndexInt::Save(std::ostream& stream) {
    EncodeIndex(*this, [&](const std::vector<unsigned char>& bytes) {
        stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    });
}

Norik::HResult IndexInt::WriteFile(const std::string& path) const {
    Norik::SFileStream file;
    const Norik::HResult opened = file.Open(path, Norik::kModeWrite, true);
    if (Norik::Failed(opened)) return opened;  // reported by the stream
    Norik::HResult result = Norik::kOk;
    EncodeIndex(*this, [&](const std::vector<unsigned char>& bytes) {
        if (Norik::Failed(result)) return;
        const int written = file.Write(bytes.data(), static_cast<int>(bytes.size()));
        if (written < 0) {
            result = written;  // reported by the stream
        } else if (static_cast<std::size_t>(written) != bytes.size()) {
            result = NORIK_REPORT(Norik::kFail, "IndexSpace::IndexImpl::IndexInt::WriteFile");
        }
    });
    const Norik::HResult closed = file.Close();
    if (Norik::Succeeded(result) && Norik::Failed(closed)) result = closed;
    return result;
}

std::pair<std::size_t, std::size_t> IndexInt::RangeOf(IndexKey low, IndexKey high) const {
    // Plain binary searches rather than std::lower_bound: a damaged file may hold keys out of
    // order, and these stay within the array whatever the order.
    auto firstNotBelow = [&](IndexKey key) {
        std::size_t lo = 0, hi = m_keys.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (m_keys[mid] < key)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    auto firstAbove = [&](IndexKey key) {
        std::size_t lo = 0, hi = m_keys.size();
        while (lo < hi) {
            const std::size_t mid = lo + (hi - lo) / 2;
            if (m_keys[mid] <= key)
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    if (low > high) return {0, 0};
    const std::size_t first = firstNotBelow(low);
    const std::size_t last = firstAbove(high);
    if (last <= first) return {0, 0};
    return {first, last};
}

std::span<const DocNumber> IndexInt::ListAt(std::size_t entry) const {
    return {m_postings.data() + m_starts[entry], m_postings.data() + m_starts[entry + 1]};
}

DocNumberList IndexInt::Find(IndexKey key) {
    const auto [first, last] = RangeOf(key, key);
    // On keys out of order the search may land on another key: that is not this key's list.
    if (first == last || m_keys[first] != key) throw Value_Not_Found{};
    const std::span<const DocNumber> list = ListAt(first);
    return DocNumberList(list.begin(), list.end());
}

DocNumberList IndexInt::FindRange(IndexKey low, IndexKey high) {
    const auto [first, last] = RangeOf(low, high);
    if (first == last) throw Value_Not_Found{};
    if (last - first == 1) {
        const std::span<const DocNumber> list = ListAt(first);
        return DocNumberList(list.begin(), list.end());
    }
    if (last - first == 2) {
        // Two lists: one merge is as cheap as it gets.
        const std::span<const DocNumber> a = ListAt(first);
        const std::span<const DocNumber> b = ListAt(first + 1);
        DocNumberList result;
        result.reserve(a.size() + b.size());
        std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(result));
        return result;
    }
    // Many lists: mark every posting once, then read the marks in order. Linear in the postings,
    // where merging each list into the growing result would cost their number times the result.
    Norik::DocBitmap bits;
    for (std::size_t entry = first; entry < last; ++entry) bits.SetAll(ListAt(entry));
    return bits.ToList();
}

bool IndexInt::CollectRange(IndexKey low, IndexKey high, Norik::DocBitmap& bits) const {
    const auto [first, last] = RangeOf(low, high);
    if (first == last) return false;
    bits.SetAll({m_postings.data() + m_starts[first], m_postings.data() + m_starts[last]});
    return true;
}

std::int32_t IndexInt::Count() {
    return static_cast<std::int32_t>(std::min<std::size_t>(m_keys.size(), std::numeric_limits<std::int32_t>::max()));
}

std::uint32_t IndexInt::TotalRefs() { return static_cast<std::uint32_t>(m_total); }

void IndexInt::Clear() {
    std::vector<IndexKey>().swap(m_keys);
    std::vector<std::uint32_t>{0}.swap(m_starts);
    std::vector<DocNumber>().swap(m_postings);
}

Index* IndexInt::GetImpl() { return nullptr; }

bool IndexInt::Append(IndexKey key, std::span<const DocNumber> docs) {
    if (docs.empty() || docs.size() > kMaxListLength) return false;
    if (!m_keys.empty() && key <= m_keys.back()) return false;
    for (std::size_t i = 1; i < docs.size(); ++i)
        if (docs[i - 1] >= docs[i]) return false;
    if (m_postings.size() + docs.size() > std::numeric_limits<std::uint32_t>::max()) return false;
    m_keys.push_back(key);
    m_postings.insert(m_postings.end(), docs.begin(), docs.end());
    m_starts.push_back(static_cast<std::uint32_t>(m_postings.size()));
    m_total += static_cast<std::int64_t>(docs.size());
    return true;
}

std::size_t IndexInt::MemoryBytes() const {
    return m_keys.capacity() * sizeof(IndexKey) + m_starts.capacity() * sizeof(std::uint32_t) +
           m_postings.capacity() * sizeof(DocNumber);
}

}  // namespace IndexSpace::IndexImpl
