#include "search/qt/CAutoComboBox.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <algorithm>

#include "Helpers/Cp1251.h"
#include "Helpers/qt/QtText.h"

namespace Norik {

// The entries and their upper cases, shown through the model interface.
class CAutoComboEntries : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void Reset(std::vector<std::string> entries) {
        std::sort(entries.begin(), entries.end());  // std::string compares bytes as unsigned
        entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
        beginResetModel();
        m_entries = std::move(entries);
        m_upper.clear();
        m_upper.reserve(m_entries.size());
        for (const std::string& entry : m_entries) m_upper.push_back(UpperCp1251(entry));
        endResetModel();
    }

    // The entries stay in byte order, which is not the order of their upper cases, so the first
    // match is found by walking them.
    int FindPrefix(std::string_view text) const {
        const std::string upper = UpperCp1251(text);
        for (std::size_t i = 0; i < m_upper.size(); ++i) {
            if (m_upper[i].starts_with(upper)) return static_cast<int>(i);
        }
        return -1;
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= static_cast<int>(m_entries.size())) return {};
        if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
        return ToQString(m_entries[static_cast<std::size_t>(index.row())]);
    }

private:
    std::vector<std::string> m_entries;
    std::vector<std::string> m_upper;
};

CAutoComboBox::CAutoComboBox(QWidget* parent) : QComboBox(parent), m_entries(new CAutoComboEntries(this)) {
    setEditable(true);
    // Completion is ours; the field never adds what was typed to its entries.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    // Sizing to the contents would measure every entry; the dialog places the field itself.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setModel(m_entries);
    if (auto* view = qobject_cast<QListView*>(this->view())) view->setUniformItemSizes(true);
    lineEdit()->setDragEnabled(false);
    lineEdit()->setAcceptDrops(false);
}

void CAutoComboBox::SetEntries(std::vector<std::string> entries) {
    m_entries->Reset(std::move(entries));
    setCurrentIndex(-1);
    lineEdit()->clear();
}

int CAutoComboBox::FindPrefix(std::string_view text) const { return m_entries->FindPrefix(text); }

bool CAutoComboBox::SelectPrefix(std::string_view text) {
    const int found = FindPrefix(text);
    if (found < 0) return false;
    // The field shows the entry even when it is the current one already and the text was edited.
    setCurrentIndex(found);
    return true;
}

std::string CAutoComboBox::Text() const { return FromQString(lineEdit()->text()); }

void CAutoComboBox::SetText(std::string_view text) { lineEdit()->setText(ToQString(text)); }

void CAutoComboBox::keyPressEvent(QKeyEvent* event) {
    if (Complete(*event)) {
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

bool CAutoComboBox::Complete(const QKeyEvent& event) {
    const QString typed = event.text();
    if (event.key() == Qt::Key_Backspace || typed.isEmpty()) return false;
    if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (typed[0].unicode() < 0x20 || typed[0].unicode() == 0x7F) return false;  // Enter, Tab, Esc and the like
    if (typed.size() != 1) return true;  // more than one character, or one outside the basic plane

    QLineEdit& edit = *lineEdit();
    const QString text = edit.text();
    if (typed == QLatin1String("*")) return text.isEmpty();

    const std::string character = FromQString(typed);
    if (character == "?" && typed != QLatin1String("?")) return true;  // no Windows-1251 byte: refused

    const int start = edit.hasSelectedText() ? edit.selectionStart() : edit.cursorPosition();
    const QString candidate = (start > 0 ? text.left(start) : text) + typed;
    const int found = FindPrefix(FromQString(candidate));
    if (found < 0) return true;
    setCurrentIndex(found);
    // Everything past the typed characters is the completion, selected so typing replaces it.
    edit.setSelection(static_cast<int>(candidate.size()), static_cast<int>(edit.text().size() - candidate.size()));
    return true;
}

}  // namespace Norik
