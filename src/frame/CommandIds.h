// The command vocabulary of the viewer: the numeric ids every menu item, tool-bar button,
// shortcut and handler agrees on. The texts, shortcuts, prompts and places of each command are
// kept in one table beside the main frame; handlers refer to commands by these names only.
#pragma once

namespace Norik::Command {

inline constexpr int kFileClose = 57602;
inline constexpr int kFileSave = 57604;
inline constexpr int kFilePrintPreview = 57609;
inline constexpr int kFilePrint = 57607;
inline constexpr int kDocumentInformation = 305;
inline constexpr int kAppExit = 57665;
inline constexpr int kEditCopy = 57634;
inline constexpr int kEditSelectAll = 57642;
inline constexpr int kEditFind = 57636;
inline constexpr int kEditUndo = 57643;
inline constexpr int kEditFindNext = 57682;
inline constexpr int kEditFindPrevious = 32798;
inline constexpr int kCopyToWord = 131;
inline constexpr int kClassifier = 161;
inline constexpr int kAttributeSearch = 133;
inline constexpr int kSortByDate = 299;
inline constexpr int kSortByTitle = 300;
inline constexpr int kSortByType = 301;
inline constexpr int kSortByNumber = 302;
inline constexpr int kSortDescending = 304;
inline constexpr int kBack = 136;
inline constexpr int kWindowCascade = 57650;
inline constexpr int kWindowTile = 57651;
inline constexpr int kAppAbout = 57664;
inline constexpr int kHelp = 164;
inline constexpr int kSplash = 170;
inline constexpr int kBaseInformation = 134;
inline constexpr int kAllDocuments = 135;
inline constexpr int kFileNumber = 32797;
inline constexpr int kNextPane = 57680;
inline constexpr int kPreviousPane = 57681;
inline constexpr int kQuickSearch = 400;
inline constexpr int kNextMatch = 401;
inline constexpr int kPreviousMatch = 402;
inline constexpr int kHistoryBack = 450;
inline constexpr int kHistoryForward = 451;
inline constexpr int kAddBookmark = 452;
inline constexpr int kBookmarksWindow = 453;
inline constexpr int kCitedBy = 454;
inline constexpr int kLinksFrom = 470;
inline constexpr int kRecentDocuments = 471;
inline constexpr int kPrintArticle = 472;
inline constexpr int kViewContents = 430;
inline constexpr int kGoToArticle = 431;
inline constexpr int kCopyWithCitation = 432;
inline constexpr int kZoomIn = 433;
inline constexpr int kZoomOut = 434;
inline constexpr int kZoomReset = 435;

// Status-bar indicator of the position pane.
inline constexpr int kIndicatorPosition = 303;

}  // namespace Norik::Command
