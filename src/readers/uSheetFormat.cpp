// SPDX-License-Identifier: MIT
#include "readers/uSheetFormat.h"

#include <array>
#include <cctype>
#include <cmath>

namespace trovex
{
namespace
{

constexpr std::array<const char*, 12> Months = {"January", "February", "March",     "April",   "May",      "June",
                                                 "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> Days = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The civil date of a day counted from 1970-01-01.
void CivilFromDays(std::int64_t z, int& year, int& month, int& day)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0));
}

// The first section of a format code, without locale, colour and condition brackets ([h] and the
// like stay: they are elapsed time).
std::string FirstSection(std::string_view code)
{
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            out.push_back(c);
            quoted = c != '"';
            continue;
        }
        if (c == '"') {
            quoted = true;
            out.push_back(c);
        } else if (c == '\\' && i + 1 < code.size()) {
            out.push_back(c);
            out.push_back(code[++i]);
        } else if (c == ';') {
            break;
        } else if (c == '[') {
            const std::size_t close = code.find(']', i);
            if (close == std::string_view::npos)
                break;
            const std::string_view inside = code.substr(i + 1, close - i - 1);
            bool elapsed = !inside.empty();
            for (const char k : inside)
                elapsed = elapsed && (Lower(k) == 'h' || Lower(k) == 'm' || Lower(k) == 's');
            if (elapsed)
                out.append(inside);
            i = close;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

std::string_view BuiltInDateFormat(std::uint32_t id)
{
    switch (id) {
    case 14: return "mm-dd-yy";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "m/d/yy h:mm";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mm:ss.0";
    default: return {};
    }
}

bool IsDateFormat(std::string_view code)
{
    const std::string section = FirstSection(code);
    bool quoted = false;
    for (std::size_t i = 0; i < section.size(); ++i) {
        const char c = section[i];
        if (quoted) {
            quoted = c != '"';
            continue;
        }
        if (c == '"') {
            quoted = true;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i; // an escaped character, a space as wide as one, a fill character
        } else {
            const char l = Lower(c);
            if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's')
                return true;
        }
    }
    return false;
}

std::string FormatSerialDate(double serial, bool date1904, std::string_view code)
{
    if (!(serial >= 0 && serial < 2958466)) // up to 9999-12-31
        return {};
    auto days = static_cast<std::int64_t>(std::floor(serial));
    auto seconds = static_cast<std::int64_t>(std::llround((serial - static_cast<double>(days)) * 86400));
    if (seconds >= 86400) {
        ++days;
        seconds -= 86400;
    }
    int year = 0, month = 0, day = 0;
    if (date1904) {
        CivilFromDays(days - 24107, year, month, day); // 1904-01-01 is day 0
    } else if (days == 60) {
        year = 1900, month = 2, day = 29; // the leap day the 1900 count keeps
    } else {
        CivilFromDays(days - (days < 60 ? 25568 : 25569), year, month, day);
    }
    const std::int64_t epochDay = date1904 ? days - 24107 : days - 25569;
    const int weekday = static_cast<int>(((epochDay % 7) + 7 + 4) % 7); // 1970-01-01 was a Thursday
    const int hour = static_cast<int>(seconds / 3600), minute = static_cast<int>(seconds / 60 % 60),
              second = static_cast<int>(seconds % 60);

    const std::string section = FirstSection(code);
    bool twelve = false;
    for (std::size_t i = 0; i + 1 < section.size(); ++i)
        if ((Lower(section[i]) == 'a' && (Lower(section[i + 1]) == 'm' || section[i + 1] == '/')))
            twelve = true;
    std::string out;
    auto two = [&](int v) {
        out.push_back(static_cast<char>('0' + v / 10 % 10));
        out.push_back(static_cast<char>('0' + v % 10));
    };
    bool lastWasHour = false;
    bool quoted = false;
    for (std::size_t i = 0; i < section.size();) {
        const char c = section[i];
        if (quoted) {
            if (c == '"')
                quoted = false;
            else
                out.push_back(c);
            ++i;
            continue;
        }
        const char l = Lower(c);
        std::size_t run = 1;
        while (i + run < section.size() && Lower(section[i + run]) == l)
            ++run;
        if (c == '"') {
            quoted = true;
            ++i;
        } else if (c == '\\' && i + 1 < section.size()) {
            out.push_back(section[i + 1]);
            i += 2;
        } else if (c == '_' || c == '*') {
            if (c == '_')
                out.push_back(' ');
            i += 2;
        } else if (l == 'y') {
            if (run <= 2)
                two(year % 100);
            else
                out += std::to_string(year);
            i += run;
        } else if (l == 'd') {
            if (run == 1)
                out += std::to_string(day);
            else if (run == 2)
                two(day);
            else
                out += run == 3 ? std::string(Days[static_cast<std::size_t>(weekday)]).substr(0, 3)
                                : Days[static_cast<std::size_t>(weekday)];
            lastWasHour = false;
            i += run;
        } else if (l == 'm') {
            // Minutes after an hour or before seconds, else the month.
            std::size_t next = i + run;
            while (next < section.size() && !std::isalpha(static_cast<unsigned char>(section[next])))
                ++next;
            const bool minutes = lastWasHour || (next < section.size() && Lower(section[next]) == 's');
            if (minutes) {
                if (run == 1)
                    out += std::to_string(minute);
                else
                    two(minute);
            } else if (run == 1) {
                out += std::to_string(month);
            } else if (run == 2) {
                two(month);
            } else if (run == 3) {
                out += std::string(Months[static_cast<std::size_t>(month - 1)]).substr(0, 3);
            } else if (run == 4) {
                out += Months[static_cast<std::size_t>(month - 1)];
            } else {
                out.push_back(Months[static_cast<std::size_t>(month - 1)][0]);
            }
            lastWasHour = false;
            i += run;
        } else if (l == 'h') {
            const int shown = twelve ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
            if (run == 1)
                out += std::to_string(shown);
            else
                two(shown);
            lastWasHour = true;
            i += run;
        } else if (l == 's') {
            if (run == 1)
                out += std::to_string(second);
            else
                two(second);
            lastWasHour = false;
            i += run;
        } else if (l == 'a' && section.compare(i, 5, "AM/PM") == 0) {
            out += hour < 12 ? "AM" : "PM";
            i += 5;
        } else if (l == 'a' && (section.compare(i, 3, "A/P") == 0 || section.compare(i, 3, "a/p") == 0)) {
            out.push_back(hour < 12 ? section[i] : section[i + 2]);
            i += 3;
        } else if (c == '0' && !out.empty() && out.back() >= '0' && out.back() <= '9') {
            out.push_back('0'); // tenths of a second: shown as none
            i += 1;
        } else if (c == '@') {
            i += 1;
        } else {
            out.push_back(c);
            i += 1;
        }
    }
    return out;
}

std::string HeaderFooterText(std::string_view coded)
{
    std::string out;
    for (std::size_t i = 0; i < coded.size(); ++i) {
        const char c = coded[i];
        if (c != '&' || i + 1 >= coded.size()) {
            out.push_back(c);
            continue;
        }
        const char code = coded[++i];
        if (code == '&') {
            out.push_back('&');
        } else if (code == '"') {
            const std::size_t close = coded.find('"', i + 1); // a font: &"Arial,Bold"
            i = close == std::string_view::npos ? coded.size() : close;
        } else if (code >= '0' && code <= '9') {
            while (i + 1 < coded.size() && coded[i + 1] >= '0' && coded[i + 1] <= '9')
                ++i; // a font size
        } else if (code == 'K') {
            // A colour: six hex digits, or a theme colour and its tint (&K01+000).
            std::size_t n = 0;
            while (n < 6 && i + 1 < coded.size() && std::isxdigit(static_cast<unsigned char>(coded[i + 1])) != 0) {
                ++i;
                ++n;
            }
            if (i + 1 < coded.size() && (coded[i + 1] == '+' || coded[i + 1] == '-'))
                for (int k = 0; k < 4 && i + 1 < coded.size(); ++k)
                    ++i;
        } else if (code == 'L' || code == 'C' || code == 'R') {
            if (!out.empty() && out.back() != ' ')
                out.push_back(' '); // a section of its own
        }
        // anything else (&P &N &D &T &F &A &Z &G &B &I &U &E &S &X &Y): a field or a style, not text
    }
    // A field dropped between spaces leaves two: one is kept.
    std::string text;
    for (const char c : out)
        if (c != ' ' || (!text.empty() && text.back() != ' '))
            text.push_back(c);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace trovex
