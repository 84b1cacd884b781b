#include "app/IndexCitingDocuments.h"

#include "diagnostics/ErrorLog.h"
#include "fulltext/FullTextIndex.h"
#include "showdata/ListDoc.h"

namespace Norik {

IndexCitingDocuments::IndexCitingDocuments(std::filesystem::path baseFolder) : m_baseFolder(std::move(baseFolder)) {}

IndexCitingDocuments::~IndexCitingDocuments() = default;

CitingAnswer IndexCitingDocuments::operator()(std::int16_t number) {
    if (!m_searcher) {
        const std::int32_t date = ShowData::BaseDate();
        std::filesystem::path folder = FullText::BaseIndexFolder(m_baseFolder);
        const FullText::IndexCheck own = FullText::CheckIndex(folder, date);
        if (own.state == FullText::IndexState::Damaged) {
            ErrorLog().WriteEntry("the full-text index is damaged: " + own.why);
            return CitingAnswer{CitingAnswer::State::Failed, {}, own.why};
        }
        if (own.state != FullText::IndexState::Current) {
            folder = FullText::CacheIndexFolder(m_baseFolder, date);
            if (FullText::CheckIndex(folder, date).state != FullText::IndexState::Current) return CitingAnswer{};
        }
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
