// libFuzzer target: the words of a document's text (from a base, so outside bytes) made into
// terms by TextWords, checked against Xapian's own TermGenerator: a text TextWords takes must give
// the same terms, counts and positions; one it does not take must leave the document untouched.
#include <xapian.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fulltext/TextWords.h"

namespace {

using Terms = std::map<std::string, std::pair<Xapian::termcount, std::vector<Xapian::termpos>>>;

Terms TermsOf(const Xapian::Document& document) {
    Terms terms;
    for (auto term = document.termlist_begin(); term != document.termlist_end(); ++term)
        terms[*term] = {term.get_wdf(), {term.positionlist_begin(), term.positionlist_end()}};
    return terms;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Norik::FullText::TextWords words;
    static Xapian::TermGenerator generator = [] {
        Xapian::TermGenerator made;
        made.set_stemmer(Xapian::Stem("russian"));
        made.set_stemming_strategy(Xapian::TermGenerator::STEM_SOME);
        return made;
    }();
    const std::string text(reinterpret_cast<const char*>(data), size);

    Xapian::Document taken;
    Xapian::termpos position = 3;
    const bool ok = words.Index(text, taken, position);
    words.AddStems(taken);
    if (!ok) {
        if (position != 3 || taken.termlist_count() != 0) __builtin_trap();
        return 0;
    }
    Xapian::Document made;
    generator.set_document(made);
    generator.set_termpos(3);
    generator.index_text(text);
    if (generator.get_termpos() != position || TermsOf(made) != TermsOf(taken)) __builtin_trap();
    generator.set_document(Xapian::Document());
    return 0;
}
