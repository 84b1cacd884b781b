// CRecentWindow: the documents read lately, newest first, each by its title with the part of the
// text the reader was at ("ст. 220") when the base knows it. Enter or a double click goes there and
// closes the window with that place chosen; Escape closes it. User-interface thread only.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

#include "frame/NavigationHistory.h"

class QListWidget;

namespace Norik {

class CRecentWindow : public QDialog {
    Q_OBJECT
public:
    // places newest first; headings[i] names the part of the text places[i] lies in (may be empty).
    CRecentWindow(std::vector<TextPlace> places, const std::vector<QString>& headings, QWidget* parent = nullptr);

    std::optional<TextPlace> chosen() const { return m_chosen; }
    QListWidget* list() const { return m_list; }

private:
    void GoToSelected();

    std::vector<TextPlace> m_places;
    QListWidget* m_list = nullptr;
    std::optional<TextPlace> m_chosen;
};

}  // namespace Norik
