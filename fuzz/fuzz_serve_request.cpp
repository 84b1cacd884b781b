// libFuzzer target for the web reader's parsers of request data: the target (path and query),
// the search line and the highlight words. Whatever the bytes, the parsers stay within their
// bounds and what they accept is UTF-8 without NUL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "serve/RequestParsing.h"
#include "serve/Site.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace Norik::Serve;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto [path, query] = SplitTarget(input);
    if (const auto route = ParseRoute(path); route && route->kind == RouteKind::DocumentPicture && route->k < 1)
        std::abort();
    if (const auto parameters = QueryParameters::Parse(query)) {
        const std::string q = parameters->Get("q");
        if (q.find('\0') != std::string::npos) std::abort();
        if (SearchLine(q).size() > kMaxSearchLineBytes) std::abort();
        const auto words = HighlightWords(parameters->Get("hl"));
        if (words.size() > kMaxHighlightWords) std::abort();
        for (const auto& word : words)
            if (word.size() > kMaxHighlightWordBytes || word.empty()) std::abort();
    }
    const std::string passage = SafePassage(input);
    if (passage.find("<script") != std::string::npos) std::abort();
    return 0;
}
