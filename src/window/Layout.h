// SPDX-License-Identifier: MIT
// The main window's design: each control's name, parent, position and size in design pixels (96
// dots per inch), caption and anchors, the list's columns and the list menu's items with their
// keys. Every face builds its window from these and scales them for its display, so the Qt window
// and the Win32 window put the same control at the same place.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace trovex
{

/// Sides a control keeps its distance to when its reference is resized.
enum TAnchor : unsigned
{
    akLeft = 1,
    akTop = 2,
    akRight = 4,
    akBottom = 8,
};

struct TLayoutRect
{
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool operator==(const TLayoutRect&) const = default;
};

enum class TControlKind : std::uint8_t
{
    Panel,
    StatusBar,
    Pages,      // the page control
    Page,       // one tab page; its rectangle is the page control's client
    Button,
    Label,
    Link,       // a label that opens an address
    Check,
    Radio,
    HistoryBox, // an editable combo box with a history
    Combo,      // a drop-down list, or an editable one with fixed items
    Group,
    Bevel,
    DatePicker,
    Animation,
    List,
};

/// How a label's text sits in its rectangle.
enum class TAlign : std::uint8_t
{
    Left,
    Right,
};

struct TControlLayout
{
    std::string_view Name;
    std::string_view Parent; // "" for the window's client
    TControlKind Kind;
    TLayoutRect Rect;        // in the parent's client, design pixels
    std::string_view Caption;
    unsigned Anchors = akLeft | akTop;
    bool Checked = false;    // a check box's or radio button's state at start
    bool Enabled = true;
    TAlign Align = TAlign::Left;
};

/// The window's outer position and client size at first start.
constexpr TLayoutRect DesignBounds{213, 113, 519, 405};
constexpr int TopHeight = 227;
constexpr int StatusHeight = 19;
/// The top panel's border and its bevel, inside which the list fills the main panel.
constexpr int PanelInset = 3;
/// The smallest client a restore gives: the command column beside the tabs of the pages, the top
/// panel whole, a row of the list and the status bar. Smaller, the window is no use to anyone.
constexpr int DesignMinimumWidth = 320;
constexpr int DesignMinimumHeight = TopHeight + 40 + StatusHeight;
/// The status bar's first panel, the count.
constexpr int StatusCountWidth = 160;

/// Every control of the main window, parents before their children, pages in tab order.
std::span<const TControlLayout> MainWindowLayout();
/// The control named `name`; throws std::out_of_range for a name the design does not have.
const TControlLayout& LayoutOf(std::string_view name);

struct TColumnLayout
{
    std::string_view Title;
    int Width;
};
/// The result list's columns, in order.
std::span<const TColumnLayout> ListColumns();

struct TMenuItemLayout
{
    std::string_view Name;
    std::string_view Caption; // empty for a separator
    std::string_view Keys;    // portable key names, "Ctrl+F"; several parted by ", "
};
/// The result list's popup menu; its first item is the default (a double click).
std::span<const TMenuItemLayout> ListMenu();

} // namespace trovex
