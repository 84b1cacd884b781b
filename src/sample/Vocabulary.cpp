#include "sample/Vocabulary.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "Helpers/Cp1251.h"
#include "Helpers/DecimalText.h"
#include "Helpers/Folders.h"

namespace Norik {

namespace {

// Declension works on Windows-1251 bytes, one byte a letter; endings are written here in UTF-8.
std::string W(std::string_view utf8) { return Utf8ToCp1251(utf8); }

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// After these letters Russian spelling writes и for ы.
bool IsVelarOrSibilant(char letter) {
    static const std::string letters = W("гкхжшчщ");
    return letters.find(letter) != std::string::npos;
}
bool IsSibilant(char letter) {
    static const std::string letters = W("жшчщц");
    return letters.find(letter) != std::string::npos;
}

using Forms = std::array<std::string, kCaseCount>;

Forms Attach(const std::string& stem, std::initializer_list<const char*> endings) {
    Forms forms;
    int i = 0;
    for (const char* ending : endings) forms[i++] = stem + W(ending);
    return forms;
}

std::vector<std::string> SplitUtf8(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::string current;
    for (const char c : text) {
        if (c == separator) {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.push_back(current);
    return parts;
}

}  // namespace

const std::string& Adjective::AgreeWith(const Noun& noun, Case c, bool plural) const {
    const bool isPlural = plural && !noun.singularOnly;
    int slot = isPlural ? 3 : noun.gender == Gender::Masculine ? 0 : noun.gender == Gender::Feminine ? 1 : 2;
    // The accusative of animate masculine and plural nouns takes the genitive form.
    if (c == Case::Accusative && noun.animate && (slot == 0 || slot == 3)) c = Case::Genitive;
    return forms[slot][static_cast<int>(c)];
}

bool DeclineNoun(std::string_view lemmaUtf8, const std::vector<std::string>& flags, Noun& noun) {
    noun = Noun{};
    const std::string lemma = W(lemmaUtf8);
    noun.lemma = lemma;
    std::string obliqueStem;
    std::string genitivePlural;
    std::vector<std::string> pluralForms;
    bool haveGender = false;
    for (const std::string& flag : flags) {
        if (flag == "m" || flag == "f" || flag == "n") {
            noun.gender = flag == "m" ? Gender::Masculine : flag == "f" ? Gender::Feminine : Gender::Neuter;
            haveGender = true;
        } else if (flag == "a") {
            noun.animate = true;
        } else if (flag == "sg") {
            noun.singularOnly = true;
        } else if (flag.rfind("st=", 0) == 0) {
            obliqueStem = W(flag.substr(3));
        } else if (flag.rfind("gp=", 0) == 0) {
            genitivePlural = W(flag.substr(3));
        } else if (flag.rfind("pl=", 0) == 0) {
            for (const std::string& form : SplitUtf8(flag.substr(3), ',')) pluralForms.push_back(W(form));
            if (pluralForms.size() != kCaseCount) return false;
        } else {
            return false;
        }
    }
    if (!haveGender || lemma.size() < 2) return false;

    Forms singular;
    Forms plural;
    const auto cut = [&](std::size_t letters) { return lemma.substr(0, lemma.size() - letters); };
    if (EndsWith(lemma, W("ия"))) {
        const std::string s = cut(2);
        singular = Attach(s, {"ия", "ии", "ии", "ию", "ией", "ии"});
        plural = Attach(s, {"ии", "ий", "иям", "ии", "иями", "иях"});
    } else if (EndsWith(lemma, W("ие"))) {
        const std::string s = cut(2);
        singular = Attach(s, {"ие", "ия", "ию", "ие", "ием", "ии"});
        plural = Attach(s, {"ия", "ий", "иям", "ия", "иями", "иях"});
    } else if (EndsWith(lemma, W("а"))) {
        const std::string s = cut(1);
        const bool soft = IsVelarOrSibilant(s.back());
        singular = Attach(s, {"а", soft ? "и" : "ы", "е", "у", IsSibilant(s.back()) ? "ей" : "ой", "е"});
        plural = Attach(s, {soft ? "и" : "ы", "", "ам", soft ? "и" : "ы", "ами", "ах"});
    } else if (EndsWith(lemma, W("я"))) {
        const std::string s = cut(1);
        singular = Attach(s, {"я", "и", "е", "ю", "ей", "е"});
        plural = Attach(s, {"и", "ь", "ям", "и", "ями", "ях"});
    } else if (EndsWith(lemma, W("о"))) {
        const std::string s = cut(1);
        singular = Attach(s, {"о", "а", "у", "о", "ом", "е"});
        plural = Attach(s, {"а", "", "ам", "а", "ами", "ах"});
    } else if (EndsWith(lemma, W("ь")) && noun.gender == Gender::Feminine) {
        const std::string s = cut(1);
        singular = Attach(s, {"ь", "и", "и", "ь", "ью", "и"});
        plural = Attach(s, {"и", "ей", "ям", "и", "ями", "ях"});
    } else if (EndsWith(lemma, W("ь")) && noun.gender == Gender::Masculine) {
        const std::string s = obliqueStem.empty() ? cut(1) : obliqueStem;
        singular = Attach(s, {"ь", "я", "ю", "ь", "ем", "е"});
        singular[0] = singular[3] = lemma;
        plural = Attach(s, {"и", "ей", "ям", "и", "ями", "ях"});
    } else if (EndsWith(lemma, W("й")) && noun.gender == Gender::Masculine) {
        const std::string s = cut(1);
        singular = Attach(s, {"й", "я", "ю", "й", "ем", "е"});
        plural = Attach(s, {"и", "ев", "ям", "и", "ями", "ях"});
    } else if (noun.gender == Gender::Masculine) {
        const std::string s = obliqueStem.empty() ? lemma : obliqueStem;
        const char last = s.back();
        singular = Attach(s, {"", "а", "у", "", "ом", "е"});
        singular[0] = singular[3] = lemma;
        const bool soft = IsVelarOrSibilant(last);
        const bool sibilant = IsSibilant(last) && last != W("ц")[0];
        plural = Attach(s, {soft ? "и" : "ы", sibilant ? "ей" : "ов", "ам", soft ? "и" : "ы", "ами", "ах"});
    } else {
        return false;
    }
    if (!genitivePlural.empty()) plural[1] = genitivePlural;
    if (!pluralForms.empty()) std::copy(pluralForms.begin(), pluralForms.end(), plural.begin());
    if (noun.animate) {
        if (noun.gender == Gender::Masculine) singular[3] = singular[1];
        plural[3] = plural[1];
    }
    noun.forms[0] = singular;
    noun.forms[1] = plural;
    return true;
}

bool DeclineAdjective(std::string_view lemmaUtf8, Adjective& adjective) {
    adjective = Adjective{};
    const std::string lemma = W(lemmaUtf8);
    if (lemma.size() < 4) return false;
    if (!EndsWith(lemma, W("ый")) && !EndsWith(lemma, W("ий")) && !EndsWith(lemma, W("ой"))) return false;
    adjective.lemma = lemma;
    const std::string s = lemma.substr(0, lemma.size() - 2);
    const char last = s.back();
    const bool i = IsVelarOrSibilant(last) || EndsWith(lemma, W("ий"));
    // An unstressed о after a sibilant is written е (общего, общее); a stressed ending keeps о.
    const bool e = IsSibilant(last) && !EndsWith(lemma, W("ой"));
    const char* y = i ? "и" : "ы";
    const std::string yM = W(y);
    Forms masculine{lemma, s + W(e ? "его" : "ого"), s + W(e ? "ему" : "ому"),
                    lemma, s + yM + W("м"),          s + W(e ? "ем" : "ом")};
    Forms feminine{s + W("ая"), s + W(e ? "ей" : "ой"), s + W(e ? "ей" : "ой"),
                   s + W("ую"), s + W(e ? "ей" : "ой"), s + W(e ? "ей" : "ой")};
    Forms neuter = masculine;
    neuter[0] = neuter[3] = s + W(e ? "ее" : "ое");
    Forms plural{s + yM + W("е"), s + yM + W("х"), s + yM + W("м"), s + yM + W("е"), s + yM + W("ми"), s + yM + W("х")};
    adjective.forms = {masculine, feminine, neuter, plural};
    return true;
}

std::size_t Vocabulary::WordFormCount() const {
    std::unordered_set<std::string> forms;
    for (const Noun& noun : nouns)
        for (const auto& number : noun.forms)
            for (const std::string& form : number) forms.insert(form);
    for (const Adjective& adjective : adjectives)
        for (const auto& slot : adjective.forms)
            for (const std::string& form : slot) forms.insert(form);
    for (const Verb& verb : verbs) {
        forms.insert(verb.active);
        forms.insert(verb.passive);
        forms.insert(verb.plural);
    }
    return forms.size();
}

std::string Vocabulary::PhraseForm(const Phrase& phrase, Case c, bool plural) const {
    const Noun& noun = nouns[static_cast<std::size_t>(phrase.noun)];
    std::string text;
    for (const int a : phrase.adjectives)
        text += adjectives[static_cast<std::size_t>(a)].AgreeWith(noun, c, plural) + " ";
    return text + noun.Form(c, plural) + phrase.tail;
}

int Vocabulary::TopicOfSection(std::size_t section) const {
    // Walk up through the ancestors: the nearest section before this one with a smaller level.
    int level = 3;
    for (std::size_t i = section + 1; i-- > 0;) {
        if (sections[i].level >= level) continue;
        level = sections[i].level;
        for (std::size_t t = 0; t < topics.size(); ++t)
            for (const std::string& name : topics[t].sectionNames)
                if (name == sections[i].name) return static_cast<int>(t);
        if (level == 0) break;
    }
    return -1;
}

std::string FindVocabularyFolder() {
    namespace fs = std::filesystem;
    std::vector<std::string> candidates;
    if (const char* env = std::getenv("NORIK_VOCABULARY_DIR"); env != nullptr && *env != '\0')
        candidates.push_back(WithTrailingSlash(env));
    const std::string programFolder = ExecutableFolder();
    if (!programFolder.empty()) {
        candidates.push_back(programFolder + "vocabulary/");
        candidates.push_back(SharedFolderOf(programFolder) + "vocabulary/");
    }
#ifdef NORIK_VOCABULARY_SOURCE_DIR
    // The build names the source tree's folder: a path taken from __FILE__ would be relative in a
    // compiler cache's builds, and so found from no other working folder.
    candidates.push_back(WithTrailingSlash(NORIK_VOCABULARY_SOURCE_DIR));
#endif
    std::error_code error;
    for (const std::string& folder : candidates)
        if (fs::is_regular_file(folder + "nouns.txt", error)) return folder;
    return {};
}

namespace {

// Reads the meaningful lines of a vocabulary file: no comments, no blank lines, CR stripped.
// Each result keeps its 1-based line number for messages.
bool ReadLines(const std::string& path, std::vector<std::pair<int, std::string>>& lines, std::string& message) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        message = path + ": cannot be read";
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(file, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line.find_first_not_of(' ') == std::string::npos) continue;
        lines.emplace_back(number, line);
    }
    return true;
}

std::vector<std::string> SplitWords(const std::string& line) {
    std::vector<std::string> words;
    std::size_t start = 0;
    while (start < line.size()) {
        const std::size_t begin = line.find_first_not_of(" \t", start);
        if (begin == std::string::npos) break;
        std::size_t end = line.find_first_of(" \t", begin);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(begin, end - begin));
        start = end;
    }
    return words;
}

const char* const kRoleNames[kRoleCount] = {"authority", "party"};
const char* const kKindNames[kObjectKindCount] = {"doc", "deal", "pay", "thing", "right", "issued", "benefit"};

template <std::size_t N>
bool AddBit(const char* const (&names)[N], const std::string& name, unsigned& bits) {
    for (std::size_t i = 0; i < N; ++i)
        if (name == names[i]) {
            bits |= 1u << i;
            return true;
        }
    return false;
}

std::string Trim(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// "налоговый орган / по месту учета": adjectives, the head noun (known), then a tail kept as is.
bool ParsePhrase(const std::string& utf8, Vocabulary& vocabulary, const std::unordered_map<std::string, int>& nounIndex,
                 Phrase& phrase) {
    const bool rate = !utf8.empty() && utf8[0] == '%';
    const std::string text = rate ? utf8.substr(1) : utf8;
    const std::size_t slash = text.find('/');
    std::vector<std::string> words = SplitWords(text.substr(0, slash));
    if (words.empty()) return false;
    const auto noun = nounIndex.find(W(words.back()));
    if (noun == nounIndex.end()) return false;
    phrase = Phrase{};
    phrase.noun = noun->second;
    phrase.rate = rate;
    words.pop_back();
    for (const std::string& word : words) {
        Adjective adjective;
        if (!DeclineAdjective(word, adjective)) return false;
        std::size_t a = 0;
        while (a < vocabulary.adjectives.size() && vocabulary.adjectives[a].lemma != adjective.lemma) ++a;
        if (a == vocabulary.adjectives.size()) vocabulary.adjectives.push_back(std::move(adjective));
        phrase.adjectives.push_back(static_cast<int>(a));
    }
    if (slash != std::string::npos) {
        const std::string tail = Trim(text.substr(slash + 1));
        if (tail.empty()) return false;
        phrase.tail = " " + W(tail);
    }
    return true;
}

bool LoadTopics(const std::string& folder, Vocabulary& vocabulary,
                const std::unordered_map<std::string, int>& nounIndex, std::string& message) {
    std::vector<std::pair<int, std::string>> lines;
    if (!ReadLines(folder + "topics.txt", lines, message)) return false;
    const auto fail = [&](int line, const std::string& what) {
        message = folder + "topics.txt:" + std::to_string(line) + ": " + what;
        return false;
    };
    std::vector<Topic> topics;
    for (const auto& [number, line] : lines) {
        if (line.rfind("topic ", 0) == 0) {
            topics.emplace_back();
            topics.back().key = Trim(line.substr(6));
            if (topics.back().key.empty()) return fail(number, "a topic needs a key");
            continue;
        }
        const std::size_t colon = line.find(':');
        if (topics.empty() || colon == std::string::npos)
            return fail(number, "expected \"topic KEY\" or \"field: value\"");
        Topic& topic = topics.back();
        const std::string field = Trim(line.substr(0, colon));
        const std::string value = Trim(line.substr(colon + 1));
        if (field == "sections") {
            for (const std::string& name : SplitUtf8(value, '|')) {
                const std::string section = W(Trim(name));
                bool known = false;
                for (const SectionName& s : vocabulary.sections) known = known || s.name == section;
                if (!known) return fail(number, "no section \"" + Trim(name) + "\" in sections.txt");
                topic.sectionNames.push_back(section);
            }
        } else if (field == "law") {
            const std::vector<std::string> forms = SplitUtf8(value, '|');
            if (forms.size() != 2 || forms[0].empty() || forms[1].empty())
                return fail(number, "expected law: instrumental|genitive");
            topic.lawInstrumental = W(forms[0]);
            topic.lawGenitive = W(forms[1]);
        } else if (field == "code") {
            topic.code = W(value);
        } else {
            std::vector<Phrase>* target = nullptr;
            for (int r = 0; r < kRoleCount; ++r)
                if (field == kRoleNames[r]) target = &topic.actors[static_cast<std::size_t>(r)];
            for (int k = 0; k < kObjectKindCount; ++k)
                if (field == kKindNames[k]) target = &topic.objects[static_cast<std::size_t>(k)];
            if (target == nullptr) return fail(number, "unknown field \"" + field + "\"");
            for (const std::string& text : SplitUtf8(value, ';')) {
                Phrase phrase;
                if (!ParsePhrase(Trim(text), vocabulary, nounIndex, phrase))
                    return fail(number,
                                "\"" + Trim(text) + "\": expected adjectives, a noun of nouns.txt, then / and words");
                target->push_back(std::move(phrase));
            }
        }
    }
    // The common phrases belong to every topic.
    const auto common = std::find_if(topics.begin(), topics.end(), [](const Topic& t) { return t.key == "common"; });
    if (common != topics.end()) {
        Topic shared = *common;
        topics.erase(common);
        for (auto& phrases : shared.actors)
            for (Phrase& phrase : phrases) phrase.common = true;
        for (auto& phrases : shared.objects)
            for (Phrase& phrase : phrases) phrase.common = true;
        for (Topic& topic : topics) {
            for (int r = 0; r < kRoleCount; ++r)
                topic.actors[r].insert(topic.actors[r].end(), shared.actors[r].begin(), shared.actors[r].end());
            for (int k = 0; k < kObjectKindCount; ++k)
                topic.objects[k].insert(topic.objects[k].end(), shared.objects[k].begin(), shared.objects[k].end());
        }
    }
    for (const Topic& topic : topics) {
        const bool complete = !topic.sectionNames.empty() && !topic.lawInstrumental.empty() &&
                              !topic.actors[0].empty() && !topic.actors[1].empty() &&
                              !topic.objects[static_cast<int>(ObjectKind::Document)].empty();
        if (!complete) {
            message = folder + "topics.txt: topic " + topic.key + " needs sections, law, authority, party and doc";
            return false;
        }
    }
    vocabulary.topics = std::move(topics);
    return true;
}

}  // namespace

bool LoadVocabulary(const std::string& folder, Vocabulary& vocabulary, std::string& message) {
    vocabulary = Vocabulary{};
    const auto where = [&](const std::string& file, int line) {
        return folder + file + ":" + std::to_string(line) + ": ";
    };
    std::vector<std::pair<int, std::string>> lines;

    if (!ReadLines(folder + "sections.txt", lines, message)) return false;
    int previousLevel = -1;
    for (const auto& [number, line] : lines) {
        const std::size_t indent = line.find_first_not_of(' ');
        if (indent % 2 != 0 || static_cast<int>(indent / 2) > previousLevel + 1 || indent / 2 > 2) {
            message = where("sections.txt", number) + "indent must be 0, 2 or 4 spaces and at most one level deeper";
            return false;
        }
        previousLevel = static_cast<int>(indent / 2);
        vocabulary.sections.push_back({previousLevel, W(line.substr(indent))});
    }

    lines.clear();
    if (!ReadLines(folder + "types.txt", lines, message)) return false;
    for (const auto& [number, line] : lines) {
        const std::vector<std::string> fields = SplitUtf8(line, '|');
        const std::optional<long long> weight = fields.size() > 2 ? ParseDecimal(fields[2], 1, INT_MAX) : std::nullopt;
        if ((fields.size() != 4 && fields.size() != 5) || fields[0].empty() || fields[1].empty() || !weight) {
            message = where("types.txt", number) + "expected name|number form|weight|issuer|topics";
            return false;
        }
        DocumentType type{W(fields[0]), W(fields[1]), static_cast<int>(*weight), W(fields[3]), {}};
        if (fields.size() == 5 && !fields[4].empty()) type.topics = SplitUtf8(fields[4], ',');
        vocabulary.types.push_back(std::move(type));
    }

    lines.clear();
    if (!ReadLines(folder + "nouns.txt", lines, message)) return false;
    std::set<std::string> seen;
    for (const auto& [number, line] : lines) {
        std::vector<std::string> words = SplitWords(line);
        Noun noun;
        const std::string lemma = words.front();
        words.erase(words.begin());
        if (!DeclineNoun(lemma, words, noun)) {
            message = where("nouns.txt", number) + "unknown declension or flag";
            return false;
        }
        if (seen.insert(noun.lemma).second) vocabulary.nouns.push_back(std::move(noun));
    }

    lines.clear();
    seen.clear();
    if (!ReadLines(folder + "adjectives.txt", lines, message)) return false;
    for (const auto& [number, line] : lines) {
        Adjective adjective;
        if (!DeclineAdjective(SplitWords(line).front(), adjective)) {
            message = where("adjectives.txt", number) + "expected an adjective ending in -ый, -ий or -ой";
            return false;
        }
        if (seen.insert(adjective.lemma).second) vocabulary.adjectives.push_back(std::move(adjective));
    }

    std::unordered_map<std::string, int> nounIndex;
    for (std::size_t i = 0; i < vocabulary.nouns.size(); ++i)
        nounIndex.emplace(vocabulary.nouns[i].lemma, static_cast<int>(i));

    lines.clear();
    if (!ReadLines(folder + "verbs.txt", lines, message)) return false;
    for (const auto& [number, line] : lines) {
        const std::vector<std::string> fields = SplitUtf8(line, '|');
        bool ok = fields.size() == 7;
        for (std::size_t f = 0; ok && f < fields.size(); ++f) ok = !fields[f].empty();
        Verb verb;
        if (ok) {
            verb = {W(fields[0]), W(fields[1]), W(fields[2]), W(fields[3]), 0, 0, 0};
            const auto noun = nounIndex.find(W(fields[4]));
            ok = noun != nounIndex.end();
            if (ok) verb.action = noun->second;
            for (const std::string& role : SplitUtf8(fields[5], ',')) ok = ok && AddBit(kRoleNames, role, verb.roles);
            for (const std::string& kind : SplitUtf8(fields[6], ',')) ok = ok && AddBit(kKindNames, kind, verb.kinds);
        }
        if (!ok) {
            message = where("verbs.txt", number) +
                      "expected active|passive|plural|infinitive|action noun of nouns.txt|roles|object kinds";
            return false;
        }
        vocabulary.verbs.push_back(std::move(verb));
    }

    lines.clear();
    if (!ReadLines(folder + "names.txt", lines, message)) return false;
    for (const auto& [number, line] : lines) {
        const std::vector<std::string> fields = SplitUtf8(line, '|');
        if ((fields.size() != 2 && fields.size() != 3) || fields[0].empty() || fields[1].empty()) {
            message = where("names.txt", number) + "expected position|name|words of the types signed";
            return false;
        }
        Signatory signatory{W(fields[0]), W(fields[1]), {}};
        if (fields.size() == 3 && !fields[2].empty())
            for (const std::string& sign : SplitUtf8(fields[2], ',')) signatory.signs.push_back(W(sign));
        vocabulary.signatories.push_back(std::move(signatory));
    }

    if (!LoadTopics(folder, vocabulary, nounIndex, message)) return false;

    if (vocabulary.topics.empty() || vocabulary.signatories.empty() || vocabulary.sections.empty() ||
        vocabulary.types.empty() || vocabulary.nouns.empty() || vocabulary.adjectives.empty() ||
        vocabulary.verbs.empty()) {
        message = folder + ": a vocabulary file holds no entries";
        return false;
    }
    return true;
}

}  // namespace Norik
