#include "views/RecentWindow.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "Helpers/qt/QtText.h"
#include "showdata/ListDoc.h"

namespace Norik {

CRecentWindow::CRecentWindow(std::vector<TextPlace> places, const std::vector<QString>& headings, QWidget* parent)
    : QDialog(parent), m_places(std::move(places)) {
    setWindowTitle(QStringLiteral("Недавние документы"));
    m_list = new QListWidget(this);
    m_list->setAccessibleName(QStringLiteral("Недавние документы"));
    auto* label = new QLabel(QStringLiteral("&Документы, прочитанные недавно:"), this);
    label->setBuddy(m_list);
    for (std::size_t i = 0; i < m_places.size(); ++i) {
        const std::string title = ShowData::DocTitleByNumber(m_places[i].number);
        QString text = title.empty() ? QStringLiteral("Документа нет в базе") : ToQString(title);
        if (i < headings.size() && !headings[i].isEmpty()) text += QStringLiteral(" — ") + headings[i];
        auto* item = new QListWidgetItem(text, m_list);
        item->setToolTip(text);
    }
    if (m_list->count() > 0) m_list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* go = buttons->addButton(QStringLiteral("&Перейти"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Закрыть"), QDialogButtonBox::RejectRole);
    go->setDefault(true);
    go->setEnabled(m_list->count() > 0);
    connect(buttons, &QDialogButtonBox::accepted, this, &CRecentWindow::GoToSelected);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_list, &QListWidget::itemActivated, this, &CRecentWindow::GoToSelected);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
    resize(680, 420);
}

void CRecentWindow::GoToSelected() {
    const int row = m_list->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= m_places.size()) return;
    m_chosen = m_places[static_cast<std::size_t>(row)];
    accept();
}

}  // namespace Norik
