#include "app/DeskCommands.h"

#include <QApplication>
#include <algorithm>
#include <string_view>

#include "Helpers/Cp1251.h"
#include "Helpers/qt/QtText.h"
#include "frame/CommandIds.h"
#include "frame/qt/ChildFrm.h"
#include "frame/qt/MainFrm.h"
#include "platform/UserPort.h"
#include "showdata/DocumentLinks.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1Doc.h"
#include "views/Cvelda1View.h"
#include "views/PartPrinting.h"

namespace Norik {

const char* const DeskCommands::kLinksTitle = "Документ ссылается на: %1";
const char* const DeskCommands::kNoLinks = "Этот документ не ссылается на другие документы базы.";

DeskCommands::DeskCommands(CMainFrame& frame, IUserPort& userPort, OpenOrderedList openList,
                           std::function<std::optional<std::int16_t>()> commandDocument, WaitHooks wait)
    : m_frame(frame),
      m_userPort(userPort),
      m_openList(std::move(openList)),
      m_commandDocument(std::move(commandDocument)),
      m_wait(std::move(wait)) {}

void DeskCommands::NoteCitingList(const CDocument* list, std::int16_t cited) {
    // Lists closed since are forgotten as new ones come.
    std::erase_if(m_citingLists, [](const auto& noted) { return noted.first.isNull(); });
    m_citingLists.emplace_back(list, cited);
}

std::optional<std::int16_t> DeskCommands::CitedThrough(CChildFrame* window) const {
    if (!window) return std::nullopt;
    for (const auto& [list, cited] : m_citingLists)
        if (list == &window->document()) return cited;
    return std::nullopt;
}

Cvelda1View* DeskCommands::ActiveText() const {
    CChildFrame* child = m_frame.activeChild();
    return child ? dynamic_cast<Cvelda1View*>(&child->view()) : nullptr;
}

bool DeskCommands::ShowLinkedDocuments(std::int16_t number) {
    // The links are read from the stored text, whole: the window's, else the base's.
    QByteArray rtf;
    Cvelda1View* view = ActiveText();
    if (view && view->GetDocument()->number() == number) {
        if (!view->GetDocument()->EnsureWhole()) return false;
        rtf = view->GetDocument()->rtf();
    } else {
        DocumentTextLoader loader;
        if (loader.Start(ShowData::DocFileName(number)) != DocumentTextLoader::StartResult::Started) {
            m_userPort.MessageBox(Utf8ToCp1251(Cvelda1Doc::kOpenFailed), Utf8ToCp1251(Cvelda1Doc::kCaption),
                                  MessageButtons::Ok, MessageIcon::Exclamation);
            return false;
        }
        if (!loader.WaitForWhole(m_wait)) return false;
        rtf = loader.TakeRtf();
    }
    std::vector<std::int16_t> numbers =
        ShowData::LinkedDocuments(std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())));
    // A link of a document to itself leads nowhere new.
    std::erase(numbers, number);
    if (numbers.empty()) {
        m_userPort.MessageBox(Utf8ToCp1251(kNoLinks), Utf8ToCp1251(Cvelda1Doc::kCaption), MessageButtons::Ok,
                              MessageIcon::Information);
        return false;
    }
    if (m_openList)
        m_openList(numbers, QString::fromUtf8(kLinksTitle).arg(ToQString(ShowData::DocTitleByNumber(number))));
    return true;
}

bool DeskCommands::UpdateCommand(int id, CommandState& state) {
    if (id == Command::kLinksFrom) {
        state = CommandState{m_commandDocument && m_commandDocument().has_value(), false};
        return true;
    }
    if (id != Command::kPrintArticle) return false;
    state = CommandState{ActiveText() != nullptr, false};
    return true;
}

bool DeskCommands::ExecuteCommand(int id) {
    if (id != Command::kLinksFrom && id != Command::kPrintArticle) return false;
    if (id == Command::kLinksFrom) {
        if (const std::optional<std::int16_t> number = m_commandDocument ? m_commandDocument() : std::nullopt)
            ShowLinkedDocuments(*number);
    } else if (Cvelda1View* view = ActiveText()) {
        PrintCaretArticle(*view);
    }
    return true;
}

}  // namespace Norik
