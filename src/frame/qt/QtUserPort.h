// The user port of the viewer: message boxes as Qt dialogs, the wait indicator, and the window
// requests of the data model (a document text, the attribute search, a result list), which it
// hands to the application object through IDocumentWindows.
//
// The wait indicator is the one CWaitDialog of the program: every wait (a list opening a text, a
// text window reading its text, a copy, a print) goes through BeginWait / EndWait, which nest, so
// one opening shows it once. A message box asked for during a wait takes its place; it comes back
// only when a wait begins again (an opening that failed shows its message and the question that
// follows without the wait window flashing between them).
//
// Message boxes are owned by the dialog parent given with SetDialogParent (the main window once
// it exists; none before). Button texts are Russian whatever translations are installed.
// User-interface thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/UserPort.h"

namespace Norik {

class CWaitDialog;

// What the data model asks of the windows; implemented by the application object.
class IDocumentWindows {
public:
    virtual ~IDocumentWindows() = default;
    virtual bool OpenDocumentText(const std::string& path) = 0;
    virtual void RunAttributeSearch(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers) = 0;
    virtual void OpenResultListWindow(const std::vector<std::int16_t>& numbers,
                                      const ShowData::SearchRequest& request) = 0;
};

class CQtUserPort : public IUserPort {
public:
    explicit CQtUserPort(IDocumentWindows& windows) : m_windows(windows) {}
    ~CQtUserPort() override;

    // Message boxes and the wait window belong to parent from now on.
    void SetDialogParent(QWidget* parent);
    QWidget* dialogParent() const { return m_parent; }

    MessageAnswer MessageBox(const std::string& text, const std::string& caption, MessageButtons buttons,
                             MessageIcon icon) override;
    void BeginWait() override;
    void EndWait() override;
    // The wait under way can be given up: the wait window offers it and calls cancel when taken;
    // none takes the offer back.
    void OfferCancel(std::function<void()> cancel);
    bool OpenDocumentText(const std::string& path) override { return m_windows.OpenDocumentText(path); }
    void RunAttributeSearch(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers) override {
        m_windows.RunAttributeSearch(request, listNumbers);
    }
    void OpenResultListWindow(const std::vector<std::int16_t>& numbers,
                              const ShowData::SearchRequest& request) override {
        m_windows.OpenResultListWindow(numbers, request);
    }

private:
    IDocumentWindows& m_windows;
    QPointer<QWidget> m_parent;
    // Made on the first wait, owned by the dialog parent (gone with it).
    QPointer<CWaitDialog> m_waitDialog;
    // How many BeginWait calls are still to be ended.
    int m_waitDepth = 0;
};

// A modal message box over parent (none: no owner) with UTF-16 texts; the answer chosen.
MessageAnswer ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, MessageButtons buttons,
                             MessageIcon icon);

}  // namespace Norik
