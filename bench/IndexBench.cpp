// The full-text index: loading, a range over a wide prefix, and three-word lookups (all words and
// any word), each measured beside the straightforward version (lists merged one at a time into a
// growing result, entries loaded one allocation each) and beside sqlite3 FTS5 prefix queries over
// the same postings.
//
//   build-x/IndexBench [--keys N] [--postings N] [--seed S]      (defaults 300000, 25000000, 1)
//
// The index is generated before the measurements: 16,000 documents, about 300,000 word keys made
// from Russian-like syllables through WordHash, document frequencies following Zipf's law. The FTS5
// table holds, for every document, one token per key it carries: the key's 5-bit letter codes
// written as characters, so that an FTS5 prefix query covers exactly the keys of our prefix range.
// Every query's result is checked to be identical across the three implementations.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

#include "Helpers/SFile.h"
#include "index/DocBitmap.h"
#include "index/IndexSpace.h"

namespace {

using IndexSpace::DocNumber;
using IndexSpace::DocNumberList;
using IndexSpace::IndexKey;
using IndexSpace::IndexImpl::IndexInt;

constexpr int kDocuments = 16000;

struct Options {
    std::size_t keys = 300000;
    std::size_t postings = 25000000;
    std::uint64_t seed = 1;
};

class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t m_state;
};

// Windows-1251 letters: consonants and vowels of a Russian-like syllable.
const char* const kConsonants[] = {"\xE1", "\xE2", "\xE3", "\xE4", "\xE6", "\xE7", "\xEA", "\xEB", "\xEC", "\xED",
                                   "\xEF", "\xF0", "\xF1", "\xF2", "\xF4", "\xF5", "\xF6", "\xF7", "\xF8", "\xF9"};
const char* const kVowels[] = {"\xE0", "\xE5", "\xE8", "\xEE", "\xF3", "\xFB", "\xFF", "\xFE", "\xFD"};

std::string MakeWord(Random& random) {
    std::string word;
    const std::size_t syllables = 2 + random.Below(4);
    for (std::size_t s = 0; s < syllables; ++s) {
        word += kConsonants[random.Below(std::size(kConsonants))];
        word += kVowels[random.Below(std::size(kVowels))];
        if (random.Below(3) == 0) word += kConsonants[random.Below(std::size(kConsonants))];
    }
    return word;
}

// The FTS5 token of a key: its 5-bit codes from the top, trailing zero codes dropped.
std::string TokenOf(IndexKey key) {
    static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz012345";
    auto bits = static_cast<std::uint64_t>(key);
    std::string token;
    for (int shift = 59; shift >= -1 && bits != 0; shift -= 5) {
        const unsigned code =
            shift >= 0 ? static_cast<unsigned>(bits >> shift) & 31u : static_cast<unsigned>(bits << 1) & 31u;
        token += kAlphabet[code];
        if (shift >= 0)
            bits &= ~(std::uint64_t{31} << shift);
        else
            bits = 0;
    }
    return token;
}

struct Corpus {
    std::vector<IndexKey> keys;
    std::vector<std::vector<DocNumber>> lists;
    std::vector<std::string> words;  // one word per key, for choosing queries
    std::size_t postings = 0;
};

Corpus Generate(const Options& options) {
    Random random(options.seed);
    std::map<IndexKey, std::string> byKey;
    while (byKey.size() < options.keys) {
        std::string word = MakeWord(random);
        const IndexKey key = IndexSpace::WordHash(word);
        if (key != 0) byKey.emplace(key, std::move(word));
    }
    Corpus corpus;
    for (auto& [key, word] : byKey) {
        corpus.keys.push_back(key);
        corpus.words.push_back(std::move(word));
    }
    // Zipf's law over a random ranking of the keys, scaled to the requested number of postings.
    std::vector<std::size_t> rank(corpus.keys.size());
    for (std::size_t i = 0; i < rank.size(); ++i) rank[i] = i;
    for (std::size_t i = rank.size(); i > 1; --i) std::swap(rank[i - 1], rank[random.Below(i)]);
    auto frequency = [&](double scale, std::size_t r) {
        return std::clamp(scale / static_cast<double>(r + 1), 1.0, static_cast<double>(kDocuments));
    };
    double low = 1, high = 1e9;
    for (int step = 0; step < 60; ++step) {
        const double scale = (low + high) / 2;
        double total = 0;
        for (std::size_t r = 0; r < rank.size(); ++r) total += frequency(scale, r);
        (total < static_cast<double>(options.postings) ? low : high) = scale;
    }
    corpus.lists.resize(corpus.keys.size());
    Norik::DocBitmap picked;
    for (std::size_t i = 0; i < corpus.keys.size(); ++i) {
        const auto count = static_cast<std::size_t>(frequency(low, rank[i]));
        std::vector<DocNumber>& list = corpus.lists[i];
        if (count * 4 > kDocuments) {
            const double p = static_cast<double>(count) / kDocuments;
            for (int doc = 1; doc <= kDocuments; ++doc)
                if (random.Unit() < p) list.push_back(static_cast<DocNumber>(doc));
        } else {
            picked.Reset();
            for (std::size_t k = 0; k < count; ++k) picked.Set(static_cast<DocNumber>(1 + random.Below(kDocuments)));
            list = picked.ToList();
        }
        if (list.empty()) list.push_back(static_cast<DocNumber>(1 + random.Below(kDocuments)));
        corpus.postings += list.size();
    }
    return corpus;
}

// ---- the straightforward versions -------------------------------------------------------------

DocNumberList Merge(const DocNumberList& a, std::span<const DocNumber> b) {
    DocNumberList out;
    out.reserve(a.size() + b.size());
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

DocNumberList Intersect(const DocNumberList& a, const DocNumberList& b) {
    DocNumberList out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

// Copies the first list of the range, then merges each further list into the growing result.
DocNumberList NaiveFindRange(const IndexInt& index, IndexKey low, IndexKey high) {
    auto search = [&](auto below) {
        std::size_t lo = 0, hi = index.EntryCount();
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (below(index.KeyAt(mid)))
                lo = mid + 1;
            else
                hi = mid;
        }
        return lo;
    };
    const std::size_t lo = search([&](IndexKey key) { return key < low; });
    const std::size_t end = search([&](IndexKey key) { return key <= high; });
    if (lo == end) throw IndexSpace::Value_Not_Found{};
    const auto head = index.ListAt(lo);
    DocNumberList result(head.begin(), head.end());
    for (std::size_t entry = lo + 1; entry < end; ++entry) result = Merge(result, index.ListAt(entry));
    return result;
}

std::pair<IndexKey, IndexKey> WordRange(const std::string& word) {
    return {IndexSpace::WordHash(word), IndexSpace::WordHash(word + std::string(IndexSpace::kPrefixRangeSuffix))};
}

DocNumberList NaiveFindWords(const IndexInt& index, const std::vector<std::string>& words, bool allWords) {
    DocNumberList result;
    for (const std::string& word : words) {
        const auto [low, high] = WordRange(word);
        if (low == 0) continue;
        if (allWords) {
            DocNumberList docs = NaiveFindRange(index, low, high);
            if (result.empty()) {
                result = std::move(docs);
            } else {
                result = Intersect(result, docs);
                if (result.empty()) throw IndexSpace::Value_Not_Found{};
            }
        } else {
            try {
                const DocNumberList docs = NaiveFindRange(index, low, high);
                result = result.empty() ? docs : Merge(result, docs);
            } catch (...) {
            }
        }
    }
    if (result.empty()) throw IndexSpace::Value_Not_Found{};
    return result;
}

// The entry-per-allocation layout, read field by field through the stream.
struct NaiveEntry {
    IndexKey key;
    DocNumberList docs;
};

std::size_t NaiveLoad(const std::string& path, std::vector<NaiveEntry>& entries) {
    Norik::SFileStream stream;
    stream.Open(path, Norik::kModeRead, true);
    std::uint32_t count = 0;
    stream.Read(&count, 4);
    entries.clear();
    entries.reserve(count);
    std::size_t bytes = count * sizeof(NaiveEntry);
    for (std::uint32_t i = 0; i < count; ++i) {
        NaiveEntry entry{};
        std::int16_t n = 0;
        stream.Read(&entry.key, 8);
        stream.Read(&n, 2);
        entry.docs.resize(static_cast<std::size_t>(n));
        stream.Read(entry.docs.data(), 2 * n);
        bytes += 2 * static_cast<std::size_t>(n) + 16;  // list plus the allocator's header
        entries.push_back(std::move(entry));
    }
    return bytes;
}

// ---- sqlite3 FTS5 ------------------------------------------------------------------------------

class Fts {
public:
    Fts(const Corpus& corpus, const std::string& path) {
        std::filesystem::remove(path);
        Check(sqlite3_open(path.c_str(), &m_db));
        Exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-400000;");
        // detail=none: document ids only, like our postings; prefix indexes for 2 and 3 characters.
        Exec("CREATE VIRTUAL TABLE words USING fts5(body, detail=none, prefix='2 3');");
        std::vector<std::vector<std::uint32_t>> byDoc(kDocuments + 1);
        for (std::size_t k = 0; k < corpus.keys.size(); ++k)
            for (const DocNumber doc : corpus.lists[k])
                byDoc[static_cast<std::size_t>(doc)].push_back(static_cast<std::uint32_t>(k));
        std::vector<std::string> tokens(corpus.keys.size());
        for (std::size_t k = 0; k < corpus.keys.size(); ++k) tokens[k] = TokenOf(corpus.keys[k]);
        Exec("BEGIN");
        sqlite3_stmt* insert = nullptr;
        Check(sqlite3_prepare_v2(m_db, "INSERT INTO words(rowid, body) VALUES (?, ?)", -1, &insert, nullptr));
        std::string body;
        for (int doc = 1; doc <= kDocuments; ++doc) {
            body.clear();
            for (const std::uint32_t k : byDoc[static_cast<std::size_t>(doc)]) {
                body += tokens[k];
                body += ' ';
            }
            sqlite3_bind_int(insert, 1, doc);
            sqlite3_bind_text(insert, 2, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
            if (sqlite3_step(insert) != SQLITE_DONE) Fail();
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        Exec("COMMIT");
        Exec("INSERT INTO words(words) VALUES('optimize')");
        Check(sqlite3_prepare_v2(m_db, "SELECT rowid FROM words WHERE words MATCH ? ORDER BY rowid", -1, &m_query,
                                 nullptr));
    }
    ~Fts() {
        sqlite3_finalize(m_query);
        sqlite3_close(m_db);
    }

    DocNumberList Match(const std::string& expression) {
        DocNumberList result;
        sqlite3_bind_text(m_query, 1, expression.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(m_query) == SQLITE_ROW)
            result.push_back(static_cast<DocNumber>(sqlite3_column_int(m_query, 0)));
        sqlite3_reset(m_query);
        return result;
    }

private:
    void Exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
            std::exit(1);
        }
    }
    void Check(int code) {
        if (code != SQLITE_OK) Fail();
    }
    [[noreturn]] void Fail() {
        std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(m_db));
        std::exit(1);
    }

    sqlite3* m_db = nullptr;
    sqlite3_stmt* m_query = nullptr;
};

// ---- timing ------------------------------------------------------------------------------------

// Mean seconds per call over repeated calls filling at least minSeconds; the best of three rounds.
double Time(const std::function<void()>& call, double minSeconds = 0.3) {
    using Clock = std::chrono::steady_clock;
    double best = 1e300;
    for (int round = 0; round < 3; ++round) {
        std::size_t calls = 0;
        const auto start = Clock::now();
        double elapsed = 0;
        do {
            call();
            ++calls;
            elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        } while (elapsed < minSeconds);
        best = std::min(best, elapsed / static_cast<double>(calls));
    }
    return best;
}

void Expect(bool same, const char* what) {
    if (!same) {
        std::fprintf(stderr, "results differ: %s\n", what);
        std::exit(1);
    }
}

std::string Codes(const std::string& word) { return TokenOf(IndexSpace::WordHash(word)); }

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--keys"))
            options.keys = std::strtoull(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--postings"))
            options.postings = std::strtoull(argv[i + 1], nullptr, 10);
        else if (!std::strcmp(argv[i], "--seed"))
            options.seed = std::strtoull(argv[i + 1], nullptr, 10);
    }
    setenv("NORIK_ERROR_LOG", "/dev/null", 0);
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "norik-index-bench";
    std::filesystem::create_directories(folder);
    const std::string indexPath = (folder / "index.ttx").string();

    auto started = std::chrono::steady_clock::now();
    const Corpus corpus = Generate(options);
    IndexInt built;
    for (std::size_t k = 0; k < corpus.keys.size(); ++k) built.Append(corpus.keys[k], corpus.lists[k]);
    if (built.WriteFile(indexPath) != Norik::kOk) return 1;
    const auto fileBytes = std::filesystem::file_size(indexPath);
    std::printf("index: %d documents, %zu keys, %zu postings, file %.1f MB (generated in %.1f s)\n", kDocuments,
                corpus.keys.size(), corpus.postings, static_cast<double>(fileBytes) / 1e6,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());

    started = std::chrono::steady_clock::now();
    Fts fts(corpus, (folder / "fts.sqlite").string());
    std::printf("sqlite %s FTS5 table built in %.1f s\n\n", sqlite3_libversion(),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());

    // Load.
    IndexInt index;
    const double loadOurs = Time(
        [&] {
            IndexSpace::IIndexLongStr handle;
            handle.SetFile(indexPath);
            if (handle.Count() != static_cast<std::int32_t>(corpus.keys.size())) std::exit(1);
        },
        1.0);
    {
        Norik::SFileStream stream;
        stream.Open(indexPath, Norik::kModeRead, true);
        index.Load(stream);
    }
    std::vector<NaiveEntry> naiveEntries;
    std::size_t naiveBytes = 0;
    const double loadNaive = Time([&] { naiveBytes = NaiveLoad(indexPath, naiveEntries); }, 1.0);
    std::printf("%-52s %12s %12s %8s %12s %8s\n", "operation", "ours", "one-by-one", "ratio", "sqlite FTS5", "ratio");
    std::printf("%-52s %10.1f ms %10.1f ms %7.1fx %12s %8s\n", "load index file", loadOurs * 1e3, loadNaive * 1e3,
                loadNaive / loadOurs, "-", "-");
    std::printf("%-52s %12.2f %12.2f\n", "  memory / file size", static_cast<double>(index.MemoryBytes()) / fileBytes,
                static_cast<double>(naiveBytes) / fileBytes);

    // Prefix ranges: the first one and the first two letter codes with the most keys.
    auto widestPrefix = [&](int codes) {
        std::map<std::uint64_t, std::size_t> keysPer;
        const int shift = 64 - 5 * codes;
        for (const IndexKey key : corpus.keys) ++keysPer[static_cast<std::uint64_t>(key) >> shift];
        const auto best = std::max_element(keysPer.begin(), keysPer.end(),
                                           [](const auto& a, const auto& b) { return a.second < b.second; });
        const IndexKey low = static_cast<IndexKey>(best->first << shift);
        const IndexKey high = static_cast<IndexKey>((best->first << shift) | ((std::uint64_t{1} << shift) - 1));
        return std::pair{low, high};
    };
    for (const int codes : {1, 2}) {
        const auto range = widestPrefix(codes);
        // Plain locals: the timing lambdas below capture them.
        const IndexKey low = range.first;
        const IndexKey high = range.second;
        const std::string prefix = TokenOf(low).substr(0, static_cast<std::size_t>(codes)) + "*";
        const DocNumberList ours = index.FindRange(low, high);
        Expect(ours == NaiveFindRange(index, low, high), "range, one-by-one");
        Expect(ours == fts.Match(prefix), "range, FTS5");
        std::size_t keys = 0, postings = 0;
        for (std::size_t k = 0; k < corpus.keys.size(); ++k)
            if (corpus.keys[k] >= low && corpus.keys[k] <= high) ++keys, postings += corpus.lists[k].size();
        const double tOurs = Time([&] { index.FindRange(low, high); });
        const double tNaive = Time([&] { NaiveFindRange(index, low, high); });
        const double tFts = Time([&] { fts.Match(prefix); });
        char label[96];
        std::snprintf(label, sizeof label, "FindRange %d-letter prefix (%zu keys, %zu post.)", codes, keys, postings);
        std::printf("%-52s %9.3f ms %9.3f ms %7.1fx %9.3f ms %7.1fx\n", label, tOurs * 1e3, tNaive * 1e3,
                    tNaive / tOurs, tFts * 1e3, tFts / tOurs);
    }

    // Three words as a user types them: four-letter stems of words of middling frequency (a few
    // thousand documents each), the first three that still share documents.
    IndexSpace::IIndexLongStr handle;
    handle.SetFile(indexPath);
    handle.Count();
    std::vector<std::size_t> byFrequency(corpus.keys.size());
    for (std::size_t k = 0; k < byFrequency.size(); ++k) byFrequency[k] = k;
    std::sort(byFrequency.begin(), byFrequency.end(),
              [&](std::size_t a, std::size_t b) { return corpus.lists[a].size() > corpus.lists[b].size(); });
    std::vector<std::string> words;
    for (std::size_t i = 0; words.size() < 3 && i < byFrequency.size(); ++i) {
        if (corpus.lists[byFrequency[i]].size() > kDocuments / 4) continue;
        std::string stem = corpus.words[byFrequency[i]].substr(0, 4);
        while (!stem.empty() && IndexSpace::EndingChars[static_cast<unsigned char>(stem.back())]) stem.pop_back();
        if (stem.size() < 3 || std::find(words.begin(), words.end(), stem) != words.end()) continue;
        words.push_back(stem);
        try {
            handle.FindWords(words, true);
        } catch (const IndexSpace::Value_Not_Found&) {
            words.pop_back();
        }
    }
    for (const bool all : {true, false}) {
        std::string expression;
        for (const std::string& word : words)
            expression += (expression.empty() ? "" : (all ? " AND " : " OR ")) + Codes(word) + "*";
        const DocNumberList ours = handle.FindWords(words, all);
        Expect(ours == NaiveFindWords(index, words, all), "words, one-by-one");
        Expect(ours == fts.Match(expression), "words, FTS5");
        std::size_t keys = 0;
        for (const std::string& word : words) {
            const auto [low, high] = WordRange(word);
            for (const IndexKey key : corpus.keys) keys += key >= low && key <= high;
        }
        const double tOurs = Time([&] { handle.FindWords(words, all); });
        const double tNaive = Time([&] { NaiveFindWords(index, words, all); });
        const double tFts = Time([&] { fts.Match(expression); });
        char label[96];
        std::snprintf(label, sizeof label, "FindWords 3 words, %s (%zu keys, %zu found)", all ? "all" : "any", keys,
                      ours.size());
        std::printf("%-52s %9.3f ms %9.3f ms %7.1fx %9.3f ms %7.1fx\n", label, tOurs * 1e3, tNaive * 1e3,
                    tNaive / tOurs, tFts * 1e3, tFts / tOurs);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
