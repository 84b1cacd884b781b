// The document and view classes of the viewer's windows, and the document template that makes
// them.
//
// A child window shows one document through one view. The document holds what the window shows
// (a list model, a document text) and its title; the view is the widget that shows it. Both take
// part in command routing: the active view is asked first, then its document (CommandTarget.h).
// A document or view tells the main frame that the state of its commands may have changed (new
// content, a new selection) through stateChanged / NotifyStateChanged, so the frame recomputes
// the enabled and checked states only then.
//
// A template (CDocTemplate) makes the documents and views of one kind of window. Its document
// string has the fields of the desktop's document strings separated by "\n": window title,
// document-type name, new-file name, filter name, filter extension, file-type id and name.
// Ownership: the child frame owns its document and its view; the application object owns the
// templates. User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "frame/CommandTarget.h"

class QWidget;

namespace Norik {

class CDocTemplate;

class CDocument : public QObject, public ICommandTarget {
    Q_OBJECT
public:
    CDocument() = default;
    ~CDocument() override = default;

    const QString& title() const { return m_title; }
    // Sets the window title, its control characters shown as \xHH; a kind of document may derive
    // its title from the one given (a text takes its document's title from the number its file
    // name starts with).
    virtual void SetTitle(const QString& title);
    // The path the document was opened from; empty for a new document.
    const QString& pathName() const { return m_pathName; }
    void SetPathName(const QString& path) { m_pathName = path; }
    CDocTemplate* docTemplate() const { return m_template; }
    void SetDocTemplate(CDocTemplate* docTemplate) { m_template = docTemplate; }

    // Prepares a new, empty document; false when it cannot be made.
    virtual bool OnNewDocument() { return true; }
    // Reads the document at path; false when it cannot be opened (the document has told the user).
    virtual bool OnOpenDocument(const QString& path);

    bool UpdateCommand(int, CommandState&) override { return false; }
    bool ExecuteCommand(int) override { return false; }

signals:
    void titleChanged(const QString& title);
    // Something the command states depend on has changed.
    void stateChanged();

private:
    QString m_title;
    QString m_pathName;
    CDocTemplate* m_template = nullptr;
};

// The view side of a child window: the widget that shows a document. Implemented by widget classes
// (a list view, a text view) next to their Qt base class.
class CView : public ICommandTarget {
public:
    ~CView() override = default;
    virtual QWidget* widget() = 0;
    // The document the view shows (named as the framework names it: a text view's widget has a
    // document() of its own, the text it lays out).
    virtual CDocument* GetDocument() const = 0;
    // Called once, when the window is first shown.
    virtual void OnInitialUpdate() {}
    // A document-list view gives its row count and its first selected row (-1 for none) for the
    // position pane; any other view returns false.
    virtual bool GetListPosition(int& count, int& selected) {
        (void)count;
        (void)selected;
        return false;
    }

    // A message for the status bar while the view is active and no command is highlighted (a text
    // still loading says so); empty for none. A change is reported as a change of state.
    virtual QString StatusMessage() const { return {}; }

    bool UpdateCommand(int, CommandState&) override { return false; }
    bool ExecuteCommand(int) override { return false; }

    // Called by the child frame: how the view reports that its command states may have changed.
    void SetStateChangedHandler(std::function<void()> handler) { m_stateChanged = std::move(handler); }

protected:
    void NotifyStateChanged() {
        if (m_stateChanged) m_stateChanged();
    }

private:
    std::function<void()> m_stateChanged;
};

class CDocTemplate {
public:
    using DocumentFactory = std::function<std::unique_ptr<CDocument>()>;
    // Makes the view of a document as a widget without a parent; the child frame takes the widget,
    // and with it the view.
    using ViewFactory = std::function<CView*(CDocument&)>;

    // The fields of the document string.
    enum DocStringIndex {
        kWindowTitle,
        kDocName,
        kFileNewName,
        kFilterName,
        kFilterExt,
        kRegFileTypeId,
        kRegFileTypeName
    };

    // A template without factories makes no documents: every open through it fails.
    CDocTemplate(int resourceId, const QString& docString, DocumentFactory documents, ViewFactory views);

    int resourceId() const { return m_resourceId; }
    QString GetDocString(DocStringIndex index) const;
    // True when the template can make documents.
    bool CanCreate() const { return m_documents && m_views; }
    // A new document of this kind, or null.
    std::unique_ptr<CDocument> CreateNewDocument();
    CView* CreateView(CDocument& document) const;
    // The title of the next new document: the document-type name and the running count of the
    // new documents of this template ("Список1", "Список2", ...).
    QString NextUntitledTitle();
    // True when path ends with the filter extension (compared without case).
    bool MatchesExtension(const QString& path) const;

private:
    int m_resourceId;
    QStringList m_docStrings;
    DocumentFactory m_documents;
    ViewFactory m_views;
    int m_untitledCount = 0;
};

}  // namespace Norik
