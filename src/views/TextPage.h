// The page a document text is shown on in a text window: its side margins, and a layout made
// ahead of time, a slice at a time, before the text is shown.
//
// A text edit lays a document out afresh whenever it is given one, even at the width it was laid
// out for, and then finishes that layout in steps; a jump to the end of a text of many megabytes
// right after it came would hold the window until the layout reached the end. So the whole text of
// a long document is laid out while its first part is still on the screen: BeginTextPage starts,
// ContinueTextPage goes on for a given time and says when the end is reached, and the layout keeps
// that work through the fresh layout the window asks for when it takes the document at the same
// width. Anything else that changes the layout's input (another width, a font, an edit) is laid
// out as usual.
//
// Fonts belong to the thread that uses them, so all of this runs on the user-interface thread.
#pragma once

#include <chrono>

class QPaintDevice;
class QTextDocument;

namespace Norik {

// Blank pixels between the window's sides and the text, besides the document's own margin.
inline constexpr int kTextPageMargin = 30;

// Gives text the side margins of a text window; changes nothing when it has them already (a change
// would lay the whole text out again).
void SetTextPageMargins(QTextDocument& text);

// Starts laying text out for a page width pixels wide, from the beginning (again, when it was
// begun for another width), for device when given (its resolution scales the text: a zoom), else
// for the screen. A text already shown keeps showing what is laid out so far.
void BeginTextPage(QTextDocument& text, int width, QPaintDevice* device = nullptr);

// Characters laid out between two looks at the clock: a few milliseconds of work at most.
inline constexpr int kTextPageStep = 16 * 1024;
// Blocks laid out between two looks at the clock at most (each cell of a table is one).
inline constexpr int kTextPageStepBlocks = 128;

// Lays text out further for about budget (at least one step of step characters); true once it is
// laid out to the end, ready for a window of the width it was begun for (at once when it was never
// begun).
bool ContinueTextPage(QTextDocument& text, std::chrono::milliseconds budget, int step = kTextPageStep);

// How far the slices of ContinueTextPage have laid text out since the layout last started afresh,
// in characters (the length when never begun).
int PreparedCharacters(const QTextDocument& text);

// How far text, begun with BeginTextPage, is laid out, in percent (100 when never begun).
int PreparedPercent(const QTextDocument& text);

// Tells the window showing text how far down it is laid out now, so that its scroll range reaches
// there (the layout tells it only now and then while it is made a slice at a time).
void AnnounceLaidOutSize(QTextDocument& text);

// The window has taken the document: from now on it is laid out as usual.
void EndKeepingPreparedPage(QTextDocument& text);

}  // namespace Norik
