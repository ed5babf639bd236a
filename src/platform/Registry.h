// SPDX-License-Identifier: MIT
// The per-user store that stands in for the program's registry key: one text file in the registry
// editor's export format, read once at start and replaced atomically when written. Keys and value
// names compare case-insensitively (ASCII) as the registry does. Free of Qt and OS types.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Store.h"

namespace trovex
{

/// A string's bytes as UTF-16 the way the store writes them: valid UTF-8 decoded, every other byte
/// as the lone surrogate U+DC00 + byte. TextOfEscapedUtf16 gives back exactly the same bytes.
std::u16string EscapedUtf16(std::string_view text);
/// The reverse of EscapedUtf16; a lone surrogate that stands for no byte becomes U+FFFD.
std::string TextOfEscapedUtf16(std::u16string_view units);

/// What Load found.
enum TRegLoadResult : std::uint8_t
{
    lrLoaded,     ///< the file was read
    lrMissing,    ///< no file yet: an empty store
    lrDamaged,    ///< the file could not be parsed: an empty store; Save keeps the file as ".bad"
    lrUnreadable, ///< the file exists but could not be read (not a regular file, too large): an empty
                  ///< store that Save refuses to write
    lrRepaired,   ///< read, but values or keys that could not be read were dropped; Save keeps the
                  ///< file as ".bad" first
};

/// Key paths are given without a root ("Software\Brenvik\Trovex") and then mean HKEY_CURRENT_USER,
/// or with one ("HKEY_CURRENT_USER\..."). A leading backslash is ignored. Not thread-safe: the
/// user-interface thread owns the store.
class TRegistry : public TKeyStore
{
public:
    /// First line of the file.
    static constexpr std::string_view Header = "Windows Registry Editor Version 5.00";
    /// A larger file is not read: the program's store stays far below this.
    static constexpr std::size_t MaxFileSize = 16 * 1024 * 1024;

    /// $XDG_CONFIG_HOME/Brenvik/Trovex.reg, or ~/.config/Brenvik/Trovex.reg when the variable is
    /// unset or not absolute. Read from the environment at each call.
    static std::filesystem::path DefaultPath();

    explicit TRegistry(std::filesystem::path fileName = DefaultPath());

    const std::filesystem::path& FileName() const { return FFileName; }

    /// Replaces the contents with the file's. Never throws for a missing, damaged or unreadable file:
    /// the result says which, and the store is then empty. Only a regular file up to MaxFileSize
    /// is read, without blocking on whatever else sits at the name.
    TRegLoadResult Load();
    TRegLoadResult LoadResult() const { return FLoadResult; }

    /// Writes the store to a temporary file in the same folder, flushes it and renames it over the
    /// file, creating the folder when needed; when the name is a link, the file it points at is
    /// replaced and the link stays. A damaged or repaired file is first kept under the first free
    /// name of "<name>.bad", "<name>.bad.1", ...
    /// Throws ERegistryError when the folder or file cannot be written, or when Load found the file
    /// unreadable (it is then left as it is).
    void Save();

    /// The whole store in the export format.
    std::string ToText() const;
    /// Replaces the contents with the parsed text. Throws ERegistryParseError and leaves the store
    /// unchanged when the text is not a registry export at all; a value or key line that cannot be
    /// read is dropped alone and counted in DroppedLines(). Accepts CR LF line ends, a UTF-8 byte-order
    /// mark, ";" comments, "\" continuation lines, "[-key]" and "=-" removals and "REGEDIT4".
    void FromText(std::string_view text);

    /// Lines the last FromText or Load dropped.
    std::size_t DroppedLines() const { return FDropped; }

    bool KeyExists(std::string_view key) const;
    /// Creates the key (and so, implicitly, its parents). Existing values stay.
    void CreateKey(std::string_view key) override;
    /// Removes the key with its values and all its subkeys; a missing key is no error.
    void DeleteKey(std::string_view key);
    /// Names of the key's values in the order they were first written.
    std::vector<std::string> ValueNames(std::string_view key) const;

    /// The value, or nullptr when the key or value does not exist. Valid until the store changes.
    const TRegValue* FindValue(std::string_view key, std::string_view name) const;
    /// Sets a value, creating the key; a value of the same name is replaced in its place.
    void SetValue(std::string_view key, TRegValue value);
    std::optional<TRegValue> ReadValue(std::string_view key, std::string_view name) const override
    {
        const TRegValue* value = FindValue(key, name);
        return value ? std::optional<TRegValue>(*value) : std::nullopt;
    }
    /// Returns false when there was no such value.
    bool DeleteValue(std::string_view key, std::string_view name);

    /// A string or expandable string as stored (nothing is expanded); nullopt when missing.
    /// Throws ERegistryError "Invalid data type for '<name>'" for a value of another type.
    std::optional<std::string> ReadString(std::string_view key, std::string_view name) const override;
    /// A DWORD as a signed 32-bit number; nullopt when missing; ERegistryError for another type.
    std::optional<std::int32_t> ReadInteger(std::string_view key, std::string_view name) const override;
    void WriteString(std::string_view key, std::string_view name, std::string_view text) override;
    void WriteExpandString(std::string_view key, std::string_view name, std::string_view text) override;
    void WriteInteger(std::string_view key, std::string_view name, std::int32_t value) override;

private:
    struct TKey
    {
        std::string Path; // with its root, as first written
        std::vector<TRegValue> Values;
    };

    static std::string FullPath(std::string_view key);
    static std::string Fold(std::string_view s);
    TKey& Key(std::string_view key);
    const TKey* FindKey(std::string_view key) const;

    std::filesystem::path FFileName;
    TRegLoadResult FLoadResult = lrMissing;
    std::size_t FDropped = 0;
    std::map<std::string, TKey> FKeys; // by folded full path, so parents sort before children
};

} // namespace trovex
