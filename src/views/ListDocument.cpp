#include "views/ListDocument.h"

#include "Helpers/qt/QtText.h"
#include "frame/CommandIds.h"

namespace Norik {

CListDocument::CListDocument(IUserPort& userPort) : m_model(userPort) { m_model.AddObserver(this); }

CListDocument::~CListDocument() { m_model.RemoveObserver(this); }

bool CListDocument::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case Command::kAttributeSearch:
            state.enabled = true;
            return true;
        case Command::kBack:
            state.enabled = m_model.CanGoBack();
            return true;
        default:
            return false;
    }
}

bool CListDocument::ExecuteCommand(int id) {
    switch (id) {
        case Command::kAttributeSearch:
            m_model.FindInCurrentList();
            return true;
        case Command::kBack:
            m_model.Back();
            return true;
        default:
            return false;
    }
}

void CListDocument::OnRefresh() {
    emit refreshed();
    emit stateChanged();
}

void CListDocument::OnTitleChanged(const std::string& title) { SetTitle(ToQString(title)); }

}  // namespace Norik
