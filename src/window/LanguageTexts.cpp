// SPDX-License-Identifier: MIT
// The language texts. A language file, line by line (no header, sections, comments or escapes):
//   Named:=Имя:                  the text before the first "=" is the default text, matched
//   Date && time=Дата && время   case-insensitively; "&" marks are part of both sides
//   Stop=                        an empty translation blanks the text
//   Named: =x                    never matches "Named:": spaces belong to the texts
#include "window/LanguageTexts.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/PathDelim.h"

namespace trovex
{

namespace
{

// Upper then lower: letters with one upper form but several lower ones (final sigma) meet.
std::string Folded(std::string_view s)
{
    return Utf8Lower(Utf8Upper(s));
}

bool ValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + length > s.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::size_t FindIgnoringAsciiCase(std::string_view s, std::string_view what)
{
    auto it = std::search(s.begin(), s.end(), what.begin(), what.end(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? a + 32 : a) == (b >= 'A' && b <= 'Z' ? b + 32 : b);
    });
    return it == s.end() ? std::string_view::npos : static_cast<std::size_t>(it - s.begin());
}

std::filesystem::path FsPath(const std::string& bytes)
{
    return std::filesystem::path(std::u8string(bytes.begin(), bytes.end()));
}

} // namespace

std::string FormatMessage(std::string_view format, std::initializer_list<long long> numbers)
{
    std::string out;
    auto next = numbers.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const char k = format[i + 1];
            if (k == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (k == 'd' && next != numbers.end()) {
                out += std::to_string(*next++);
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b)
{
    return a == b || Folded(a) == Folded(b);
}

TLanguageTexts::TLanguageTexts(std::string folder, TCollate collate)
    : FFolder(std::move(folder)), FCollate(std::move(collate))
{
    if (!FCollate)
        FCollate = [](const std::string& a, const std::string& b) { return Folded(a) < Folded(b); };
    BuildLanguageList();
}

int TLanguageTexts::BuildLanguageList()
{
    FLanguages.clear();
    FLanguageFiles.clear();
    std::string folder = FFolder;
    if (!folder.empty() && !IsPathDelim(folder.back()))
        folder += '/';
    std::vector<TDirEntry> entries;
    if (!folder.empty())
        ReadFolder(folder, entries);
    std::vector<std::string> names;
    for (const TDirEntry& entry : entries) {
        if (entry.Kind == TDirEntry::dkDirectory || entry.Name == "." || entry.Name == "..")
            continue;
        const std::size_t at = FindIgnoringAsciiCase(entry.Name, ".lng");
        // The extension must end the name ("x.lng.lng" is language X; "a.lngx" is none).
        if (at == std::string::npos || entry.Name.size() < 4 ||
            FindIgnoringAsciiCase(entry.Name.substr(entry.Name.size() - 4), ".lng") != 0)
            continue;
        std::string name = entry.Name.substr(0, at);
        if (name.empty())
            continue; // ".lng" alone names no language and could never be selected
        const std::size_t first = Utf8CharLen(name, 0);
        name = Utf8Upper(std::string_view(name).substr(0, first)) + name.substr(first);
        if (entry.Kind != TDirEntry::dkFile) {
            TFindData data; // a link counts when it leads to a file
            if (!ReadFindData(folder + entry.Name, data) || (data.Attributes & faDirectory))
                continue;
        }
        FLanguageFiles.emplace_back(name, folder + entry.Name);
        names.push_back(name);
    }
    std::stable_sort(names.begin(), names.end(), FCollate);
    FLanguages.assign(1, std::string(DefaultLanguage));
    FLanguages.insert(FLanguages.end(), names.begin(), names.end());
    return static_cast<int>(FLanguageFiles.size());
}

void TLanguageTexts::Record(std::string_view key, std::string_view text)
{
    FDefaults.try_emplace(Folded(key), std::string(key), std::string(text));
}

std::string TLanguageTexts::DefaultText(std::string_view key) const
{
    const auto found = FDefaults.find(Folded(key));
    return found == FDefaults.end() ? std::string() : found->second.second;
}

std::vector<std::string> TLanguageTexts::DefaultTexts() const
{
    std::vector<std::string> out;
    for (const auto& [folded, entry] : FDefaults)
        out.push_back(entry.first + '=' + entry.second);
    return out;
}

void TLanguageTexts::ResetToDefault()
{
    FTranslations.clear();
    FLanguageFile.clear();
}

TLanguageChange TLanguageTexts::SelectLanguage(std::string_view name)
{
    if (name.empty())
        return lcNone;
    if (std::none_of(FLanguages.begin(), FLanguages.end(),
                     [&](const std::string& n) { return SameTextIgnoringCase(n, name); }))
        return lcNone;
    FLanguageName = name;
    std::string path;
    for (const auto& [fileName, filePath] : FLanguageFiles) {
        if (SameTextIgnoringCase(fileName, name)) {
            path = filePath;
            break;
        }
    }
    TFindData data;
    if (!path.empty() && ReadFindData(path, data) && !(data.Attributes & faDirectory)) {
        LoadLanguageFile(path);
        FLanguageFile = path;
        return lcLoaded;
    }
    ResetToDefault();
    return lcDefault;
}

void TLanguageTexts::LoadLanguageFile(const std::string& path)
{
    std::ifstream file(FsPath(path), std::ios::binary);
    if (!file)
        throw EFOpenError("Cannot open file " + path);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad())
        throw EFOpenError("Cannot open file " + path);
    LoadLanguageBytes(bytes);
}

void TLanguageTexts::LoadLanguageBytes(std::string_view bytes)
{
    if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);
    std::string text;
    if (ValidUtf8(bytes)) {
        if (bytes.starts_with("\xEF\xBB\xBF"))
            bytes.remove_prefix(3);
        text = bytes;
    } else {
        text = AnsiToUtf8(bytes);
    }

    FTranslations.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            const std::string_view line = std::string_view(text).substr(start, i - start);
            if (const std::size_t eq = line.find('='); eq != std::string_view::npos)
                FTranslations.push_back({Folded(line.substr(0, eq)), std::string(line.substr(eq + 1))});
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
}

std::string TLanguageTexts::Translate(std::string_view text) const
{
    if (FTranslations.empty())
        return std::string(text);
    const std::string key = Folded(text);
    for (const TLine& line : FTranslations)
        if (line.Key == key)
            return line.Text;
    return std::string(text);
}

} // namespace trovex
