// The command table of the viewer: for each command its id, where it is offered (menus, tool bar,
// the pop-up menu of a document text), its menu and text, its shortcuts, the prompt shown in the
// status bar while it is highlighted and its tool-bar tip. Menus, the tool bar and the shortcuts
// are all built from this one table; CommandIds.h holds the ids. Plain data, any thread.
#pragma once

#include <span>
#include <string_view>

namespace Norik {

// Where a command is offered (the pop-up menu of a document text: TextPopupLayout).
enum CommandPlace : unsigned {
    kPlaceMenus = 1u << 0,     // the menus of every window state
    kPlaceListMenu = 1u << 1,  // only the menu shown while a list window is active
    kPlaceToolBar = 1u << 2,
    kPlaceWindowMenu = 1u << 4,  // also at the head of the windows menu
};

struct CommandInfo {
    int id;
    // The menu that holds the item, submenus joined by "/", e.g. "&Поиск/Сортировать по...";
    // empty for commands in no menu.
    std::string_view menu;
    // The item's text as shown, with the shortcut's text after a tab where it has one.
    std::string_view menuText;
    // The item's text in the pop-up menu of a document text; empty when the item is not there.
    std::string_view popupText;
    // Key sequences in Qt's portable form, separated by ";" (e.g. "Ctrl+Alt+I;Ctrl+F12").
    std::string_view shortcuts;
    unsigned places;
    std::string_view prompt;
    // The tool-bar tip; the prompt serves where it is empty.
    std::string_view tip;
    // A separator goes before the item in its menu.
    bool separatorBefore = false;
    // The tool-bar icon: the desktop theme's name and our own bundled image ":/toolbar/<name>.png".
    std::string_view themeIcon = {};
    std::string_view iconName = {};
};

// The commands in menu order.
std::span<const CommandInfo> CommandTable();
// The command of id, or null.
const CommandInfo* FindCommand(int id);
// The tool bar from left to right; 0 stands for a gap between groups.
std::span<const int> ToolBarLayout();
// The pop-up menu of a document text from top to bottom; 0 stands for a separator.
std::span<const int> TextPopupLayout();
// The top-level menus in their order.
std::span<const std::string_view> TopLevelMenus();
// The tip of a command: its tip, or its prompt where it has none.
std::string_view CommandTip(const CommandInfo& command);

}  // namespace Norik
