#include "views/LinkPlaces.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include "richtext/RtfLinks.h"
#include "richtext/qt/RtfDocumentBuilder.h"
#include "showdata/ListDoc.h"
#include "views/Cvelda1View.h"
#include "views/TextPlace.h"

namespace Norik {

std::optional<std::pair<int, int>> FirstLinkTo(const QTextDocument& text, std::int16_t number) {
    for (QTextBlock block = text.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QVariant linked = fragment.charFormat().property(kLinkDocumentNumberProperty);
            // A link leads where the file name of its number leads (the number's low bits).
            if (!linked.isValid() || ShowData::DocNumberByFileNumber(linked.toInt()) != number) continue;
            const std::optional<LinkInfo> link = LinkAt(text, fragment.position());
            const int start = fragment.position();
            const int end = link ? start + static_cast<int>(link->text.size()) : start + fragment.length();
            return std::pair{start, end};
        }
    }
    return std::nullopt;
}

bool ShowLinkTo(Cvelda1View& view, std::int16_t number) {
    std::optional<std::pair<int, int>> link = FirstLinkTo(*view.document(), number);
    // The first part of a long text may not reach the link yet.
    if (!link && !view.GetDocument()->isWhole() && view.GetDocument()->EnsureWhole())
        link = FirstLinkTo(*view.document(), number);
    if (!link) return false;
    ShowPosition(view, link->first);
    // ShowPosition places the caret again once the window has its size: the link is selected after.
    const auto select = [&view, link = *link] {
        QTextCursor selected(view.document());
        selected.setPosition(link.first);
        selected.setPosition(link.second, QTextCursor::KeepAnchor);
        view.setTextCursor(selected);
    };
    select();
    QTimer::singleShot(0, &view, select);
    return true;
}

QString LinkPlaceAt(const QTextDocument& text, int position) {
    const std::optional<LinkInfo> link = LinkAt(text, position);
    if (!link) return {};
    const std::string target = link->target.toStdString();
    return QString::fromStdString(std::string(LinkPlace(target))).trimmed();
}

bool ShowNamedPlace(Cvelda1View& view, const QString& place) {
    if (place.isEmpty()) return false;
    const std::optional<OutlineTarget> target = ParseOutlineTarget(place.toStdString());
    if (!target) return false;
    // The outline comes with the whole text.
    if (view.GetDocument()->outline().empty() && !view.GetDocument()->EnsureWhole()) return false;
    const OutlineEntry* entry = FindOutlineEntry(view.GetDocument()->outline(), *target);
    if (!entry) return false;
    ShowPosition(view, entry->position);
    return true;
}

}  // namespace Norik
