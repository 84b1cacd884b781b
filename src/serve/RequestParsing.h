// What a request to the web reader asks for, read from its raw target ("/doc/12?hl=налог").
//
// Every part of a request is hostile: the parsers here take bounded input, decode percent escapes
// strictly (a bad escape, a NUL or text that is not UTF-8 is a bad request), and name resources by
// numbers only, never by a file path. A request that cannot be understood gives nothing, and the
// server answers it with 400; a well-formed path that names nothing is RouteKind::NotFound.
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Norik::Serve {

inline constexpr std::size_t kMaxTargetBytes = 4096;
inline constexpr std::size_t kMaxQueryParameters = 32;
inline constexpr std::size_t kMaxSearchLineBytes = 512;
inline constexpr std::size_t kMaxHighlightWords = 16;
inline constexpr std::size_t kMaxHighlightWordBytes = 64;

enum class RouteKind {
    Home,
    Section,
    Document,
    DocumentPicture,
    DocumentCitedBy,
    DocumentRtf,
    DocumentText,
    Search,
    Find,
    Info,
    OpenSearch,
    Suggest,
    Style,
    Script,
    ApiInfo,
    ApiClassifier,
    ApiSection,
    ApiDocument,
    ApiCitedBy,
    ApiSearch,
    ApiFind,
    NotFound,
};

struct Route {
    RouteKind kind = RouteKind::NotFound;
    int id = 0;  // the section or document number
    int k = 0;   // the picture
};

// The route of a path (the target up to "?"); nothing for a path that is no path (not starting
// with "/", a bad escape, a NUL, longer than kMaxTargetBytes).
std::optional<Route> ParseRoute(std::string_view path);

// %XX escapes decoded ("+" as a blank when plusIsSpace); nothing for a bad escape, a NUL, a
// control character other than tab, or text that is not UTF-8.
std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace);

// The parameters of a query string, in order; nothing when it is longer than kMaxTargetBytes,
// holds more than kMaxQueryParameters or a parameter that does not decode.
class QueryParameters {
public:
    static std::optional<QueryParameters> Parse(std::string_view query);
    // The first value of name, or empty.
    std::string Get(std::string_view name) const;
    bool Has(std::string_view name) const;
    // The first value of name as an integer within [low, high], else fallback.
    int Integer(std::string_view name, int low, int high, int fallback) const;

private:
    std::vector<std::pair<std::string, std::string>> m_items;
};

// A search line as the index is to read it: blanks collapsed and trimmed, cut to
// kMaxSearchLineBytes at a character boundary.
std::string SearchLine(std::string_view text);

// The words of an hl parameter: at most kMaxHighlightWords words of at most kMaxHighlightWordBytes.
std::vector<std::string> HighlightWords(std::string_view text);

// A target split at its first "?": the path and the query (empty when none).
std::pair<std::string_view, std::string_view> SplitTarget(std::string_view target);

}  // namespace Norik::Serve
