// How a document no longer in force shows where it is read: a band above its text saying so with
// its dates as its information card gives them, and links to such documents drawn grey and struck
// through, with the status in their tool tip, so that nobody quotes a lapsed text unawares.
//
// The status comes from the document table (ListDoc.h), which must be loaded. A number without a
// row is not said to be lapsed: nothing is known of it. User-interface thread only.
#pragma once

#include <QString>
#include <cstdint>

class QLabel;
class QTextDocument;
class QWidget;

namespace Norik {

// "Документ утратил силу. Дата введения: 01.07.2004 г. Дата включения в базу: 07.07.2004 г.";
// empty for a document in force or without a row.
QString LapsedDocumentText(std::int16_t number);

// The band above the text of a lapsed document, owned by parent; null for one in force.
QLabel* MakeLapsedBand(std::int16_t number, QWidget* parent);

// Draws every link of text that leads to a lapsed document grey and struck through, with the
// status in its tool tip. Call before the text is laid out: the formats change.
void MarkLapsedLinks(QTextDocument& text);

}  // namespace Norik
