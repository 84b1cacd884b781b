#include "views/Cvelda1Doc.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <charconv>

#include "Helpers/Cp1251.h"
#include "Helpers/DocumentCopy.h"
#include "Helpers/SUn7zFile.h"
#include "app/CommandIds.h"
#include "platform/UserPort.h"
#include "platform/qt/QtText.h"
#include "showdata/ListDoc.h"
#include "views/InfoDoc.h"
#include "views/TextPage.h"

namespace Norik {

const char* const Cvelda1Doc::kCaption = "База документов";
const char* const Cvelda1Doc::kOpenFailed = "Failed to open document.";
const char* const Cvelda1Doc::kTooLarge = "Документ слишком велик";
const char* const Cvelda1Doc::kSaveFailed = "Failed to save document.";
const char* const Cvelda1Doc::kCopyFailed = "Ошибка при открытии файла!";
const char* const Cvelda1Doc::kSaveFilter = "Документы Norik(*.rtf)";

namespace {

QString DefaultChooseSaveFile(QWidget* parent, const QString& suggested, const QString& filter) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(filter);
    dialog.setDefaultSuffix(QStringLiteral("rtf"));
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

}  // namespace

Cvelda1Doc::Cvelda1Doc(TextWindowContext context) : m_context(std::move(context)) {
    if (!m_context.openWithDesktop) {
        m_context.openWithDesktop = [](const QString& path) {
            return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        };
    }
    if (!m_context.chooseSaveFile) m_context.chooseSaveFile = DefaultChooseSaveFile;
    if (!m_context.showInformation) {
        m_context.showInformation = [](std::int16_t number, QWidget* parent) { CInfoDoc(number, parent).exec(); };
    }
}

Cvelda1Doc::~Cvelda1Doc() = default;

void Cvelda1Doc::Message(const char* utf8Text) {
    if (m_context.userPort) {
        m_context.userPort->MessageBox(Utf8ToCp1251(utf8Text), Utf8ToCp1251(kCaption), MessageButtons::Ok,
                                       MessageIcon::Exclamation);
    }
}

bool Cvelda1Doc::OnOpenDocument(const QString& path) {
    SetPathName(path);
    auto loader = std::make_unique<DocumentTextLoader>();
    if (const auto started = loader->Start(FromQString(path)); started != DocumentTextLoader::StartResult::Started) {
        Message(started == DocumentTextLoader::StartResult::TooLarge ? kTooLarge : kOpenFailed);
        return false;
    }
    loader->WaitForFirstPart(m_context.wait);
    if (loader->hasFirstPart()) {
        m_text = loader->TakeFirstPart();
        m_loader = std::move(loader);
        connect(m_loader.get(), &DocumentTextLoader::finished, this, &Cvelda1Doc::TakeWholeText);
        // The whole text may have come during the wait already; it replaces the first part once
        // the view shows that, as it would have a moment later.
        if (m_loader->isFinished()) QMetaObject::invokeMethod(this, &Cvelda1Doc::TakeWholeText, Qt::QueuedConnection);
    } else {
        m_loader = std::move(loader);
        TakeWholeText();
        if (!m_text) {
            Message(kOpenFailed);
            return false;
        }
    }
    // The title the text is known by: the number its file name starts with.
    SetTitle(QFileInfo(path).fileName());
    return true;
}

void Cvelda1Doc::TakeWholeText() {
    if (m_whole || m_pending || !m_loader || !m_loader->isFinished()) return;
    // The loader stays (it may be the one emitting); it holds nothing once emptied.
    std::unique_ptr<QTextDocument> whole = m_loader->TakeDocument();
    m_rtf = m_loader->TakeRtf();
    // Out of memory for the whole text: the first part stays, as much as could be shown.
    if (!whole) {
        m_whole = true;
        return;
    }
    if (!m_text) {
        m_text = std::move(whole);
        m_whole = true;
        return;
    }
    // The first part is on the screen: the whole text replaces it once laid out for the view.
    m_pending = std::move(whole);
    if (m_pageWidth > 0) BeginTextPage(*m_pending, m_pageWidth);
    QTimer::singleShot(0, this, &Cvelda1Doc::PrepareWholeText);
}

void Cvelda1Doc::SetPageWidth(int width) {
    if (width <= 0 || width == m_pageWidth) return;
    m_pageWidth = width;
    if (m_pending) BeginTextPage(*m_pending, width);
}

void Cvelda1Doc::PrepareWholeText() {
    if (!m_pending) return;
    // Slices short enough for the window to stay smooth meanwhile.
    constexpr std::chrono::milliseconds kSlice{12};
    if (m_pageWidth > 0 && !ContinueTextPage(*m_pending, kSlice)) {
        QTimer::singleShot(0, this, &Cvelda1Doc::PrepareWholeText);
        return;
    }
    ShowWholeText();
}

void Cvelda1Doc::ShowWholeText() {
    std::unique_ptr<QTextDocument> previous = std::move(m_text);
    m_text = std::move(m_pending);
    m_whole = true;
    emit textDocumentReplaced(m_text.get());
}

void Cvelda1Doc::EnsureWhole() {
    if (m_whole) return;
    if (!m_pending && m_loader) {
        m_loader->WaitForWhole(m_context.wait);
        TakeWholeText();
    }
    // Wanted now: the rest of its layout follows as the window needs it.
    if (m_pending) ShowWholeText();
}

void Cvelda1Doc::SetView(QWidget* view) { m_view = view; }

void Cvelda1Doc::SetTitle(const QString& title) {
    const std::string head = FromQString(title.left(6));
    int value = 0;
    const auto [end, error] = std::from_chars(head.data(), head.data() + head.size(), value);
    if (error != std::errc() || end == head.data() || end != head.data() + head.size()) return;
    m_number = static_cast<std::int16_t>(value);
    CDocument::SetTitle(ToQString(ShowData::DocTitleByNumber(m_number)));
}

bool Cvelda1Doc::Save() {
    EnsureWhole();
    const std::string fallback = ShowData::DocFileName(m_number);
    const QString suggested = ToQString(FileNameFromTitle(ShowData::DocTitleByNumber(m_number), fallback)) + ".rtf";
    const QString target = m_context.chooseSaveFile(m_view, suggested, QString::fromUtf8(kSaveFilter));
    if (target.isEmpty()) return false;
    // Written beside the target and renamed over it: a failed save leaves no half file.
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly) || file.write(m_rtf) != m_rtf.size() || !file.commit()) {
        Message(kSaveFailed);
        return false;
    }
    return true;
}

void Cvelda1Doc::CopyToWord() {
    const std::vector<ShowData::DocItem> rows = ShowData::DocRowsByNumber(m_number);
    if (rows.empty()) {
        Message(kCopyFailed);
        return;
    }
    const std::string entryName = ShowData::DocFileName(rows.front());
    const std::string path = TemporaryCopyPath(rows.front().title, entryName);
    // Opened here, where the data folder is resolved; decoded and written on a worker. Failures
    // show nothing: the copy is an offer, and the text stays in its window.
    SUn7zFile entry;
    try {
        if (Failed(entry.Open(entryName, kModeRead, true))) return;
    } catch (const std::exception&) {
        return;
    }
    bool copied = false;
    RunWhileWaiting([&] { copied = CopyEntryToFile(entry, path); }, m_context.wait);
    if (!copied) return;
    if (m_context.temporaryFiles) m_context.temporaryFiles->Add(path);
    m_context.openWithDesktop(QString::fromStdString(path));
}

void Cvelda1Doc::ShowInformation() { m_context.showInformation(m_number, m_view); }

void Cvelda1Doc::ShowFileName() {
    if (m_context.userPort) {
        m_context.userPort->MessageBox(ShowData::DocFileName(m_number), Utf8ToCp1251(kCaption), MessageButtons::Ok,
                                       MessageIcon::Exclamation);
    }
}

bool Cvelda1Doc::UpdateCommand(int id, CommandState& state) {
    switch (id) {
        case Command::kFileSave:
        case Command::kCopyToWord:
        case Command::kDocumentInformation:
        case Command::kFileNumber:
            state = CommandState{};
            return true;
        default:
            return false;
    }
}

bool Cvelda1Doc::ExecuteCommand(int id) {
    switch (id) {
        case Command::kFileSave:
            Save();
            return true;
        case Command::kCopyToWord:
            CopyToWord();
            return true;
        case Command::kDocumentInformation:
            ShowInformation();
            return true;
        case Command::kFileNumber:
            ShowFileName();
            return true;
        default:
            return false;
    }
}

}  // namespace Norik
