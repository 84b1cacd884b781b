#include "views/Cvelda1Doc.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <charconv>

#include "Helpers/Cp1251.h"
#include "Helpers/DocumentCopy.h"
#include "Helpers/SUn7zFile.h"
#include "Helpers/qt/QtText.h"
#include "frame/CommandIds.h"
#include "platform/UserPort.h"
#include "showdata/ListDoc.h"
#include "views/InfoDoc.h"
#include "views/LapsedDocument.h"
#include "views/TextPage.h"

namespace Norik {

const char* const Cvelda1Doc::kCaption = "База документов";
const char* const Cvelda1Doc::kOpenFailed = "Failed to open document.";
const char* const Cvelda1Doc::kTooLarge = "Документ слишком велик";
const char* const Cvelda1Doc::kSaveFailed = "Failed to save document.";
const char* const Cvelda1Doc::kCopyFailed = "Ошибка при открытии файла!";
const char* const Cvelda1Doc::kCopyNotWritten = "Не удалось записать копию документа для текстового редактора.";
const char* const Cvelda1Doc::kCopyNotOpened =
    "Не удалось открыть копию документа в текстовом редакторе: для файлов RTF не назначено приложение.\n\n"
    "Копия записана в файл\n%1\nи будет удалена при выходе из программы.\n\n"
    "Сохранить документ в другом месте?";
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

// Whether the desktop names an application for the file's type (under its name or an alias).
// xdg-open, behind QDesktopServices, is started without waiting and so reports success even when
// it finds none; xdg-mime tells. Without xdg-mime, or when it gives no answer, openUrl decides.
bool DesktopHasApplicationFor(const QString& path) {
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty()) return true;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    constexpr int kQueryMilliseconds = 2000;
    for (const QString& name : QStringList{type.name()} + type.aliases()) {
        QProcess query;
        query.start(tool, {QStringLiteral("query"), QStringLiteral("default"), name});
        if (!query.waitForFinished(kQueryMilliseconds)) {
            query.kill();
            query.waitForFinished();
            return true;
        }
        if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) return true;
        if (!query.readAllStandardOutput().trimmed().isEmpty()) return true;
    }
    return false;
}

}  // namespace

Cvelda1Doc::Cvelda1Doc(TextWindowContext context) : m_context(std::move(context)) {
    if (!m_context.openWithDesktop) {
        m_context.openWithDesktop = [](const QString& path) {
            return DesktopHasApplicationFor(path) && QDesktopServices::openUrl(QUrl::fromLocalFile(path));
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
    const auto started = loader->Start(FromQString(path));
    switch (started) {
        case DocumentTextLoader::StartResult::Started:
            break;
        case DocumentTextLoader::StartResult::Missing:
            // The caller may ask for the disk that holds it.
            Message(kOpenFailed);
            return false;
        case DocumentTextLoader::StartResult::TooLarge:
        case DocumentTextLoader::StartResult::Malformed:
            // The text is there but refused: asking for another disk would not help. The window
            // closes at once, as after a wait given up.
            Message(started == DocumentTextLoader::StartResult::TooLarge ? kTooLarge : kOpenFailed);
            Abandon();
            return true;
    }
    if (!loader->WaitForFirstPart(m_context.wait)) {
        loader.reset();
        Abandon();
    } else if (loader->hasFirstPart()) {
        m_text = loader->TakeFirstPart();
        if (m_text) MarkLapsedLinks(*m_text);
        m_loader = std::move(loader);
        connect(m_loader.get(), &DocumentTextLoader::finished, this, &Cvelda1Doc::TakeWholeText);
        // The whole text may have come during the wait already; it replaces the first part once
        // the view shows that, as it would have a moment later.
        if (m_loader->isFinished()) QMetaObject::invokeMethod(this, &Cvelda1Doc::TakeWholeText, Qt::QueuedConnection);
        m_shownLoadingMessage = LoadingMessage();
        m_progressTimer.setInterval(250);
        connect(&m_progressTimer, &QTimer::timeout, this, [this] {
            const QString message = LoadingMessage();
            if (message == m_shownLoadingMessage) return;
            m_shownLoadingMessage = message;
            emit stateChanged();
        });
        m_progressTimer.start();
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
    m_outline = m_loader->TakeOutline();
    if (!m_outline.empty()) emit outlineChanged();
    // Out of memory for the whole text: the first part stays, as much as could be shown.
    if (!whole) {
        m_whole = true;
        m_progressTimer.stop();
        emit stateChanged();
        return;
    }
    MarkLapsedLinks(*whole);
    if (!m_text) {
        m_text = std::move(whole);
        m_whole = true;
        return;
    }
    // The first part is on the screen: the whole text replaces it once laid out for the view.
    m_pending = std::move(whole);
    if (m_pageWidth > 0) BeginTextPage(*m_pending, m_pageWidth, m_pageDevice);
    QTimer::singleShot(0, this, &Cvelda1Doc::PrepareWholeText);
}

void Cvelda1Doc::SetPageWidth(int width) {
    if (width <= 0 || width == m_pageWidth) return;
    m_pageWidth = width;
    if (m_pending) BeginTextPage(*m_pending, width, m_pageDevice);
}

void Cvelda1Doc::SetPageDevice(QPaintDevice* device) {
    if (device == m_pageDevice) return;
    m_pageDevice = device;
    if (m_pending && m_pageWidth > 0) BeginTextPage(*m_pending, m_pageWidth, device);
}

void Cvelda1Doc::PrepareWholeText() {
    if (!m_pending) return;
    // Slices short enough for the window to stay smooth meanwhile.
    constexpr std::chrono::milliseconds kSlice{12};
    // A text that came before its view told the page width (one of many table cells comes at
    // once) waits a moment for it, to be laid out in slices rather than all at once when shown.
    constexpr int kPageWidthWaits = 20;
    constexpr std::chrono::milliseconds kPageWidthWait{10};
    if (m_pageWidth <= 0 && m_pageWidthWaits < kPageWidthWaits) {
        ++m_pageWidthWaits;
        QTimer::singleShot(kPageWidthWait, this, &Cvelda1Doc::PrepareWholeText);
        return;
    }
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
    m_progressTimer.stop();
    m_shownLoadingMessage.clear();
    emit textDocumentReplaced(m_text.get());
    emit stateChanged();
}

QString Cvelda1Doc::LoadingMessage() const {
    if (m_whole || !m_text) return {};
    if (m_pending) {
        return QStringLiteral("Текст ещё загружается: подготовлено к показу %1%. Показано его начало.")
            .arg(PreparedPercent(*m_pending));
    }
    const int read = m_loader ? m_loader->percentRead() : 0;
    return QStringLiteral("Текст ещё загружается: прочитано %1%. Показано его начало.").arg(read);
}

bool Cvelda1Doc::EnsureWhole() {
    if (m_abandoned) return false;
    if (m_whole) return true;
    if (!m_pending && m_loader) {
        if (!m_loader->WaitForWhole(m_context.wait)) {
            Abandon();
            emit abandoned();
            return false;
        }
        TakeWholeText();
    }
    // Wanted now: the rest of its layout follows as the window needs it.
    if (m_pending) ShowWholeText();
    return true;
}

void Cvelda1Doc::Abandon() {
    // Destroying the loader stops its worker; what was read goes with it.
    m_loader.reset();
    m_pending.reset();
    m_rtf.clear();
    if (!m_text) m_text = std::make_unique<QTextDocument>();
    m_abandoned = true;
}

void Cvelda1Doc::SetView(QWidget* view) { m_view = view; }

void Cvelda1Doc::SetTitle(const QString& title) {
    const std::string head = FromQString(title.left(6));
    int value = 0;
    const auto [end, error] = std::from_chars(head.data(), head.data() + head.size(), value);
    if (error != std::errc() || end == head.data() || end != head.data() + head.size()) return;
    m_number = ShowData::DocNumberByFileNumber(value);
    CDocument::SetTitle(ToQString(ShowData::DocTitleByNumber(m_number)));
}

QString Cvelda1Doc::OfferedFileName() const {
    return ToQString(FileNameFromTitle(ShowData::DocTitleByNumber(m_number), ShowData::DocFileName(m_number)));
}

bool Cvelda1Doc::Save() {
    if (!EnsureWhole()) return false;
    const QString suggested = OfferedFileName() + ".rtf";
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
    // Opened here, where the data folder is resolved; decoded and written on a worker.
    SUn7zFile entry;
    bool opened = false;
    try {
        opened = !Failed(entry.Open(entryName, kModeRead, true));
    } catch (const std::exception&) {
        opened = false;
    }
    TemporaryCopies* copies = m_context.temporaryCopies;
    std::optional<TemporaryCopies::NewCopy> copy;
    if (opened && copies) copy = copies->Create(Cp1251ToUtf8(FileNameFromTitle(rows.front().title, entryName)));
    if (!copy) {
        Message(kCopyNotWritten);
        return;
    }
    bool copied = false;
    RunWhileWaiting([&] { copied = CopyEntryToFile(entry, std::move(copy->file)); }, m_context.wait);
    // A copy that is not the whole text is neither kept nor handed over.
    if (!copied) copies->Discard(copy->path);
    if (!copied || !copies->Keep(copy->path)) {
        Message(kCopyNotWritten);
        return;
    }
    if (!m_context.openWithDesktop(QString::fromStdString(copy->path))) OfferToSaveCopy(copy->path);
}

// The desktop could not open the copy: the user learns where it is and may keep the text.
void Cvelda1Doc::OfferToSaveCopy(const std::string& path) {
    if (!m_context.userPort) return;
    const QString text = QString::fromUtf8(kCopyNotOpened).arg(QString::fromStdString(path));
    const MessageAnswer answer = m_context.userPort->MessageBox(FromQString(text), Utf8ToCp1251(kCaption),
                                                                MessageButtons::YesNo, MessageIcon::Question);
    if (answer == MessageAnswer::Yes) Save();
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
