// libFuzzer target: what a user types into the search line. The input is a query, searched in a
// small full-text index built at start (in a private temporary folder, removed at exit) with
// passages, and taken by the word-form matcher over a text that holds the query itself. Checks
// that every hit is a document of the index, that hits come best first, and that every marked
// span lies inside the text on word boundaries.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fulltext/FullTextIndex.h"

namespace {

using namespace Norik::FullText;

class FuzzIndex {
public:
    FuzzIndex() {
        std::string pattern = (std::filesystem::temp_directory_path() / "norik-fuzz-fulltext-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        m_folder = pattern;
        const std::vector<DocumentFields> documents = {
            {1, "Об общих принципах организации местного самоуправления", "Федеральный закон", "131-ФЗ", 38163, true},
            {2, "О налоговом вычете", "Указ", "783", 40000, false},
            {-5, "Tariffs and fees", "Приказ", "N 7/2-а", 0, true},
        };
        const BuildResult built = BuildIndex(m_folder / "fulltext", documents,
                                             [](std::int16_t number) -> std::optional<DocumentText> {
                                                 if (number == 2) return std::nullopt;
                                                 return DocumentText{
                                                     "Предоставление налоговых вычетов \"на\" расходы обучения.\n"
                                                     "Закон от 06.10.2003 N 131-ФЗ; <тарифы> & fees 2003.",
                                                     {1, 2}};
                                             },
                                             {1, "fuzz"}, {});
        if (!built.ok) std::abort();
        searcher = std::make_unique<Searcher>(m_folder / "fulltext");
        if (!searcher->ok()) std::abort();
    }
    ~FuzzIndex() {
        searcher.reset();
        std::error_code error;
        std::filesystem::remove_all(m_folder, error);
    }
    std::unique_ptr<Searcher> searcher;

private:
    std::filesystem::path m_folder;
};

}  // namespace

// Xapian's structural check of the index (run in a child process when the index is opened) frees
// one of libxapian's own objects with another size than it was made with: not ours to mend.
// The sanitizer asks the program for its default options by this name.
extern "C" const char* __asan_default_options() {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    return "new_delete_type_mismatch=0";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzIndex index;
    const std::string query(reinterpret_cast<const char*>(data), size);
    const SearchResult result = index.searcher->Search(query, 5, 2);
    for (std::size_t i = 0; i < result.hits.size(); ++i) {
        const std::int16_t n = result.hits[i].number;
        if (n != 1 && n != 2 && n != -5) std::abort();
        if (i > 0 && result.hits[i].score > result.hits[i - 1].score) std::abort();
        if (result.hits[i].passages.size() > 2) std::abort();
    }
    std::u16string text = u"Налоговых вычетов, ";
    for (const char c : query) text.push_back(static_cast<unsigned char>(c));
    for (const auto& [begin, end] : WordFormMatcher(query).FindAll(text))
        if (begin >= end || end > text.size()) std::abort();
    return 0;
}
