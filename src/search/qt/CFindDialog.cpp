#include "search/qt/CFindDialog.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <algorithm>
#include <cmath>
#include <optional>

#include "Helpers/Cp1251.h"
#include "Helpers/qt/QtText.h"
#include "platform/UserPort.h"
#include "search/SearchEvaluation.h"
#include "search/qt/CAutoComboBox.h"
#include "showdata/DayCode.h"
#include "showdata/ListDoc.h"

namespace Norik {

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }

const std::string& Caption() {
    static const std::string text = Utf8ToCp1251("База документов");
    return text;
}

// The status list holds "Все документы", "Действующие", "Не действующие": any, in force, not in force.
int StatusIndex(std::int32_t inForce) { return inForce == 1 ? 1 : inForce == 0 ? 2 : 0; }
std::int32_t InForceOfStatus(int index) { return index == 1 ? 1 : index == 2 ? 0 : -1; }

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// The dialog's own face, with families to fall back on where Verdana is not installed.
QFont DialogFont() {
    QFont font;
    font.setFamilies({Q("Verdana"), Q("DejaVu Sans"), Q("Liberation Sans"), Q("Arial"), Q("Helvetica")});
    font.setPointSize(8);
    return font;
}

// The section list's smaller face: the dialog font's pixel height at 96 dots an inch less two,
// taken as tenths of a point and multiplied by eight. Worked out at the design resolution, so the
// list stays smaller than the dialog on any screen.
QFont SectionFont(const QFont& dialogFont) {
    QFont font = dialogFont;
    const int pixels = static_cast<int>(std::lround(dialogFont.pointSizeF() * 96.0 / 72.0));
    font.setPointSizeF(std::max(1, pixels - 2) * 8 / 10.0);
    return font;
}

// Text without its mnemonic marker.
QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

// A day code as a date field shows it; empty for an open end.
QString DateText(std::int32_t dayCode) {
    return dayCode == -1 ? QString() : QString::fromStdString(ShowData::DottedDayCode(dayCode));
}

// The day code in a date field; nothing when the field is empty or holds no date.
std::optional<ShowData::DayCode> FieldDate(const QLineEdit* field) {
    return ShowData::ParseDottedDate(FromQString(field->text()));
}

}  // namespace

CFindDialog::CFindDialog(ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers,
                         IUserPort& userPort, QWidget* parent)
    : QDialog(parent),
      m_request(request),
      m_userPort(userPort),
      m_fromList(listNumbers != nullptr),
      m_listNumbers(listNumbers ? *listNumbers : std::vector<std::int16_t>{}) {
    setWindowTitle(Q("Поиск по реквизитам"));
    setFont(DialogFont());
    CreateControls();
    PlaceControls();
    FillLists();
    ShowRequest(m_request);
    m_area->setEnabled(m_fromList);
}

CFindDialog::~CFindDialog() = default;

void CFindDialog::CreateControls() {
    // Frames first, so that they lie beneath the controls they surround.
    auto* fieldsFrame = new QGroupBox(this);
    auto* choicesFrame = new QGroupBox(this);

    auto label = [this](const char* text, QWidget* buddy) {
        auto* created = new QLabel(Q(text), this);
        created->setBuddy(buddy);
        buddy->setAccessibleName(Plain(created->text()));
        return created;
    };

    m_section = new QComboBox(this);
    m_section->setObjectName(Q("section"));
    m_section->setFont(SectionFont(font()));
    m_section->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_type = new CAutoComboBox(this);
    m_type->setObjectName(Q("type"));
    m_number = new CAutoComboBox(this);
    m_number->setObjectName(Q("number"));
    m_title = new QLineEdit(this);
    m_title->setObjectName(Q("title"));
    m_text = new QLineEdit(this);
    m_text->setObjectName(Q("text"));
    m_allWords = new QRadioButton(Q("&Искать все слова"), this);
    m_allWords->setObjectName(Q("allWords"));
    m_anyWord = new QRadioButton(Q("&Хотя бы одно слово"), this);
    m_anyWord->setObjectName(Q("anyWord"));
    auto dateField = [this](const char* name) {
        auto* field = new QLineEdit(this);
        field->setObjectName(Q(name));
        field->setPlaceholderText(Q("ДД.ММ.ГГГГ"));
        return field;
    };
    m_dateFrom = dateField("dateFrom");
    m_dateTo = dateField("dateTo");
    m_area = new QComboBox(this);
    m_area->setObjectName(Q("area"));
    m_area->addItems({Q("Все документы"), Q("В найденном")});
    m_status = new QComboBox(this);
    m_status->setObjectName(Q("status"));
    m_status->addItems({Q("Все документы"), Q("Действующие"), Q("Не действующие")});
    m_clear = new QPushButton(Q("О&чистить"), this);
    m_clear->setObjectName(Q("clear"));
    m_find = new QPushButton(Q("На&йти"), this);
    m_find->setObjectName(Q("find"));
    m_find->setDefault(true);
    m_cancel = new QPushButton(Q("От&мена"), this);
    m_cancel->setObjectName(Q("cancel"));

    // Places in dialog units; the frames and labels are not in the tab order, the rest are in it.
    m_places = {
        {fieldsFrame, 2, 47, 205, 92},
        {choicesFrame, 2, 146, 205, 64},
        {label("&Раздел законодательства", m_section), 5, 2, 199, 8},
        {m_section, 5, 11, 199, 12},
        {label("&Тип", m_type), 5, 24, 199, 8},
        {m_type, 5, 32, 199, 12},
        {label("&Номер", m_number), 7, 55, 32, 8},
        {m_number, 41, 53, 163, 12},
        {label("На&звание", m_title), 7, 74, 32, 8},
        {m_title, 41, 72, 163, 12},
        {label("Те&кст", m_text), 7, 91, 32, 8},
        {m_text, 41, 89, 163, 12},
        {m_allWords, 41, 106, 70, 10},
        {m_anyWord, 117, 106, 79, 10},
        {label("&Дата введения: с", m_dateFrom), 7, 124, 60, 8},
        {m_dateFrom, 69, 122, 56, 12},
        {label("&по", m_dateTo), 131, 124, 12, 8},
        {m_dateTo, 145, 122, 56, 12},
        {label("&Область поиска", m_area), 5, 157, 88, 8},
        {m_area, 5, 166, 88, 12},
        {label("&Статус", m_status), 113, 157, 88, 8},
        {m_status, 113, 166, 88, 12},
        {m_clear, 8, 191, 36, 13},
        {m_find, 118, 191, 36, 13},
        {m_cancel, 165, 191, 36, 13},
    };
    // "по" alone would tell a screen reader nothing.
    m_dateFrom->setAccessibleName(Q("Дата введения с"));
    m_dateTo->setAccessibleName(Q("Дата введения по"));
    QWidget* tabOrder[] = {m_section,  m_type,   m_number, m_title,  m_text,  m_allWords, m_anyWord,
                           m_dateFrom, m_dateTo, m_area,   m_status, m_clear, m_find,     m_cancel};
    for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(m_find, &QPushButton::clicked, this, &CFindDialog::OnFind);
    connect(m_clear, &QPushButton::clicked, this, &CFindDialog::OnClear);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

// Dialog units follow the font: a quarter of its average character width across, an eighth of
// its height down. The whole plan is stretched evenly, across and down on their own, until every
// text and every field fits, so the arrangement holds with any font the system substitutes.
void CFindDialog::PlaceControls() {
    const QFontMetrics metrics(font());
    const QString alphabet = Q("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const double unitX = (metrics.horizontalAdvance(alphabet) / 26.0 + 1) / 2 / 4.0;
    const double unitY = metrics.height() / 8.0;

    double stretchX = 1.0, stretchY = 1.0;
    for (const Place& place : m_places) {
        QWidget* widget = place.widget;
        int needWidth = 0;
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            needWidth = label->fontMetrics().horizontalAdvance(Plain(label->text())) + 1;
        } else if (qobject_cast<QRadioButton*>(widget)) {
            needWidth = widget->sizeHint().width();
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            const int margin = style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                               style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
            needWidth = button->fontMetrics().horizontalAdvance(Plain(button->text())) + 2 * margin;
        }
        stretchX = std::max(stretchX, needWidth / (place.width * unitX));
        if (qobject_cast<QComboBox*>(widget) || qobject_cast<QLineEdit*>(widget))
            stretchY = std::max(stretchY, widget->sizeHint().height() / (place.height * unitY));
    }
    const double scaleX = unitX * stretchX, scaleY = unitY * stretchY;
    auto along = [](int units, double scale) { return static_cast<int>(std::lround(units * scale)); };
    for (const Place& place : m_places) {
        QRect box(along(place.x, scaleX), along(place.y, scaleY), along(place.width, scaleX),
                  along(place.height, scaleY));
        // A control taller than its box keeps the box's middle.
        const int height = std::max(box.height(), place.widget->sizeHint().height());
        if (!qobject_cast<QGroupBox*>(place.widget) && height > box.height())
            box.adjust(0, -(height - box.height()) / 2, 0, (height - box.height() + 1) / 2);
        place.widget->setGeometry(box);
    }
    setFixedSize(along(209, scaleX), along(216, scaleY));
}

void CFindDialog::FillLists() {
    m_section->addItem(Q("Все разделы"));
    QStringList sections;
    for (const ShowData::ClassRow& row : ShowData::GetClassTable()) {
        if (row.parentId != 0) continue;
        sections.push_back(ToQString(Trimmed(row.name)));
        m_sectionNumbers.push_back(row.id);
    }
    m_section->addItems(sections);

    m_type->SetEntries(ShowData::GetTypeList());

    const ShowData::DocTable& table = ShowData::GetDocTable();
    std::vector<std::string> numbers;
    numbers.reserve(table.size());
    for (const ShowData::DocItem& row : table) numbers.emplace_back(row.numberText);
    m_number->SetEntries(std::move(numbers));
}

void CFindDialog::ShowRequest(const ShowData::SearchRequest& request) {
    m_title->setText(ToQString(request.titleWords));
    m_text->setText(ToQString(request.textWords));

    const auto section = std::find(m_sectionNumbers.begin(), m_sectionNumbers.end(), request.classId);
    m_section->setCurrentIndex(request.classId == -1 || section == m_sectionNumbers.end()
                                   ? 0
                                   : static_cast<int>(section - m_sectionNumbers.begin()) + 1);

    m_type->setCurrentIndex(-1);
    m_type->SetText({});
    if (!request.type.empty()) m_type->SelectPrefix(request.type);

    m_number->setCurrentIndex(-1);
    m_number->SetText({});
    if (!request.numberText.empty()) m_number->SelectPrefix(request.numberText);
    m_number->SetText(request.numberText);

    m_dateFrom->setText(DateText(request.introducedFrom));
    m_dateTo->setText(DateText(request.introducedTo));
    m_status->setCurrentIndex(StatusIndex(request.inForce));
    (request.allWords != 0 ? m_allWords : m_anyWord)->setChecked(true);
    m_area->setCurrentIndex(request.searchArea >= 0 && request.searchArea < m_area->count() ? request.searchArea : -1);
}

ShowData::SearchRequest CFindDialog::ReadRequest() const {
    ShowData::SearchRequest request;
    const int section = m_section->currentIndex();
    request.classId = static_cast<std::int16_t>(section <= 0 ? -1 : m_sectionNumbers[section - 1]);
    request.type = m_type->Text();
    request.numberText = m_number->Text();
    request.titleWords = FromQString(m_title->text());
    request.textWords = FromQString(m_text->text());
    request.dateOfIntroduction = -1;
    request.inForce = InForceOfStatus(m_status->currentIndex());
    request.allWords = m_allWords->isChecked() ? 1 : 0;
    request.searchArea = m_area->currentIndex();
    request.introducedFrom = FieldDate(m_dateFrom).value_or(-1);
    request.introducedTo = FieldDate(m_dateTo).value_or(-1);
    return request;
}

bool CFindDialog::DatesReadable() {
    for (QLineEdit* field : {m_dateFrom, m_dateTo}) {
        if (field->text().trimmed().isEmpty() || FieldDate(field)) continue;
        Tell(Utf8ToCp1251("Дата «") + FromQString(field->text().trimmed()) +
             Utf8ToCp1251("» не распознана.\nВведите дату в виде ДД.ММ.ГГГГ, например 01.07.2004."));
        field->setFocus();
        field->selectAll();
        return false;
    }
    const auto from = FieldDate(m_dateFrom), to = FieldDate(m_dateTo);
    if (from && to && *from > *to) {
        Tell(Utf8ToCp1251("Начальная дата введения позже конечной."));
        m_dateFrom->setFocus();
        m_dateFrom->selectAll();
        return false;
    }
    return true;
}

void CFindDialog::OnFind() {
    if (!DatesReadable()) return;
    const ShowData::SearchRequest request = ReadRequest();
    // The caller keeps what was asked for even when nothing is found.
    m_request = request;

    IndexSpace::DocNumberList found;
    if (!Evaluate(request, found)) return;
    if (m_fromList && request.searchArea != 0 && !m_listNumbers.empty())
        found = ShowData::IntersectDocLists(found, m_listNumbers);
    // The count announced is the count the list will show: documents the indexes name but a
    // damaged table lost have no row to show.
    found = ShowData::NumbersWithRows(found);
    if (found.empty()) {
        Tell(Utf8ToCp1251("По Вашему запросу ничего не найдено!"));
        return;
    }
    const std::string question = Utf8ToCp1251("По Вашему запросу найдено ") + std::to_string(found.size()) +
                                 Utf8ToCp1251(" документов!\nПоказать эти документы?");
    if (m_userPort.MessageBox(question, Caption(), MessageButtons::YesNo, MessageIcon::Question) != MessageAnswer::Yes)
        return;
    m_userPort.OpenResultListWindow(found, request);
    accept();
}

bool CFindDialog::Evaluate(const ShowData::SearchRequest& request, IndexSpace::DocNumberList& found) {
    try {
        found = ShowData::EvaluateSearchRequest(request);
        return true;
    } catch (const char* message) {
        // A request without any criterion.
        Tell(message);
        return false;
    } catch (const ShowData::SearchIndexDamaged& damaged) {
        // A damaged index must not pass for "nothing found": say which file cannot be read.
        Tell(Utf8ToCp1251("Не удаётся прочитать указатель базы данных, поиск невозможен:\n" +
                          damaged.damage().UserText()));
        return false;
    }
}

void CFindDialog::OnClear() { ShowRequest(ShowData::SearchRequest{}); }

void CFindDialog::Tell(const std::string& text) {
    m_userPort.MessageBox(text, Caption(), MessageButtons::Ok, MessageIcon::Exclamation);
}

void RunFindDialog(QWidget* parent, ShowData::SearchRequest& request, const std::vector<std::int16_t>* listNumbers,
                   IUserPort& userPort) {
    CFindDialog dialog(request, listNumbers, userPort, parent);
    dialog.exec();
}

}  // namespace Norik
