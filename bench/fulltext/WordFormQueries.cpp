// Makes the word-form query set of the full-text benchmark from the plain texts of a base.
//
// Reads records "number<US>text<RS>" (ASCII unit and record separators, the texts in UTF-8) on
// standard input and writes up to COUNT lines "number<TAB>query": each query names its target
// document by two or three words, and each word is a form that does not occur in that document
// while another form of the same stem (the Russian Snowball stemmer) does. The stems are chosen,
// among those of at least kLeastDocuments documents, so that few documents hold all of them in
// some form (at most ten), so that a search that knows
// word forms can put the target among its first ten; a search of exact forms cannot find it by
// these words at all. The targets are taken in a fixed pseudo-random order of SEED.
//
// Usage: WordFormQueries COUNT [SEED] < texts.records > queries.tsv
#include <xapian.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// A stem is asked for only when this many documents hold it: words of the base's language, not
// names or coinages a few documents share (a sample base may invent words by the hundred
// thousand, in a handful of documents each).
constexpr std::size_t kLeastDocuments = 30;

// Lower-case Cyrillic words of a UTF-8 text: maximal runs of А..я, Ё and ё; other letters,
// digits and signs split them.
std::vector<std::string> CyrillicWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        unsigned code = 0;
        std::size_t length = 1;
        if (lead >= 0xD0 && lead <= 0xD1 && i + 1 < text.size()) {
            code = (lead & 0x1Fu) << 6 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            length = 2;
        }
        i += length;
        if (code == 0x401) code = 0x451;                   // Ё
        if (code >= 0x410 && code <= 0x42F) code += 0x20;  // А..Я
        if ((code >= 0x430 && code <= 0x44F) || code == 0x451) {
            word += static_cast<char>(0xC0 | code >> 6);
            word += static_cast<char>(0x80 | (code & 0x3F));
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

std::vector<int> Intersect(const std::vector<int>& a, const std::vector<int>& b) {
    std::vector<int> both;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(both));
    return both;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: WordFormQueries COUNT [SEED] < texts.records\n";
        return 64;
    }
    const int wanted = static_cast<int>(std::strtol(argv[1], nullptr, 10));
    std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
    Xapian::Stem stemmer("russian");

    std::unordered_map<std::string, int> formIds;
    std::vector<std::string> forms;
    std::vector<int> stemOfForm;
    std::unordered_map<std::string, int> stemIds;
    std::vector<std::vector<int>> formsOfDoc;  // distinct form ids, ascending
    std::vector<int> numbers;
    std::string record;
    while (std::getline(std::cin, record, '\x1e')) {
        const std::size_t split = record.find('\x1f');
        if (split == std::string::npos) continue;
        numbers.push_back(static_cast<int>(std::strtol(record.substr(0, split).c_str(), nullptr, 10)));
        std::vector<int> ids;
        for (const std::string& word : CyrillicWords(record.substr(split + 1))) {
            if (word.size() < 8) continue;  // four letters at least: shorter words are too common
            auto [found, added] = formIds.try_emplace(word, static_cast<int>(forms.size()));
            if (added) {
                forms.push_back(word);
                const auto stem = stemIds.try_emplace(stemmer(word), static_cast<int>(stemIds.size())).first;
                stemOfForm.push_back(stem->second);
            }
            ids.push_back(found->second);
        }
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        formsOfDoc.push_back(std::move(ids));
    }
    const std::size_t docs = formsOfDoc.size();
    // Per stem, the documents holding it in any form (ascending indexes); per form, in how many.
    std::vector<std::vector<int>> docsOfStem(stemIds.size());
    std::vector<int> formCount(forms.size());
    for (std::size_t d = 0; d < docs; ++d) {
        std::vector<int> stems;
        for (const int form : formsOfDoc[d]) {
            stems.push_back(stemOfForm[form]);
            ++formCount[static_cast<std::size_t>(form)];
        }
        std::sort(stems.begin(), stems.end());
        stems.erase(std::unique(stems.begin(), stems.end()), stems.end());
        for (const int stem : stems) docsOfStem[static_cast<std::size_t>(stem)].push_back(static_cast<int>(d));
    }
    std::vector<std::vector<int>> formsOfStem(stemIds.size());
    for (std::size_t form = 0; form < forms.size(); ++form)
        formsOfStem[static_cast<std::size_t>(stemOfForm[form])].push_back(static_cast<int>(form));

    std::vector<std::size_t> order(docs);
    for (std::size_t d = 0; d < docs; ++d) order[d] = d;
    for (std::size_t k = docs; k > 1; --k) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        std::swap(order[k - 1], order[(seed >> 33) % k]);
    }
    int made = 0;
    for (const std::size_t d : order) {
        if (made >= wanted) break;
        // The stems of the document that some other form of theirs, absent here, stands for;
        // rarest first.
        struct Candidate {
            int stem;
            int absentForm;
        };
        std::vector<Candidate> candidates;
        const std::vector<int>& own = formsOfDoc[d];
        std::vector<int> seenStems;
        for (const int form : own) {
            const int stem = stemOfForm[static_cast<std::size_t>(form)];
            if (std::find(seenStems.begin(), seenStems.end(), stem) != seenStems.end()) continue;
            seenStems.push_back(stem);
            int best = -1;
            for (const int other : formsOfStem[static_cast<std::size_t>(stem)])
                if (!std::binary_search(own.begin(), own.end(), other) &&
                    (best < 0 ||
                     formCount[static_cast<std::size_t>(other)] > formCount[static_cast<std::size_t>(best)]))
                    best = other;
            if (best >= 0 && docsOfStem[static_cast<std::size_t>(stem)].size() >= kLeastDocuments)
                candidates.push_back({stem, best});
        }
        std::sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
            return docsOfStem[static_cast<std::size_t>(a.stem)].size() <
                   docsOfStem[static_cast<std::size_t>(b.stem)].size();
        });
        // Stems added rarest first while they narrow the documents down, up to three.
        std::vector<Candidate> chosen;
        std::vector<int> holding;
        for (const Candidate& c : candidates) {
            const std::vector<int>& with = docsOfStem[static_cast<std::size_t>(c.stem)];
            std::vector<int> narrowed = chosen.empty() ? with : Intersect(holding, with);
            if (!chosen.empty() && narrowed.size() == holding.size()) continue;
            chosen.push_back(c);
            holding = std::move(narrowed);
            if (chosen.size() == 3 || (chosen.size() >= 2 && holding.size() <= 10)) break;
        }
        if (chosen.size() < 2 || holding.size() > 10) continue;
        std::cout << numbers[d] << '\t';
        for (std::size_t k = 0; k < chosen.size(); ++k)
            std::cout << (k ? " " : "") << forms[static_cast<std::size_t>(chosen[k].absentForm)];
        std::cout << '\n';
        ++made;
    }
    std::cerr << "WordFormQueries: " << made << " queries from " << docs << " documents, " << forms.size()
              << " forms of " << stemIds.size() << " stems\n";
    return made >= wanted ? 0 : 1;
}
