#include "showdata/DocumentLinks.h"

#include <optional>
#include <string>
#include <unordered_set>

#include "richtext/RtfLinks.h"
#include "richtext/RtfReader.h"
#include "showdata/ListDoc.h"

namespace ShowData {

namespace {

// Notes the file number of each link as its end is read; the visible text counts when the
// target is not a number.
class LinkCollector : public Norik::IRtfOutput {
public:
    std::vector<int> numbers;

    void Text(std::string_view utf8, const Norik::CharFormat&) override {
        // A link's visible text past any number's length is no number: not kept whole.
        if (m_inLink && m_visible.size() < kMaxVisible) m_visible.append(utf8.substr(0, kMaxVisible));
    }
    void ParagraphEnd(const Norik::ParagraphFormat&) override {}
    void LinkStart(std::string_view target) override {
        m_inLink = true;
        m_target.assign(target);
        m_visible.clear();
    }
    void LinkEnd() override {
        if (!m_inLink) return;
        m_inLink = false;
        if (const std::optional<int> number = Norik::LinkDocumentNumber(m_target, m_visible))
            numbers.push_back(*number);
    }

private:
    static constexpr std::size_t kMaxVisible = 64;
    bool m_inLink = false;
    std::string m_target;
    std::string m_visible;
};

}  // namespace

std::vector<std::int16_t> LinkedDocuments(std::string_view rtf) {
    LinkCollector links;
    Norik::ReadRtf(rtf, links);
    std::vector<std::int16_t> documents;
    std::unordered_set<std::int16_t> seen;
    for (const int fileNumber : links.numbers) {
        const std::int16_t number = DocNumberByFileNumber(fileNumber);
        DocItem row;
        if (seen.insert(number).second && DocByNumber(number, row)) documents.push_back(number);
    }
    return documents;
}

}  // namespace ShowData
