// libFuzzer target: the files of a full-text index, as a hostile base or cache could hold them. A
// small index is built at start (in a private temporary folder, removed at exit); each input
// changes one of its files - byte 0 picks the file (its high bit: cut the file there instead),
// bytes 1-4 the offset (little-endian, taken modulo the file's size), the rest is written there -
// and the index so changed, in a folder of its own, is checked, searched with passages, asked for
// the passages of one document, for who cites a document and for its documents. Checks that no
// answer holds more passages than asked for.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fulltext/FullTextIndex.h"

namespace {

using namespace Norik::FullText;
namespace fs = std::filesystem;

const BaseIdentity kBase{1, "fuzz"};

std::string ReadAll(const fs::path& path) {
    std::string bytes;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, got);
        (void)std::fclose(file);
    }
    return bytes;
}

void WriteAll(const fs::path& path, const std::string& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) std::abort();
    (void)std::fclose(file);
}

class FuzzIndex {
public:
    FuzzIndex() {
        std::string pattern = (fs::temp_directory_path() / "norik-fuzz-index-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        m_folder = pattern;
        // Records of checks go to a cache of the fuzzer's own.
        ::setenv("XDG_CACHE_HOME", (m_folder / "cache").c_str(), 1);
        const std::vector<DocumentFields> documents = {
            {1, "Об общих принципах организации местного самоуправления", "Федеральный закон", "131-ФЗ", 38163, true},
            {2, "О налоговом вычете", "Указ", "783", 40000, false},
            {-5, "Tariffs and fees", "Приказ", "N 7/2-а", 0, true},
        };
        std::string longText;
        while (longText.size() < 40000) longText += "Порядок предоставления налоговых вычетов на расходы.\n";
        const BuildResult built = BuildIndex(m_folder / "sound", documents,
                                             [&](std::int16_t number) -> std::optional<DocumentText> {
                                                 if (number == 2) return std::nullopt;
                                                 if (number == -5)
                                                     return DocumentText{longText + "Закон 131-ФЗ, тарифы.", {1}};
                                                 return DocumentText{
                                                     "Предоставление налоговых вычетов на расходы обучения.\n"
                                                     "Закон от 06.10.2003 N 131-ФЗ; <тарифы> & fees 2003.",
                                                     {1, 2}};
                                             },
                                             kBase, {});
        if (!built.ok) std::abort();
        for (const auto& entry : fs::directory_iterator(m_folder / "sound"))
            files.emplace_back(entry.path().filename().string(), ReadAll(entry.path()));
        std::sort(files.begin(), files.end());
    }
    ~FuzzIndex() {
        std::error_code error;
        fs::remove_all(m_folder, error);
    }
    // A new folder for each changed index: no check found of another is taken for it.
    fs::path NextFolder() {
        std::error_code error;
        fs::remove_all(m_folder / ("mutant-" + std::to_string(m_count)), error);
        return m_folder / ("mutant-" + std::to_string(++m_count));
    }

    std::vector<std::pair<std::string, std::string>> files;

private:
    fs::path m_folder;
    std::size_t m_count = 0;
};

}  // namespace

// The structural check of an index runs as xapian-check, a program of its own, where Xapian reads
// some damaged tables out of bounds: it ends there, and the check says the index is damaged.

// Xapian's check of a damaged table frees one of its own objects with another size than it was
// made with (inside libxapian, which is built without the sanitizer): not a read out of bounds,
// and not ours to mend, so that finding alone is not reported.
// The sanitizer asks the program for its default options by this name.
extern "C" const char* __asan_default_options() {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    return "new_delete_type_mismatch=0";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzIndex index;
    if (size < 5) return 0;
    const fs::path folder = index.NextFolder();
    fs::create_directory(folder);
    const std::size_t which = (data[0] & 0x7F) % index.files.size();
    for (std::size_t k = 0; k < index.files.size(); ++k) {
        std::string bytes = index.files[k].second;
        if (k == which && !bytes.empty()) {
            const std::uint32_t raw = data[1] | (data[2] << 8) | (data[3] << 16) | (std::uint32_t{data[4]} << 24);
            const std::size_t at = raw % bytes.size();
            if ((data[0] & 0x80) != 0) {
                bytes.resize(at);
            } else {
                for (std::size_t i = 5; i < size && at + i - 5 < bytes.size(); ++i)
                    bytes[at + i - 5] = static_cast<char>(data[i]);
            }
        }
        WriteAll(folder / index.files[k].first, bytes);
    }
    (void)CheckIndex(folder, kBase);
    const Searcher searcher(folder);
    if (!searcher.ok()) return 0;
    for (const char* query : {"налоговых вычетов", "\"налоговых вычетов на\" тарифы", "131-ФЗ", "регламинт"}) {
        const SearchResult result = searcher.Search(query, 5, 2);
        for (const Hit& hit : result.hits)
            if (hit.passages.size() > 2) std::abort();
    }
    if (searcher.Passages("налоговых вычетов", -5, 3).size() > 3) std::abort();
    (void)searcher.CitedBy(1);
    (void)searcher.DocumentNumbers();
    return 0;
}
