// SPDX-License-Identifier: MIT
#include "window/Layout.h"

#include <stdexcept>
#include <string>

namespace trovex
{

namespace
{

using K = TControlKind;
constexpr unsigned LTR = akLeft | akTop | akRight;
constexpr unsigned TR = akTop | akRight;
constexpr unsigned All = akLeft | akTop | akRight | akBottom;

// Page controls' children name the page as their parent; their anchors follow the page control.
constexpr TControlLayout Controls[] = {
    {"TopPanel", "", K::Panel, {0, 0, DesignBounds.Width, TopHeight}, "", LTR},
    {"MainPanel", "", K::Panel, {0, TopHeight, DesignBounds.Width, DesignBounds.Height - TopHeight - StatusHeight}, "", All},
    {"StatusBar", "", K::StatusBar, {0, DesignBounds.Height - StatusHeight, DesignBounds.Width, StatusHeight}, "",
     akLeft | akRight | akBottom},
    {"PageCtrl", "TopPanel", K::Pages, {4, 3, 408, 221}, "", LTR},
    {"btnFind", "TopPanel", K::Button, {421, 11, 90, 25}, "Find", TR},
    {"btnStop", "TopPanel", K::Button, {421, 43, 90, 25}, "Stop", TR, false, false},
    {"btnAddMore", "TopPanel", K::Button, {421, 75, 90, 25}, "Add", TR, false, false},
    {"btnFindInto", "TopPanel", K::Button, {421, 107, 90, 25}, "In results", TR, false, false},
    {"btnBack", "TopPanel", K::Button, {421, 139, 90, 25}, "Go back", TR, false, false},
    {"FindAnimate", "TopPanel", K::Animation, {442, 171, 48, 50}, "", TR},

    {"TabFind", "PageCtrl", K::Page, {}, "Name && Location"},
    {"lMask", "TabFind", K::Label, {50, 8, 45, 16}, "Named:", akLeft | akTop, false, true, TAlign::Right},
    {"cbMask", "TabFind", K::HistoryBox, {96, 8, 294, 24}, "", LTR},
    {"lTypes", "TabFind", K::Label, {49, 40, 46, 16}, "Of type:", akLeft | akTop, false, true, TAlign::Right},
    {"cbTypes", "TabFind", K::Combo, {96, 40, 294, 24}, "", LTR},
    {"lText", "TabFind", K::Label, {9, 71, 90, 16}, "Containing text:"},
    {"cbString", "TabFind", K::HistoryBox, {8, 88, 193, 24}, "", LTR},
    {"lNoText", "TabFind", K::Label, {208, 71, 65, 16}, "but has no:", TR},
    {"cbNoString", "TabFind", K::Combo, {208, 88, 182, 24}, "", TR},
    {"lPath", "TabFind", K::Label, {9, 112, 45, 16}, "Look in:"},
    {"cbFolder", "TabFind", K::HistoryBox, {8, 128, 289, 24}, "", LTR},
    {"bFolder", "TabFind", K::Button, {306, 128, 84, 25}, "&Browse...", TR},
    {"checkSubFolders", "TabFind", K::Check, {8, 160, 281, 17}, "Include subfolders", akLeft | akTop, true},

    {"TabMore", "PageCtrl", K::Page, {}, "Advanced"},
    {"CheckCase", "TabMore", K::Check, {8, 3, 185, 17}, "Case sensitive"},
    {"CheckAllCP", "TabMore", K::Check, {200, 3, 193, 17}, "Use all code pages"},
    {"CheckAnsi", "TabMore", K::Check, {200, 24, 97, 17}, "Windows", akLeft | akTop, true},
    {"CheckOEM", "TabMore", K::Check, {304, 24, 97, 17}, "DOS"},
    {"CheckUnicode", "TabMore", K::Check, {200, 45, 97, 17}, "Unicode", akLeft | akTop, true},
    {"CheckKOI8", "TabMore", K::Check, {304, 45, 97, 17}, "KOI8-R"},
    // The UTF-8 pass joins the four code pages in the free cell just left of them.
    {"CheckUtf8", "TabMore", K::Check, {104, 24, 90, 17}, "UTF-8", akLeft | akTop, true},
    {"CheckInZip", "TabMore", K::Check, {8, 45, 193, 17}, "Search in Zip archives", akLeft | akTop, true},
    {"DatesGBox", "TabMore", K::Group, {4, 72, 391, 113}, "", akLeft | akTop, false, false},
    // Drawn over the group's top edge, hiding the line behind it like a caption.
    {"CheckDate", "TabMore", K::Check, {13, 72, 185, 17}, "Date Modified"},
    {"RadioBFromTo", "DatesGBox", K::Radio, {8, 24, 113, 17}, "from", akLeft | akTop, true, false},
    {"RadioBMonth", "DatesGBox", K::Radio, {8, 56, 161, 17}, "during the previous", akLeft | akTop, false, false},
    {"RadioBDays", "DatesGBox", K::Radio, {8, 88, 161, 17}, "during the previous", akLeft | akTop, false, false},
    {"lTo", "DatesGBox", K::Label, {216, 24, 11, 16}, "to", akLeft | akTop, false, false},
    {"lMonth", "DatesGBox", K::Label, {216, 56, 52, 16}, "month(s)", akLeft | akTop, false, false},
    {"lDays", "DatesGBox", K::Label, {216, 88, 42, 16}, "days(s)", akLeft | akTop, false, false},
    {"eDateFrom", "TabMore", K::DatePicker, {71, 93, 145, 24}, "", akLeft | akTop, false, false},
    {"eDateTo", "TabMore", K::DatePicker, {239, 93, 145, 24}, "", akLeft | akTop, false, false},
    {"cbLastMonth", "TabMore", K::Combo, {168, 123, 48, 24}, "", akLeft | akTop, false, false},
    {"cbLastDays", "TabMore", K::Combo, {168, 154, 48, 24}, "", akLeft | akTop, false, false},

    {"TabConfig", "PageCtrl", K::Page, {}, "Options"},
    {"Bevel1", "TabConfig", K::Bevel, {3, 126, 393, 61}, "", LTR},
    {"CheckMainMenu", "TabConfig", K::Check, {8, 3, 225, 17}, "Add link to Main menu", akLeft | akTop, true},
    {"CheckShellMenu", "TabConfig", K::Check, {8, 26, 225, 17}, "Add to Shell menu", akLeft | akTop, true},
    {"CheckFlashW", "TabConfig", K::Check, {8, 49, 225, 17}, "Flash on stop execution", akLeft | akTop, true},
    {"CheckRecycle", "TabConfig", K::Check, {8, 72, 225, 17}, "Delete to Recycle", akLeft | akTop, true, false},
    {"CheckComboStyle", "TabConfig", K::Check, {8, 95, 161, 17}, "Combo boxes", akLeft | akTop, true},
    // Sits on the frame's top edge and hides the line behind it.
    {"CheckReport", "TabConfig", K::Check, {8, 119, 129, 17}, "Report options", akLeft | akTop, true},
    {"CheckRFileName", "TabConfig", K::Check, {10, 140, 121, 17}, "File name"},
    {"CheckRPath", "TabConfig", K::Check, {10, 164, 121, 17}, "Full path", akLeft | akTop, true},
    {"CheckRFileExt", "TabConfig", K::Check, {138, 140, 121, 17}, "Extention"},
    {"CheckRDate", "TabConfig", K::Check, {138, 164, 119, 17}, "Date && time"},
    {"CheckRSize", "TabConfig", K::Check, {266, 140, 121, 17}, "File size"},
    {"CheckRAll", "TabConfig", K::Check, {266, 164, 121, 17}, "All"},
    {"lLang", "TabConfig", K::Label, {235, 3, 96, 16}, "Select language:", TR},
    {"cbLanguage", "TabConfig", K::Combo, {235, 20, 161, 24}, "", TR},
    {"CheckIcons", "TabConfig", K::Check, {235, 72, 161, 17}, "Show icons", TR},
    {"CheckHints", "TabConfig", K::Check, {235, 95, 161, 17}, "Show Hints", TR, true},

    {"PageAbout", "PageCtrl", K::Page, {}, "About"},
    {"lTrovex", "PageAbout", K::Label, {8, 3, 232, 35}, ""}, // the program's name and version, in large type
    {"lCRight", "PageAbout", K::Label, {9, 36, 141, 16}, "\xC2\xA9 Brenvik"},
    {"Bevel2", "PageAbout", K::Bevel, {2, 139, 392, 49}, "", LTR},
    {"lWWW", "PageAbout", K::Label, {47, 146, 66, 16}, "Homepage:", akLeft | akTop, false, true, TAlign::Right},
    {"lWebPage", "PageAbout", K::Link, {117, 146, 106, 16}, ""},
    {"lSupport", "PageAbout", K::Label, {70, 166, 43, 16}, "Mail to:", akLeft | akTop, false, true, TAlign::Right},
    {"lEmail", "PageAbout", K::Link, {117, 166, 105, 16}, ""},

    {"ListView", "MainPanel", K::List,
     {PanelInset, PanelInset, DesignBounds.Width - 2 * PanelInset, DesignBounds.Height - TopHeight - StatusHeight - 2 * PanelInset},
     "", All},
};

constexpr TColumnLayout Columns[] = {
    {"File name", 130}, {"Folder", 130}, {"Type", 40}, {"Modified", 100}, {"Size", 100},
};

constexpr TMenuItemLayout Menu[] = {
    {"mOpen", "Open", "Return, Enter"},
    {"mFolder", "Open folder", "Ctrl+F"},
    {"m1", "", ""},
    {"mReport", "Report...", "Ctrl+R"},
    {"mReportOpen", "Save report...", ""},
    {"m2", "", ""},
    {"mCopy", "Copy", "Ctrl+C"},
    {"mDelete", "Delete", "Del"},
    {"m3", "", ""},
    {"mProp", "Property", "Ctrl+P"},
};

} // namespace

std::span<const TControlLayout> MainWindowLayout()
{
    return Controls;
}

const TControlLayout& LayoutOf(std::string_view name)
{
    for (const TControlLayout& control : Controls)
        if (control.Name == name)
            return control;
    throw std::out_of_range("no control \"" + std::string(name) + "\" in the window's design");
}

std::span<const TColumnLayout> ListColumns()
{
    return Columns;
}

std::span<const TMenuItemLayout> ListMenu()
{
    return Menu;
}

} // namespace trovex
