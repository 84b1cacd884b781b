#include "app/IndexCitingDocuments.h"

#include "diagnostics/ErrorLog.h"
#include "fulltext/FullTextIndex.h"
#include "showdata/ListDoc.h"

namespace Norik {

IndexCitingDocuments::IndexCitingDocuments(std::filesystem::path baseFolder) : m_baseFolder(std::move(baseFolder)) {}

IndexCitingDocuments::~IndexCitingDocuments() = default;

CitingAnswer IndexCitingDocuments::operator()(std::int16_t number) {
    if (!m_searcher) {
        // The same index the search line reads: the base's own, else the one built in the cache
        // (a damaged own index is told in the log where the cache's is built).
        const FullText::IndexChoice index = FullText::ChooseIndex(m_baseFolder, ShowData::BaseDate());
        if (index.folder.empty()) {
            if (index.own.state != FullText::IndexState::Damaged) return CitingAnswer{};
            return CitingAnswer{CitingAnswer::State::Failed, {}, index.own.why};
        }
        m_searcher = std::make_shared<FullText::Searcher>(index.folder);
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
