// The contents pane of a text window: the document's outline as a tree of its parts. A click on an
// entry, or Enter on the current one, asks the window to go there (jumpRequested); the window
// marks the entry of the part on its screen as the text scrolls (MarkPosition), which asks nothing.
// User-interface thread only.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "richtext/DocumentOutline.h"

namespace Norik {

class ContentsPane : public QTreeWidget {
    Q_OBJECT
public:
    explicit ContentsPane(QWidget* parent = nullptr);

    void SetOutline(const DocumentOutline& outline);
    // Makes the entry of the part that position lies in the current one, scrolled into sight.
    void MarkPosition(int position);

signals:
    void jumpRequested(int position);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Jump(QTreeWidgetItem* item);

    // The outline's entries and their items, in reading order.
    DocumentOutline m_outline;
    std::vector<QTreeWidgetItem*> m_items;
};

}  // namespace Norik
