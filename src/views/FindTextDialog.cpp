#include "views/FindTextDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace Norik {

CFindTextDialog::CFindTextDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Найти"));
    auto* label = new QLabel(QStringLiteral("&Что:"), this);
    m_text = new QLineEdit(this);
    m_text->setMaxLength(512);
    label->setBuddy(m_text);
    m_wholeWord = new QCheckBox(QStringLiteral("Только слово &целиком"), this);
    m_matchCase = new QCheckBox(QStringLiteral("С учетом &регистра"), this);
    auto* direction = new QGroupBox(QStringLiteral("Направление"), this);
    m_up = new QRadioButton(QStringLiteral("&Вверх"), direction);
    m_down = new QRadioButton(QStringLiteral("В&низ"), direction);
    m_down->setChecked(true);
    auto* directionLayout = new QHBoxLayout(direction);
    directionLayout->addWidget(m_up);
    directionLayout->addWidget(m_down);
    m_findNext = new QPushButton(QStringLiteral("&Найти далее"), this);
    m_findNext->setDefault(true);
    m_findNext->setEnabled(false);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_text, 0, 1, 1, 2);
    layout->addWidget(m_findNext, 0, 3);
    auto* options = new QVBoxLayout;
    options->addWidget(m_wholeWord);
    options->addWidget(m_matchCase);
    layout->addLayout(options, 1, 0, 1, 2);
    layout->addWidget(direction, 1, 2);
    layout->addWidget(cancel, 1, 3, Qt::AlignTop);

    connect(m_text, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_findNext->setEnabled(!text.isEmpty()); });
    connect(m_findNext, &QPushButton::clicked, this, [this] {
        emit findNext(m_text->text(), m_matchCase->isChecked(), m_wholeWord->isChecked(), m_down->isChecked());
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace Norik
