#include "frame/CommandTable.h"

#include <array>

#include "frame/CommandIds.h"

namespace Norik {

namespace {

using namespace Command;

constexpr std::string_view kFile = "&Файл";
constexpr std::string_view kEdit = "&Редактирование";
constexpr std::string_view kSearch = "&Поиск";
constexpr std::string_view kSort = "&Поиск/Сортировать по...";
constexpr std::string_view kBookmarksMenu = "&Закладки";
constexpr std::string_view kWindows = "&Окна";
constexpr std::string_view kHelpMenu = "&Справка";

constexpr unsigned kMT = kPlaceMenus | kPlaceToolBar;

// Texts are the program's own, as the user sees them; the older ones keep their forms ("Ctrl-K"
// beside "Ctrl+S", a Latin "c" in the pop-up menu's "Выделить вcё") as they have always been shown.
const std::array kCommands = {
    CommandInfo{kFileSave, kFile, "Сохранить\tCtrl+S", "", "Ctrl+S", kMT, "Сохранить активный документ под именем",
                "Сохранить как", false, "document-save", "save"},
    CommandInfo{kFilePrintPreview, kFile, "Предварительный просмотр", "", "", kMT, "Показать печатные страница",
                "Предварительный просмотр", false, "document-print-preview", "print-preview"},
    CommandInfo{kFilePrint, kFile, "Печать\tCtrl-P", "Печатать", "Ctrl+P", kMT, "Печатать активный документ", "Печать",
                false, "document-print", "print"},
    CommandInfo{kPrintArticle, kFile, "Печатать статью\tCtrl+Shift+P", "Печатать статью", "Ctrl+Shift+P", kPlaceMenus,
                "Печатать статью, в которой стоит курсор", "Печатать статью"},
    CommandInfo{kDocumentInformation, kFile, "Информация\tCtrl-I", "", "Ctrl+I", kMT, "Показать информацию о документе",
                "", true, "dialog-information", "information"},
    CommandInfo{kFileClose, kFile, "Закрыть\tCtrl+F4", "", "Ctrl+F4;Ctrl+W", kPlaceMenus | kPlaceWindowMenu,
                "Закрыть активное окно", "Закрыть", true},
    CommandInfo{kAppExit, kFile, "Выход", "", "", kPlaceMenus,
                "Выход из приложения;предупреждение для сохранения документов", "Выход", true},
    CommandInfo{kEditCopy, kEdit, "Копировать", "Копировать", "Ctrl+C", kPlaceMenus,
                "Копировать выделенный текст в буффер обмена", "Копировать"},
    CommandInfo{kEditSelectAll, kEdit, "Выделить все", "Выделить вcё", "Ctrl+A", kPlaceMenus, "Выделить весь документ",
                "Выделить все"},
    CommandInfo{kEditFind, kEdit, "Найти", "", "Ctrl+F", kMT, "Найти текст", "Найти", true, "edit-find", "find"},
    CommandInfo{kCopyWithCitation, kEdit, "Копировать со ссылкой\tCtrl+Shift+C", "", "Ctrl+Shift+C", kPlaceMenus,
                "Копировать выделенный текст вместе со ссылкой на документ и статью", "Копировать со ссылкой"},
    CommandInfo{kGoToArticle, kEdit, "Перейти к статье...\tCtrl+G", "", "Ctrl+G", kPlaceMenus,
                "Перейти к статье, главе или разделу по номеру", "Перейти к статье", true},
    CommandInfo{kCopyToWord, kEdit, "Копировать в MS-Word", "", "", kMT, "Открыть документ в редакторе MS-Word",
                "Копировать в MS-Word", true, "x-office-document", "copy-to-word"},
    CommandInfo{kClassifier, kSearch, "Классификатор документов\tCtrl-K", "", "Ctrl+K", kMT,
                "Показать окно классификатора документов", "Классификатор документов", false, "", "classifier"},
    CommandInfo{kAttributeSearch, kSearch, "Поиск по реквизитам\tCtrl-H", "", "Ctrl+H", kMT, "Поиск по реквизитам",
                "Поиск по реквизитам", false, "system-search", "attribute-search"},
    CommandInfo{kQuickSearch, kSearch, "Быстрый поиск\tCtrl+E", "", "Ctrl+E", kPlaceMenus,
                "Найти документы по словам в любой форме", "Быстрый поиск", true},
    CommandInfo{kNextMatch, kSearch, "Следующее совпадение", "", "", kPlaceMenus,
                "Перейти к следующему найденному слову в тексте", "Следующее совпадение"},
    CommandInfo{kPreviousMatch, kSearch, "Предыдущее совпадение", "", "", kPlaceMenus,
                "Перейти к предыдущему найденному слову в тексте", "Предыдущее совпадение"},
    CommandInfo{kSortByDate, kSort, "Дате", "", "", kPlaceListMenu | kPlaceToolBar, "Сортировать по дате", "", false,
                "", "sort-date"},
    CommandInfo{kSortByTitle, kSort, "Названию", "", "", kMT, "Сортировать по названию", "Сортировать по названию",
                false, "", "sort-title"},
    CommandInfo{kSortByType, kSort, "Типу", "", "", kMT, "Сортировать по типу", "Сортировать по типу", false, "",
                "sort-type"},
    CommandInfo{kSortByNumber, kSort, "Номеру", "", "", kMT, "Сортировать по номеру", "Сортировать по номеру", false,
                "", "sort-number"},
    CommandInfo{kSortDescending, kSort, "Убыванию", "", "", kPlaceMenus, "Сортировать по убыванию", "Убыванию", true},
    CommandInfo{kBack, kSearch, "Назад\tCtrl-BackSpc", "", "Ctrl+Backspace", kMT,
                "Переместиться по классификатору на уровень вверх", "Назад", true, "go-up", "back"},
    CommandInfo{kCitedBy, kSearch, "Ссылки на документ", "", "", kPlaceMenus,
                "Показать документы, которые ссылаются на этот документ", "Ссылки на документ", true},
    CommandInfo{kLinksFrom, kSearch, "Документ ссылается на…", "", "", kPlaceMenus,
                "Показать документы, на которые ссылается этот документ", "Документ ссылается на"},
    CommandInfo{kHistoryBack, kBookmarksMenu, "Назад\tAlt+Left", "", "Alt+Left", kMT,
                "Вернуться к месту текста, откуда перешли", "Назад по истории", false, "go-previous", "history-back"},
    CommandInfo{kHistoryForward, kBookmarksMenu, "Вперёд\tAlt+Right", "", "Alt+Right", kMT,
                "Перейти к месту текста, от которого вернулись", "Вперёд по истории", false, "go-next",
                "history-forward"},
    CommandInfo{kAddBookmark, kBookmarksMenu, "Добавить закладку\tCtrl+D", "", "Ctrl+D", kPlaceMenus,
                "Запомнить это место текста в закладках", "Добавить закладку", true},
    CommandInfo{kBookmarksWindow, kBookmarksMenu, "Все закладки...", "", "", kPlaceMenus,
                "Показать, переименовать и удалить закладки", "Закладки"},
    CommandInfo{kRecentDocuments, kBookmarksMenu, "Недавние документы...\tCtrl+Shift+R", "", "Ctrl+Shift+R",
                kPlaceMenus, "Показать документы, прочитанные недавно, и перейти к месту в них", "Недавние документы"},
    CommandInfo{kViewContents, kWindows, "Содержание", "", "", kMT, "Показать или скрыть содержание документа",
                "Содержание", false, "", "contents"},
    CommandInfo{kZoomIn, kWindows, "Крупнее\tCtrl+=", "", "Ctrl+=;Ctrl++", kPlaceMenus, "Увеличить текст", "Крупнее",
                true},
    CommandInfo{kZoomOut, kWindows, "Мельче\tCtrl+-", "", "Ctrl+-", kPlaceMenus, "Уменьшить текст", "Мельче"},
    CommandInfo{kZoomReset, kWindows, "Обычный размер\tCtrl+0", "", "Ctrl+0", kPlaceMenus,
                "Показать текст в обычном размере", "Обычный размер"},
    CommandInfo{kWindowCascade, kWindows, "Каскад", "", "", kPlaceMenus, "Расположить окна одно над другим со сдвигом",
                "Каскад"},
    CommandInfo{kWindowTile, kWindows, "Черепица", "", "", kPlaceMenus, "Расположить окна рядом, не перекрывая",
                "Черепица"},
    CommandInfo{kAppAbout, kHelpMenu, "О программе", "", "", kPlaceMenus, "Показать информацию о программе",
                "О программе"},
    CommandInfo{kHelp, kHelpMenu, "Справка о программе", "", "F1", kMT, "Справка", "", false, "help-contents", "help"},
    CommandInfo{kSplash, kHelpMenu, "Заставка", "", "", kPlaceMenus, "Показать заставку", "Заставка", true},
    CommandInfo{kBaseInformation, kHelpMenu, "Информация о базе", "", "", kPlaceMenus,
                "Показать информацию о базе данных программы", "Информация о базе"},
    // Commands in no menu: reached by their shortcuts (or, for 135, by no place at all).
    CommandInfo{kAllDocuments, "", "", "", "", 0, "Показать все документы", "Все документы"},
    CommandInfo{kFileNumber, "", "", "", "Ctrl+Alt+I;Ctrl+F12", 0, "", ""},
    CommandInfo{kEditUndo, "", "", "", "Ctrl+Z", 0, "", ""},
    CommandInfo{kEditFindNext, "", "", "", "F3", 0, "Найти следующее вхождение", ""},
    CommandInfo{kEditFindPrevious, "", "", "", "Shift+F3", 0, "Найти предыдущее вхождение", ""},
    CommandInfo{kNextPane, "", "", "", "F6", 0, "", ""},
    CommandInfo{kPreviousPane, "", "", "", "Shift+F6", 0, "", ""},
};

constexpr std::array kToolBar = {kFileSave,
                                 kFilePrintPreview,
                                 kFilePrint,
                                 kCopyToWord,
                                 0,
                                 kBack,
                                 kHistoryBack,
                                 kHistoryForward,
                                 0,
                                 kClassifier,
                                 kAttributeSearch,
                                 kEditFind,
                                 kViewContents,
                                 0,
                                 kSortByDate,
                                 kSortByTitle,
                                 kSortByNumber,
                                 kSortByType,
                                 0,
                                 kDocumentInformation,
                                 kHelp};

constexpr std::array kTextPopup = {kEditCopy, kEditSelectAll, 0, kFilePrint};

constexpr std::array kMenus = {kFile, kEdit, kSearch, kBookmarksMenu, kWindows, kHelpMenu};

}  // namespace

std::span<const CommandInfo> CommandTable() { return kCommands; }

const CommandInfo* FindCommand(int id) {
    for (const CommandInfo& command : kCommands)
        if (command.id == id) return &command;
    return nullptr;
}

std::span<const int> ToolBarLayout() { return kToolBar; }

std::span<const int> TextPopupLayout() { return kTextPopup; }

std::span<const std::string_view> TopLevelMenus() { return kMenus; }

std::string_view CommandTip(const CommandInfo& command) { return command.tip.empty() ? command.prompt : command.tip; }

}  // namespace Norik
