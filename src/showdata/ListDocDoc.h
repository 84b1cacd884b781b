// CListDocDoc: the model of a list window.
//
// A list window shows one list at a time, a classifier level or a list of documents. The model
// owns that list (the current list), passes the list interface on to it, replaces it when the
// user opens a classifier node, and keeps the classifier levels it came through so that "Назад"
// (Back) can go one level up. After every change it tells its observers (the views) to refresh;
// views re-read counts and texts on demand and hold no rows. It also keeps the window title.
//
// Ownership: the model owns its current list (shared with whoever else holds it) and its
// history; observers are not owned and must remove themselves before they die. The user port is
// not owned and must outlive the model. Threads: user-interface thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "showdata/ShowData.h"

namespace Norik {
class IUserPort;
}

namespace ShowData {

// What a view of a list window learns from its model.
class IListDocObserver {
public:
    virtual ~IListDocObserver() = default;
    // The rows, their texts or their order changed: re-read everything.
    virtual void OnRefresh() = 0;
    // The window title changed.
    virtual void OnTitleChanged(const std::string& title) = 0;
};

class CListDocDoc : public CShowData {
public:
    // A classifier level left by opening one of its nodes.
    struct HistoryEntry {
        std::int32_t id = 0;
        std::string name;
    };

    // Starts with an empty classifier level (which loads the tables on first use), an empty
    // history and an empty title.
    explicit CListDocDoc(Norik::IUserPort& userPort);

    void AddObserver(IListDocObserver* observer);
    void RemoveObserver(IListDocObserver* observer);

    // Loads the classifier level of node id into the current list, titles the window after it
    // and refreshes. The history is left alone.
    void ShowNode(int id, const std::string& name);
    // Shows the documents numbers (ascending) as a new document list carrying request, newest
    // first, and refreshes. Title and history are left alone.
    void ShowSearchResult(const std::vector<std::int16_t>& numbers, const SearchRequest& request);
    // Shows the documents numbers in the order given (a ranking, best first) as a new document
    // list, and refreshes. Title and history are left alone.
    void ShowRankedResult(const std::vector<std::int16_t>& numbers);
    // Goes back to the classifier level left last ("Назад"); nothing when the history is empty.
    void Back();
    // Whether "Назад" is enabled: exactly when the history is not empty.
    bool CanGoBack() const { return !m_history.empty(); }
    // "Поиск по реквизитам": the current list's attribute search.
    void FindInCurrentList();

    const std::string& title() const { return m_title; }
    // Sets the window title (the framework gives a new window its default title this way).
    void SetTitle(const std::string& title);
    const ShowDataPtr& currentList() const { return m_current; }
    const std::vector<HistoryEntry>& history() const { return m_history; }

    // The list interface, passed on to the current list.
    void Sort(int key, bool descending) override;
    int Count() override;
    std::string GetText(unsigned index) override;
    int GetNumber(unsigned index) override;
    const DocItem* GetDocRow(unsigned index) override;
    // Opens a row of the current list: a classifier node becomes the current list (the level
    // left goes onto the history), a document opens its text. The row is marked visited either
    // way. Returns the current list afterwards; an index out of range changes nothing.
    ShowDataPtr Open(unsigned index) override;
    std::string GetName(unsigned index) override;
    bool IsFolder() override;
    // The model's own search slot does nothing; FindInCurrentList is the command.
    void Find() override;
    bool GetMark(unsigned index) override;
    void SetMark(unsigned index, bool value) override;

private:
    void Refresh();

    Norik::IUserPort& m_userPort;
    ShowDataPtr m_current;
    std::vector<HistoryEntry> m_history;
    std::string m_title;
    std::vector<IListDocObserver*> m_observers;
};

}  // namespace ShowData
