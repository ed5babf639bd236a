// SPDX-License-Identifier: MIT
// The language texts without a toolkit: the "*.lng" files beside the program, the default text of
// every control by its key (form name + control name, + "Hint" for a tip, + a column index), the
// loaded translations and Translate. A face walks its own controls to collect and apply the texts.
// A language file holds lines "default text=translation"; it is only read, never written.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovex
{

/// A language file that exists but cannot be opened: "Cannot open file <path>".
class EFOpenError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Fills "%d" placeholders of a (possibly translated) message with `numbers` in order; "%%" gives
/// "%". Any other "%" sequence, and "%d" beyond the numbers given, stays as it is, so a faulty
/// translation shows oddly instead of failing.
std::string FormatMessage(std::string_view format, std::initializer_list<long long> numbers);

/// Case-insensitive equality of two UTF-8 texts, letter by letter in every script.
bool SameTextIgnoringCase(std::string_view a, std::string_view b);

/// What SelectLanguage did.
enum TLanguageChange : std::uint8_t
{
    lcNone,    ///< an empty or unknown name: nothing changed
    lcLoaded,  ///< the language's file was loaded; the face applies the texts when it is ready
    lcDefault, ///< back to the default texts: the face applies them at once
};

/// One instance for the whole program. All texts and paths are UTF-8 bytes. User-interface thread only.
class TLanguageTexts
{
public:
    /// The first entry of Languages: no language file.
    static constexpr std::string_view DefaultLanguage = "< Default >";
    /// Orders two language names for the selector; true when `a` goes first.
    using TCollate = std::function<bool(const std::string& a, const std::string& b)>;

    /// Lists the language files in `folder` at once (none for an empty folder name). Without `collate` names are ordered
    /// case-insensitively by their letters.
    explicit TLanguageTexts(std::string folder, TCollate collate = {});

    /// Rebuilds Languages and LanguageFiles from the folder; returns the number of files found.
    int BuildLanguageList();
    /// Makes the named language current (case-insensitive) and loads its file. "< Default >", or a
    /// file that has gone, forgets the translations. Throws EFOpenError when the file exists but
    /// cannot be opened; the translations in force then stay.
    TLanguageChange SelectLanguage(std::string_view name);
    /// Forgets the loaded translations.
    void ResetToDefault();
    /// Replaces the translations with the lines of the file. Throws EFOpenError.
    void LoadLanguageFile(const std::string& path);
    /// The same over the bytes of a language file: UTF-8 when they are valid UTF-8 (a byte-order mark
    /// dropped), else the ANSI code page. A NUL byte ends the text; lines end with CR LF, LF or CR.
    void LoadLanguageBytes(std::string_view bytes);
    /// The first line whose part before its first "=" equals `text` case-insensitively gives the
    /// rest of that line; otherwise `text` itself.
    std::string Translate(std::string_view text) const;

    /// Records the default text of a key; a key already recorded (case-insensitively) keeps its text.
    void Record(std::string_view key, std::string_view text);
    /// The recorded default text of a key, empty when unknown.
    std::string DefaultText(std::string_view key) const;
    /// Translate(DefaultText(key)): what a control of that key shows in the current language.
    std::string Translated(std::string_view key) const { return Translate(DefaultText(key)); }
    /// All entries as "key=text", ordered by key case-insensitively.
    std::vector<std::string> DefaultTexts() const;

    const std::vector<std::string>& Languages() const { return FLanguages; }
    /// (name, path) per file, in the order the folder listed them.
    const std::vector<std::pair<std::string, std::string>>& LanguageFiles() const { return FLanguageFiles; }
    const std::string& LanguageName() const { return FLanguageName; }
    const std::string& LanguageFile() const { return FLanguageFile; }
    const std::string& Folder() const { return FFolder; }

private:
    struct TLine
    {
        std::string Key;  // folded text before the first "="; lines without "=" are not kept
        std::string Text; // after it
    };

    std::string FFolder;
    TCollate FCollate;
    std::map<std::string, std::pair<std::string, std::string>> FDefaults; // by folded key: key, text
    std::vector<TLine> FTranslations;
    std::string FLanguageFile;
    std::string FLanguageName;
    std::vector<std::string> FLanguages;
    std::vector<std::pair<std::string, std::string>> FLanguageFiles;
};

} // namespace trovex
