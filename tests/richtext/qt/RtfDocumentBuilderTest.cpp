#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextTable>
#include <QThread>
#include <thread>

#include "TestSupport.h"
#include "richtext/PlainText.h"
#include "richtext/qt/RtfDocumentBuilder.h"

using namespace Norik;

namespace {

std::string Fixture(const std::string& name) {
    return NorikTest::ReadFile(std::string(NORIK_SOURCE_DIR) + "/tests/fixtures/rtf/" + name);
}

QString Collapse(QString s) {
    s.replace(QChar::ParagraphSeparator, ' ').replace(QChar::LineSeparator, ' ').replace(QChar::Nbsp, ' ');
    s.remove(QChar::ObjectReplacementCharacter);
    return s.simplified();
}

// The block whose text starts with prefix.
QTextBlock FindBlock(const QTextDocument& doc, const QString& prefix) {
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b.text().startsWith(prefix)) return b;
    }
    return {};
}

QTextCharFormat FormatAt(const QTextDocument& doc, const QString& text) {
    QTextCursor c = doc.find(text);
    EXPECT_FALSE(c.isNull()) << text.toStdString();
    return c.charFormat();  // the format of the character before the selection end
}

std::vector<QTextTable*> Tables(const QTextDocument& doc) {
    std::vector<QTextTable*> tables;
    for (QTextFrame* f : doc.rootFrame()->childFrames()) {
        if (auto* t = qobject_cast<QTextTable*>(f)) tables.push_back(t);
    }
    return tables;
}

int PositionOf(const QTextDocument& doc, const QString& text) { return doc.find(text).selectionStart(); }

class WriterDocument : public ::testing::TestWithParam<const char*> {};

TEST_P(WriterDocument, ShowsTheSameTextAsThePlainTextOutput) {
    std::string rtf = Fixture(std::string(GetParam()) + ".rtf");
    auto doc = BuildTextDocument(rtf);
    std::string plain = RtfToPlainText(rtf);
    EXPECT_EQ(Collapse(doc->toPlainText()), Collapse(QString::fromUtf8(plain)));
    EXPECT_FALSE(doc->isUndoRedoEnabled());
    EXPECT_EQ(doc->availableUndoSteps(), 0);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, WriterDocument, ::testing::Values("lo_law", "pandoc_decree", "richedit_order"));

TEST(RichEditDocument, KeepsRunsParagraphsTableAndLinks) {
    auto doc = BuildTextDocument(Fixture("richedit_order.rtf"));
    QTextBlock title = FindBlock(*doc, QStringLiteral("ПРИКАЗ"));
    ASSERT_TRUE(title.isValid());
    EXPECT_EQ(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(FormatAt(*doc, QStringLiteral("ПРИКАЗ")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatAt(*doc, QStringLiteral("от 15 марта")).fontItalic());
    EXPECT_EQ(FormatAt(*doc, QStringLiteral("ПРИКАЗ")).fontFamilies().toStringList(), QStringList{"Arial"});

    QTextBlock body = FindBlock(*doc, QStringLiteral("В соответствии"));
    ASSERT_TRUE(body.isValid());
    EXPECT_EQ(body.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);
    EXPECT_DOUBLE_EQ(body.blockFormat().leftMargin(), 20.0);
    EXPECT_NEAR(body.blockFormat().textIndent(), 13.33, 0.01);
    EXPECT_FALSE(doc->toPlainText().contains(QStringLiteral("скрытый")));

    auto tables = Tables(*doc);
    ASSERT_EQ(tables.size(), 1u);
    QTextTable* t = tables[0];
    EXPECT_EQ(t->rows(), 3);
    EXPECT_EQ(t->columns(), 3);
    EXPECT_EQ(t->cellAt(1, 0).rowSpan(), 2);
    EXPECT_EQ(t->cellAt(2, 0).row(), 1);
    EXPECT_EQ(t->cellAt(0, 1).format().background().color(), QColor(255, 0, 0));
    EXPECT_EQ(t->cellAt(2, 1).firstCursorPosition().block().text(), QStringLiteral("43"));

    auto byTarget = LinkAt(*doc, PositionOf(*doc, QStringLiteral("о реестре")));
    ASSERT_TRUE(byTarget.has_value());
    EXPECT_EQ(byTarget->target, QStringLiteral("245"));
    EXPECT_EQ(byTarget->text, QStringLiteral("Закон о реестре"));
    EXPECT_EQ(byTarget->documentNumber, 245);
    auto byText = LinkAt(*doc, PositionOf(*doc, QStringLiteral("1017")) + 1);
    ASSERT_TRUE(byText.has_value());
    EXPECT_EQ(byText->target, QStringLiteral("http://example.org/x"));
    EXPECT_EQ(byText->documentNumber, 1017);
    EXPECT_FALSE(LinkAt(*doc, PositionOf(*doc, QStringLiteral("приказываю"))).has_value());
}

TEST(LibreOfficeDocument, MergedCellsLinksAndPictureSize) {
    std::string rtf = Fixture("lo_law.rtf");
    auto doc = BuildTextDocument(rtf);
    auto tables = Tables(*doc);
    ASSERT_EQ(tables.size(), 1u);
    QTextTable* t = tables[0];
    EXPECT_EQ(t->rows(), 3);
    EXPECT_EQ(t->columns(), 3);
    EXPECT_EQ(t->cellAt(0, 1).columnSpan(), 2);  // "Значение" over two columns
    EXPECT_EQ(t->cellAt(1, 0).rowSpan(), 2);     // "Срок рассмотрения" over two rows
    EXPECT_EQ(t->cellAt(2, 2).firstCursorPosition().block().text(), QStringLiteral("продлённый"));

    auto link = LinkAt(*doc, PositionOf(*doc, QStringLiteral("456")));
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(link->target, QStringLiteral("#part2"));
    EXPECT_EQ(link->documentNumber, 456);
    auto web = LinkAt(*doc, PositionOf(*doc, QStringLiteral("от 02.05.2006")));
    ASSERT_TRUE(web.has_value());
    EXPECT_EQ(web->target, QStringLiteral("https://example.org/doc?id=5"));
    EXPECT_FALSE(web->documentNumber.has_value());

    // One picture: the PNG, at the size the writer stated.
    int images = 0;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QTextCharFormat f = it.fragment().charFormat();
            if (!f.isImageFormat()) continue;
            ++images;
            QTextImageFormat image = f.toImageFormat();
            EXPECT_NEAR(image.width(), 96.0, 1.0);
            EXPECT_NEAR(image.height(), 48.0, 1.0);
            QImage decoded = doc->resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
            EXPECT_EQ(decoded.size(), QSize(40, 20));
        }
    }
    EXPECT_EQ(images, 1);
}

TEST(DocumentBuilder, NestedTablesGoInsideTheirCell) {
    auto doc = BuildTextDocument(R"({\rtf1\trowd\cellx4000\cellx8000\pard\intbl\itap2 x\nestcell y\nestcell)"
                                 R"({\*\nesttableprops\trowd\cellx2000\cellx4000\nestrow}{\nonesttables\par})"
                                 R"(\pard\intbl\itap1 \cell z\cell\row\pard after\par})");
    auto tables = Tables(*doc);
    ASSERT_EQ(tables.size(), 1u);
    EXPECT_EQ(tables[0]->rows(), 1);
    EXPECT_EQ(tables[0]->columns(), 2);
    QList<QTextFrame*> inner = tables[0]->childFrames();
    ASSERT_EQ(inner.size(), 1);
    auto* nested = qobject_cast<QTextTable*>(inner[0]);
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->columns(), 2);
    EXPECT_EQ(nested->cellAt(0, 1).firstCursorPosition().block().text(), QStringLiteral("y"));
    EXPECT_EQ(tables[0]->cellAt(0, 1).firstCursorPosition().block().text(), QStringLiteral("z"));
    EXPECT_TRUE(FindBlock(*doc, QStringLiteral("after")).isValid());
}

TEST(DocumentBuilder, TableFollowsTheParagraphBeforeItWithoutAnEmptyBlock) {
    auto doc = BuildTextDocument(
        R"({\rtf1\pard before\par\trowd\cellx2000\pard\intbl a\par\trowd\cellx1000)"
        R"(\pard\intbl\itap2 n\nestcell{\*\nesttableprops\trowd\cellx1000\nestrow}\pard\intbl\itap1 \cell\row)"
        R"(\pard after\par\par end\par})");
    auto tables = Tables(*doc);
    ASSERT_EQ(tables.size(), 1u);
    QTextBlock previous = tables[0]->firstCursorPosition().block().previous();
    EXPECT_EQ(previous.text(), QStringLiteral("before"));
    // Inside a cell too, a nested table follows the paragraph before it.
    QList<QTextFrame*> inner = tables[0]->childFrames();
    ASSERT_EQ(inner.size(), 1);
    EXPECT_EQ(inner[0]->firstCursorPosition().block().previous().text(), QStringLiteral("a"));
    // An empty paragraph written as such stays: after, empty, end.
    QTextBlock after = FindBlock(*doc, QStringLiteral("after"));
    ASSERT_TRUE(after.isValid());
    EXPECT_EQ(after.next().text(), QString());
    EXPECT_EQ(after.next().next().text(), QStringLiteral("end"));
    EXPECT_EQ(doc->toPlainText(), QStringLiteral("before\na\nn\n\nafter\n\nend"));
}

TEST(DocumentBuilder, LinksAreUnderlinedAndColouredUnlessTheWriterChoseAColour) {
    auto doc = BuildTextDocument(
        R"({\rtf1{\colortbl;\red128\green0\blue0;}plain {\field{\*\fldinst HYPERLINK "12"}{\fldrslt bare}} )"
        R"({\field{\*\fldinst HYPERLINK "13"}{\fldrslt {\cf1 dark}}} tail\par})");
    QTextCharFormat bare = FormatAt(*doc, QStringLiteral("bare"));
    EXPECT_TRUE(bare.isAnchor());
    EXPECT_TRUE(bare.fontUnderline());
    EXPECT_EQ(bare.foreground().color(), QColor(0, 0, 255));
    QTextCharFormat dark = FormatAt(*doc, QStringLiteral("dark"));
    EXPECT_TRUE(dark.fontUnderline());
    EXPECT_EQ(dark.foreground().color(), QColor(128, 0, 0));
    QTextCharFormat tail = FormatAt(*doc, QStringLiteral("tail"));
    EXPECT_FALSE(tail.isAnchor());
    EXPECT_FALSE(tail.fontUnderline());
    EXPECT_EQ(tail.foreground().style(), Qt::NoBrush);
}

TEST(DocumentBuilder, ParagraphBordersDrawLinesAboveAndBelow) {
    // A boxed group of two paragraphs gets a line above its first and below its last; a heading
    // with a bottom border gets a line below; the top border of a cell's first paragraph draws nothing.
    // A shaded paragraph keeps its shading and draws no rule (a rule would take the shading's place).
    auto doc = BuildTextDocument(
        R"({\rtf1{\colortbl;\red250\green220\blue120;}\pard plain\par\pard\box\brdrs\brdrw10 n1\par n2\par)"
        R"(\pard after\par\pard\brdrb\brdrs H\par\pard\cbpat1 S\par\pard\brdrt\brdrb\brdrs T\par\pard x\par)"
        R"(\trowd\cellx2000\pard\intbl\brdrt\brdrs c\cell\row\pard\brdrt\brdrs y\par})");
    auto ruled = [&](const QString& text) {
        QTextBlock b = FindBlock(*doc, text);
        EXPECT_TRUE(b.isValid()) << text.toStdString();
        return b.blockFormat().hasProperty(QTextFormat::BlockTrailingHorizontalRulerWidth);
    };
    EXPECT_TRUE(ruled(QStringLiteral("plain")));
    EXPECT_FALSE(ruled(QStringLiteral("n1")));
    EXPECT_TRUE(ruled(QStringLiteral("n2")));
    EXPECT_FALSE(ruled(QStringLiteral("after")));
    EXPECT_TRUE(ruled(QStringLiteral("H")));
    EXPECT_FALSE(ruled(QStringLiteral("S")));
    EXPECT_EQ(FindBlock(*doc, QStringLiteral("S")).blockFormat().background().color(), QColor(250, 220, 120));
    EXPECT_TRUE(ruled(QStringLiteral("T")));
    EXPECT_FALSE(ruled(QStringLiteral("x")));
    EXPECT_FALSE(ruled(QStringLiteral("c")));
    EXPECT_FALSE(ruled(QStringLiteral("y")));
}

// Whether a dark pixel lies on the vertical line at x between y0 and y1 of the drawn document.
bool DarkPixelBetween(QTextDocument& doc, qreal x, qreal y0, qreal y1) {
    doc.setTextWidth(400);
    QImage image(400, static_cast<int>(doc.size().height()) + 1, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    doc.drawContents(&painter);
    painter.end();
    for (int y = static_cast<int>(y0); y <= static_cast<int>(y1) && y < image.height(); ++y) {
        if (qGray(image.pixel(static_cast<int>(x), y)) < 128) return true;
    }
    return false;
}

TEST(DocumentBuilder, CellBordersShowWhereOnlyOneNeighbourHasThem) {
    // a has a bottom border, c below it none; h has a top border, d above it none.
    auto doc =
        BuildTextDocument(R"({\rtf1\trowd\clbrdrb\brdrs\brdrw10\cellx2000\cellx4000\pard\intbl a\cell b\cell\row)"
                          R"(\trowd\cellx2000\clbrdrt\brdrs\cellx4000\pard\intbl c\cell d\cell\row})");
    auto tables = Tables(*doc);
    ASSERT_EQ(tables.size(), 1u);
    doc->setTextWidth(400);
    QAbstractTextDocumentLayout* layout = doc->documentLayout();
    auto rect = [&](int row, int column) {
        return layout->blockBoundingRect(tables[0]->cellAt(row, column).firstCursorPosition().block());
    };
    EXPECT_TRUE(DarkPixelBetween(*doc, rect(0, 0).center().x(), rect(0, 0).bottom() - 1, rect(1, 0).top() + 1));
    EXPECT_TRUE(DarkPixelBetween(*doc, rect(0, 1).center().x(), rect(0, 1).bottom() - 1, rect(1, 1).top() + 1));
}

TEST(DocumentBuilder, TabAfterAListNumberGoesToTheHangingIndent) {
    auto doc =
        BuildTextDocument(R"({\rtf1\pard\li720\fi-360{\listtext 1.\tab}Item\par\pard\li1440\fi-720 2)\tab Next\par})");
    doc->setTextWidth(600);
    QTextBlock first = FindBlock(*doc, QStringLiteral("1."));
    QTextBlock second = FindBlock(*doc, QStringLiteral("2)"));
    ASSERT_TRUE(first.isValid() && second.isValid());
    doc->documentLayout()->blockBoundingRect(second);                 // lays the blocks out
    EXPECT_NEAR(first.layout()->lineAt(0).cursorToX(3), 48.0, 1.0);   // 720 twips
    EXPECT_NEAR(second.layout()->lineAt(0).cursorToX(3), 96.0, 1.0);  // 1440 twips
}

TEST(DocumentBuilder, RightAndCentreStopsPlaceSignatureLinesAtTheirPositions) {
    // Stops count from the text column's edge in RTF and from the line start in the layout:
    // with a 360-twip indent the stops at 4680 and 9360 twips are 288 and 600 pixels in.
    auto doc = BuildTextDocument(R"({\rtf1\pard\li360\tqc\tx4680\tqr\tldot\tx9360 Signed\tab Mid\tab V.Putin\par})"
                                 R"(\pard plain\par})");
    doc->setTextWidth(800);
    QTextBlock signature = FindBlock(*doc, QStringLiteral("Signed"));
    ASSERT_TRUE(signature.isValid());
    const QList<QTextOption::Tab> tabs = signature.blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 2);
    EXPECT_EQ(tabs[0].type, QTextOption::CenterTab);
    EXPECT_NEAR(tabs[0].position, 288.0, 0.01);
    EXPECT_EQ(tabs[1].type, QTextOption::RightTab);
    EXPECT_NEAR(tabs[1].position, 600.0, 0.01);
    EXPECT_TRUE(FindBlock(*doc, QStringLiteral("plain")).blockFormat().tabPositions().isEmpty());

    doc->documentLayout()->blockBoundingRect(signature);  // lays the block out
    QTextLine line = signature.layout()->lineAt(0);
    const QString text = signature.text();
    const int mid = static_cast<int>(text.indexOf(QStringLiteral("Mid")));
    EXPECT_NEAR((line.cursorToX(mid) + line.cursorToX(mid + 3)) / 2, 4680 / 15.0, 1.0);
    EXPECT_NEAR(line.cursorToX(static_cast<int>(text.size())), 9360 / 15.0, 1.0);
}

TEST(DocumentBuilder, UnknownOrHugePicturesBecomeBoundedEmptyFrames) {
    auto doc = BuildTextDocument(R"({\rtf1 a{\pict\wmetafile8\picw2540\pich1270 0102}b)"
                                 R"({\pict\pngblip\picw999999999\pich999999999\picscalex99999 89504e47}c})");
    std::vector<QTextImageFormat> images;
    for (auto it = doc->begin().begin(); !it.atEnd(); ++it) {
        if (it.fragment().charFormat().isImageFormat()) images.push_back(it.fragment().charFormat().toImageFormat());
    }
    ASSERT_EQ(images.size(), 2u);
    EXPECT_DOUBLE_EQ(images[0].width(), 96.0);  // one inch
    EXPECT_DOUBLE_EQ(images[0].height(), 48.0);
    EXPECT_LE(images[1].width(), kMaxPictureTwips / 15.0);
    EXPECT_EQ(Collapse(doc->toPlainText()), QStringLiteral("abc"));
}

// A picture of format ("PNG" or "JPEG") whose header states width x height: an 8 x 8 picture with
// its header's size changed (and, in a PNG, the header's checksum mended), as hex for \pict.
std::string PictureHex(const char* format, int width, int height) {
    QImage small(8, 8, QImage::Format_RGB32);
    small.fill(Qt::gray);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    small.save(&buffer, format);
    auto put16 = [&](qsizetype at, int v) {
        bytes[at] = static_cast<char>(v >> 8);
        bytes[at + 1] = static_cast<char>(v);
    };
    if (QByteArray(format) == "PNG") {
        put16(18, width);  // IHDR: 4-byte width at 16, height at 20
        put16(22, height);
        quint32 crc = 0xFFFFFFFFu;
        for (qsizetype i = 12; i < 29; ++i) {
            crc ^= static_cast<unsigned char>(bytes[i]);
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        crc = ~crc;
        for (int k = 0; k < 4; ++k) bytes[29 + k] = static_cast<char>(crc >> (24 - 8 * k));
    } else {
        const qsizetype frame = bytes.indexOf(QByteArray("\xFF\xC0", 2));
        put16(frame + 5, height);
        put16(frame + 7, width);
    }
    return bytes.toHex().toStdString();
}

// Each picture of the document (neighbours of one format share a fragment).
std::vector<QTextImageFormat> Images(const QTextDocument& doc) {
    std::vector<QTextImageFormat> images;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.charFormat().isImageFormat()) images.insert(images.end(), f.length(), f.charFormat().toImageFormat());
        }
    }
    return images;
}

TEST(DocumentBuilder, PicturesPastTheBoundsShowAsFramesInsteadOfTakingMemory) {
    // Thirty pictures of a few hundred bytes whose headers claim 5600 x 5600 pixels each.
    std::string rtf = "{\\rtf1 ";
    for (int i = 0; i < 15; ++i) {
        rtf += "{\\pict\\pngblip\\picw5600\\pich5600 " + PictureHex("PNG", 5600, 5600) + "}";
        rtf += "{\\pict\\jpegblip " + PictureHex("JPEG", 5600, 5600) + "}";
    }
    // Real pictures of 4200 x 4200 pixels: three fit in the document's budget, the fourth does not.
    QImage large(4200, 4200, QImage::Format_RGB32);
    large.fill(Qt::white);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    large.save(&buffer, "JPEG");
    large = QImage();
    for (int i = 0; i < 4; ++i)
        rtf += "{\\pict\\jpegblip\\picwgoal1440\\pichgoal1440 " + jpeg.toHex().toStdString() + "}";
    auto doc = BuildTextDocument(rtf + "}");

    const std::vector<QTextImageFormat> images = Images(*doc);
    ASSERT_EQ(images.size(), 34u);
    for (std::size_t i = 0; i < images.size(); ++i) {
        const bool decoded = images[i].name() != QStringLiteral("norik-picture:empty");
        EXPECT_EQ(decoded, i >= 30 && i < 33) << i;
        // Frames keep the size the picture would have: its own, within the bound of a stated size.
        EXPECT_DOUBLE_EQ(images[i].width(), i < 30 ? std::min(5600.0, kMaxPictureTwips / 15.0) : 96.0) << i;
    }
    EXPECT_EQ(doc->resource(QTextDocument::ImageResource, QUrl(images[30].name())).value<QImage>().width(), 4200);
}

TEST(DocumentBuilder, LongParagraphsWordsAndRowsAreCutForLayoutKeepingTheirText) {
    // A paragraph of 40,000 characters goes on in new blocks, each broken after a space.
    std::string words;
    while (words.size() < 40000) words += "abcdefgh ";
    auto doc = BuildTextDocument("{\\rtf1\\pard\\fi720\\sb300\\sa600 " + words + "\\par\\pard after\\par}");
    std::vector<QTextBlock> blocks;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) blocks.push_back(b);
    ASSERT_EQ(blocks.size(), 4u);
    QString joined;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_LE(blocks[i].length(), 16 * 1024 + 512 + 1) << i;
        if (i < 2) {
            EXPECT_TRUE(blocks[i].text().endsWith(' ')) << i;
        }
        joined += blocks[i].text();
    }
    EXPECT_EQ(joined, QString::fromStdString(words));
    EXPECT_EQ(blocks[3].text(), QStringLiteral("after"));
    // The first line's indent and the space before go with the first block, the space after with
    // the last.
    EXPECT_DOUBLE_EQ(blocks[0].blockFormat().textIndent(), 48.0);
    EXPECT_DOUBLE_EQ(blocks[0].blockFormat().topMargin(), 20.0);
    EXPECT_DOUBLE_EQ(blocks[0].blockFormat().bottomMargin(), 0.0);
    EXPECT_DOUBLE_EQ(blocks[1].blockFormat().textIndent(), 0.0);
    EXPECT_DOUBLE_EQ(blocks[1].blockFormat().bottomMargin(), 0.0);
    EXPECT_DOUBLE_EQ(blocks[2].blockFormat().topMargin(), 0.0);
    EXPECT_DOUBLE_EQ(blocks[2].blockFormat().bottomMargin(), 40.0);

    // A word of 2,000 letters may break after every 512; one of 512 is left whole.
    const QChar zeroWidthSpace(0x200B);
    auto word = BuildTextDocument("{\\rtf1 " + std::string(2000, 'w') + " " + std::string(512, 'v') + "}");
    const QString text = word->begin().text();
    EXPECT_EQ(text.count(zeroWidthSpace), 3);
    EXPECT_EQ(text.indexOf(zeroWidthSpace), 512);
    EXPECT_EQ(QString(text).remove(zeroWidthSpace),
              QString(2000, QLatin1Char('w')) + ' ' + QString(512, QLatin1Char('v')));

    // A row of 1,000 cells shows 64; the rest join the last one. Rows whose edges all shift add no
    // columns past that either.
    std::string row = "{\\rtf1\\trowd";
    for (int i = 1; i <= 1000; ++i) row += "\\cellx" + std::to_string(i * 100);
    for (int i = 1; i <= 1000; ++i) row += "\\intbl " + std::to_string(i) + "\\cell";
    row += "\\row";
    for (int r = 1; r <= 5; ++r) {
        row += "\\trowd";
        for (int i = 1; i <= 100; ++i) row += "\\cellx" + std::to_string(i * 100 + r * 37);
        for (int i = 1; i <= 100; ++i) row += "\\intbl x\\cell";
        row += "\\row";
    }
    auto table = BuildTextDocument(row + "}");
    // So many cells go on in pieces of two rows.
    const auto pieces = Tables(*table);
    ASSERT_EQ(pieces.size(), 3u);
    for (QTextTable* piece : pieces) {
        EXPECT_EQ(piece->columns(), 64);
        EXPECT_EQ(piece->rows(), 2);
    }
    QTextTable* t = pieces.front();
    QTextTableCell last = t->cellAt(0, 63);
    QTextCursor c = last.firstCursorPosition();
    c.setPosition(last.lastCursorPosition().position(), QTextCursor::KeepAnchor);
    QString expected;
    for (int i = 64; i <= 1000; ++i) expected += (i > 64 ? " " : "") + QString::number(i);
    EXPECT_TRUE(c.selectedText() == expected);
}

TEST(DocumentBuilder, ALongTableGoesOnInPiecesCutBetweenMergedCells) {
    // 60 rows of 4 cells; the first cell of rows 24 to 26 is one merged cell.
    std::string rtf = "{\\rtf1";
    for (int r = 1; r <= 60; ++r) {
        rtf += "\\trowd";
        if (r == 24) rtf += "\\clvmgf";
        if (r == 25 || r == 26) rtf += "\\clvmrg";
        rtf += "\\cellx1000\\cellx2000\\cellx3000\\cellx4000";
        for (int c = 1; c <= 4; ++c) rtf += "\\intbl r" + std::to_string(r) + "c" + std::to_string(c) + "\\cell";
        rtf += "\\row";
    }
    auto doc = BuildTextDocument(rtf + "}");
    const auto pieces = Tables(*doc);
    ASSERT_EQ(pieces.size(), 3u);
    // The first piece would end after row 24, but rows 25 and 26 continue its merged cell.
    EXPECT_EQ(pieces[0]->rows(), 26);
    EXPECT_EQ(pieces[0]->cellAt(23, 0).rowSpan(), 3);
    EXPECT_EQ(pieces[1]->rows(), 24);
    EXPECT_EQ(pieces[2]->rows(), 10);
    EXPECT_EQ(pieces[1]->cellAt(0, 0).firstCursorPosition().block().text(), QStringLiteral("r27c1"));
    EXPECT_EQ(pieces[2]->cellAt(9, 3).firstCursorPosition().block().text(), QStringLiteral("r60c4"));
}

TEST(DocumentBuilder, BuildsOnAWorkerThreadAndMovesToTheUiThread) {
    std::string rtf = Fixture("richedit_order.rtf");
    std::unique_ptr<QTextDocument> doc;
    std::thread worker([&] {
        RtfDocumentLoader loader;
        for (std::size_t i = 0; i < rtf.size(); i += 100) loader.Feed(std::string_view(rtf).substr(i, 100));
        doc = loader.TakeDocument();
        doc->moveToThread(QApplication::instance()->thread());
    });
    worker.join();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->thread(), QThread::currentThread());
    EXPECT_EQ(Collapse(doc->toPlainText()), Collapse(QString::fromUtf8(RtfToPlainText(rtf))));
}

TEST(DocumentBuilder, HostileInputGivesADocument) {
    std::string deep = "{\\rtf1 " + std::string(100000, '{') + "x" + std::string(50, '}') + "\\cell\\row\\nestrow}";
    auto doc = BuildTextDocument(deep);
    EXPECT_TRUE(doc->toPlainText().contains('x'));
    auto text = BuildTextDocument("not rtf at all\nsecond line");
    EXPECT_EQ(text->blockCount(), 2);
    EXPECT_EQ(text->begin().text(), QStringLiteral("not rtf at all"));
}

}  // namespace
