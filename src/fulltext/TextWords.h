// The words of a document's text as terms of its Xapian document, made the way Xapian's
// TermGenerator makes them (lower-case words with positions, "Z" Russian stems without), quicker
// for the text of the documents of a base: Russian and Latin letters, digits and the punctuation
// of Russian typography. A text with any other character is not taken, and is left to the
// TermGenerator, so that what is indexed is the same either way and the query parser, which
// splits a query by the TermGenerator's rules, finds it. One per thread.
#pragma once

#include <xapian.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Norik::FullText {

class TextWords {
public:
    // Adds the words of text to document after position (which it moves past them), as
    // TermGenerator::index_text(text) with STEM_SOME and the Russian stemmer would, but for their
    // stems, which are counted for AddStems; false, having added nothing, for a text of
    // characters this does not take.
    bool Index(std::string_view text, Xapian::Document& document, Xapian::termpos& position);
    // Adds to document the stem terms of the texts indexed since the last call, each once with
    // the number of its words: the same terms as one per word, in fewer steps.
    void AddStems(Xapian::Document& document);

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
    };
    struct Stem {
        std::string term;             // "Z" and the stem, empty for a word not stemmed
        Xapian::termcount count = 0;  // its words since AddStems
    };
    // The stem of a word whose first character is first (a word beginning with a digit or '_' is
    // not stemmed): looked up, made once.
    Stem& StemOf(const std::string& word, char32_t first);

    Xapian::Stem m_stemmer{"russian"};
    std::unordered_map<std::string, Stem, Hash, std::equal_to<>> m_stems;
    std::vector<Stem*> m_counted;   // the stems counted since AddStems
    std::vector<char32_t> m_chars;  // of the text being indexed
    std::string m_word;
};

}  // namespace Norik::FullText
