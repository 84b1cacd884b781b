// What the commands of norik-tool share: the exit statuses, the console's stand-in for the
// model's message boxes, loading the tables with the one line that tells why they cannot be read,
// and the line naming damaged data an answer rests on. Used on the tool's one thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <streambuf>
#include <string>
#include <string_view>
#include <vector>

#include "Helpers/DataDamage.h"
#include "index/IndexSpace.h"
#include "platform/UserPort.h"
#include "showdata/ListDoc.h"

namespace Norik {

class Arguments;

constexpr int kExitFailure = 1;
// The answer rests on damaged data of the base.
constexpr int kExitDamaged = 3;
// A mistyped command line; kept apart from search's 1 (nothing found) and 2 (no criterion).
constexpr int kExitUsage = 64;

// The model's message boxes are not printed: every failure is told in one line of the tool's own,
// which names the damaged file and what is wrong with it. Nothing here is interactive.
class ConsoleUserPort : public IUserPort {
public:
    MessageAnswer MessageBox(const std::string&, const std::string&, MessageButtons buttons, MessageIcon) override {
        return buttons == MessageButtons::YesNo ? MessageAnswer::No
               : buttons == MessageButtons::Ok  ? MessageAnswer::Ok
                                                : MessageAnswer::Cancel;
    }
    void BeginWait() override {}
    void EndWait() override {}
    bool OpenDocumentText(const std::string&) override { return false; }
    void RunAttributeSearch(ShowData::SearchRequest&, const std::vector<std::int16_t>*) override {}
    void OpenResultListWindow(const std::vector<std::int16_t>&, const ShowData::SearchRequest&) override {}
};

std::string Utf8(const std::string& cp1251);

// Output for a terminal: the texts of a base may hold control characters (an escape sequence that
// recolours or clears the screen, a bell), which are written as \xHH, as ls shows them - the C0
// controls but line feed and tab, DEL, and the C1 controls (U+0080-U+009F, as UTF-8). Everything
// else passes unchanged to the buffer given, which must outlive this one. Output that is no
// terminal is given the buffer itself, unchanged.
class TerminalEscapes : public std::streambuf {
public:
    explicit TerminalEscapes(std::streambuf* target) : m_target(target) {}
    ~TerminalEscapes() override;
    std::streambuf* target() const { return m_target; }
    // Writes the program's own control sequences (a progress line's carriage return and erasure)
    // as they are, after what was written before them.
    void WriteUnescaped(std::string_view text);

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    void Escape(unsigned char byte);
    std::streambuf* m_target;
    bool m_lead = false;  // a 0xC2 byte held back: a C1 control may follow it
};

// One line naming every damaged file an answer rests on; the exit status of such an answer.
int DamagedAnswer(std::ostream& err, const std::vector<DataDamage>& damage);

// What kept the given tables and indexes from being read whole.
std::vector<DataDamage> DamageOf(std::initializer_list<ShowData::ModelTable> tables,
                                 std::initializer_list<const IndexSpace::IIndexInt*> indexes = {});

// 0 for an answer that rests on nothing damaged, else DamagedAnswer.
int Answered(std::ostream& err, const std::vector<DataDamage>& damage);

// Loads the document table and binds the indexes (load is CShowDoc::Init), or only binds them
// (CShowDoc::BindIndexes) for a command that reads no row: 0, or the exit status after the one
// line telling why the tables cannot be read. Both fail alike. A base without documents is no
// failure: its figures are 0 and its searches find nothing.
int LoadDocuments(std::ostream& err, HResult (*load)() = ShowData::CShowDoc::Init);

// The options a search by attributes and the quick search share, into request: --type TEXT,
// --status any|in-force|not-in-force, --date-from and --date-to DD.MM.YYYY (the date of
// introduction). A value that cannot be understood throws UsageError.
void ReadAttributeFilters(const Arguments& args, ShowData::SearchRequest& request);

// Loads the classifier: 0, or the exit status after the one line telling why it cannot be read.
int LoadClassifier(IUserPort& port, std::ostream& err);

// A document number as given on the command line (a usage error if it is none).
std::int16_t DocumentNumber(const std::string& text);

// The exit status after the one line saying there is no document number in the base (an answer
// that rests on the document table, if that is damaged).
int NoSuchDocument(std::int16_t number, std::ostream& err);

// The number of a document of the loaded table: 0, or the exit status of NoSuchDocument.
int KnownDocument(const std::string& text, std::ostream& err, std::int16_t& number);

}  // namespace Norik
