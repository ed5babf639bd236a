// SPDX-License-Identifier: MIT
// Code-page tables built from the system's converters, with the corrections that make them agree
// with the tables Windows uses, plus the UTF-8/UTF-16 helpers used for names, masks and contexts.
#include "platform/CodePage.h"

#include "platform/CodePageSystem.h"

#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace trovex
{
namespace
{

constexpr int Koi8rCodePage = 20866;

// Windows-1251 letters 192..255 in KOI8-R, and the way back; indexed by byte - 192.
constexpr unsigned char AnsiToKoi8Letters[64] = {
    225, 226, 247, 231, 228, 229, 246, 250, 233, 234, 235, 236, 237, 238, 239, 240,
    242, 243, 244, 245, 230, 232, 227, 254, 251, 253, 255, 249, 248, 252, 224, 241,
    193, 194, 215, 199, 196, 197, 214, 218, 201, 202, 203, 204, 205, 206, 207, 208,
    210, 211, 212, 213, 198, 200, 195, 222, 219, 221, 223, 217, 216, 220, 192, 209};
constexpr unsigned char Koi8ToAnsiLetters[64] = {
    254, 224, 225, 246, 228, 229, 244, 227, 245, 232, 233, 234, 235, 236, 237, 238,
    239, 255, 240, 241, 242, 243, 230, 226, 252, 251, 231, 248, 253, 249, 247, 250,
    222, 192, 193, 214, 196, 197, 212, 195, 213, 200, 201, 202, 203, 204, 205, 206,
    207, 223, 208, 209, 210, 211, 198, 194, 220, 219, 199, 216, 221, 217, 215, 218};

std::mutex TablesLock;
std::map<int, std::unique_ptr<TCodePageTable>>& Tables()
{
    static std::map<int, std::unique_ptr<TCodePageTable>> tables;
    return tables;
}

const TCodePageTable* AnsiPage = nullptr;
const TCodePageTable* OemPage = nullptr;

int EnvCodePage(const char* name)
{
    const char* value = std::getenv(name);
    if (!value || !*value)
        return 0;
    char* end = nullptr;
    long n = std::strtol(value, &end, 10);
    if (*end != '\0' || n <= 0 || n > 65535)
        throw std::invalid_argument(std::string(name) + ": not a code page number: " + value);
    return static_cast<int>(n);
}

std::string LocaleName()
{
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return value;
    }
    return "C";
}

void EnsureInitialised()
{
    if (!AnsiPage)
        InitCodePages();
}

} // namespace

TCodePageTable::TCodePageTable(int number) : FNumber(number)
{
    system::LoadCodePage(number, FToUnicode);
    for (int b = 0; b < 0x20; ++b)
        FToUnicode[b] = static_cast<char16_t>(b); // IBM pages rotate 0x1A, 0x1C and 0x7F; Windows does not
    FToUnicode[0x7F] = 0x7F;
    // Where ICU's tables differ from the ones Windows converts with.
    struct TFix { int Page; unsigned char Byte; char16_t Unicode; };
    static constexpr TFix fixes[] = {
        // the mu of the DOS pages is MICRO SIGN
        {437, 0xE6, 0x00B5}, {860, 0xE6, 0x00B5}, {861, 0xE6, 0x00B5}, {862, 0xE6, 0x00B5}, {863, 0xE6, 0x00B5},
        {865, 0xE6, 0x00B5},
        {852, 0xAA, 0x00AC}, {1255, 0xCA, 0x05BA},
        // bytes Windows leaves undefined
        {1253, 0xAA, 0xFFFD}, {874, 0xDB, 0xFFFD}, {874, 0xDC, 0xFFFD}, {874, 0xDD, 0xFFFD}, {874, 0xDE, 0xFFFD},
        {874, 0xFC, 0xFFFD}, {874, 0xFD, 0xFFFD}, {874, 0xFE, 0xFFFD}, {874, 0xFF, 0xFFFD},
        // 869: unassigned bytes pass through as C1 controls; two accents differ
        {869, 0x80, 0x0080}, {869, 0x81, 0x0081}, {869, 0x82, 0x0082}, {869, 0x83, 0x0083}, {869, 0x84, 0x0084},
        {869, 0x85, 0x0085}, {869, 0x87, 0x0087}, {869, 0x93, 0x0093}, {869, 0x94, 0x0094}, {869, 0x88, 0x00B7},
        {869, 0xEF, 0x0384},
    };
    for (const TFix& fix : fixes)
        if (fix.Page == number)
            FToUnicode[fix.Byte] = fix.Unicode;

    FFromUnicode.assign(0x10000, -1);
    for (int b = 255; b >= 0; --b) // the lowest byte wins where two bytes share a character
        if (FToUnicode[b] != 0xFFFD)
            FFromUnicode[FToUnicode[b]] = static_cast<std::int16_t>(b);

    for (int b = 0; b < 256; ++b) {
        FUpper[b] = FLower[b] = static_cast<unsigned char>(b);
        if (FToUnicode[b] == 0xFFFD)
            continue;
        int up = FromUnicode(system::SimpleUpper(FToUnicode[b]));
        int low = FromUnicode(system::SimpleLower(FToUnicode[b]));
        // A mapping that leaves ASCII for a non-ASCII letter (dotless i -> I) is not used.
        if (up >= 0 && !(b >= 0x80 && up < 0x80))
            FUpper[b] = static_cast<unsigned char>(up);
        if (low >= 0 && !(b >= 0x80 && low < 0x80))
            FLower[b] = static_cast<unsigned char>(low);
    }
}

int TCodePageTable::FromUnicode(char32_t cp) const
{
    if (cp < 0x80)
        return static_cast<int>(cp);
    if (cp > 0xFFFF)
        return -1;
    return FFromUnicode[cp];
}

const TCodePageTable& CodePageTable(int number)
{
    {
        std::lock_guard<std::mutex> guard(TablesLock);
        auto it = Tables().find(number);
        if (it != Tables().end())
            return *it->second;
    }
    auto table = std::make_unique<TCodePageTable>(number);
    std::lock_guard<std::mutex> guard(TablesLock);
    auto [it, inserted] = Tables().emplace(number, std::move(table));
    return *it->second;
}

int AnsiCodePageForLocale(std::string_view locale)
{
    std::string_view lang = locale.substr(0, locale.find_first_of("_.@-"));
    struct TRule { const char* Languages; int Page; };
    static const TRule rules[] = {
        {"ru uk be bg sr mk", 1251}, {"pl cs sk hu sl hr ro sq", 1250}, {"el", 1253}, {"tr az", 1254},
        {"he", 1255}, {"ar fa ur", 1256}, {"et lv lt", 1257}, {"vi", 1258}, {"th", 874},
    };
    if (lang.size() == 2)
        for (const TRule& rule : rules) {
            std::string_view list = rule.Languages;
            for (std::size_t i = 0; i + 2 <= list.size(); i += 3)
                if (list.substr(i, 2) == lang)
                    return rule.Page;
        }
    return 1252;
}

int OemCodePageForAnsi(int ansi, std::string_view locale)
{
    switch (ansi) {
    case 1251: return 866;
    case 1250: return 852;
    case 1253: return 737;
    case 1254: return 857;
    case 1255: return 862;
    case 1256: return 720;
    case 1257: return 775;
    case 1258: return 1258;
    case 874: return 874;
    default: return locale.substr(0, 5) == "en_US" ? 437 : 850;
    }
}

void InitCodePages(int ansi, int oem)
{
    std::string locale = LocaleName();
    int systemAnsi = 0, systemOem = 0;
    const bool fromSystem = system::SystemCodePages(systemAnsi, systemOem);
    if (ansi == 0)
        ansi = EnvCodePage("TROVEX_ANSI_CODEPAGE");
    if (ansi == 0)
        ansi = fromSystem ? systemAnsi : AnsiCodePageForLocale(locale);
    if (oem == 0)
        oem = EnvCodePage("TROVEX_OEM_CODEPAGE");
    if (oem == 0)
        oem = fromSystem && ansi == systemAnsi ? systemOem : OemCodePageForAnsi(ansi, locale);
    const TCodePageTable& a = CodePageTable(ansi);
    const TCodePageTable& o = CodePageTable(oem);
    CodePageTable(Koi8rCodePage);
    AnsiPage = &a;
    OemPage = &o;
}

const TCodePageTable& AnsiTable()
{
    EnsureInitialised();
    return *AnsiPage;
}

const TCodePageTable& OemTable()
{
    EnsureInitialised();
    return *OemPage;
}

const TCodePageTable& Koi8Table()
{
    return CodePageTable(Koi8rCodePage);
}

namespace
{
std::string Recode(const TCodePageTable& from, const TCodePageTable& to, std::string_view s)
{
    std::string out(s);
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            continue;
        int mapped = to.FromUnicode(from.ToUnicode(b));
        c = mapped >= 0 && from.ToUnicode(b) != 0xFFFD ? static_cast<char>(mapped) : DefaultChar;
    }
    return out;
}

std::string MapBytes(std::string_view s, const unsigned char (&letters)[64], unsigned char from1, unsigned char to1,
                     unsigned char from2, unsigned char to2)
{
    std::string out(s);
    for (char& c : out) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 192)
            c = static_cast<char>(letters[b - 192]);
        else if (b == from1)
            c = static_cast<char>(to1);
        else if (b == from2)
            c = static_cast<char>(to2);
    }
    return out;
}
} // namespace

std::string AnsiToOemStr(std::string_view s) { return Recode(AnsiTable(), OemTable(), s); }
std::string OemToAnsiStr(std::string_view s) { return Recode(OemTable(), AnsiTable(), s); }

std::string AnsiToKoi8Str(std::string_view s) { return MapBytes(s, AnsiToKoi8Letters, 168, 179, 184, 163); }
std::string Koi8ToAnsiStr(std::string_view s) { return MapBytes(s, Koi8ToAnsiLetters, 179, 168, 163, 184); }

std::string AnsiUpperStr(std::string_view s)
{
    const TCodePageTable& t = AnsiTable();
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(t.Upper(static_cast<unsigned char>(c)));
    return out;
}

std::string AnsiLowerStr(std::string_view s)
{
    const TCodePageTable& t = AnsiTable();
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(t.Lower(static_cast<unsigned char>(c)));
    return out;
}

std::u16string AnsiToWide(std::string_view s)
{
    const TCodePageTable& t = AnsiTable();
    std::u16string out(s.size(), u'\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        out[i] = t.ToUnicode(static_cast<unsigned char>(s[i]));
    return out;
}

std::string WideToAnsi(std::u16string_view s)
{
    const TCodePageTable& t = AnsiTable();
    std::string out(s.size(), '\0');
    for (std::size_t i = 0; i < s.size(); ++i) {
        int b = (s[i] >= 0xD800 && s[i] <= 0xDFFF) ? -1 : t.FromUnicode(s[i]);
        out[i] = b >= 0 ? static_cast<char>(b) : DefaultChar;
    }
    return out;
}

std::string CodePageToUtf8(const TCodePageTable& table, std::string_view s)
{
    std::string out;
    out.reserve(s.size() + s.size() / 2);
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
            out.push_back(c);
        else
            Utf8Append(out, table.ToUnicode(b));
    }
    return out;
}

std::string Utf8ToCodePage(const TCodePageTable& table, std::string_view s, bool* lossless)
{
    if (lossless)
        *lossless = true;
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = Utf8Next(s, i);
        int b = (cp >= 0xDC00 && cp <= 0xDCFF) ? -1 : table.FromUnicode(cp);
        if (b < 0) {
            out.push_back(DefaultChar);
            if (lossless)
                *lossless = false;
        } else {
            out.push_back(static_cast<char>(b));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        Utf8Append(out, cp);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view s)
{
    std::u16string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        char32_t cp = Utf8Next(s, i);
        if (cp >= 0xDC00 && cp <= 0xDCFF)
            cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::size_t Utf8CharLen(std::string_view s, std::size_t i)
{
    if (i >= s.size())
        return 0;
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80)
        return 1;
    std::size_t len = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
    if (b >= 0xF5)
        len = 0;
    if (len == 0 || i + len > s.size())
        return 1;
    for (std::size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
            return 1;
    auto b1 = static_cast<unsigned char>(s[i + 1]);
    // Overlong forms, surrogates and code points past U+10FFFF are not valid UTF-8.
    if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 >= 0xA0) || (b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 >= 0x90))
        return 1;
    return len;
}

char32_t Utf8Next(std::string_view s, std::size_t& i)
{
    std::size_t len = Utf8CharLen(s, i);
    auto b = static_cast<unsigned char>(s[i]);
    if (len == 1) {
        ++i;
        return b < 0x80 ? b : 0xDC00 + b;
    }
    char32_t cp = b & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += len;
    return cp;
}

void Utf8Append(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

namespace
{
template <typename AsciiMap, typename UnicodeMap>
std::string MapCase(std::string_view s, AsciiMap ascii, UnicodeMap unicode)
{
    // Names are mostly ASCII: map in place up to the first byte that is not.
    std::string out(s);
    std::size_t i = 0;
    for (; i < out.size(); ++i) {
        const auto b = static_cast<unsigned char>(out[i]);
        if (b >= 0x80)
            break;
        out[i] = static_cast<char>(ascii(b));
    }
    if (i == out.size())
        return out;
    out.resize(i);
    while (i < s.size()) {
        auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(ascii(b)));
            ++i;
            continue;
        }
        std::size_t start = i;
        char32_t cp = Utf8Next(s, i);
        if (cp >= 0xDC00 && cp <= 0xDCFF && i - start == 1)
            out.push_back(s[start]); // not UTF-8: kept as it is
        else
            Utf8Append(out, unicode(cp));
    }
    return out;
}
} // namespace

std::string Utf8Lower(std::string_view s)
{
    return MapCase(s, [](unsigned char b) { return b >= 'A' && b <= 'Z' ? b + 32 : b; }, system::SimpleLower);
}

std::string Utf8Upper(std::string_view s)
{
    return MapCase(s, [](unsigned char b) { return b >= 'a' && b <= 'z' ? b - 32 : b; }, system::SimpleUpper);
}

std::string Utf8TrimPartial(std::string_view s)
{
    std::size_t begin = 0;
    while (begin < s.size() && (static_cast<unsigned char>(s[begin]) & 0xC0) == 0x80 && begin < 3)
        ++begin;
    std::size_t end = s.size();
    // Walk back over continuation bytes to the last lead byte and drop it when its sequence is cut.
    std::size_t k = end;
    while (k > begin && end - k < 3 && (static_cast<unsigned char>(s[k - 1]) & 0xC0) == 0x80)
        --k;
    if (k > begin) {
        auto lead = static_cast<unsigned char>(s[k - 1]);
        std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (lead >= 0xC0 && end - (k - 1) < need)
            end = k - 1;
    }
    return std::string(s.substr(begin, end - begin));
}

} // namespace trovex
