// CListDocument: the document of a list window. It owns the list-window model (ShowData::
// CListDocDoc), carries the model's title as the window title, and handles the model's commands:
// "Поиск по реквизитам" (a search from the current list) and "Назад" (one level up, enabled only
// while there is a level to go back to). Views learn of every change through refreshed().
// User-interface thread only.
#pragma once

#include "frame/qt/Document.h"
#include "showdata/ListDocDoc.h"

namespace Norik {

class IUserPort;

class CListDocument : public CDocument, private ShowData::IListDocObserver {
    Q_OBJECT
public:
    // userPort must outlive the document.
    explicit CListDocument(IUserPort& userPort);
    ~CListDocument() override;

    ShowData::CListDocDoc& model() { return m_model; }

    bool UpdateCommand(int id, CommandState& state) override;
    bool ExecuteCommand(int id) override;

signals:
    // The rows, their texts or their order changed.
    void refreshed();

private:
    void OnRefresh() override;
    void OnTitleChanged(const std::string& title) override;

    ShowData::CListDocDoc m_model;
};

}  // namespace Norik
