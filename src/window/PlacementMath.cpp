// SPDX-License-Identifier: MIT
// Placement arithmetic. Positions are kept in 64 bits, so that any difference of two coordinates
// of a damaged or hand-edited value is computed without overflow.
#include "window/PlacementMath.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace trovex
{

namespace
{

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::int64_t Overlap(std::int64_t a0, std::int64_t a1, std::int64_t b0, std::int64_t b1)
{
    return std::max<std::int64_t>(0, std::min(a1, b1) - std::max(a0, b0));
}

bool IsDecimal(std::string_view word)
{
    if (!word.empty() && (word[0] == '+' || word[0] == '-'))
        word.remove_prefix(1);
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::optional<int> ParseInteger(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (!IsDecimal(text))
        return std::nullopt;
    if (text[0] == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<TPositionWords> PositionWords(std::string_view text, const TPositionWords& defaults)
{
    TPositionWords out = defaults;
    std::size_t index = 0;
    std::size_t i = 0;
    while (i < text.size() && index < out.size()) {
        if (text[i] == ',' || text[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && text[end] != ',' && text[end] != ' ')
            ++end;
        const std::string_view word = text.substr(i, end - i);
        if (IsDecimal(word)) {
            const std::optional<int> n = ParseInteger(word);
            if (!n)
                return std::nullopt;
            out[index] = *n;
        }
        ++index;
        i = end;
    }
    return out;
}

std::string PositionText(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d)
{
    return std::to_string(a) + ',' + std::to_string(b) + ',' + std::to_string(c) + ',' + std::to_string(d);
}

std::string ScreenValueName(std::string_view name, int width, int height)
{
    return std::string(name) + '(' + std::to_string(width) + 'x' + std::to_string(height) + ')';
}

TPlacementState StateOfShowCmd(int showCmd)
{
    switch (showCmd) {
    case swMinimized:
    case swMinimize:
    case swShowMinNoActive:
        return psMinimized;
    case swMaximized:
        return psMaximized;
    default:
        return psNormal;
    }
}

int ShowCmdOf(bool minimized, bool maximized)
{
    return minimized ? swMinimized : maximized ? swMaximized : swNormal;
}

std::array<int, 4> FrameOfMinMax(const TPositionWords& minMax)
{
    auto width = [](std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(-v, 0, MaxFrameWidth)); };
    return {width(minMax[2]), width(minMax[3]), width(minMax[0]), width(minMax[1])};
}

TScreenRect FitOnScreens(std::int64_t left, std::int64_t top, std::int64_t right, std::int64_t bottom, int minWidth,
                         int minHeight, const std::vector<TScreenRect>& areas, const TScreenRect& fallback)
{
    TScreenRect area;
    bool found = false;
    std::int64_t best = 0;
    for (const TScreenRect& a : areas) {
        const std::int64_t shared = Overlap(left, right, a.Left, a.Left + std::int64_t{a.Width}) *
                                    Overlap(top, bottom, a.Top, a.Top + std::int64_t{a.Height});
        if (shared > best) {
            best = shared;
            area = a;
            found = true;
        }
    }
    if (!found || area.Width <= 0 || area.Height <= 0)
        area = fallback;
    const std::int64_t width = std::min(std::max(right - left, std::int64_t{minWidth}), std::int64_t{area.Width});
    const std::int64_t height = std::min(std::max(bottom - top, std::int64_t{minHeight}), std::int64_t{area.Height});
    left = std::clamp(left, std::int64_t{area.Left}, std::max<std::int64_t>(area.Left, area.Left + std::int64_t{area.Width} - width));
    top = std::clamp(top, std::int64_t{area.Top}, std::max<std::int64_t>(area.Top, area.Top + std::int64_t{area.Height} - height));
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(width), static_cast<int>(height)};
}

int TPlacementSection::ReadInteger(std::string_view name, int def) const
{
    const std::optional<TRegValue> v = FStore.ReadValue(FKey, name);
    if (!v)
        return def;
    if (v->Type == rtDWord)
        return static_cast<int>(v->DWord);
    if (!v->IsString())
        return def;
    return ParseInteger(v->Text).value_or(def);
}

std::optional<std::string> TPlacementSection::ReadString(std::string_view name) const
{
    const std::optional<TRegValue> v = FStore.ReadValue(FKey, name);
    if (!v || !v->IsString())
        return std::nullopt;
    return v->Text;
}

std::string TPlacementSection::ReadPosition(std::string_view name, int screenWidth, int screenHeight) const
{
    std::string text = ReadString(ScreenValueName(name, screenWidth, screenHeight)).value_or("");
    return text.empty() ? ReadString(name).value_or("") : text;
}

void TPlacementSection::WriteInteger(std::string_view name, int value)
{
    WriteString(name, std::to_string(value));
}

void TPlacementSection::WriteString(std::string_view name, std::string_view value)
{
    FStore.WriteString(FKey, name, value);
}

} // namespace trovex
