#include "app/IndexCitingDocuments.h"

#include "diagnostics/ErrorLog.h"
#include "fulltext/FullTextIndex.h"

namespace Norik {

IndexCitingDocuments::IndexCitingDocuments(std::function<std::filesystem::path()> readyIndex)
    : m_readyIndex(std::move(readyIndex)) {}

IndexCitingDocuments::~IndexCitingDocuments() = default;

CitingAnswer IndexCitingDocuments::operator()(std::int16_t number) {
    if (!m_searcher) {
        // The same index the search line reads (a damaged own index is told in the log where the
        // cache's is built).
        const std::filesystem::path folder = m_readyIndex ? m_readyIndex() : std::filesystem::path();
        if (folder.empty()) return CitingAnswer{};
        m_searcher = std::make_shared<FullText::Searcher>(folder);
    }
    std::vector<std::int16_t> numbers = m_searcher->CitedBy(number);
    if (!m_searcher->ok()) {
        const std::string why = m_searcher->error();
        ErrorLog().WriteEntry("the full-text index cannot say which documents cite one: " + why);
        m_searcher.reset();
        return CitingAnswer{CitingAnswer::State::Failed, {}, why};
    }
    return CitingAnswer{CitingAnswer::State::Ready, std::move(numbers), {}};
}

}  // namespace Norik
