#include "serve/Site.h"

#include <algorithm>
#include <chrono>
#include <kainjow/mustache.hpp>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>
#include <unordered_map>

#include "Helpers/Cp1251.h"
#include "Helpers/Folders.h"
#include "Helpers/SUn7zFile.h"
#include "ServeResources.inc"
#include "richtext/DocumentOutline.h"
#include "richtext/HtmlWriter.h"
#include "richtext/PlainText.h"
#include "search/SearchEvaluation.h"
#include "serve/SearchService.h"
#include "showdata/DocSort.h"

namespace Norik::Serve {

namespace {

using Json = nlohmann::json;
namespace mu = kainjow::mustache;

constexpr std::size_t kMaxSuggestions = 10;
constexpr std::size_t kMaxHitsPerSearch = 65536;
constexpr std::size_t kPassagesPerHit = 2;

// The templates parsed once per thread (a parsed template is not to be shared while rendering).
std::string Render(std::string_view name, const mu::data& data) {
    thread_local std::unordered_map<std::string, std::unique_ptr<mu::mustache>> parsed;
    auto& slot = parsed[std::string(name)];
    if (!slot) {
        slot = std::make_unique<mu::mustache>(std::string(ServeResource(name)));
        slot->set_custom_escape([](const std::string& text) { return HtmlEscaped(text); });
    }
    return slot->render(data);
}

// Sets name only for a text that is not empty: a section over an empty text would still show.
void SetText(mu::data& data, const std::string& name, const std::string& text) {
    if (!text.empty()) data.set(name, text);
}

std::string StatusText(bool inForce) { return inForce ? "действует" : "не действует"; }

std::string DateOrNone(ShowData::DayCode code) { return code == 0 ? "без даты" : DateText(code); }

// name=value pairs as a query string, empty values left out.
std::string QueryString(const std::vector<std::pair<std::string, std::string>>& items) {
    std::string out;
    for (const auto& [name, value] : items) {
        if (value.empty()) continue;
        out += out.empty() ? "?" : "&";
        out += name + "=" + UrlEncoded(value);
    }
    return out;
}

// The pager of a list: previous, the first, the last and those around the current, next.
std::string Pager(int page, int pages, const std::function<std::string(int)>& href) {
    if (pages <= 1) return {};
    mu::data data;
    if (page > 1) data.set("previous", href(page - 1));
    if (page < pages) data.set("next", href(page + 1));
    mu::data list{mu::data::type::list};
    bool gap = false;
    for (int p = 1; p <= pages; ++p) {
        if (p != 1 && p != pages && std::abs(p - page) > 3) {
            if (!gap) {
                mu::data item;
                item.set("gap", true);
                list.push_back(item);
            }
            gap = true;
            continue;
        }
        gap = false;
        mu::data item;
        item.set("number", std::to_string(p));
        item.set("href", href(p));
        item.set("current", p == page);
        list.push_back(item);
    }
    data.set("pages", list);
    return Render("pager.mustache", data);
}

mu::data DocumentRow(const DocumentInfo& document) {
    mu::data row;
    row.set("number", std::to_string(document.number));
    row.set("title", document.title);
    row.set("type", document.type);
    row.set("numberText", document.numberText);
    row.set("date", DateOrNone(document.date));
    row.set("status", StatusText(document.inForce));
    return row;
}

Json DocumentJson(const DocumentInfo& document) {
    return Json{{"number", document.number},         {"type", document.type},           {"title", document.title},
                {"numberText", document.numberText}, {"date", DateText(document.date)}, {"inForce", document.inForce}};
}

Response JsonResponse(const Json& json, int status = 200) {
    Response response;
    response.status = status;
    response.contentType = "application/json; charset=utf-8";
    // Texts that are not UTF-8 cannot come from the snapshot, but a replacement never fails.
    response.body = json.dump(-1, ' ', false, Json::error_handler_t::replace);
    return response;
}

int PageCount(std::size_t items, int pageSize) {
    return std::max(
        1, static_cast<int>((items + static_cast<std::size_t>(pageSize) - 1) / static_cast<std::size_t>(pageSize)));
}

// Only one attribute search at a time reads the process-wide indexes.
std::mutex g_indexMutex;

// The byte ranges of the words of text that are forms of the matcher's words.
HighlightFinder MatcherFinder(const std::shared_ptr<const FullText::WordFormMatcher>& matcher) {
    return [matcher](std::string_view utf8) {
        std::u16string text;
        std::vector<std::size_t> byteAt;  // the byte offset of each UTF-16 unit
        for (std::size_t i = 0; i < utf8.size();) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            const std::size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
            std::uint32_t cp = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
            for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
                cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
            if (cp >= 0x10000) {
                text += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                byteAt.push_back(i);
                text += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                text += static_cast<char16_t>(cp);
            }
            byteAt.push_back(i);
            i += length;
        }
        byteAt.push_back(utf8.size());
        std::vector<std::pair<std::size_t, std::size_t>> ranges;
        for (const auto& [begin, end] : matcher->FindAll(text))
            if (begin < end && end < byteAt.size()) ranges.emplace_back(byteAt[begin], byteAt[end]);
        return ranges;
    };
}

}  // namespace

std::string CssString(std::string_view utf8) {
    static const char* const kHex = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < utf8.size() && out.size() < 4096;) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ') {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        const std::size_t length = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 4;
        std::uint32_t cp = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += length;
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp > 0x10FFFF) continue;
        std::string hex;
        for (; cp != 0; cp >>= 4) hex.insert(hex.begin(), kHex[cp & 15]);
        out += "\\" + hex + " ";
    }
    return out;
}

std::string UrlEncoded(std::string_view text) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        }
    }
    return out;
}

std::string SafePassage(std::string_view passage) {
    std::string out;
    std::string text;
    const auto flush = [&] {
        // The index escaped the text: undone here, and escaped again by the one escaping.
        std::string plain;
        std::string_view rest = text;
        while (!rest.empty()) {
            bool replaced = false;
            for (const auto& [entity, c] : {std::pair<std::string_view, char>{"&amp;", '&'},
                                            {"&lt;", '<'},
                                            {"&gt;", '>'},
                                            {"&quot;", '"'},
                                            {"&#39;", '\''},
                                            {"&#x27;", '\''},
                                            {"&apos;", '\''}}) {
                if (rest.starts_with(entity)) {
                    plain += c;
                    rest.remove_prefix(entity.size());
                    replaced = true;
                    break;
                }
            }
            if (!replaced) {
                plain += rest.front();
                rest.remove_prefix(1);
            }
        }
        AppendHtmlEscaped(out, plain);
        text.clear();
    };
    for (std::size_t i = 0; i < passage.size(); ++i) {
        if (passage.substr(i).starts_with("<b>") || passage.substr(i).starts_with("</b>")) {
            flush();
            const bool closing = passage[i + 1] == '/';
            out += closing ? "</b>" : "<b>";
            i += closing ? 3 : 2;
        } else {
            text += passage[i];
        }
    }
    flush();
    // Tags left open by a cut passage are closed.
    int open = 0;
    for (std::size_t at = 0; (at = out.find('<', at)) != std::string::npos; ++at) open += out[at + 1] == '/' ? -1 : 1;
    for (; open > 0; --open) out += "</b>";
    return out;
}

std::string ReadDocumentRtf(std::int16_t number, std::string& problem) {
    const std::string entry = ShowData::DocFileName(number);
    SUn7zFile reader(GetDataFolder() + "Norik.sdb");
    std::string rtf;
    try {
        if (Failed(reader.Open(entry, kModeRead, true))) {
            problem = reader.damage().empty() ? "entry " + entry + ".t cannot be opened" : reader.damage();
            return rtf;
        }
        std::vector<char> buffer(std::size_t{1} << 16);
        for (int got; (got = reader.Read(buffer.data(), static_cast<int>(buffer.size()))) > 0;)
            rtf.append(buffer.data(), static_cast<std::size_t>(got));
    } catch (const std::exception& e) {
        problem = "entry " + entry + ".t has a malformed header";
        return rtf;
    }
    if (!reader.whole()) problem = reader.damage();
    return rtf;
}

Site::Site(std::shared_ptr<const BaseSnapshot> base, const SearchService& search)
    : m_base(std::move(base)), m_search(search) {}

bool Site::NeedsSearcher(RouteKind kind) {
    return kind == RouteKind::Search || kind == RouteKind::ApiSearch || kind == RouteKind::DocumentCitedBy ||
           kind == RouteKind::ApiCitedBy;
}

std::string Site::Page(const std::string& title, const std::string& query, const std::string& content) const {
    mu::data data;
    data.set("title", title);
    data.set("printTitle", CssString(title));
    data.set("query", query);
    data.set("content", content);
    data.set("baseDate", DateText(m_base->baseDate));
    mu::data damage{mu::data::type::list};
    for (const std::string& text : m_base->damage) damage.push_back(mu::data(text));
    data.set("damage", damage);
    return Render("layout.mustache", data);
}

Response Site::ErrorPage(int status, const std::string& message) const {
    static const std::map<int, std::string> kReasons = {{400, "Неправильный запрос"},
                                                        {404, "Не найдено"},
                                                        {405, "Метод не разрешён"},
                                                        {500, "Ошибка сервера"},
                                                        {503, "Сервер занят"}};
    const auto it = kReasons.find(status);
    const std::string reason = it == kReasons.end() ? "Ошибка" : it->second;
    mu::data data;
    data.set("status", std::to_string(status));
    data.set("reason", reason);
    data.set("message", message);
    Response response;
    response.status = status;
    response.cacheable = false;
    response.body = Page(reason, "", Render("error.mustache", data));
    return response;
}

Response Site::Answer(const RequestContext& request) const {
    switch (request.route.kind) {
        case RouteKind::Home:
            return Home();
        case RouteKind::Section:
            return Section(request, false);
        case RouteKind::ApiSection:
            return Section(request, true);
        case RouteKind::Document:
            return Document(request, false);
        case RouteKind::ApiDocument:
            return Document(request, true);
        case RouteKind::DocumentPicture:
        case RouteKind::DocumentRtf:
        case RouteKind::DocumentText:
            return DocumentFile(request);
        case RouteKind::Find:
            return Find(request, false);
        case RouteKind::ApiFind:
            return Find(request, true);
        case RouteKind::Info:
            return Info(false);
        case RouteKind::ApiInfo:
            return Info(true);
        case RouteKind::ApiClassifier:
            return Classifier();
        case RouteKind::Suggest:
            return Suggest(request);
        case RouteKind::OpenSearch: {
            mu::mustache xml{std::string(ServeResource("opensearch.xml"))};
            mu::data data;
            data.set("origin", request.origin);
            Response response;
            response.contentType = "application/opensearchdescription+xml; charset=utf-8";
            response.body = xml.render(data);
            response.cacheable = false;
            return response;
        }
        case RouteKind::Style:
        case RouteKind::Script: {
            Response response;
            const bool style = request.route.kind == RouteKind::Style;
            response.contentType = style ? "text/css; charset=utf-8" : "text/javascript; charset=utf-8";
            response.body = std::string(ServeResource(style ? "style.css" : "app.js"));
            return response;
        }
        default:
            return ErrorPage(404, "Такой страницы нет.");
    }
}

Response Site::SearchAnswer(const RequestContext& request, const FullText::Searcher* searcher) const {
    switch (request.route.kind) {
        case RouteKind::Search:
            return Search(request, searcher, false);
        case RouteKind::ApiSearch:
            return Search(request, searcher, true);
        case RouteKind::DocumentCitedBy:
            return CitedBy(request, searcher, false);
        case RouteKind::ApiCitedBy:
            return CitedBy(request, searcher, true);
        default:
            return ErrorPage(404, "Такой страницы нет.");
    }
}

Response Site::Home() const {
    mu::data sections{mu::data::type::list};
    for (const int id : m_base->top) {
        const SectionInfo* section = m_base->Section(id);
        mu::data item;
        item.set("id", std::to_string(id));
        item.set("name", section->name);
        sections.push_back(item);
    }
    mu::data data;
    data.set("sections", sections);
    Response response;
    response.body = Page("Классификатор документов", "", Render("home.mustache", data));
    return response;
}

Response Site::Classifier() const {
    Json sections = Json::array();
    for (const SectionInfo& section : m_base->sections)
        sections.push_back({{"id", section.id},
                            {"parent", section.parentId},
                            {"name", section.name},
                            {"path", section.path},
                            {"hasDocuments", section.hasDocuments}});
    return JsonResponse({{"top", m_base->top}, {"sections", sections}});
}

Response Site::Section(const RequestContext& request, bool api) const {
    const SectionInfo* section = m_base->Section(request.route.id);
    if (section == nullptr) {
        if (api) return JsonResponse({{"error", "no such section"}}, 404);
        return ErrorPage(404, "Такого раздела нет в классификаторе.");
    }
    const QueryParameters& p = request.parameters;
    static const char* const kKeys[] = {"date", "title", "type", "number"};
    int key = 0;
    for (int k = 0; k < 4; ++k)
        if (p.Get("sort") == kKeys[k]) key = k;
    // The date is newest first unless asked otherwise; the texts are ascending.
    const bool descending = p.Has("order") ? p.Get("order") == "desc" : key == 0;
    std::vector<ShowData::DocItem> rows = m_base->SectionRows(section->id);
    ShowData::SortDocRows(rows, key, key == 0 ? !descending : descending);
    const int pages = PageCount(rows.size(), kListPageSize);
    const int page = std::min(p.Integer("page", 1, 1 << 20, 1), pages);
    const std::size_t first = static_cast<std::size_t>(page - 1) * kListPageSize;
    const std::size_t last = std::min(rows.size(), first + kListPageSize);

    if (api) {
        Json documents = Json::array();
        for (std::size_t i = first; i < last; ++i)
            if (const DocumentInfo* d = m_base->Document(rows[i].number)) documents.push_back(DocumentJson(*d));
        return JsonResponse({{"id", section->id},
                             {"name", section->name},
                             {"path", section->path},
                             {"children", section->children},
                             {"total", rows.size()},
                             {"page", page},
                             {"pages", pages},
                             {"documents", documents}});
    }
    const std::string base = "/section/" + std::to_string(section->id);
    const auto href = [&](const std::string& sort, const std::string& order, int pageNumber) {
        return base +
               QueryString(
                   {{"sort", sort}, {"order", order}, {"page", pageNumber > 1 ? std::to_string(pageNumber) : ""}});
    };
    const std::string sortName = kKeys[key];
    const std::string order = descending ? "desc" : "asc";
    mu::data data;
    data.set("name", section->name);
    mu::data crumbs{mu::data::type::list};
    std::vector<const SectionInfo*> chain;
    for (const SectionInfo* s = m_base->Section(section->parentId); s != nullptr && chain.size() < 64;
         s = m_base->Section(s->parentId))
        chain.push_back(s);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        mu::data crumb;
        crumb.set("id", std::to_string((*it)->id));
        crumb.set("name", (*it)->name);
        crumbs.push_back(crumb);
    }
    data.set("crumbs", crumbs);
    mu::data children{mu::data::type::list};
    for (const int id : section->children) {
        mu::data child;
        child.set("id", std::to_string(id));
        child.set("name", m_base->Section(id)->name);
        children.push_back(child);
    }
    data.set("hasChildren", !section->children.empty());
    data.set("children", children);
    data.set("hasDocuments", !rows.empty());
    data.set("total", std::to_string(rows.size()));
    static const char* const kLabels[] = {"Дата", "Название", "Тип", "Номер"};
    static const char* const kHints[] = {"Сортировать по дате", "Сортировать по названию", "Сортировать по типу",
                                         "Сортировать по номеру"};
    mu::data columns{mu::data::type::list};
    for (int k : {0, 1, 2, 3}) {
        mu::data column;
        column.set("label", kLabels[k]);
        column.set("hint", kHints[k]);
        // A click on the sorted column turns the order round.
        const bool sorted = k == key;
        const std::string nextOrder = sorted ? (descending ? "asc" : "desc") : (k == 0 ? "desc" : "asc");
        column.set("href", href(kKeys[k], nextOrder, 1));
        if (sorted) {
            column.set("sort", descending ? "descending" : "ascending");
            column.set("arrow", descending ? " ▼" : " ▲");
        }
        columns.push_back(column);
    }
    mu::data statusColumn;
    statusColumn.set("label", "Статус");
    statusColumn.set("hint", "Сортировать по дате");
    statusColumn.set("href", href("date", "desc", 1));
    columns.push_back(statusColumn);
    data.set("columns", columns);
    mu::data list{mu::data::type::list};
    for (std::size_t i = first; i < last; ++i)
        if (const DocumentInfo* d = m_base->Document(rows[i].number)) list.push_back(DocumentRow(*d));
    data.set("rows", list);
    data.set("pager", Pager(page, pages, [&](int n) { return href(sortName, order, n); }));
    Response response;
    response.body = Page(section->name, "", Render("section.mustache", data));
    return response;
}

Response Site::Document(const RequestContext& request, bool api) const {
    const DocumentInfo* document = m_base->Document(request.route.id);
    if (document == nullptr) {
        if (api) return JsonResponse({{"error", "no such document"}}, 404);
        return ErrorPage(404, "Документа нет в базе");
    }
    const bool plain = !api && !request.parameters.Has("hl");
    if (plain) {
        if (const std::shared_ptr<const std::string> page = Kept(document->number)) {
            Response response;
            response.body = *page;
            return response;
        }
    }
    std::string problem;
    const std::string rtf = ReadDocumentRtf(document->number, problem);
    HtmlOptions options;
    options.documentNumber = document->number;
    std::string highlight;
    for (const std::string& word : HighlightWords(request.parameters.Get("hl"))) highlight += word + " ";
    if (!highlight.empty() && !api) {
        auto matcher = std::make_shared<const FullText::WordFormMatcher>(highlight);
        if (!matcher->empty()) options.highlight = MatcherFinder(matcher);
    }
    const HtmlText text = RtfToHtml(rtf, options);
    const int year = ShowData::YearOfCode(document->date);
    CitationSource source{document->type,
                          {},
                          document->date != 0 ? ShowData::DayOfCode(document->date) : 0,
                          document->date != 0 ? ShowData::MonthOfCode(document->date) : 0,
                          document->date != 0 ? year : 0,
                          document->numberText,
                          document->title,
                          document->inForce};
    const std::string citation = CitationText(source, nullptr);
    if (api) {
        Json json = DocumentJson(*document);
        json["sections"] = document->sections;
        json["dateAdded"] = DateText(document->dateAdded);
        json["citation"] = citation;
        Json outline = Json::array();
        for (std::size_t i = 0; i < text.outline.size(); ++i)
            outline.push_back(
                {{"title", text.outline[i].title}, {"depth", text.outline[i].depth}, {"anchor", text.anchors[i]}});
        json["outline"] = outline;
        json["html"] = text.html;
        if (!problem.empty()) json["damage"] = "Текст документа повреждён";
        return JsonResponse(json, rtf.empty() && !problem.empty() ? 500 : 200);
    }
    mu::data data = DocumentRow(*document);
    data.set("fileName", ShowData::DocFileName(document->number));
    data.set("dateAdded", DateOrNone(document->dateAdded));
    data.set("citation", citation);
    mu::data sections{mu::data::type::list};
    for (const int id : document->sections) {
        if (const SectionInfo* s = m_base->Section(id)) {
            mu::data item;
            item.set("id", std::to_string(id));
            item.set("path", s->path);
            sections.push_back(item);
        }
    }
    data.set("sections", sections);
    mu::data outline{mu::data::type::list};
    for (std::size_t i = 0; i < text.outline.size(); ++i) {
        mu::data entry;
        entry.set("title", text.outline[i].title);
        entry.set("anchor", text.anchors[i]);
        entry.set("depth", std::to_string(std::min(text.outline[i].depth, 3)));
        outline.push_back(entry);
    }
    data.set("hasOutline", !text.outline.empty());
    data.set("outline", outline);
    data.set("hasHighlights", text.highlights > 0);
    data.set("highlights", std::to_string(text.highlights));
    if (!problem.empty())
        data.set("damage", rtf.empty() ? "Текст документа не читается: файл базы повреждён."
                                       : "Текст документа повреждён: показано то, что удалось прочитать.");
    data.set("body", text.html);
    Response response;
    response.status = rtf.empty() && !problem.empty() ? 500 : 200;
    response.body = Page(document->title, "", Render("document.mustache", data));
    if (response.status != 200) response.cacheable = false;
    if (plain && problem.empty()) Keep(document->number, std::make_shared<const std::string>(response.body));
    return response;
}

std::shared_ptr<const std::string> Site::Kept(int number) const {
    const std::lock_guard lock(m_cacheMutex);
    const auto it = m_cached.find(number);
    if (it == m_cached.end()) return nullptr;
    m_cache.splice(m_cache.begin(), m_cache, it->second);
    return it->second->second;
}

void Site::Keep(int number, std::shared_ptr<const std::string> page) const {
    if (page->size() > kDocumentCacheBytes / 8) return;
    const std::lock_guard lock(m_cacheMutex);
    if (m_cached.count(number) != 0) return;
    m_cacheBytes += page->size();
    m_cache.emplace_front(number, std::move(page));
    m_cached[number] = m_cache.begin();
    while (m_cacheBytes > kDocumentCacheBytes && !m_cache.empty()) {
        m_cacheBytes -= m_cache.back().second->size();
        m_cached.erase(m_cache.back().first);
        m_cache.pop_back();
    }
}

Response Site::DocumentFile(const RequestContext& request) const {
    const DocumentInfo* document = m_base->Document(request.route.id);
    if (document == nullptr) return ErrorPage(404, "Документа нет в базе");
    std::string problem;
    const std::string rtf = ReadDocumentRtf(document->number, problem);
    if (rtf.empty() && !problem.empty()) return ErrorPage(500, "Текст документа не читается: файл базы повреждён.");
    Response response;
    const std::string name = ShowData::DocFileName(document->number);
    switch (request.route.kind) {
        case RouteKind::DocumentRtf:
            response.contentType = "application/rtf";
            response.body = rtf;
            response.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + name + ".rtf\"");
            break;
        case RouteKind::DocumentText:
            response.contentType = "text/plain; charset=utf-8";
            response.body = RtfToPlainText(rtf);
            response.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + name + ".txt\"");
            break;
        default: {
            std::optional<DocumentPicture> picture = FindDocumentPicture(rtf, request.route.k);
            if (!picture) return ErrorPage(404, "Такого рисунка в документе нет.");
            response.contentType = picture->mimeType;
            response.body = std::move(picture->bytes);
        }
    }
    return response;
}

Response Site::Info(bool api) const {
    std::string index;
    switch (m_search.state()) {
        case SearchService::State::Ready:
            index = "готов";
            break;
        case SearchService::State::Building:
            index = "Подготовка индекса быстрого поиска: " + std::to_string(m_search.percent()) + "%";
            break;
        case SearchService::State::Failed:
            index = m_search.failure();
            break;
    }
    if (api)
        return JsonResponse({{"documents", m_base->documents.size()},
                             {"baseDate", DateText(m_base->baseDate)},
                             {"indexedWords", m_base->indexedWords},
                             {"averageVocabulary", m_base->averageVocabulary},
                             {"fullTextIndex", index},
                             {"damage", m_base->damage}});
    mu::data data;
    data.set("documents", std::to_string(m_base->documents.size()));
    data.set("baseDate", m_base->baseDateText);
    data.set("indexedWords", std::to_string(m_base->indexedWords));
    data.set("averageVocabulary", std::to_string(m_base->averageVocabulary));
    data.set("index", index);
    Response response;
    response.body = Page("Информация о базе", "", Render("info.mustache", data));
    response.cacheable = false;
    return response;
}

Response Site::Suggest(const RequestContext& request) const {
    // Titles holding the typed text, letters compared without case.
    const std::string typed = SearchLine(request.parameters.Get("q"));
    Json titles = Json::array();
    const std::string needle = FoldCase(Utf8ToCp1251(typed));
    if (needle.size() >= 2) {
        for (const DocumentInfo& document : m_base->documents) {
            if (document.foldedTitle.find(needle) == std::string::npos) continue;
            titles.push_back(document.title);
            if (titles.size() == kMaxSuggestions) break;
        }
    }
    Response response = JsonResponse(Json::array({typed, titles}));
    response.contentType = "application/x-suggestions+json; charset=utf-8";
    return response;
}

Response Site::Find(const RequestContext& request, bool api) const {
    const QueryParameters& p = request.parameters;
    ShowData::SearchRequest search;
    const std::string sectionText = p.Get("section");
    const int section = p.Integer("section", -32768, 32767, -1);
    if (!sectionText.empty() && section >= 0) search.classId = static_cast<std::int16_t>(section);
    const std::string type = SearchLine(p.Get("type"));
    const std::string number = SearchLine(p.Get("number"));
    const std::string title = SearchLine(p.Get("title"));
    const std::string words = SearchLine(p.Get("text"));
    const std::string status = p.Get("status");
    const std::string from = SearchLine(p.Get("from"));
    const std::string to = SearchLine(p.Get("to"));
    search.type = Utf8ToCp1251(type);
    search.numberText = Utf8ToCp1251(number);
    search.titleWords = Utf8ToCp1251(title);
    search.textWords = Utf8ToCp1251(words);
    if (status == "in-force") search.inForce = 1;
    if (status == "not-in-force") search.inForce = 0;
    std::string notice;
    if (!from.empty()) {
        if (const auto code = ShowData::ParseDottedDate(from))
            search.introducedFrom = *code;
        else
            notice = "Дата «" + from + "» не понята: нужна дата ДД.ММ.ГГГГ.";
    }
    if (!to.empty()) {
        if (const auto code = ShowData::ParseDottedDate(to))
            search.introducedTo = *code;
        else
            notice = "Дата «" + to + "» не понята: нужна дата ДД.ММ.ГГГГ.";
    }
    const bool asked = p.Has("go") || api;
    std::vector<std::int16_t> found;
    if (asked && notice.empty()) {
        try {
            const std::lock_guard lock(g_indexMutex);
            found = ShowData::EvaluateSearchRequest(search);
        } catch (const char* message) {
            notice = Cp1251ToUtf8(message);
        } catch (const ShowData::SearchIndexDamaged&) {
            notice = "Индекс базы повреждён: поиск по реквизитам не может быть выполнен.";
        }
    }
    std::vector<const DocumentInfo*> documents;
    for (const std::int16_t n : found)
        if (const DocumentInfo* d = m_base->Document(n)) documents.push_back(d);
    std::stable_sort(documents.begin(), documents.end(),
                     [](const DocumentInfo* a, const DocumentInfo* b) { return a->date > b->date; });
    const int pages = PageCount(documents.size(), kListPageSize);
    const int page = std::min(p.Integer("page", 1, 1 << 20, 1), pages);
    const std::size_t first = static_cast<std::size_t>(page - 1) * kListPageSize;
    const std::size_t last = std::min(documents.size(), first + kListPageSize);
    if (api) {
        Json list = Json::array();
        for (std::size_t i = first; i < last; ++i) list.push_back(DocumentJson(*documents[i]));
        Json json{{"total", documents.size()}, {"page", page}, {"pages", pages}, {"documents", list}};
        if (!notice.empty()) json["error"] = notice;
        return JsonResponse(json, notice.empty() ? 200 : 400);
    }
    mu::data data;
    mu::data sectionOptions{mu::data::type::list};
    for (const SectionInfo& s : m_base->sections) {
        if (!s.hasDocuments) continue;
        mu::data option;
        option.set("id", std::to_string(s.id));
        option.set("path", s.path);
        option.set("selected", !sectionText.empty() && s.id == section);
        sectionOptions.push_back(option);
    }
    data.set("sectionOptions", sectionOptions);
    std::set<std::string> typeNames;
    for (const DocumentInfo& d : m_base->documents) typeNames.insert(d.type);
    mu::data typeOptions{mu::data::type::list};
    for (const std::string& name : typeNames) {
        mu::data option;
        option.set("name", name);
        option.set("selected", name == type);
        typeOptions.push_back(option);
    }
    data.set("typeOptions", typeOptions);
    data.set("number", number);
    data.set("title", title);
    data.set("text", words);
    data.set("from", from);
    data.set("to", to);
    data.set("statusAny", status != "in-force" && status != "not-in-force");
    data.set("statusIn", status == "in-force");
    data.set("statusOut", status == "not-in-force");
    data.set("asked", asked);
    if (asked) {
        mu::data answer;
        answer.set("heading", "Найденные документы");
        SetText(answer, "notice", notice);
        answer.set("hasRows", !documents.empty());
        answer.set("total", std::to_string(documents.size()));
        answer.set("empty", notice.empty() ? "По Вашему запросу ничего не найдено!" : "");
        mu::data rows{mu::data::type::list};
        for (std::size_t i = first; i < last; ++i) rows.push_back(DocumentRow(*documents[i]));
        answer.set("rows", rows);
        answer.set("pager", Pager(page, pages, [&](int n) {
                       return "/find" + QueryString({{"section", sectionText},
                                                     {"type", type},
                                                     {"number", number},
                                                     {"title", title},
                                                     {"text", words},
                                                     {"status", status},
                                                     {"from", from},
                                                     {"to", to},
                                                     {"go", "1"},
                                                     {"page", std::to_string(n)}});
                   }));
        data.set("answer", Render("list.mustache", answer));
    }
    Response response;
    response.body = Page("Поиск по реквизитам", "", Render("find.mustache", data));
    return response;
}

std::string Site::IndexNotice() const {
    if (m_search.state() == SearchService::State::Failed) return m_search.failure();
    if (m_search.state() == SearchService::State::Building)
        return "Индекс быстрого поиска готовится: " + std::to_string(m_search.percent()) + "%";
    return "Индекс быстрого поиска не открывается.";
}

Response Site::Search(const RequestContext& request, const FullText::Searcher* searcher, bool api) const {
    const auto started = std::chrono::steady_clock::now();
    const QueryParameters& p = request.parameters;
    const std::string query = SearchLine(p.Get("q"));
    const std::string typeFilter = p.Get("type");
    const std::string statusFilter = p.Get("status");
    const std::string yearFilter = p.Get("year");
    std::string notice;
    FullText::SearchResult result;
    if (!query.empty()) {
        if (searcher == nullptr) {
            notice = IndexNotice();
        } else {
            // Every match is asked for, so that the count is exact and the filters count them all.
            result = searcher->Search(query, std::min(kMaxHitsPerSearch, m_base->documents.size() + 1), 0);
            if (!result.error.empty()) notice = "Запрос не понят: " + result.error;
        }
    }
    // Each facet counts the matches that pass the other filters.
    struct Facet {
        const char* parameter = nullptr;
        const char* name = nullptr;
        std::map<std::string, int> counts{};
    };
    Facet facets[3] = {{"type", "Тип", {}}, {"status", "Статус", {}}, {"year", "Год", {}}};
    const auto valueOf = [](const DocumentInfo& d, int facet) -> std::string {
        if (facet == 0) return d.type;
        if (facet == 1) return d.inForce ? "in-force" : "not-in-force";
        return d.date == 0 ? "none" : std::to_string(ShowData::YearOfCode(d.date));
    };
    const std::string filters[3] = {typeFilter, statusFilter, yearFilter};
    std::vector<const FullText::Hit*> kept;
    for (const FullText::Hit& hit : result.hits) {
        const DocumentInfo* d = m_base->Document(hit.number);
        if (d == nullptr) continue;
        bool pass[3];
        for (int f = 0; f < 3; ++f) pass[f] = filters[f].empty() || valueOf(*d, f) == filters[f];
        for (int f = 0; f < 3; ++f)
            if (pass[(f + 1) % 3] && pass[(f + 2) % 3]) ++facets[f].counts[valueOf(*d, f)];
        if (pass[0] && pass[1] && pass[2]) kept.push_back(&hit);
    }
    const std::size_t total = result.hits.size();
    const int pages = PageCount(kept.size(), kSearchPageSize);
    const int page = std::min(p.Integer("page", 1, 1 << 20, 1), pages);
    const std::size_t first = static_cast<std::size_t>(page - 1) * kSearchPageSize;
    const std::size_t last = std::min(kept.size(), first + kSearchPageSize);
    // Passages only while the search is within its time budget.
    const bool withPassages =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() < kSearchBudgetSeconds;
    if (!withPassages && notice.empty()) notice = "Поиск занял много времени: отрывки текста не показаны.";
    std::vector<std::vector<std::string>> passages(last > first ? last - first : 0);
    if (searcher != nullptr && withPassages)
        for (std::size_t i = first; i < last; ++i)
            for (const std::string& passage : searcher->Passages(query, kept[i]->number, kPassagesPerHit))
                passages[i - first].push_back(SafePassage(passage));

    const auto href = [&](const std::string& type, const std::string& status, const std::string& year, int n) {
        return "/search" + QueryString({{"q", query},
                                        {"type", type},
                                        {"status", status},
                                        {"year", year},
                                        {"page", n > 1 ? std::to_string(n) : ""}});
    };
    if (api) {
        Json hits = Json::array();
        for (std::size_t i = first; i < last; ++i) {
            Json hit = DocumentJson(*m_base->Document(kept[i]->number));
            hit["score"] = kept[i]->score;
            hit["passages"] = passages[i - first];
            hits.push_back(hit);
        }
        Json facetJson = Json::object();
        for (const Facet& facet : facets) facetJson[facet.parameter] = facet.counts;
        Json json{{"query", query}, {"total", total}, {"filtered", kept.size()}, {"page", page},
                  {"pages", pages}, {"hits", hits},   {"facets", facetJson}};
        if (!result.suggestion.empty()) json["suggestion"] = result.suggestion;
        if (!notice.empty()) json["notice"] = notice;
        Response response = JsonResponse(json, searcher == nullptr && !query.empty() ? 503 : 200);
        response.cacheable = false;
        return response;
    }
    mu::data data;
    SetText(data, "notice", notice);
    data.set("hasQuery", !query.empty() && searcher != nullptr && result.error.empty());
    data.set("total", std::to_string(total));
    if (kept.size() != total) data.set("filtered", std::to_string(kept.size()));
    if (!result.suggestion.empty()) {
        mu::data suggestion;
        suggestion.set("text", result.suggestion);
        suggestion.set("href", "/search" + QueryString({{"q", result.suggestion}}));
        data.set("suggestion", suggestion);
    }
    mu::data facetList{mu::data::type::list};
    bool anyFacet = false;
    for (int f = 0; f < 3; ++f) {
        mu::data values{mu::data::type::list};
        std::vector<std::pair<std::string, int>> ordered(facets[f].counts.begin(), facets[f].counts.end());
        if (f == 2) std::reverse(ordered.begin(), ordered.end());  // the newest year first
        for (const auto& [value, count] : ordered) {
            std::string chosen[3] = {typeFilter, statusFilter, yearFilter};
            const bool selected = chosen[f] == value;
            chosen[f] = selected ? "" : value;
            mu::data item;
            item.set("label", f == 1                        ? StatusText(value == "in-force")
                              : (f == 2 && value == "none") ? "без даты"
                                                            : value);
            item.set("count", std::to_string(count));
            item.set("selected", selected);
            item.set("href", href(chosen[0], chosen[1], chosen[2], 1));
            values.push_back(item);
            anyFacet = true;
        }
        mu::data facet;
        facet.set("name", facets[f].name);
        facet.set("values", values);
        facetList.push_back(facet);
    }
    data.set("hasFacets", anyFacet);
    data.set("facets", facetList);
    mu::data hits{mu::data::type::list};
    for (std::size_t i = first; i < last; ++i) {
        mu::data hit = DocumentRow(*m_base->Document(kept[i]->number));
        hit.set("hl", UrlEncoded(query));
        mu::data list{mu::data::type::list};
        for (const std::string& passage : passages[i - first]) list.push_back(mu::data(passage));
        hit.set("passages", list);
        hits.push_back(hit);
    }
    data.set("hasHits", first < last);
    data.set("hits", hits);
    data.set("start", std::to_string(first + 1));
    data.set("pager", Pager(page, pages, [&](int n) { return href(typeFilter, statusFilter, yearFilter, n); }));
    Response response;
    response.status = searcher == nullptr && !query.empty() ? 503 : 200;
    response.cacheable = false;
    response.body =
        Page(query.empty() ? "Быстрый поиск" : "Быстрый поиск: " + query, query, Render("search.mustache", data));
    if (response.status == 503) response.headers.emplace_back("Retry-After", "10");
    return response;
}

Response Site::CitedBy(const RequestContext& request, const FullText::Searcher* searcher, bool api) const {
    const DocumentInfo* document = m_base->Document(request.route.id);
    if (document == nullptr) {
        if (api) return JsonResponse({{"error", "no such document"}}, 404);
        return ErrorPage(404, "Документа нет в базе");
    }
    std::vector<const DocumentInfo*> citing;
    std::string notice;
    if (searcher == nullptr) {
        notice = "Индекс ссылок ещё не готов.";
    } else {
        for (const std::int16_t n : searcher->CitedBy(document->number))
            if (const DocumentInfo* d = m_base->Document(n)) citing.push_back(d);
        if (!searcher->error().empty()) notice = "Индекс быстрого поиска не открывается.";
    }
    if (api) {
        Json list = Json::array();
        for (const DocumentInfo* d : citing) list.push_back(DocumentJson(*d));
        Json json{{"number", document->number}, {"citedBy", list}};
        if (!notice.empty()) json["notice"] = notice;
        Response response = JsonResponse(json, searcher == nullptr ? 503 : 200);
        response.cacheable = false;
        return response;
    }
    const int pages = PageCount(citing.size(), kListPageSize);
    const int page = std::min(request.parameters.Integer("page", 1, 1 << 20, 1), pages);
    const std::size_t first = static_cast<std::size_t>(page - 1) * kListPageSize;
    const std::size_t last = std::min(citing.size(), first + kListPageSize);
    mu::data data;
    mu::data doc;
    doc.set("number", std::to_string(document->number));
    doc.set("title", document->title);
    data.set("document", doc);
    data.set("heading", "Ссылки на документ");
    SetText(data, "notice", notice);
    data.set("hasRows", !citing.empty());
    data.set("total", std::to_string(citing.size()));
    data.set("empty", notice.empty() ? "На этот документ не ссылается ни один документ базы." : "");
    mu::data rows{mu::data::type::list};
    for (std::size_t i = first; i < last; ++i) rows.push_back(DocumentRow(*citing[i]));
    data.set("rows", rows);
    data.set("pager", Pager(page, pages, [&](int n) {
                 return "/doc/" + std::to_string(document->number) + "/cited-by" +
                        QueryString({{"page", std::to_string(n)}});
             }));
    Response response;
    response.status = searcher == nullptr ? 503 : 200;
    response.cacheable = false;
    response.body = Page("Ссылки на документ: " + document->title, "", Render("list.mustache", data));
    return response;
}

}  // namespace Norik::Serve
