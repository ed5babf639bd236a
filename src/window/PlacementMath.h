// SPDX-License-Identifier: MIT
// The arithmetic and texts of window placement, without a toolkit: the position texts of the
// "Placement" section and their value names, the show commands, and where a saved rectangle lands
// on the screens there are now. Faces ask their window system for the rectangles and apply the result.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Store.h"

namespace trovex
{

/// The show commands of the section's "ShowCmd", as the system's placement record numbers them.
enum TShowCmd : int
{
    swHide = 0,
    swNormal = 1,
    swMinimized = 2,
    swMaximized = 3,
    swMinimize = 6,
    swShowMinNoActive = 7,
};

/// "Flags" when a minimized window returns to maximized.
constexpr int wpfRestoreToMaximized = 2;
/// A frame wider than this is not believed (a damaged or hand-edited value).
constexpr std::int64_t MaxFrameWidth = 200;

/// The state a restore gives the window.
enum TPlacementState : std::uint8_t
{
    psNormal,
    psMinimized,
    psMaximized,
};

/// A screen area or window rectangle: left, top, width, height in pixels.
struct TScreenRect
{
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TScreenRect&) const = default;
};

/// Four numbers of a position text, left to right.
using TPositionWords = std::array<std::int64_t, 4>;

/// The words of a position text, split at commas and blanks (empty words skipped); a word that is
/// not a decimal number keeps its default. nullopt when a number does not fit 32 bits: the whole
/// text is then unusable.
std::optional<TPositionWords> PositionWords(std::string_view text, const TPositionWords& defaults);
/// "%d,%d,%d,%d".
std::string PositionText(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d);
/// "<name>(<width>x<height>)": the name a value carries for one screen size.
std::string ScreenValueName(std::string_view name, int width, int height);
/// What a saved "ShowCmd" restores: 2, 6 and 7 minimized, 3 maximized, anything else normal.
TPlacementState StateOfShowCmd(int showCmd);
/// The "ShowCmd" to save for a window's state (minimized wins over maximized).
int ShowCmdOf(bool minimized, bool maximized);
/// The frame widths (left, top, right, bottom) a saved "MinMaxPos" tells: minus its maximized x and y,
/// minus its minimized x and y, each kept within 0..MaxFrameWidth.
std::array<int, 4> FrameOfMinMax(const TPositionWords& minMax);

/// The outer frame `left, top, right, bottom` brought wholly onto the area it overlaps most of
/// `areas` (or `fallback` when it overlaps none): at least `minWidth` x `minHeight`, no larger than
/// the area, and never with its title bar above or beside it.
TScreenRect FitOnScreens(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, int minWidth,
                         int minHeight, const std::vector<TScreenRect>& areas, const TScreenRect& fallback);

/// Single values of one section of the store, as the placement component reads and writes them:
/// every value a string, numbers in signed decimal text.
class TPlacementSection
{
public:
    TPlacementSection(TKeyStore& store, std::string key) : FStore(store), FKey(std::move(key)) {}

    const std::string& Key() const { return FKey; }
    /// Decimal text (blanks around it allowed) or a DWORD; `def` when missing or not a number.
    int ReadInteger(std::string_view name, int def) const;
    /// A string value's bytes; nullopt when missing or of another type.
    std::optional<std::string> ReadString(std::string_view name) const;
    /// A position text under the screen-size name first, then under the plain name; empty when neither.
    std::string ReadPosition(std::string_view name, int screenWidth, int screenHeight) const;
    void WriteInteger(std::string_view name, int value);
    void WriteString(std::string_view name, std::string_view value);

private:
    TKeyStore& FStore;
    std::string FKey;
};

/// A whole signed 32-bit number of decimal text: an optional sign, digits, blanks around; nullopt
/// for anything else, also for a number out of range.
std::optional<int> ParseInteger(std::string_view text);

} // namespace trovex
