// Places in a text window: where the user is reading, showing a place again, and the name a
// bookmark of a place is offered under. User-interface thread only.
#pragma once

#include <QString>
#include <cstdint>

class QTextDocument;

namespace Norik {

class Cvelda1View;

// The character the user is at: the start of the selection, else the caret while it is on screen,
// else the first character on screen (Cvelda1View::TopPosition).
int ReadingPosition(const Cvelda1View& view);

// Puts the caret at position and scrolls its line to the top of the view. A position past the
// first part of a long text still loading is shown once the whole text has come.
void ShowPosition(Cvelda1View& view, int position);

// The heading of the part of text that position lies in, abbreviated as a lawyer cites it:
// "ст. 220", "гл. 23", "разд. V" from the nearest paragraph above that opens with "Статья",
// "Глава" or "Раздел" and a number; empty when there is none.
QString HeadingAbove(const QTextDocument& text, int position);

// The short name of a document title: a code "<words> кодекс Российской Федерации" by its
// initials ("НК РФ"), any other title cut at a word to about 60 characters.
QString ShortTitle(const QString& title);

// The name offered for a bookmark of document number: its type, date and number and the heading,
// "Письмо от 06.11.2010 № 25-50/0310, ст. 2" (the short title for a row without them).
QString BookmarkName(std::int16_t number, const QString& heading);

}  // namespace Norik
