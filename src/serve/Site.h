// The pages and the JSON answers of the web reader, from a request's route and parameters.
//
// Pages are rendered from the templates of res/serve (Mustache, every value escaped by
// HtmlEscaped unless the template takes ready HTML the site wrote itself: the document text of
// the HTML writer, passages re-escaped here, the pager). Every text from the base goes through
// the escaping, so no byte of a base puts markup into a page. Lists are paged; a page number
// past the end gives the last page.
//
// Threads: Answer serves any route but the full-text ones and may run on many threads at once;
// SearchAnswer runs the full-text routes (NeedsSearcher) on a search thread with its Searcher,
// or with null while the index is not ready. The attribute search evaluates over the
// process-wide indexes one request at a time.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "fulltext/FullTextIndex.h"
#include "serve/BaseSnapshot.h"
#include "serve/RequestParsing.h"

namespace Norik::Serve {

class SearchService;

struct Response {
    int status = 200;
    std::string contentType = "text/html; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    // The answer depends on the base alone (not on the state of the index): it carries the base's
    // ETag and Last-Modified and may be answered by 304.
    bool cacheable = true;
};

struct RequestContext {
    Route route;
    QueryParameters parameters;
    std::string origin;  // "http://host:port" for the absolute URLs of the OpenSearch description
};

inline constexpr int kListPageSize = 50;
inline constexpr int kSearchPageSize = 20;
// Past this many seconds of searching, the passages of the hits are left out.
inline constexpr double kSearchBudgetSeconds = 2.0;
// The document pages kept rendered (those asked without highlights), at most this many bytes.
inline constexpr std::size_t kDocumentCacheBytes = std::size_t{32} << 20;

class Site {
public:
    Site(std::shared_ptr<const BaseSnapshot> base, const SearchService& search);

    static bool NeedsSearcher(RouteKind kind);

    Response Answer(const RequestContext& request) const;
    Response SearchAnswer(const RequestContext& request, const FullText::Searcher* searcher) const;
    // The page telling a status ("Not found", "Bad request", a busy server).
    Response ErrorPage(int status, const std::string& message) const;

private:
    std::string Page(const std::string& title, const std::string& query, const std::string& content) const;
    Response Home() const;
    Response Section(const RequestContext& request, bool api) const;
    Response Document(const RequestContext& request, bool api) const;
    Response DocumentFile(const RequestContext& request) const;
    Response Find(const RequestContext& request, bool api) const;
    Response Info(bool api) const;
    Response Classifier() const;
    Response Suggest(const RequestContext& request) const;
    Response Search(const RequestContext& request, const FullText::Searcher* searcher, bool api) const;
    Response CitedBy(const RequestContext& request, const FullText::Searcher* searcher, bool api) const;
    std::string IndexNotice() const;

    // The page of document number as last rendered, or null; Keep adds one, letting the least
    // recently used go past kDocumentCacheBytes.
    std::shared_ptr<const std::string> Kept(int number) const;
    void Keep(int number, std::shared_ptr<const std::string> page) const;

    std::shared_ptr<const BaseSnapshot> m_base;
    const SearchService& m_search;
    mutable std::mutex m_cacheMutex;
    mutable std::list<std::pair<int, std::shared_ptr<const std::string>>> m_cache;  // most recent first
    mutable std::unordered_map<int, decltype(m_cache)::iterator> m_cached;
    mutable std::size_t m_cacheBytes = 0;
};

// A passage of the index with only its <b> and </b> kept as markup, the rest escaped afresh.
std::string SafePassage(std::string_view passage);

// text as the inside of a CSS string: only ASCII letters, digits and blanks are kept as they are,
// every other character is written as an escape, so that nothing of it can end the string or the
// style element it stands in.
std::string CssString(std::string_view utf8);

// text %-encoded for a URL's query.
std::string UrlEncoded(std::string_view text);

// The raw RTF of document number from the base's container; problem says what is wrong when it
// cannot be read whole (what was read is still returned).
std::string ReadDocumentRtf(std::int16_t number, std::string& problem);

}  // namespace Norik::Serve
