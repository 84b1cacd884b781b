#include "showdata/ListDocDoc.h"

#include <algorithm>

#include "showdata/ListDoc.h"

namespace ShowData {

CListDocDoc::CListDocDoc(Norik::IUserPort& userPort)
    : m_userPort(userPort), m_current(std::make_shared<CShowClass>(userPort)) {}

void CListDocDoc::AddObserver(IListDocObserver* observer) {
    if (observer && std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end()) {
        m_observers.push_back(observer);
    }
}

void CListDocDoc::RemoveObserver(IListDocObserver* observer) {
    m_observers.erase(std::remove(m_observers.begin(), m_observers.end(), observer), m_observers.end());
}

void CListDocDoc::Refresh() {
    // A copy, so that an observer may remove itself while being told.
    const auto observers = m_observers;
    for (IListDocObserver* observer : observers) observer->OnRefresh();
}

void CListDocDoc::SetTitle(const std::string& title) {
    m_title = title;
    const auto observers = m_observers;
    for (IListDocObserver* observer : observers) observer->OnTitleChanged(m_title);
}

void CListDocDoc::ShowNode(int id, const std::string& name) {
    m_current->SetParent(id, name);
    SetTitle(m_current->GetTitle());
    Refresh();
}

void CListDocDoc::ShowSearchResult(const std::vector<std::int16_t>& numbers, const SearchRequest& request) {
    auto result = std::make_shared<CShowDoc>(m_userPort);
    result->request() = request;
    result->FillFromNumbers(numbers);
    m_current = std::move(result);
    Refresh();
}

void CListDocDoc::ShowRankedResult(const std::vector<std::int16_t>& numbers) {
    auto result = std::make_shared<CShowDoc>(m_userPort);
    result->FillInOrder(numbers);
    m_current = std::move(result);
    Refresh();
}

void CListDocDoc::Back() {
    if (m_history.empty()) return;
    const HistoryEntry entry = std::move(m_history.back());
    m_history.pop_back();
    auto level = std::make_shared<CShowClass>(m_userPort);
    level->SetParent(entry.id, entry.name);
    SetTitle(level->GetTitle());
    m_current = std::move(level);
    Refresh();
}

void CListDocDoc::FindInCurrentList() { m_current->Find(); }

void CListDocDoc::Sort(int key, bool descending) {
    m_current->Sort(key, descending);
    Refresh();
}

int CListDocDoc::Count() { return m_current->Count(); }

std::string CListDocDoc::GetText(unsigned index) { return m_current->GetText(index); }

int CListDocDoc::GetNumber(unsigned index) { return m_current->GetNumber(index); }

const DocItem* CListDocDoc::GetDocRow(unsigned index) { return m_current->GetDocRow(index); }

ShowDataPtr CListDocDoc::Open(unsigned index) {
    if (static_cast<int>(index) < 0 || static_cast<int>(index) >= m_current->Count()) return m_current;
    // Keep the list alive through its own Open, whatever the user does meanwhile.
    const ShowDataPtr list = m_current;
    ShowDataPtr opened = list->Open(index);
    list->SetMark(index, true);
    if (opened) {
        m_history.push_back({list->id(), list->name()});
        m_current = std::move(opened);
        SetTitle(m_current->GetTitle());
        Refresh();
    }
    return m_current;
}

std::string CListDocDoc::GetName(unsigned index) { return m_current->GetName(index); }

bool CListDocDoc::IsFolder() { return m_current->IsFolder(); }

void CListDocDoc::Find() {}

bool CListDocDoc::GetMark(unsigned index) { return m_current->GetMark(index); }

void CListDocDoc::SetMark(unsigned index, bool value) { m_current->SetMark(index, value); }

}  // namespace ShowData
