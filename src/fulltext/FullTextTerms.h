// The terms and values of the full-text index, shared by the code that writes an index and the
// code that searches it, so that both name a document's attributes alike. Pure functions; any
// thread.
//
// Terms of one document:
//   words of the title, type, number text and plain text, unprefixed (and "Z" stems), with
//     positions: any word the user types;
//   "S" the words of the heading (title, type and number text), with positions: weighted above
//     the text by the search;
//   "XN" the number text as one term (NumberKey), and each of its parts where it holds several;
//   "XD" the date as YYYYMMDD, "XY" its year; "XS1" in force, "XS0" not;
//   "Q" the document number (the key); "XL" the file number of each document it links to.
// Value kSortValueSlot orders equal scores: in force first, then the newest.
// Value kPieceValueSlot and the metadata keep the plain text for passages
// (below).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Norik::FullText {

inline constexpr const char* kHeadingPrefix = "S";
inline constexpr const char* kNumberPrefix = "XN";
inline constexpr const char* kDatePrefix = "XD";
inline constexpr const char* kYearPrefix = "XY";
inline constexpr const char* kStatusPrefix = "XS";
inline constexpr const char* kKeyPrefix = "Q";
inline constexpr const char* kLinkPrefix = "XL";
inline constexpr unsigned kSortValueSlot = 0;

// Xapian refuses terms longer than about 245 bytes; longer attribute terms are not indexed.
inline constexpr std::size_t kMaxTermBytes = 200;

// The plain text of a document is kept for passages in pieces of at most kPieceBytes, each cut
// after a blank or a line end (SplitPieces), packed (PackPiece, Zstandard: quick both ways) in the
// index's metadata under PieceKey, the first as piece 0. For a text of more than one
// piece, value kPieceValueSlot holds the term position each piece starts after (PackPositions),
// so that a search takes its passages from the pieces where the words found are.
inline constexpr std::size_t kPieceBytes = std::size_t{16} * 1024;
inline constexpr unsigned kPieceValueSlot = 1;
// The most pieces a text is read back in: far more than the longest text a base may hold makes.
inline constexpr std::size_t kMaxPieces = std::size_t{1} << 20;

std::vector<std::string_view> SplitPieces(std::string_view text);
std::string PieceKey(unsigned documentId, std::size_t piece);
std::string PackPositions(const std::vector<std::uint32_t>& positions);
// The positions of a value as PackPositions writes them, rising; empty for any other bytes and
// for more than kMaxPieces positions.
std::vector<std::uint32_t> UnpackPositions(std::string_view bytes);
std::string PackPiece(std::string_view text);
// A piece as PackPiece packed it; nothing for bytes that do not unpack to at most kPieceBytes.
std::optional<std::string> UnpackPiece(std::string_view packed);

// Short words that carry no meaning on their own ("в", "на", "по", "от", ...): a query does not
// require them, and they are not marked as found. lowerWord in lower case, UTF-8.
bool IsStopWord(std::string_view lowerWord);

// The ways a date may be written in a text: "06.10.2003", "6.10.2003", "06.10.03" is not one.
// The texts of day, month and year as "DD.MM.YYYY", "D.MM.YYYY", "DD.M.YYYY" and "D.M.YYYY"
// (those that differ).
std::vector<std::string> DateWords(int day, int month, int year);

// Lower case of a UTF-8 text, character by character (malformed bytes are taken as Latin-1).
std::string LowerUtf8(std::string_view text);

// A number as written ("131-ФЗ", "№ 131-ФЗ", "N 131-ФЗ") reduced to the form it is indexed
// under: the sign "№" or "N" before it dropped, blanks dropped, lower case.
std::string NumberKey(std::string_view numberText);

// The date and year terms' texts of a day code ("20031006", "2003"); empty for no date.
std::string DateKey(std::int32_t dayCode);
std::string YearKey(std::int32_t dayCode);
// "06.10.2003" or "6.10.2003" as a date key; nothing when the text is not such a date.
std::optional<std::string> DateKeyOfText(std::string_view text);

// The document id of a number (the ids are the numbers shifted to start at 1) and back; nothing
// for an id no number has.
unsigned DocumentIdOf(std::int16_t number);
std::optional<std::int16_t> NumberOfDocumentId(unsigned id);

// The term a link to a document is indexed under: the low 14 bits of the number, which name the
// document's text as a link names it.
std::string LinkTerm(int linkNumber);

// The sort value: in force above not in force, then later dates above earlier ones.
std::string SortValue(bool inForce, std::int32_t dayCode);

}  // namespace Norik::FullText
