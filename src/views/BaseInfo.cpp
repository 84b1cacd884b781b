#include "views/BaseInfo.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "Helpers/DataDamage.h"
#include "index/IndexSpace.h"
#include "showdata/ListDoc.h"

namespace Norik {

CBaseInfo::CBaseInfo(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Информация о базе"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    // The figures in the order they are read: each loads what it needs on first use.
    QString figures[4] = {
        QString::number(ShowData::DocumentCount()),
        QString::fromStdString(ShowData::BaseDateText()),
        QString::number(ShowData::IndexedWordCount()),
        QString::number(ShowData::AverageVocabulary()),
    };
    // The word figures come from the word index: read in part, or not at all, they would pass for
    // the base's own. They are shown unknown, with the reason below.
    const DataDamage* wordIndexDamage = IndexSpace::TextWordIndex().damage();
    if (wordIndexDamage) figures[2] = figures[3] = QStringLiteral("неизвестно");
    const char* const captions[4] = {"Документов:", "Дата последнего обновления:", "Проиндексировано слов",
                                     "Средний словарный запас"};

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(24);
    grid->setVerticalSpacing(10);
    for (int i = 0; i < 4; ++i) {
        // A wider gap between the base's figures and the word index's, as two groups.
        const int row = i < 2 ? i : i + 1;
        auto* caption = new QLabel(QString::fromUtf8(captions[i]), this);
        auto* value = new QLabel(figures[i], this);
        value->setObjectName(QStringLiteral("value%1").arg(1004 + i));
        value->setAlignment(Qt::AlignCenter);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("XXXXXXXXX")));
        // Reachable by Tab, so that a screen reader reads each figure with its caption.
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        value->setFocusPolicy(Qt::StrongFocus);
        caption->setBuddy(value);
        value->setAccessibleName(caption->text().remove(':') + QStringLiteral(": ") + figures[i]);
        grid->addWidget(caption, row, 0);
        grid->addWidget(value, row, 1);
        m_values[i] = value;
    }
    grid->setRowMinimumHeight(2, 8);
    if (wordIndexDamage) {
        m_damageNote = new QLabel(QStringLiteral("Указатель слов не читается, число слов неизвестно.\n") +
                                      QString::fromStdString(wordIndexDamage->UserText()),
                                  this);
        m_damageNote->setObjectName(QStringLiteral("wordIndexDamage"));
        m_damageNote->setWordWrap(true);
        m_damageNote->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        m_damageNote->setFocusPolicy(Qt::StrongFocus);
        grid->addWidget(m_damageNote, 5, 0, 1, 2);
    }

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("Да"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addSpacing(8);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ok->setFocus();
}

}  // namespace Norik
