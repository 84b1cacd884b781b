#include "serve/RequestParsing.h"

#include <charconv>

namespace Norik::Serve {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80             ? 1
                             : (c & 0xE0) == 0xC0 ? 2
                             : (c & 0xF0) == 0xE0 ? 3
                             : (c & 0xF8) == 0xF0 ? 4
                                                  : 0;
        if (length == 0 || i + length > text.size()) return false;
        std::uint32_t cp = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (next & 0x3F);
        }
        const std::uint32_t least = length == 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// A number of a path segment: an optional "-" and one to six digits, no leading zero.
std::optional<int> SegmentNumber(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 6 || (digits.size() > 1 && digits.front() == '0')) return std::nullopt;
    int value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return negative ? -value : value;
}

std::vector<std::string_view> Segments(std::string_view path) {
    std::vector<std::string_view> segments;
    path.remove_prefix(1);
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        segments.push_back(path.substr(0, slash));
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
        if (path.empty()) segments.emplace_back();  // a trailing "/"
    }
    return segments;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// text cut to at most bytes, at a UTF-8 character boundary.
std::string_view CutAtCharacter(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes) return text;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace

std::optional<std::string> PercentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size()) return std::nullopt;
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) return std::nullopt;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            c = ' ';
        }
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F) return std::nullopt;
        out += c;
    }
    if (!IsUtf8(out)) return std::nullopt;
    return out;
}

std::pair<std::string_view, std::string_view> SplitTarget(std::string_view target) {
    const std::size_t mark = target.find('?');
    if (mark == std::string_view::npos) return {target, {}};
    return {target.substr(0, mark), target.substr(mark + 1)};
}

std::optional<Route> ParseRoute(std::string_view path) {
    if (path.empty() || path.front() != '/' || path.size() > kMaxTargetBytes) return std::nullopt;
    // Paths are ASCII words and numbers; one that decodes badly is a bad request, one that
    // decodes to anything else names nothing.
    const std::optional<std::string> decoded = PercentDecode(path, false);
    if (!decoded) return std::nullopt;
    const std::vector<std::string_view> s = Segments(*decoded);
    Route route;
    const auto fixed = [&](std::initializer_list<std::string_view> words) {
        if (s.size() != words.size()) return false;
        std::size_t i = 0;
        for (const std::string_view word : words)
            if (s[i++] != word) return false;
        return true;
    };
    const auto numbered = [&](std::size_t at) {
        const std::optional<int> n = at < s.size() ? SegmentNumber(s[at]) : std::nullopt;
        if (n) route.id = *n;
        return n.has_value();
    };
    if (s.empty())
        route.kind = RouteKind::Home;
    else if (fixed({"search"}))
        route.kind = RouteKind::Search;
    else if (fixed({"find"}))
        route.kind = RouteKind::Find;
    else if (fixed({"info"}))
        route.kind = RouteKind::Info;
    else if (fixed({"opensearch.xml"}))
        route.kind = RouteKind::OpenSearch;
    else if (fixed({"suggest"}))
        route.kind = RouteKind::Suggest;
    else if (fixed({"static", "style.css"}))
        route.kind = RouteKind::Style;
    else if (fixed({"static", "app.js"}))
        route.kind = RouteKind::Script;
    else if (s.size() == 2 && s[0] == "section" && numbered(1))
        route.kind = RouteKind::Section;
    else if (s.size() >= 2 && s[0] == "doc" && numbered(1)) {
        if (s.size() == 2)
            route.kind = RouteKind::Document;
        else if (s.size() == 3 && s[2] == "cited-by")
            route.kind = RouteKind::DocumentCitedBy;
        else if (s.size() == 3 && s[2] == "rtf")
            route.kind = RouteKind::DocumentRtf;
        else if (s.size() == 3 && s[2] == "text")
            route.kind = RouteKind::DocumentText;
        else if (s.size() == 4 && s[2] == "picture") {
            const std::optional<int> k = SegmentNumber(s[3]);
            if (k && *k > 0) {
                route.kind = RouteKind::DocumentPicture;
                route.k = *k;
            }
        }
    } else if (!s.empty() && s[0] == "api") {
        if (fixed({"api", "info"}))
            route.kind = RouteKind::ApiInfo;
        else if (fixed({"api", "classifier"}))
            route.kind = RouteKind::ApiClassifier;
        else if (fixed({"api", "search"}))
            route.kind = RouteKind::ApiSearch;
        else if (fixed({"api", "find"}))
            route.kind = RouteKind::ApiFind;
        else if (s.size() == 3 && s[1] == "section" && numbered(2))
            route.kind = RouteKind::ApiSection;
        else if (s.size() == 3 && s[1] == "doc" && numbered(2))
            route.kind = RouteKind::ApiDocument;
        else if (s.size() == 4 && s[1] == "doc" && s[3] == "cited-by" && numbered(2))
            route.kind = RouteKind::ApiCitedBy;
    }
    if (route.kind == RouteKind::NotFound) route.id = 0;
    return route;
}

std::optional<QueryParameters> QueryParameters::Parse(std::string_view query) {
    if (query.size() > kMaxTargetBytes) return std::nullopt;
    QueryParameters parameters;
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (pair.empty()) continue;
        if (parameters.m_items.size() == kMaxQueryParameters) return std::nullopt;
        const std::size_t equals = pair.find('=');
        auto name = PercentDecode(pair.substr(0, equals), true);
        auto value =
            PercentDecode(equals == std::string_view::npos ? std::string_view{} : pair.substr(equals + 1), true);
        if (!name || !value) return std::nullopt;
        parameters.m_items.emplace_back(std::move(*name), std::move(*value));
    }
    return parameters;
}

std::string QueryParameters::Get(std::string_view name) const {
    for (const auto& [key, value] : m_items)
        if (key == name) return value;
    return {};
}

bool QueryParameters::Has(std::string_view name) const {
    for (const auto& item : m_items)
        if (item.first == name) return true;
    return false;
}

int QueryParameters::Integer(std::string_view name, int low, int high, int fallback) const {
    const std::string text = Get(name);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return fallback;
    return value;
}

std::string SearchLine(std::string_view text) {
    std::string line;
    for (const char c : text) {
        if (line.size() > kMaxSearchLineBytes) break;
        if (IsBlank(c)) {
            if (!line.empty() && line.back() != ' ') line += ' ';
        } else {
            line += c;
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return std::string(CutAtCharacter(line, kMaxSearchLineBytes));
}

std::vector<std::string> HighlightWords(std::string_view text) {
    std::vector<std::string> words;
    const std::string line = SearchLine(text);
    std::string_view rest = line;
    while (!rest.empty() && words.size() < kMaxHighlightWords) {
        const std::size_t blank = rest.find(' ');
        const std::string_view word = rest.substr(0, blank);
        if (!word.empty()) words.emplace_back(CutAtCharacter(word, kMaxHighlightWordBytes));
        if (blank == std::string_view::npos) break;
        rest.remove_prefix(blank + 1);
    }
    return words;
}

}  // namespace Norik::Serve
