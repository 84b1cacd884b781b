#include "builder/BaseVerifier.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "Helpers/BaseLimits.h"
#include "Helpers/CompoundFile.h"
#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"
#include "builder/SourceTables.h"
#include "index/IndexBuilder.h"
#include "index/IndexSpace.h"
#include "showdata/ListDoc.h"

namespace Norik {

namespace {

// Problems of one kind beyond this many are summed up in one line.
constexpr std::size_t kMaxPerKind = 20;

template <class T>
T ReadLittle(const std::string& bytes, std::size_t at) {
    std::make_unsigned_t<T> value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= static_cast<std::make_unsigned_t<T>>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return static_cast<T>(value);
}

class Limited {
public:
    Limited(std::vector<std::string>& out, std::string prefix) : m_out(out), m_prefix(std::move(prefix)) {}
    ~Limited() {
        if (m_count > kMaxPerKind)
            m_out.push_back(m_prefix + ": " + std::to_string(m_count - kMaxPerKind) + " more problems of this kind");
    }
    void Add(const std::string& text) {
        if (++m_count <= kMaxPerKind) m_out.push_back(m_prefix + ": " + text);
    }

private:
    std::vector<std::string>& m_out;
    std::string m_prefix;
    std::size_t m_count = 0;
};

}  // namespace

std::size_t CheckIndexFile(const std::string& name, const std::string& bytes,
                           const std::vector<std::int16_t>& documents, std::vector<std::string>& problems) {
    Limited say(problems, name);
    if (bytes.size() < 4) {
        say.Add("shorter than its 4-byte entry count");
        return 0;
    }
    const std::uint32_t count = ReadLittle<std::uint32_t>(bytes, 0);
    std::size_t at = 4;
    std::size_t entry = 0;
    bool haveKey = false;
    std::int64_t previousKey = 0;
    for (; entry < count; ++entry) {
        if (bytes.size() - at < 10) {
            say.Add("ends inside entry " + std::to_string(entry) + " of " + std::to_string(count));
            return entry;
        }
        const std::int64_t key = ReadLittle<std::int64_t>(bytes, at);
        const std::int16_t n = ReadLittle<std::int16_t>(bytes, at + 8);
        at += 10;
        if (IndexSpace::IndexImpl::EndsTheEntries(haveKey, previousKey, key, n)) {
            say.Add("entry " + std::to_string(entry) + " repeats an earlier key without documents");
            return entry;
        }
        if (n < 1) {
            say.Add("entry " + std::to_string(entry) + " (key " + std::to_string(key) + ") has " + std::to_string(n) +
                    " documents; a list holds 1 to 32767");
            if (n < 0) return entry;
        }
        if (haveKey && key <= previousKey)
            say.Add("entry " + std::to_string(entry) + ": key " + std::to_string(key) + " does not follow key " +
                    std::to_string(previousKey) + " in ascending order");
        haveKey = true;
        previousKey = key;
        const std::size_t listBytes = static_cast<std::size_t>(n) * 2;
        if (bytes.size() - at < listBytes) {
            say.Add("ends inside the list of entry " + std::to_string(entry) + " of " + std::to_string(count));
            return entry;
        }
        for (int k = 0; k < n; ++k) {
            const std::int16_t doc = ReadLittle<std::int16_t>(bytes, at + static_cast<std::size_t>(k) * 2);
            if (k > 0 && doc <= ReadLittle<std::int16_t>(bytes, at + static_cast<std::size_t>(k - 1) * 2))
                say.Add("entry " + std::to_string(entry) + " (key " + std::to_string(key) +
                        "): documents not in strictly ascending order at " + std::to_string(doc));
            if (!std::binary_search(documents.begin(), documents.end(), doc))
                say.Add("entry " + std::to_string(entry) + " (key " + std::to_string(key) + ") names document " +
                        std::to_string(doc) + ", which is not in Items.ttx");
        }
        at += listBytes;
    }
    if (at != bytes.size())
        say.Add(std::to_string(bytes.size() - at) + " bytes after the last of its " + std::to_string(count) +
                " entries");
    return entry;
}

bool VerifyBase(std::vector<std::string>& problems, VerifySummary& summary,
                const std::function<void(std::size_t done, std::size_t total)>& progress) {
    summary = VerifySummary{};
    const std::size_t before = problems.size();
    const std::string indexFolder = GetIndexFolder();
    const std::string dataFolder = GetDataFolder();
    FolderSource source(indexFolder);
    SourceTables tables;
    ReadSourceTables(source, tables, problems);
    summary.warnings = tables.warnings;

    const std::vector<std::size_t> firstRows = tables.DocumentFirstRows();
    std::vector<std::int16_t> documents;
    documents.reserve(firstRows.size());
    for (const std::size_t row : firstRows) documents.push_back(tables.items[row].number);
    std::sort(documents.begin(), documents.end());
    documents.erase(std::unique(documents.begin(), documents.end()), documents.end());
    summary.documents = firstRows.size();
    summary.rows = tables.items.size();

    // What the table implies for the indexes that do not depend on the texts.
    IndexBuilder expected[6];
    for (const SourceItem& item : tables.items) expected[1].Add(item.classId, item.number);
    for (const std::size_t row : firstRows) {
        const SourceItem& item = tables.items[row];
        for (const std::string& word : IndexSpace::SplitWords(item.title))
            if (const IndexSpace::IndexKey key = IndexSpace::WordHash(word); key != 0)
                expected[0].Add(key, item.number);
        expected[2].Add(IndexSpace::StrHash(TypeWithoutLeadingBlanks(item.type)), item.number);
        expected[3].Add(IndexSpace::StrHash(item.numberText), item.number);
        expected[4].Add(item.dateOfIntroduction, item.number);
        expected[5].Add(item.inForce ? 1 : 0, item.number);
    }
    for (const std::string_view stem : IndexSpace::kIndexFileNames) {
        const std::string name = std::string(stem) + ".ttx";
        std::string bytes, message;
        if (!ReadWholeFile(indexFolder + name, bytes, message, MaxBaseFileBytes(name))) {
            problems.push_back(message);
            continue;
        }
        const std::size_t errorsBefore = problems.size();
        CheckIndexFile(indexFolder + name, bytes, documents, problems);
        const auto at =
            std::find(std::begin(IndexSpace::kIndexFileNames), std::end(IndexSpace::kIndexFileNames), stem) -
            std::begin(IndexSpace::kIndexFileNames);
        if (at == 0 || problems.size() != errorsBefore || tables.items.empty()) continue;  // "index": words of texts
        // A well-formed file: compare it with the table.
        IndexSpace::IndexImpl::IndexInt want;
        expected[at - 1].Build(want);
        std::string wantBytes;
        {
            std::ostringstream stream;
            want.Save(stream);
            wantBytes = stream.str();
        }
        if (wantBytes != bytes)
            problems.push_back(indexFolder + name +
                               ": well formed, but its keys or lists differ from what Items.ttx implies (" +
                               std::to_string(want.EntryCount()) + " keys expected)");
    }

    std::shared_ptr<CompoundFile> container;
    const HResult opened = CompoundFile::Open(dataFolder + "Norik.sdb", container);
    if (Failed(opened)) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(opened));
        problems.push_back(dataFolder + "Norik.sdb: cannot be opened as a compound file (" + code + ")");
    } else {
        container.reset();
        Limited say(problems, dataFolder + "Norik.sdb");
        std::vector<char> buffer(65536);
        std::size_t checked = 0;
        for (const std::size_t row : firstRows) {
            if (progress) progress(checked++, firstRows.size());
            const SourceItem& item = tables.items[row];
            const std::string entry = ShowData::DocFileName(item.number);
            const std::string where = "entry " + entry + ".t (document " + std::to_string(item.number) + ")";
            try {
                SUn7zFile reader;
                const HResult code = reader.Open(entry, kModeRead, true);
                if (Failed(code)) {
                    say.Add(where + (code == kStgFileNotFound ? ": missing" : ": cannot be opened"));
                    continue;
                }
                std::uint64_t total = 0;
                bool rtf = false;
                for (;;) {
                    const int got = reader.Read(buffer.data(), static_cast<int>(buffer.size()));
                    if (got <= 0) break;
                    if (total == 0) rtf = got >= 5 && std::memcmp(buffer.data(), "{\\rtf", 5) == 0;
                    total += static_cast<std::uint64_t>(got);
                }
                ++summary.entriesChecked;
                summary.decodedBytes += total;
                if (total != reader.length()) {
                    say.Add(where + ": decodes to " + std::to_string(total) + " of its stated " +
                            std::to_string(reader.length()) + " bytes");
                } else if (!reader.whole()) {
                    // A stated length cut short decodes to that length; the data that goes on
                    // past it is what tells.
                    const std::string& damage = reader.damage();
                    say.Add(where + damage.substr(std::min(damage.find(": "), damage.size())));
                } else if (!rtf)
                    say.Add(where + ": does not decode to an RTF text");
            } catch (const std::exception& e) {
                say.Add(where + ": malformed header (" + Cp1251ToUtf8(e.what()) + ")");
            }
        }
        if (progress) progress(firstRows.size(), firstRows.size());
    }
    return problems.size() == before;
}

}  // namespace Norik
