// The index handles: binding to a file, loading on first use, prefix and word lookups, and the
// seven process-wide handles.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "Helpers/BaseLimits.h"
#include "Helpers/FileBytes.h"
#include "Helpers/SFile.h"
#include "diagnostics/ErrorLog.h"
#include "index/DocBitmap.h"
#include "index/IndexCheckMemo.h"
#include "index/IndexSpace.h"
#include "index/IndexView.h"

namespace IndexSpace {

IIndexInt::IIndexInt() : m_impl(std::make_unique<IndexImpl::IndexInt>()) {}

IIndexInt::~IIndexInt() = default;

void IIndexInt::Load(Norik::SFile& stream) {
    DropView();
    m_impl->Load(stream);
}

void IIndexInt::LoadStream(std::istream& stream) {
    DropView();
    m_impl->LoadStream(stream);
}

void IIndexInt::Save(std::ostream& stream) {
    if (m_view) {
        // A file read in place is sound: its bytes are what an encoding of its entries gives.
        const std::span<const unsigned char> bytes = m_view->bytes();
        stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return;
    }
    m_impl->Save(stream);
}

void IIndexInt::Clear() {
    DropView();
    m_impl->Clear();
}

IndexImpl::Index* IIndexInt::GetImpl() {
    // Callers of the implementation get the entries themselves.
    if (m_view) {
        std::istringstream bytes(
            std::string(reinterpret_cast<const char*>(m_view->bytes().data()), m_view->bytes().size()),
            std::ios::binary);
        DropView();
        m_impl->LoadStream(bytes);
    }
    return m_impl.get();
}

void IIndexInt::DropView() {
    m_view.reset();
    m_bytes = {};
    m_stamp = {};
}

bool IIndexInt::ReadInPlace() {
    // A file past the bound of its kind is left to the load, which refuses it and says so.
    const std::uint64_t bound = Norik::MaxBaseFileBytes(std::filesystem::path(m_fileName).filename().string());
    std::optional<Norik::FileBytes> read = Norik::ReadFileBytes(m_fileName, bound);
    if (!read) return false;
    // A file checked once before, and unchanged since, is taken with what that check found.
    auto view = std::make_unique<IndexImpl::IndexView>();
    const std::uint64_t digest = IndexImpl::ContentDigest(read->bytes);
    std::optional<IndexImpl::IndexView::CheckResult> recalled = IndexImpl::RecallCheck(m_fileName, read->stamp, digest);
    if (!recalled || !view->AttachChecked(read->bytes, std::move(*recalled))) {
        if (!view->Attach(read->bytes)) return false;
        IndexImpl::RememberCheck(m_fileName, read->stamp, digest, view->Checked());
    }
    *m_impl = IndexImpl::IndexInt{};
    // Moving the vector keeps its buffer, so the view's bytes stay where they are.
    m_bytes = std::move(read->bytes);
    m_stamp = read->stamp;
    m_view = std::move(view);
    return true;
}

bool IIndexInt::FileChanged() {
    if (!m_view) return false;
    if (const std::optional<Norik::FileStamp> now = Norik::FileStampOf(m_fileName); now && *now == m_stamp)
        return false;
    DropView();
    *m_impl = IndexImpl::IndexInt{};
    const std::string problem = "changed while the base was open (rewritten or replaced); the base must be reopened";
    NORIK_REPORT_DAMAGE(Norik::kDataDamaged, "IndexSpace::IIndexInt::Load", m_fileName, problem);
    m_damage = Norik::DataDamage{m_fileName, problem, Norik::DamageKind::Changed};
    return true;
}

void IIndexInt::EnsureLoaded() {
    // Lookups answer from the bytes read, which cannot change; a file that changed since is told
    // as such rather than answered from its old state next to tables of the new one.
    if (m_loaded) {
        FileChanged();
        return;
    }
    if (ReadInPlace()) {
        m_loaded = true;
        m_damage.reset();
        return;
    }
    Norik::SFileStream stream;
    // A failed open is reported by the stream; the handle stays unloaded and tries again next time.
    if (const Norik::HResult code = stream.Open(m_fileName, Norik::kModeRead, true); Norik::Failed(code)) {
        m_damage = Norik::DataDamage{m_fileName, "cannot be opened: " + Norik::FormatSystemError(code),
                                     Norik::DamageKind::CannotOpen};
        return;
    }
    m_loaded = true;
    // A file larger than any index of its name is not read at all: its size says nothing about
    // the bytes really there (a sparse file), and reading it would cost time in proportion.
    struct stat info {};
    const std::uint64_t bound = Norik::MaxBaseFileBytes(std::filesystem::path(m_fileName).filename().string());
    if (bound > 0 && ::fstat(::fileno(stream.handle()), &info) == 0 &&
        static_cast<std::uint64_t>(info.st_size) > bound) {
        DropView();
        *m_impl = IndexImpl::IndexInt{};
        const std::string problem = "is " + std::to_string(info.st_size) + " bytes, more than the " +
                                    std::to_string(bound) + " an index of its kind can hold";
        NORIK_REPORT_DAMAGE(Norik::kDataTooLarge, "IndexSpace::IIndexInt::Load", m_fileName, problem);
        m_damage = Norik::DataDamage{m_fileName, problem, Norik::DamageKind::TooLarge};
        return;
    }
    Load(stream);
    stream.Close();
    if (m_impl->damage().empty()) {
        m_damage.reset();
    } else {
        m_damage = Norik::DataDamage{m_fileName, m_impl->damage(), m_impl->damageKind()};
    }
}

DocNumberList IIndexInt::FindRange(IndexKey low, IndexKey high) {
    EnsureLoaded();
    return m_view ? m_view->FindRange(low, high) : m_impl->FindRange(low, high);
}

DocNumberList IIndexInt::Find(IndexKey key) {
    EnsureLoaded();
    return m_view ? m_view->Find(key) : m_impl->Find(key);
}

std::int32_t IIndexInt::Count() {
    EnsureLoaded();
    return m_view ? m_view->Count() : m_impl->Count();
}

std::uint32_t IIndexInt::TotalRefs() {
    EnsureLoaded();
    return m_view ? m_view->TotalRefs() : m_impl->TotalRefs();
}

bool IIndexInt::CollectRange(IndexKey low, IndexKey high, Norik::DocBitmap& bits) const {
    return m_view ? m_view->CollectRange(low, high, bits) : m_impl->CollectRange(low, high, bits);
}

std::optional<bool> IIndexInt::HoldsDocument(DocNumber doc) {
    EnsureLoaded();
    if (!m_loaded || m_damage) return std::nullopt;
    if (m_view) return m_view->HoldsDocument(doc);
    for (std::size_t entry = 0; entry < m_impl->EntryCount(); ++entry) {
        const std::span<const DocNumber> list = m_impl->ListAt(entry);
        if (std::binary_search(list.begin(), list.end(), doc)) return true;
    }
    return false;
}

void IIndexInt::SetFile(const std::string& path) {
    m_fileName = path;
    m_loaded = false;
    m_damage.reset();
}

void IIndexInt::SaveToFile(const std::string& path) {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    if (!stream) return;
    Save(stream);
}

DocNumberList IIndexStr::FindPrefix(const std::string& text) {
    const IndexKey low = StrHash(text);
    // A text of code-0 characters only has no range of its own: it would span every key that
    // starts with any of them, so it finds nothing.
    if (low == 0) return {};
    const IndexKey high = StrHash(text + std::string(kPrefixRangeSuffix));
    return FindRange(low, high);
}

DocNumberList IIndexLongStr::FindWords(const std::vector<std::string>& words, bool allWords) {
    // Each word's range is marked straight into a bitmap: the postings of every key under the
    // word's prefix are read once, and a word is combined with the others in one pass over the
    // bitmap rather than by merging lists that grow with each word.
    Norik::DocBitmap result;
    bool resultEmpty = true;
    Norik::DocBitmap docs;
    for (const std::string& word : words) {
        const IndexKey low = WordHash(word);
        if (low == 0) continue;  // stems shorter than three characters yield no key
        const IndexKey high = WordHash(word + std::string(kPrefixRangeSuffix));
        // Each looked-up word is one lookup of this handle: the file is read (or, while it is
        // missing, tried again) here, never for words that give no key.
        EnsureLoaded();
        if (allWords) {
            docs.Reset();
            if (!CollectRange(low, high, docs)) throw Value_Not_Found{};
            if (resultEmpty) {
                result = docs;
                resultEmpty = !result.Any();
            } else if (!result.IntersectWith(docs)) {
                throw Value_Not_Found{};
            }
        } else {
            // A word without an entry is only skipped.
            if (CollectRange(low, high, result)) resultEmpty = false;
        }
    }
    if (resultEmpty || !result.Any()) throw Value_Not_Found{};
    return result.ToList();
}

IIndexLongStr& TextWordIndex() {
    static IIndexLongStr handle;
    return handle;
}

IIndexLongStr& TitleWordIndex() {
    static IIndexLongStr handle;
    return handle;
}

IIndexInt& ClassIndex() {
    static IIndexInt handle;
    return handle;
}

IIndexStr& TypeIndex() {
    static IIndexStr handle;
    return handle;
}

IIndexStr& NumberIndex() {
    static IIndexStr handle;
    return handle;
}

IIndexInt& DateIndex() {
    static IIndexInt handle;
    return handle;
}

IIndexInt& InForceIndex() {
    static IIndexInt handle;
    return handle;
}

IIndexInt* IndexByName(std::string_view fileStem) {
    if (fileStem == kIndexFileNames[0]) return &TextWordIndex();
    if (fileStem == kIndexFileNames[1]) return &TitleWordIndex();
    if (fileStem == kIndexFileNames[2]) return &ClassIndex();
    if (fileStem == kIndexFileNames[3]) return &TypeIndex();
    if (fileStem == kIndexFileNames[4]) return &NumberIndex();
    if (fileStem == kIndexFileNames[5]) return &DateIndex();
    if (fileStem == kIndexFileNames[6]) return &InForceIndex();
    return nullptr;
}

}  // namespace IndexSpace
