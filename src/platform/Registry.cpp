// SPDX-License-Identifier: MIT
// The per-user store in the registry editor's export format, for example:
//   Windows Registry Editor Version 5.00
//   [HKEY_CURRENT_USER\Software\Brenvik\Trovex]
//   "Mask0"="*.txt"                     string, "\\" and "\"" escaped
//   "Path0"=hex(2):2f,00,00,00          expandable string, UTF-16LE with its terminating NUL
//   "Icons"=dword:00000001              32-bit number, eight hex digits
//   "Other"=hex:01,02,\                 any other type as bytes; "\" continues the line
//     03
#include "platform/Registry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/CodePage.h"
#ifdef _WIN32
#include "platform/win32/Wide.h"
#endif

namespace trovex
{

namespace
{

constexpr std::string_view DefaultRoot = "HKEY_CURRENT_USER\\";

bool StartsWithFolded(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        auto a = static_cast<unsigned char>(s[i]);
        auto b = static_cast<unsigned char>(prefix[i]);
        if (std::toupper(a) != std::toupper(b))
            return false;
    }
    return true;
}

bool EqualFolded(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && StartsWithFolded(a, b);
}

std::string TrimLeft(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s)
{
    std::size_t n = s.size();
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r'))
        --n;
    return std::string(s.substr(0, n));
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string Quote(std::string_view s)
{
    std::string out = "\"";
    for (char c : s) {
        // A line break or NUL written as itself would cut the line: the escapes the reader takes.
        if (c == '\n' || c == '\r' || c == '\0') {
            out += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\0";
            continue;
        }
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// One character of strict UTF-8 at s[i]: its code point and length, or length 0 when the bytes
// there are not valid UTF-8 (overlong forms, surrogates and values above U+10FFFF included).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t n = 0;
    char32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        n = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

bool IsValidUtf8(std::string_view s)
{
    char32_t cp = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = DecodeUtf8(s, i, cp);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

// A string the quoted form cannot carry on one line (a line break, a tab, any control character),
// or one whose bytes are not UTF-8 (the file itself stays UTF-8), goes out as hex(1), which the
// registry editor also reads back as a plain string.
bool NeedsHexForm(std::string_view s)
{
    for (char c : s) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return true;
    }
    return !IsValidUtf8(s);
}

// A string's UTF-16 as the registry holds it. On Linux a string is bytes (EscapedUtf16); on Windows
// it is the UTF-8 of a wide text, an unpaired surrogate in its three-byte form (Wide.h), so a text
// goes to the registry file as the very units the registry itself holds.
std::u16string RegistryUnits(std::string_view text)
{
#ifdef _WIN32
    const std::wstring wide = win32::Wide(text);
    return std::u16string(wide.begin(), wide.end());
#else
    return EscapedUtf16(text);
#endif
}

std::string RegistryText(std::u16string_view units)
{
#ifdef _WIN32
    return win32::Narrow(std::wstring(units.begin(), units.end()));
#else
    return TextOfEscapedUtf16(units);
#endif
}

// Strings are bytes (a path need not be UTF-8), stored as UTF-16LE with a terminating NUL unit. A
// byte that is not part of valid UTF-8 becomes the lone low surrogate U+DC00 + byte, which valid
// text never produces, so it comes back as the same byte. A NUL inside the text is kept.
std::vector<std::uint8_t> Utf16Bytes(std::string_view text)
{
    const std::u16string units = RegistryUnits(text);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(units.size() * 2 + 2);
    for (char16_t u : units) {
        bytes.push_back(static_cast<std::uint8_t>(u & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFF));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// The reverse of Utf16Bytes: one terminating NUL unit is dropped, NULs before it are text.
std::string Utf16BytesToText(const std::vector<std::uint8_t>& bytes)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    if (!units.empty() && units.back() == 0)
        units.pop_back();
    return RegistryText(units);
}

std::string HexList(const std::vector<std::uint8_t>& bytes)
{
    static const char Digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            out += ',';
        out += Digits[bytes[i] >> 4];
        out += Digits[bytes[i] & 15];
    }
    return out;
}

std::string FormatValue(const TRegValue& v)
{
    std::string out = v.Name.empty() ? std::string("@") : Quote(v.Name);
    out += '=';
    char buffer[32];
    switch (v.Type) {
    case rtString:
        if (NeedsHexForm(v.Text))
            out += "hex(1):" + HexList(Utf16Bytes(v.Text));
        else
            out += Quote(v.Text);
        break;
    case rtExpandString:
        out += "hex(2):" + HexList(Utf16Bytes(v.Text));
        break;
    case rtDWord:
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(v.DWord));
        out += buffer;
        break;
    case rtBinary:
        out += "hex:" + HexList(v.Data);
        break;
    default:
        std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(v.Type));
        out += buffer;
        out += HexList(v.Data);
        break;
    }
    return out;
}

class TParser
{
public:
    explicit TParser(std::string_view text)
    {
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos)
                end = text.size();
            FLines.push_back(TrimRight(text.substr(start, end - start)));
            start = end + 1;
        }
    }

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw ERegistryParseError("line " + std::to_string(FLine + 1) + ": " + what);
    }

    bool NextLine(std::string& line)
    {
        if (FNext >= FLines.size())
            return false;
        FLine = FNext++;
        line = FLines[FLine];
        return true;
    }

    // The rest of a hex list that ends in "\" on this line goes on at the next one.
    std::string JoinContinuations(std::string data)
    {
        while (!data.empty() && data.back() == '\\') {
            data.pop_back();
            if (FNext >= FLines.size())
                Fail("continuation at the end of the text");
            data += TrimLeft(FLines[FNext++]);
        }
        return data;
    }

    std::size_t Line() const { return FLine; }

private:
    std::vector<std::string> FLines;
    std::size_t FNext = 0;
    std::size_t FLine = 0;
};

// Reads a quoted text at s[pos] (which is '"'); returns the position after the closing quote.
std::size_t ReadQuoted(const TParser& parser, std::string_view s, std::size_t pos, std::string& out)
{
    out.clear();
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"')
            return i + 1;
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            c = s[++i];
        } else if (c == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == 'r' || s[i + 1] == '0')) {
            // The escapes of line breaks and NULs that reg.exe's exports use.
            c = s[i + 1] == 'n' ? '\n' : s[i + 1] == 'r' ? '\r' : '\0';
            ++i;
        }
        out += c;
    }
    parser.Fail("unterminated quoted text");
}

std::vector<std::uint8_t> ReadHexList(const TParser& parser, std::string_view s)
{
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
    };
    skipBlanks();
    if (i == s.size())
        return bytes;
    for (;;) {
        skipBlanks();
        int value = 0;
        int digits = 0;
        while (i < s.size() && HexDigit(s[i]) >= 0 && digits < 2) {
            value = value * 16 + HexDigit(s[i++]);
            ++digits;
        }
        if (digits == 0)
            parser.Fail("bad hex byte");
        bytes.push_back(static_cast<std::uint8_t>(value));
        skipBlanks();
        if (i == s.size())
            return bytes;
        if (s[i] != ',')
            parser.Fail("bad hex list");
        ++i;
    }
}

// One "name"=data line into `value`; false when the line removes the value ("name"=-).
bool ParseValueLine(TParser& parser, const std::string& trimmed, TRegValue& value)
{
    std::size_t pos = 0;
    if (trimmed[0] == '@') {
        pos = 1;
    } else if (trimmed[0] == '"') {
        pos = ReadQuoted(parser, trimmed, 0, value.Name);
    } else {
        parser.Fail("bad value line");
    }
    while (pos < trimmed.size() && trimmed[pos] == ' ')
        ++pos;
    if (pos >= trimmed.size() || trimmed[pos] != '=')
        parser.Fail("'=' expected");
    ++pos;
    while (pos < trimmed.size() && trimmed[pos] == ' ')
        ++pos;
    std::string data = trimmed.substr(pos);

    if (data == "-")
        return false;
    if (!data.empty() && data[0] == '"') {
        std::size_t end = ReadQuoted(parser, data, 0, value.Text);
        if (end != data.size())
            parser.Fail("text after the closing quote");
        value.Type = rtString;
    } else if (StartsWithFolded(data, "dword:")) {
        std::string digits = data.substr(6);
        if (digits.empty() || digits.size() > 8)
            parser.Fail("bad dword");
        std::uint32_t n = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0)
                parser.Fail("bad dword");
            n = n * 16 + static_cast<std::uint32_t>(HexDigit(c));
        }
        value.Type = rtDWord;
        value.DWord = n;
    } else if (StartsWithFolded(data, "hex")) {
        std::size_t colon = data.find(':');
        if (colon == std::string::npos)
            parser.Fail("bad hex value");
        std::string kind = data.substr(3, colon - 3);
        std::uint32_t type = rtBinary;
        if (!kind.empty()) {
            if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')')
                parser.Fail("bad hex type");
            type = 0;
            for (std::size_t i = 1; i + 1 < kind.size(); ++i) {
                if (HexDigit(kind[i]) < 0 || i > 8)
                    parser.Fail("bad hex type");
                type = type * 16 + static_cast<std::uint32_t>(HexDigit(kind[i]));
            }
        }
        std::vector<std::uint8_t> bytes = ReadHexList(parser, parser.JoinContinuations(data.substr(colon + 1)));
        value.Type = static_cast<TRegType>(type);
        if (type == rtString || type == rtExpandString) {
            if (bytes.size() % 2 != 0)
                parser.Fail("odd length of UTF-16 text");
            value.Text = Utf16BytesToText(bytes);
        } else if (type == rtDWord) {
            if (bytes.size() != 4)
                parser.Fail("a dword needs four bytes");
            value.DWord = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
        } else {
            value.Data = std::move(bytes);
        }
    } else {
        parser.Fail("unknown value type");
    }
    return true;
}

} // namespace

std::u16string EscapedUtf16(std::string_view text)
{
    std::u16string units;
    units.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t n = DecodeUtf8(text, i, cp);
        if (n == 0) {
            units += static_cast<char16_t>(0xDC00 | static_cast<unsigned char>(text[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return units;
}

std::string TextOfEscapedUtf16(std::u16string_view units)
{
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            Utf8Append(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u & 0xFF);
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            Utf8Append(out, 0xFFFD);
        } else {
            Utf8Append(out, u);
        }
    }
    return out;
}

TRegistry::TRegistry(std::filesystem::path fileName) : FFileName(std::move(fileName)) {}

std::string TRegistry::FullPath(std::string_view key)
{
    while (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\')
        key.remove_suffix(1);
    if (StartsWithFolded(key, "HKEY_"))
        return std::string(key);
    return std::string(DefaultRoot) + std::string(key);
}

std::string TRegistry::Fold(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

TRegistry::TKey& TRegistry::Key(std::string_view key)
{
    std::string full = FullPath(key);
    auto [it, inserted] = FKeys.try_emplace(Fold(full));
    if (inserted)
        it->second.Path = full;
    return it->second;
}

const TRegistry::TKey* TRegistry::FindKey(std::string_view key) const
{
    auto it = FKeys.find(Fold(FullPath(key)));
    return it == FKeys.end() ? nullptr : &it->second;
}

bool TRegistry::KeyExists(std::string_view key) const
{
    std::string folded = Fold(FullPath(key));
    // Subkeys sort after siblings that share the prefix ("TROVEX2" < "TROVEX\\X"), so scan them all.
    for (auto it = FKeys.lower_bound(folded); it != FKeys.end(); ++it) {
        if (it->first.compare(0, folded.size(), folded) != 0)
            break;
        if (it->first.size() == folded.size() || it->first[folded.size()] == '\\')
            return true;
    }
    return false;
}

void TRegistry::CreateKey(std::string_view key)
{
    Key(key);
}

void TRegistry::DeleteKey(std::string_view key)
{
    FDeletedKeys.push_back(FullPath(key));
    std::string folded = Fold(FullPath(key));
    for (auto it = FKeys.lower_bound(folded); it != FKeys.end();) {
        bool same = it->first == folded;
        bool below = it->first.size() > folded.size() && it->first.compare(0, folded.size(), folded) == 0 &&
                     it->first[folded.size()] == '\\';
        if (!same && !below) {
            if (it->first.compare(0, folded.size(), folded) != 0)
                break;
            ++it; // a sibling such as "Trovex2" sorts among the subkeys
            continue;
        }
        it = FKeys.erase(it);
    }
}

std::vector<std::string> TRegistry::ValueNames(std::string_view key) const
{
    std::vector<std::string> names;
    if (const TKey* k = FindKey(key))
        for (const TRegValue& v : k->Values)
            names.push_back(v.Name);
    return names;
}

const TRegValue* TRegistry::FindValue(std::string_view key, std::string_view name) const
{
    const TKey* k = FindKey(key);
    if (!k)
        return nullptr;
    for (const TRegValue& v : k->Values)
        if (EqualFolded(v.Name, name))
            return &v;
    return nullptr;
}

void TRegistry::SetValue(std::string_view key, TRegValue value)
{
    TKey& k = Key(key);
    for (TRegValue& v : k.Values) {
        if (EqualFolded(v.Name, value.Name)) {
            v = std::move(value);
            return;
        }
    }
    k.Values.push_back(std::move(value));
}

bool TRegistry::DeleteValue(std::string_view key, std::string_view name)
{
    // Recorded even when the store does not hold it: a value it could not read is still deleted.
    FDeletedValues.emplace_back(FullPath(key), std::string(name));
    auto it = FKeys.find(Fold(FullPath(key)));
    if (it == FKeys.end())
        return false;
    auto& values = it->second.Values;
    for (auto v = values.begin(); v != values.end(); ++v) {
        if (EqualFolded(v->Name, name)) {
            values.erase(v);
            return true;
        }
    }
    return false;
}

std::optional<std::string> TRegistry::ReadString(std::string_view key, std::string_view name) const
{
    const TRegValue* v = FindValue(key, name);
    if (!v)
        return std::nullopt;
    if (!v->IsString())
        throw ERegistryError("Invalid data type for '" + std::string(name) + "'");
    return v->Text;
}

std::optional<std::int32_t> TRegistry::ReadInteger(std::string_view key, std::string_view name) const
{
    const TRegValue* v = FindValue(key, name);
    if (!v)
        return std::nullopt;
    if (v->Type != rtDWord)
        throw ERegistryError("Invalid data type for '" + std::string(name) + "'");
    return static_cast<std::int32_t>(v->DWord);
}

void TRegistry::WriteString(std::string_view key, std::string_view name, std::string_view text)
{
    TRegValue v;
    v.Name = name;
    v.Type = rtString;
    v.Text = text;
    SetValue(key, std::move(v));
}

void TRegistry::WriteExpandString(std::string_view key, std::string_view name, std::string_view text)
{
    TRegValue v;
    v.Name = name;
    v.Type = rtExpandString;
    v.Text = text;
    SetValue(key, std::move(v));
}

void TRegistry::WriteInteger(std::string_view key, std::string_view name, std::int32_t value)
{
    TRegValue v;
    v.Name = name;
    v.Type = rtDWord;
    v.DWord = static_cast<std::uint32_t>(value);
    SetValue(key, std::move(v));
}

std::string TRegistry::ToText() const
{
    std::string out(Header);
    out += "\n\n";
    for (const auto& [folded, key] : FKeys) {
        out += "[" + key.Path + "]\n";
        for (const TRegValue& v : key.Values)
            out += FormatValue(v) + "\n";
        out += "\n";
    }
    return out;
}

void TRegistry::FromText(std::string_view text)
{
    std::string decoded;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) {
        // The registry editor's own exports are UTF-16LE; take those too.
        std::u16string wide;
        for (std::size_t i = 2; i + 1 < text.size(); i += 2)
            wide += static_cast<char16_t>(static_cast<unsigned char>(text[i]) | (static_cast<unsigned char>(text[i + 1]) << 8));
        decoded = RegistryText(wide);
        text = decoded;
    } else if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }

    TParser parser(text);
    TRegistry result(FFileName);
    std::string line;
    bool headerSeen = false;
    std::size_t dropped = 0;
    TKey* current = nullptr;
    while (parser.NextLine(line)) {
        std::string trimmed = TrimLeft(line);
        if (trimmed.empty() || trimmed[0] == ';')
            continue;
        if (!headerSeen) {
            if (trimmed != Header && trimmed != "REGEDIT4")
                parser.Fail("not a registry export");
            headerSeen = true;
            continue;
        }
        // From here on a line that cannot be read costs only itself (a key line: the key with its
        // values), as the registry editor's import does; the rest of the store is kept.
        try {
            if (trimmed[0] == '[') {
                current = nullptr;
                if (trimmed.back() != ']' || trimmed.size() < 3)
                    parser.Fail("bad key line");
                std::string path = trimmed.substr(1, trimmed.size() - 2);
                if (path[0] == '-') {
                    result.DeleteKey(path.substr(1));
                    continue;
                }
                if (!StartsWithFolded(path, "HKEY_"))
                    parser.Fail("key without a root");
                current = &result.Key(path);
                continue;
            }
            if (!current)
                parser.Fail("value outside a key");
            TRegValue value;
            const bool set = ParseValueLine(parser, trimmed, value);
            auto& values = current->Values;
            values.erase(std::remove_if(values.begin(), values.end(),
                                        [&](const TRegValue& v) { return EqualFolded(v.Name, value.Name); }),
                         values.end());
            if (set)
                values.push_back(std::move(value));
        } catch (const ERegistryParseError&) {
            ++dropped;
        }
    }
    if (!headerSeen)
        throw ERegistryParseError("empty text");
    FKeys = std::move(result.FKeys);
    FDropped = dropped;
}

} // namespace trovex
