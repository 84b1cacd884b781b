#include "search/SearchEvaluation.h"

#include <algorithm>
#include <limits>

#include "Helpers/Cp1251.h"

namespace ShowData {

namespace {

bool HasCriterion(const SearchRequest& request) {
    // allWords and searchArea only qualify the criteria; they are not criteria themselves.
    return request.classId != -1 || !request.type.empty() || !request.numberText.empty() ||
           !request.titleWords.empty() || !request.textWords.empty() || request.dateOfIntroduction != -1 ||
           request.inForce != -1 || request.introducedFrom != -1 || request.introducedTo != -1;
}

// One lookup in index, whose file stem is name. Whatever it found or did not find, an index that
// could not be read whole leaves no answer.
template <class Lookup>
void LookUp(std::vector<IndexSpace::DocNumberList>& lists, IndexSpace::IIndexInt& index, const char* name,
            Lookup&& lookup) {
    try {
        lists.push_back(lookup());
    } catch (const IndexSpace::Value_Not_Found&) {
        if (const Norik::DataDamage* damage = index.damage()) throw SearchIndexDamaged(name, *damage);
        throw;
    }
    if (const Norik::DataDamage* damage = index.damage()) throw SearchIndexDamaged(name, *damage);
}

// Every lookup of the request, in a fixed order; each throws when it finds nothing.
std::vector<IndexSpace::DocNumberList> LookUpCriteria(const SearchRequest& request, const SearchIndexes& indexes) {
    std::vector<IndexSpace::DocNumberList> lists;
    const bool allWords = request.allWords != 0;
    if (request.classId != -1)
        LookUp(lists, indexes.classes, "clasidx", [&] { return indexes.classes.Find(request.classId); });
    if (!request.titleWords.empty()) {
        LookUp(lists, indexes.titleWords, "titidx",
               [&] { return indexes.titleWords.FindWords(IndexSpace::SplitWords(request.titleWords), allWords); });
    }
    if (!request.numberText.empty()) {
        // A number is always a prefix; "*" ends the typed part, and a number that starts with "*"
        // constrains nothing.
        const std::size_t star = request.numberText.find('*');
        if (star != 0) {
            const std::string prefix = request.numberText.substr(0, star);
            LookUp(lists, indexes.numbers, "numbidx", [&] { return indexes.numbers.FindPrefix(prefix); });
        }
    }
    if (!request.textWords.empty()) {
        LookUp(lists, indexes.textWords, "index",
               [&] { return indexes.textWords.FindWords(IndexSpace::SplitWords(request.textWords), allWords); });
    }
    if (!request.type.empty())
        LookUp(lists, indexes.types, "typeidx", [&] { return indexes.types.FindPrefix(request.type); });
    if (request.dateOfIntroduction != -1)
        LookUp(lists, indexes.dates, "date_beg", [&] { return indexes.dates.Find(request.dateOfIntroduction); });
    if (request.inForce != -1)
        LookUp(lists, indexes.inForce, "work_now", [&] { return indexes.inForce.Find(request.inForce); });
    if (request.introducedFrom != -1 || request.introducedTo != -1) {
        // Day codes grow with the date, so a range of days is a range of keys. The key 0 holds the
        // documents without a date, which no range takes in; a range that ends before it starts
        // holds no key and finds nothing.
        const IndexSpace::IndexKey first = std::max(request.introducedFrom, 1);
        const IndexSpace::IndexKey last =
            request.introducedTo == -1 ? std::numeric_limits<std::int32_t>::max() : request.introducedTo;
        LookUp(lists, indexes.dates, "date_beg", [&] { return indexes.dates.FindRange(first, last); });
    }
    return lists;
}

}  // namespace

SearchIndexDamaged::SearchIndexDamaged(std::string indexName, Norik::DataDamage damage)
    : std::runtime_error(damage.Text()), m_indexName(std::move(indexName)), m_damage(std::move(damage)) {}

SearchIndexes SearchIndexes::ProcessWide() {
    return SearchIndexes{IndexSpace::ClassIndex(),    IndexSpace::TitleWordIndex(), IndexSpace::NumberIndex(),
                         IndexSpace::TextWordIndex(), IndexSpace::TypeIndex(),      IndexSpace::DateIndex(),
                         IndexSpace::InForceIndex()};
}

const char* NoSearchCriteriaMessage() {
    static const std::string text = Norik::Utf8ToCp1251("Не заданы реквизиты поиска!");
    return text.c_str();
}

IndexSpace::DocNumberList IntersectDocLists(const IndexSpace::DocNumberList& left,
                                            const IndexSpace::DocNumberList& right) {
    IndexSpace::DocNumberList result;
    result.reserve(std::min(left.size(), right.size()));
    auto a = left.begin();
    auto b = right.begin();
    while (a != left.end() && b != right.end()) {
        if (*a < *b) {
            ++a;
        } else if (*b < *a) {
            ++b;
        } else {
            result.push_back(*a);
            ++a;
            ++b;
        }
    }
    return result;
}

IndexSpace::DocNumberList EvaluateSearchRequest(const SearchRequest& request) {
    return EvaluateSearchRequest(request, SearchIndexes::ProcessWide());
}

IndexSpace::DocNumberList EvaluateSearchRequest(const SearchRequest& request, const SearchIndexes& indexes) {
    // The message itself is what callers catch, as a const char*.
    if (!HasCriterion(request)) throw NoSearchCriteriaMessage();  // NOLINT(cert-err09-cpp,cert-err61-cpp)
    try {
        std::vector<IndexSpace::DocNumberList> lists = LookUpCriteria(request, indexes);
        if (lists.empty()) return {};
        IndexSpace::DocNumberList result = std::move(lists.front());
        for (std::size_t i = 1; i < lists.size() && !result.empty(); ++i) result = IntersectDocLists(result, lists[i]);
        return result;
    } catch (const SearchIndexDamaged&) {
        throw;
    } catch (...) {
        // Not found, an unreadable index, or anything else a lookup ran into: nothing matches.
        return {};
    }
}

}  // namespace ShowData
