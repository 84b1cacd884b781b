// The search over an index: what a user types turned into a Xapian query, ranked, with passages.
#include <xapian.h>

#include <algorithm>
#include <charconv>
#include <set>

#include "fulltext/FullTextIndex.h"
#include "fulltext/FullTextQuery.h"
#include "fulltext/FullTextTerms.h"
#include "fulltext/IndexFolder.h"

namespace Norik::FullText {

namespace {

// Matches in the heading (title, type, number) weigh this many times a match in the text.
constexpr double kHeadingBoost = 4.0;
// A passage: about this many bytes of the text around the words found.
constexpr std::size_t kPassageBytes = 240;
// The years and dates of one query looked for as written in the texts, at most: each costs a
// look-up of every way of writing each of its days.
constexpr std::size_t kMaxWrittenDates = 8;
// A word of at least this many letters may be respelled from three letters off.
constexpr std::size_t kLongWordLetters = 8;
// Indexed words of one stem looked at for where a query's word is in a long text, at most.
constexpr std::size_t kMaxFormsOfStem = 64;
// Lines of a text looked at for passages, at most; a long text with few matches is not read whole.
constexpr std::size_t kPassageLinesScanned = 4000;

// The short words IsStopWord names: a query does not require them.
class StopWords : public Xapian::Stopper {
public:
    bool operator()(const std::string& word) const override { return IsStopWord(word); }
};

// A number, date or year the user typed: the attribute term, and the same text among the words.
// A date also meets the other ways it may be written in a text ("6.10.2003"), a year every date
// of it written there ("17.10.2016" is one word of a text), for the first kMaxWrittenDates of a
// query. What the processors of one query share is in notes: the terms of the numbers typed, for
// the documents that bear them to come first, and how many dates were looked for.
struct ParseNotes {
    std::vector<std::string> numberTerms;
    std::size_t writtenDates = 0;
};

class AttributeProcessor : public Xapian::FieldProcessor {
public:
    enum class Kind { Number, Date, Year };
    AttributeProcessor(Kind kind, const Xapian::Database& database, const Xapian::Stem& stemmer,
                       const std::vector<std::string>& values, ParseNotes& notes)
        : m_kind(kind), m_database(database), m_values(values), m_notes(notes) {
        m_words.set_stemmer(stemmer);
        m_words.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
    }
    // In the heading pass the attribute term alone counts; in the text pass, either.
    bool headingPass = false;

    Xapian::Query operator()(const std::string& name) override {
        // "vK": the K-th value taken out of the query; anything else was typed as it stands.
        std::size_t index = 0;
        const char* const end = name.data() + name.size();
        const auto [stop, failure] = std::from_chars(name.data() + (name.empty() ? 0 : 1), end, index);
        const bool taken = name.starts_with("v") && failure == std::errc() && stop == end && index < m_values.size();
        const std::string value = taken ? m_values[index] : name;
        std::string term;
        const std::string& words = value;
        Xapian::Query written;  // the date words of the texts a date or year meets
        const bool lookForDates = !headingPass && m_notes.writtenDates < kMaxWrittenDates;
        switch (m_kind) {
            case Kind::Number:
                term = kNumberPrefix + NumberKey(value);
                if (!headingPass) m_notes.numberTerms.push_back(term);
                break;
            case Kind::Date: {
                const std::string key = DateKeyOfText(value).value_or(value);
                term = kDatePrefix + key;
                if (key.size() == 8 && lookForDates)
                    written = WrittenDates(std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2)),
                                           std::stoi(key.substr(6, 2)));
                break;
            }
            case Kind::Year:
                term = kYearPrefix + value;
                if (value.size() == 4 && lookForDates &&
                    std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
                    written = WrittenDates(std::stoi(value), 0, 0);
                break;
        }
        Xapian::Query attribute(term);
        if (m_kind == Kind::Year)
            attribute = Xapian::Query(Xapian::Query::OP_OR, attribute, Xapian::Query(kNumberPrefix + value));
        if (headingPass) return attribute;
        Xapian::Query text = m_words.parse_query(words, Xapian::QueryParser::FLAG_PHRASE);
        if (!written.empty()) text = text.empty() ? written : Xapian::Query(Xapian::Query::OP_OR, text, written);
        return text.empty() ? attribute : Xapian::Query(Xapian::Query::OP_OR, attribute, text);
    }

private:
    // The words of the index writing the day of month of year (month and day 0: any), as one
    // word for ranking; empty when the texts write none. At most 12 * 31 days, each looked up in
    // its few ways of writing.
    Xapian::Query WrittenDates(int year, int month, int day) {
        ++m_notes.writtenDates;
        std::vector<std::string> found;
        for (int m = month == 0 ? 1 : month; m <= (month == 0 ? 12 : month); ++m)
            for (int d = day == 0 ? 1 : day; d <= (day == 0 ? 31 : day); ++d)
                for (std::string& word : DateWords(d, m, year))
                    if (m_database.term_exists(word)) found.push_back(std::move(word));
        return found.empty() ? Xapian::Query() : Xapian::Query(Xapian::Query::OP_SYNONYM, found.begin(), found.end());
    }

    Kind m_kind;
    const Xapian::Database& m_database;
    const std::vector<std::string>& m_values;
    ParseNotes& m_notes;
    Xapian::QueryParser m_words;
};

// Lets through the documents whose numbers are in an ascending list.
class AmongDecider : public Xapian::MatchDecider {
public:
    explicit AmongDecider(const std::vector<std::int16_t>& numbers) : m_numbers(numbers) {}
    bool operator()(const Xapian::Document& document) const override {
        const std::optional<std::int16_t> number = NumberOfDocumentId(document.get_docid());
        return number && std::binary_search(m_numbers.begin(), m_numbers.end(), *number);
    }

private:
    const std::vector<std::int16_t>& m_numbers;
};

}  // namespace

struct Searcher::Impl {
    std::string error;
    OpenedIndex opened;
    std::optional<Xapian::Database>& database = opened.database;
    Xapian::Stem stemmer{"russian"};
    StopWords stopper;
    // Of the query parsed last (Parse).
    ParseNotes notes;

    void Damaged(const Xapian::Error& e) {
        error = "the index cannot be read: " + e.get_description();
        database.reset();
    }

    // A parser for one pass; processors hold the pass they serve.
    Xapian::QueryParser Parser(bool headingPass, const std::vector<std::string>& values) {
        Xapian::QueryParser parser;
        parser.set_database(*database);
        parser.set_stemmer(stemmer);
        parser.set_stemming_strategy(Xapian::QueryParser::STEM_SOME);
        parser.set_stopper(&stopper);
        parser.set_default_op(headingPass ? Xapian::Query::OP_OR : Xapian::Query::OP_AND);
        parser.set_max_expansion(static_cast<Xapian::termcount>(kMaxWildcardWords),
                                 Xapian::Query::WILDCARD_LIMIT_MOST_FREQUENT);
        const std::pair<const char*, AttributeProcessor::Kind> fields[] = {
            {kQueryNumberField, AttributeProcessor::Kind::Number},
            {kQueryDateField, AttributeProcessor::Kind::Date},
            {kQueryYearField, AttributeProcessor::Kind::Year}};
        for (const auto& [field, kind] : fields) {
            auto* processor = new AttributeProcessor(kind, *database, stemmer, values, notes);
            processor->headingPass = headingPass;
            parser.add_prefix(field, processor->release());
        }
        return parser;
    }

    Xapian::Query Parse(const RewrittenQuery& rewritten) {
        constexpr unsigned kFlags = Xapian::QueryParser::FLAG_PHRASE | Xapian::QueryParser::FLAG_BOOLEAN |
                                    Xapian::QueryParser::FLAG_LOVEHATE | Xapian::QueryParser::FLAG_PURE_NOT |
                                    Xapian::QueryParser::FLAG_WILDCARD;
        notes = ParseNotes{};
        Xapian::Query text = Parser(false, rewritten.values).parse_query(rewritten.text, kFlags);
        if (text.empty()) return text;
        const Xapian::Query heading =
            Parser(true, rewritten.values).parse_query(rewritten.text, kFlags, kHeadingPrefix);
        if (heading.empty()) return text;
        return Xapian::Query(Xapian::Query::OP_AND_MAYBE, text,
                             Xapian::Query(Xapian::Query::OP_SCALE_WEIGHT, heading, kHeadingBoost));
    }

    // Passages of text where the query's words are, in text order: the lines with the most of
    // them, each cut to about kPassageBytes around them.
    std::vector<std::string> Passages(const Xapian::MSet& matches, const std::string& text, std::size_t count) {
        struct Candidate {
            std::size_t order = 0;
            std::size_t marks = 0;
            std::string passage;
        };
        std::vector<Candidate> found;
        std::size_t line = 0;
        for (std::size_t begin = 0; begin < text.size() && line < kPassageLinesScanned; ++line) {
            std::size_t end = text.find('\n', begin);
            if (end == std::string::npos) end = text.size();
            if (end > begin) {
                std::string passage = matches.snippet(text.substr(begin, end - begin), kPassageBytes, stemmer,
                                                      Xapian::MSet::SNIPPET_EMPTY_WITHOUT_MATCH, "<b>", "</b>", "…");
                if (!passage.empty()) {
                    std::set<std::string> distinct;
                    for (std::size_t at = passage.find("<b>"); at != std::string::npos;
                         at = passage.find("<b>", at + 3)) {
                        const std::size_t close = passage.find("</b>", at);
                        if (close == std::string::npos) break;
                        distinct.insert(LowerUtf8(passage.substr(at + 3, close - at - 3)));
                    }
                    found.push_back({found.size(), distinct.size(), std::move(passage)});
                    // Enough lines seen once the first ones carry every word found so far.
                    if (found.size() >= count * 8) break;
                }
            }
            begin = end + 1;
        }
        std::stable_sort(found.begin(), found.end(),
                         [](const Candidate& a, const Candidate& b) { return a.marks > b.marks; });
        if (found.size() > count) found.resize(count);
        std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) { return a.order < b.order; });
        std::vector<std::string> passages;
        passages.reserve(found.size());
        for (Candidate& candidate : found) passages.push_back(std::move(candidate.passage));
        return passages;
    }

    // For each of a query's words, the words of the index it stands for that the text has
    // positions for: an unprefixed term itself, and for a stem ("Z" term, kept without
    // positions) the indexed words of that stem.
    std::vector<std::vector<std::string>> PositionedTerms(const Xapian::Query& query) {
        std::vector<std::vector<std::string>> words;
        for (auto it = query.get_unique_terms_begin(); it != query.get_unique_terms_end(); ++it) {
            const std::string& term = *it;
            if (term.empty()) continue;
            if (!(term[0] >= 'A' && term[0] <= 'Z')) {
                words.push_back({term});
                continue;
            }
            if (term[0] != 'Z' || term.size() < 2 || (term[1] >= 'A' && term[1] <= 'Z')) continue;
            const std::string stem = term.substr(1);
            std::vector<std::string> forms;
            for (auto word = database->allterms_begin(stem);
                 word != database->allterms_end(stem) && forms.size() < kMaxFormsOfStem; ++word)
                if (stemmer(*word) == stem) forms.push_back(*word);
            if (!forms.empty()) words.push_back(std::move(forms));
        }
        return words;
    }

    // The text passages of document id are looked for in: its first piece for a text of one
    // piece; else the pieces holding the most of the query's words (up to count, the first
    // piece when none does), in text order, a line end between them.
    std::string PassageText(Xapian::docid id, const Xapian::Document& document,
                            const std::vector<std::vector<std::string>>& words, std::size_t count) {
        std::string first = UnpackPiece(database->get_metadata(PieceKey(id, 0))).value_or(std::string());
        const std::vector<std::uint32_t> starts = UnpackPositions(document.get_value(kPieceValueSlot));
        if (starts.size() < 2) return first;
        // How many of the words each piece holds in some form: a word at position p is in the
        // last piece starting before p.
        std::vector<std::size_t> held(starts.size(), 0);
        std::vector<bool> seen(starts.size());
        for (const std::vector<std::string>& forms : words) {
            std::fill(seen.begin(), seen.end(), false);
            for (const std::string& form : forms) {
                for (auto it = database->positionlist_begin(id, form); it != database->positionlist_end(id, form);
                     ++it) {
                    const auto after = std::lower_bound(starts.begin(), starts.end(), *it);
                    if (after != starts.begin()) seen[static_cast<std::size_t>(after - starts.begin()) - 1] = true;
                }
            }
            for (std::size_t k = 0; k < starts.size(); ++k) held[k] += seen[k] ? 1 : 0;
        }
        std::vector<std::size_t> order(starts.size());
        for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return held[a] > held[b]; });
        std::vector<std::size_t> chosen;
        for (const std::size_t k : order)
            if (held[k] > 0 && chosen.size() < count) chosen.push_back(k);
        if (chosen.empty()) return first;
        std::sort(chosen.begin(), chosen.end());
        std::string text;
        for (const std::size_t k : chosen) {
            if (!text.empty()) text.push_back('\n');
            if (k == 0) {
                text += first;
            } else if (const std::optional<std::string> piece = UnpackPiece(database->get_metadata(PieceKey(id, k)))) {
                text += *piece;
            }
        }
        return text;
    }

    // The nearest indexed word to word when neither it nor another form of it is indexed; empty
    // when it is (or holds a digit, or is an operator, or nothing is near enough).
    std::string Respelled(const std::string& word) {
        if (std::any_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; })) return {};
        for (const char* op : {"AND", "OR", "NOT", "XOR", "NEAR", "ADJ"})
            if (word == op) return {};
        const std::string lower = LowerUtf8(word);
        if (database->term_exists(lower) || database->term_exists("Z" + stemmer(lower))) return {};
        std::string nearest = database->get_spelling_suggestion(lower, 2);
        // A long word may be two letters off its nearest indexed form and one off another form.
        std::size_t letters = 0;
        for (Xapian::Utf8Iterator it(lower); it != Xapian::Utf8Iterator(); ++it) ++letters;
        if (nearest.empty() && letters >= kLongWordLetters) nearest = database->get_spelling_suggestion(lower, 3);
        return nearest;
    }

    // The query as typed with each word that no form of is indexed spelled as the nearest
    // indexed word - quotes, numbers, operators and words found kept as they stand - when that
    // finds something; else empty.
    std::string Suggestion(std::string_view query) {
        const std::string text(query);
        std::string corrected;
        std::size_t copied = 0;
        bool changed = false;
        for (Xapian::Utf8Iterator it(text), end; it != end;) {
            if (!Xapian::Unicode::is_wordchar(*it)) {
                ++it;
                continue;
            }
            const std::size_t begin = static_cast<std::size_t>(it.raw() - text.data());
            while (it != end && Xapian::Unicode::is_wordchar(*it)) ++it;
            const std::size_t stop = it == end ? text.size() : static_cast<std::size_t>(it.raw() - text.data());
            const std::string better = Respelled(text.substr(begin, stop - begin));
            if (better.empty()) continue;
            corrected.append(text, copied, begin - copied);
            corrected += better;
            copied = stop;
            changed = true;
        }
        if (!changed) return {};
        corrected.append(text, copied);
        Xapian::Enquire enquire(*database);
        try {
            enquire.set_query(Parse(RewriteQuery(corrected)));
        } catch (const Xapian::QueryParserError&) {
            return {};
        }
        return enquire.get_mset(0, 1).empty() ? std::string() : corrected;
    }

    // The words ending in "*" of a query as rewritten that begin more indexed words than are
    // taken for them, as typed.
    std::vector<std::string> CutWildcards(const std::string& rewritten) {
        std::vector<std::string> cut;
        std::size_t at = 0;
        while (at < rewritten.size()) {
            const std::size_t end = std::min(rewritten.find(' ', at), rewritten.size());
            std::string_view word = std::string_view(rewritten).substr(at, end - at);
            at = end + 1;
            while (!word.empty() && (word.front() == '+' || word.front() == '-' || word.front() == '('))
                word.remove_prefix(1);
            while (!word.empty() && word.back() == ')') word.remove_suffix(1);
            if (word.size() < 2 || word.back() != '*' || word.find_first_of("\":*") != word.size() - 1) continue;
            const std::string prefix(word.substr(0, word.size() - 1));
            std::size_t words = 0;
            for (auto it = database->allterms_begin(prefix);
                 it != database->allterms_end(prefix) && words <= kMaxWildcardWords; ++it)
                ++words;
            if (words > kMaxWildcardWords) cut.emplace_back(word);
        }
        return cut;
    }

    std::vector<std::int16_t> NumbersOfTerm(const std::string& term) {
        std::vector<std::int16_t> numbers;
        for (auto it = database->postlist_begin(term); it != database->postlist_end(term); ++it) {
            const std::optional<std::int16_t> number = NumberOfDocumentId(*it);
            if (!number) throw Xapian::DatabaseCorruptError("a document id no document number has");
            numbers.push_back(*number);
        }
        std::sort(numbers.begin(), numbers.end());
        return numbers;
    }
};

Searcher::Searcher(const std::filesystem::path& folder) : m_impl(std::make_unique<Impl>()) {
    const IndexCheck check = OpenIndex(folder, nullptr, m_impl->opened);
    if (check.state == IndexState::Absent)
        m_impl->error = folder.string() + " holds no index";
    else if (check.state != IndexState::Current)
        m_impl->error = "the index cannot be read: " + check.why;
}

Searcher::~Searcher() = default;

bool Searcher::ok() const { return m_impl->error.empty() && m_impl->database.has_value(); }
const std::string& Searcher::error() const { return m_impl->error; }

SearchResult Searcher::Search(std::string_view query, std::size_t maxHits, std::size_t passagesPerHit,
                              const std::vector<std::int16_t>* among) const {
    SearchResult result;
    Impl& d = *m_impl;
    if (!ok()) {
        result.error = d.error;
        return result;
    }
    query = LimitQuery(query, result.wordsLeftOut);
    const RewrittenQuery rewritten = RewriteQuery(query);
    if (!rewritten.error.empty()) {
        result.error = "the query cannot be understood: " + rewritten.error;
        return result;
    }
    try {
        Xapian::Query parsed;
        try {
            parsed = d.Parse(rewritten);
        } catch (const Xapian::QueryParserError& e) {
            result.error = "the query cannot be understood: " + e.get_msg();
            return result;
        }
        if (parsed.empty()) return result;
        result.cutWildcards = d.CutWildcards(rewritten.text);
        // The documents bearing a number typed come first, each pass ranked on its own: a long
        // text citing a number many times would outweigh the document of that number.
        std::vector<Xapian::Query> passes;
        if (d.notes.numberTerms.empty()) {
            passes.push_back(parsed);
        } else {
            const Xapian::Query numbers(Xapian::Query::OP_OR, d.notes.numberTerms.begin(), d.notes.numberTerms.end());
            passes.emplace_back(Xapian::Query::OP_FILTER, parsed, numbers);
            passes.emplace_back(Xapian::Query::OP_AND_NOT, parsed, numbers);
        }
        Xapian::Enquire enquire(*d.database);
        // Equal scores: the higher sort value first (in force, then the newest).
        enquire.set_sort_by_relevance_then_value(kSortValueSlot, true);
        // Every match is looked at, so that the count is exact.
        const Xapian::doccount all = d.database->get_doccount();
        const std::size_t wanted = std::min<std::size_t>(maxHits, 0x10000);
        const std::vector<std::int16_t> none;
        const AmongDecider decider(among != nullptr ? *among : none);
        const std::vector<std::vector<std::string>> words =
            passagesPerHit > 0 ? d.PositionedTerms(parsed) : std::vector<std::vector<std::string>>();
        for (const Xapian::Query& pass : passes) {
            enquire.set_query(pass);
            const auto room = static_cast<Xapian::doccount>(wanted - std::min(wanted, result.hits.size()));
            const Xapian::MSet matches = enquire.get_mset(0, room, all, nullptr, among != nullptr ? &decider : nullptr);
            result.matches += matches.get_matches_estimated();
            for (auto it = matches.begin(); it != matches.end(); ++it) {
                const std::optional<std::int16_t> number = NumberOfDocumentId(*it);
                if (!number) throw Xapian::DatabaseCorruptError("a document id no document number has");
                Hit hit;
                hit.number = *number;
                hit.score = it.get_weight();
                if (passagesPerHit > 0)
                    hit.passages = d.Passages(matches, d.PassageText(*it, it.get_document(), words, passagesPerHit),
                                              passagesPerHit);
                result.hits.push_back(std::move(hit));
            }
        }
        if (result.hits.empty() && result.matches == 0) result.suggestion = d.Suggestion(query);
    } catch (const Xapian::Error& e) {
        d.Damaged(e);
        const std::size_t wordsLeftOut = result.wordsLeftOut;
        result = SearchResult{};
        result.error = d.error;
        result.wordsLeftOut = wordsLeftOut;
    }
    return result;
}

std::vector<std::string> Searcher::Passages(std::string_view query, std::int16_t number, std::size_t count) const {
    Impl& d = *m_impl;
    if (!ok() || count == 0) return {};
    std::size_t wordsLeftOut = 0;
    const RewrittenQuery rewritten = RewriteQuery(LimitQuery(query, wordsLeftOut));
    if (!rewritten.error.empty()) return {};
    try {
        Xapian::Query parsed;
        try {
            parsed = d.Parse(rewritten);
        } catch (const Xapian::QueryParserError&) {
            return {};
        }
        if (parsed.empty()) return {};
        // The query over this document alone: its match gives the passages their marks.
        Xapian::Enquire enquire(*d.database);
        enquire.set_query(
            Xapian::Query(Xapian::Query::OP_FILTER, parsed, Xapian::Query(kKeyPrefix + std::to_string(number))));
        const Xapian::MSet matches = enquire.get_mset(0, 1);
        if (matches.empty()) return {};
        return d.Passages(
            matches, d.PassageText(*matches.begin(), matches.begin().get_document(), d.PositionedTerms(parsed), count),
            count);
    } catch (const Xapian::Error& e) {
        d.Damaged(e);
        return {};
    }
}

std::vector<std::int16_t> Searcher::CitedBy(std::int16_t number) const {
    if (!ok()) return {};
    try {
        return m_impl->NumbersOfTerm(LinkTerm(number));
    } catch (const Xapian::Error& e) {
        m_impl->Damaged(e);
        return {};
    }
}

std::vector<std::int16_t> Searcher::DocumentNumbers() const {
    if (!ok()) return {};
    std::vector<std::int16_t> numbers;
    try {
        for (auto it = m_impl->database->postlist_begin(""); it != m_impl->database->postlist_end(""); ++it) {
            const std::optional<std::int16_t> number = NumberOfDocumentId(*it);
            if (!number) throw Xapian::DatabaseCorruptError("a document id no document number has");
            numbers.push_back(*number);
        }
    } catch (const Xapian::Error& e) {
        m_impl->Damaged(e);
        return {};
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

}  // namespace Norik::FullText
