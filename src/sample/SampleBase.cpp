#include "sample/SampleBase.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "Helpers/Cp1251.h"
#include "Helpers/DecimalText.h"
#include "Helpers/Folders.h"
#include "sample/RtfComposer.h"
#include "sample/SampleRandom.h"
#include "showdata/DayCode.h"
#include "showdata/ListDoc.h"

namespace Norik {

namespace {

// The last date of the sample base: its dates of introduction run from 1991 up to it. A fixed
// date keeps the base the same on every day it is made.
constexpr int kLastYear = 2025;
constexpr int kLastMonth = 6;
constexpr int kLastDay = 30;
constexpr int kFirstYear = 1991;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe) + static_cast<int>(era) * 400 + (m <= 2);
}
std::int32_t DayCodeOfDays(std::int64_t days) {
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    return ShowData::MakeDayCode(y, m, d);
}

}  // namespace

SampleBase::SampleBase(const Vocabulary& vocabulary, SampleOptions options)
    : m_vocabulary(vocabulary), m_options(options) {
    m_options.documents = std::clamp(m_options.documents, 1, kMaxSampleDocuments);
    SampleRandom random(m_options.seed, 0);

    // Classifier: ids in file order; a section without subsections holds documents.
    std::vector<int> parents{0, 0, 0};
    for (std::size_t i = 0; i < vocabulary.sections.size(); ++i) {
        const SectionName& section = vocabulary.sections[i];
        SampleSection node;
        node.id = static_cast<int>(i) + 1;
        node.parentId = section.level == 0 ? 0 : parents[section.level - 1];
        node.name = section.name;
        const bool hasChildren = i + 1 < vocabulary.sections.size() && vocabulary.sections[i + 1].level > section.level;
        node.hasDocuments = !hasChildren;
        parents[section.level] = node.id;
        m_sections.push_back(node);
    }
    // The sections that hold documents, by topic; a section no topic covers goes with the first.
    std::vector<std::vector<int>> leaves(vocabulary.topics.size());
    for (std::size_t i = 0; i < m_sections.size(); ++i)
        if (m_sections[i].hasDocuments)
            leaves[static_cast<std::size_t>(std::max(0, vocabulary.TopicOfSection(i)))].push_back(m_sections[i].id);
    // The topics a type writes about, weighted by their number of sections.
    std::vector<std::vector<int>> topicsOfType(vocabulary.types.size());
    std::vector<std::vector<int>> topicWeights(vocabulary.types.size());
    for (std::size_t t = 0; t < vocabulary.types.size(); ++t) {
        const std::vector<std::string>& keys = vocabulary.types[t].topics;
        for (std::size_t k = 0; k < vocabulary.topics.size(); ++k) {
            const Topic& topic = vocabulary.topics[k];
            const bool fits = keys.empty() || std::find(keys.begin(), keys.end(), topic.key) != keys.end() ||
                              (!topic.code.empty() && std::find(keys.begin(), keys.end(), "code") != keys.end());
            if (fits && !leaves[k].empty()) {
                topicsOfType[t].push_back(static_cast<int>(k));
                topicWeights[t].push_back(static_cast<int>(leaves[k].size()));
            }
        }
        // A type naming no known topic writes about any.
        if (topicsOfType[t].empty())
            for (std::size_t k = 0; k < vocabulary.topics.size(); ++k)
                if (!leaves[k].empty()) {
                    topicsOfType[t].push_back(static_cast<int>(k));
                    topicWeights[t].push_back(static_cast<int>(leaves[k].size()));
                }
    }

    for (const DocumentType& type : vocabulary.types)
        if (std::find(m_typeNames.begin(), m_typeNames.end(), type.name) == m_typeNames.end())
            m_typeNames.push_back(type.name);
    std::vector<int> typeWeights;
    for (const DocumentType& type : vocabulary.types) typeWeights.push_back(type.weight);

    const std::int64_t firstDay = DaysFromCivil(kFirstYear, 1, 1);
    const std::int64_t lastDay = DaysFromCivil(kLastYear, kLastMonth, kLastDay);
    m_baseDate = ShowData::MakeDayCode(kLastYear, kLastMonth, kLastDay);

    // The large documents of a full-size base, spread over the numbers.
    std::vector<std::size_t> largeIndexes;
    if (m_options.large) {
        const int count = std::clamp(m_options.documents / 2500, 1, 8);
        for (int k = 0; k < count; ++k)
            largeIndexes.push_back(static_cast<std::size_t>(m_options.documents) * static_cast<std::size_t>(2 * k + 1) /
                                   static_cast<std::size_t>(2 * count));
    }

    m_documents.reserve(static_cast<std::size_t>(m_options.documents));
    for (int i = 0; i < m_options.documents; ++i) {
        SampleDocument doc;
        doc.number = static_cast<std::int16_t>(i + 1);
        doc.typeIndex = random.Weighted(typeWeights);
        // Later years carry more documents, as a real base grows.
        const double u = random.Unit();
        const std::int64_t day =
            firstDay + static_cast<std::int64_t>(std::sqrt(u) * static_cast<double>(lastDay - firstDay));
        doc.dateOfIntroduction = DayCodeOfDays(day);
        doc.dateAdded =
            DayCodeOfDays(std::min<std::int64_t>(lastDay, day + static_cast<std::int64_t>(random.Below(90))));
        const double age = static_cast<double>(lastDay - day) / static_cast<double>(lastDay - firstDay);
        doc.inForce = !random.Chance(0.08 + 0.5 * age);
        const std::size_t typeIndex = static_cast<std::size_t>(doc.typeIndex);
        doc.topic = topicsOfType[typeIndex][static_cast<std::size_t>(random.Weighted(topicWeights[typeIndex]))];
        // One to three sections of the document's topic.
        const std::vector<int>& pool = leaves[static_cast<std::size_t>(doc.topic)];
        const int wanted = random.Chance(0.6) ? 1 : random.Chance(0.75) ? 2 : 3;
        const int sectionCount = std::min(wanted, static_cast<int>(pool.size()));
        while (static_cast<int>(doc.classIds.size()) < sectionCount) {
            const int id = pool[random.Below(pool.size())];
            if (std::find(doc.classIds.begin(), doc.classIds.end(), id) == doc.classIds.end())
                doc.classIds.push_back(id);
        }
        std::sort(doc.classIds.begin(), doc.classIds.end());
        const DocumentType& type = vocabulary.types[typeIndex];
        doc.numberText = ComposeNumberText(type.numberForm, random);
        doc.title = ComposeTitle(vocabulary, type, vocabulary.topics[static_cast<std::size_t>(doc.topic)], random,
                                 &doc.subject);
        // RTF sizes from about 2 KB to 60 KB, most around 10 KB.
        doc.targetSize =
            static_cast<std::size_t>(2000.0 * std::exp(random.Unit() * random.Unit() * 3.4 + random.Unit()));
        m_documents.push_back(std::move(doc));
    }
    for (std::size_t k = 0; k < largeIndexes.size(); ++k) {
        const std::size_t span = largeIndexes.size() > 1 ? largeIndexes.size() - 1 : 1;
        m_documents[largeIndexes[k]].targetSize = (5 + 15 * k / span) * 1000 * 1000;
    }
}

std::string SampleBase::Describe(const std::string& name) const { return "sample:" + name; }

std::string SampleBase::ClassTableText() const {
    std::string text = std::to_string(m_sections.size()) + "\n";
    for (const SampleSection& section : m_sections) {
        // The name follows the fourth number directly: a blank there would belong to the name.
        text += std::to_string(section.id) + " " + std::to_string(section.parentId) + " " +
                (section.hasDocuments ? "1" : "0") + " 0" + section.name + "\n";
    }
    return text;
}

std::string SampleBase::TypeListText() const {
    std::string text;
    for (const std::string& name : m_typeNames) text += name + "\n";
    return text;
}

std::string SampleBase::ItemsText() const {
    std::size_t rows = 0;
    for (const SampleDocument& doc : m_documents) rows += doc.classIds.size();
    std::string text = std::to_string(rows) + "\n";
    for (const SampleDocument& doc : m_documents) {
        const DocumentType& type = m_vocabulary.types[static_cast<std::size_t>(doc.typeIndex)];
        for (const int classId : doc.classIds) {
            // The blank after the third number belongs to the type, as in the tables of a real base.
            text += std::to_string(doc.number) + " " + std::to_string(classId) + " " + std::to_string(doc.dateAdded) +
                    " " + type.name + "|" + doc.title + "|" + doc.numberText + "|" +
                    std::to_string(doc.dateOfIntroduction) + "|" + (doc.inForce ? "1" : "0") + "|1\n";
        }
    }
    return text;
}

std::string SampleBase::DescriptText() const { return "1\n" + std::to_string(m_baseDate) + "\n"; }

bool SampleBase::ReadTable(const std::string& name, std::string& bytes, std::string& message) const {
    if (name == "class.ttx")
        bytes = ClassTableText();
    else if (name == "typelist.ttx")
        bytes = TypeListText();
    else if (name == "Items.ttx")
        bytes = ItemsText();
    else if (name == "descript.ttx")
        bytes = DescriptText();
    else {
        message = Describe(name) + ": no such table";
        return false;
    }
    return true;
}

std::vector<std::string> SampleBase::TextNames() const {
    std::vector<std::string> names;
    names.reserve(m_documents.size());
    for (const SampleDocument& doc : m_documents) names.push_back(ShowData::DocFileName(doc.number) + ".rtf");
    return names;
}

bool SampleBase::ReadText(const std::string& fileName, std::string& bytes, std::string& message) const {
    const std::optional<long long> number = ParseDecimal(std::string_view(fileName).substr(0, fileName.find('.')), 1,
                                                         static_cast<long long>(m_documents.size()));
    if (!number) {
        message = Describe("texts/" + fileName) + ": no such text";
        return false;
    }
    bytes = DocumentText(static_cast<std::size_t>(*number - 1));
    return true;
}

std::string InventedWord(int i) {
    // Letters of distinct key codes, none of them skipped or stripped by the key function: 108
    // syllables give 22,674,816 words of three syllables and a closing consonant. The number is
    // spread over them by a multiplier prime to their count, so neighbouring words start unalike.
    static const std::string consonants = Utf8ToCp1251("бвгдзклмнпрстфхцчш");
    static const std::string vowels = Utf8ToCp1251("аеиоуя");
    const std::uint64_t syllables = consonants.size() * vowels.size();
    const std::uint64_t count = syllables * syllables * syllables * consonants.size();
    std::uint64_t code = (static_cast<std::uint64_t>(i) * 1000003u + 7919u) % count;
    std::string word;
    for (int s = 0; s < 3; ++s, code /= syllables) {
        word += consonants[code % syllables / vowels.size()];
        word += vowels[code % vowels.size()];
    }
    word += consonants[code % consonants.size()];
    return word;
}

std::string SampleBase::DocumentText(std::size_t i) const {
    SampleRandom random(m_options.seed, static_cast<std::uint64_t>(i) + 1);
    std::vector<std::string> terms;
    if (m_options.inventedWords > 0) {
        // A stream of their own, so that the rest of the text is the same with or without them.
        SampleRandom pick(m_options.seed ^ 0x5EED7E57ull, static_cast<std::uint64_t>(i) + 1);
        const int count = std::max(1, static_cast<int>(4LL * m_options.inventedWords / m_options.documents));
        for (int k = 0; k < count; ++k)
            terms.push_back(
                InventedWord(static_cast<int>(pick.Below(static_cast<std::uint64_t>(m_options.inventedWords)))));
    }
    return ComposeDocumentRtf(m_vocabulary, m_documents, i, random, terms);
}

bool SampleBase::WriteSourceFolder(const std::string& folder, std::string& message) const {
    namespace fs = std::filesystem;
    const std::string root = WithTrailingSlash(folder);
    std::error_code error;
    fs::create_directories(root + "texts", error);
    if (error) {
        message = root + "texts: " + error.message();
        return false;
    }
    const auto write = [&](const std::string& path, const std::string& bytes) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        const bool ok = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (file != nullptr && std::fclose(file) != 0) return false;
        return ok;
    };
    const std::pair<const char*, std::string> tables[] = {{"class.ttx", ClassTableText()},
                                                          {"typelist.ttx", TypeListText()},
                                                          {"Items.ttx", ItemsText()},
                                                          {"descript.ttx", DescriptText()}};
    for (const auto& [name, bytes] : tables) {
        if (!write(root + name, bytes)) {
            message = root + name + ": cannot be written";
            return false;
        }
    }
    const std::vector<std::string> names = TextNames();
    for (std::size_t i = 0; i < m_documents.size(); ++i) {
        if (!write(root + "texts/" + names[i], DocumentText(i))) {
            message = root + "texts/" + names[i] + ": cannot be written";
            return false;
        }
    }
    return true;
}

}  // namespace Norik
