// SPDX-License-Identifier: MIT
// The per-user store of the program's settings, held in memory between Load and Save. On Linux it
// lives in one text file in the registry editor's export format, replaced atomically when written;
// on Windows it is the registry key itself. Keys and value names compare case-insensitively (ASCII)
// as the registry does. Free of Qt and OS types.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
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

    /// Where the store lives. Linux: $XDG_CONFIG_HOME/Brenvik/Trovex.reg, or
    /// ~/.config/Brenvik/Trovex.reg when the variable is unset or not absolute, read from the
    /// environment at each call. Windows: the key "Software\Brenvik\Trovex" of HKEY_CURRENT_USER.
    static std::filesystem::path DefaultPath();

    /// A store over the file `fileName` (Linux) or over the key `fileName` of HKEY_CURRENT_USER
    /// with its subkeys (Windows; a leading "HKEY_CURRENT_USER\" is allowed).
    explicit TRegistry(std::filesystem::path fileName = DefaultPath());

    const std::filesystem::path& FileName() const { return FFileName; }

    /// Replaces the contents with the file's (the key's, with its subkeys). Never throws for a
    /// missing, damaged or unreadable store: the result says which, and the store is then empty.
    /// Linux: only a regular file up to MaxFileSize is read, without blocking on whatever else sits
    /// at the name. Windows: a key that exists but cannot be opened is lrUnreadable; a value that
    /// cannot be read as its type (a REG_DWORD of another size than 4, a string of an odd number of
    /// bytes) or a subkey that cannot be opened is left out alone (lrRepaired) and stays in the
    /// registry as it is.
    TRegLoadResult Load();
    TRegLoadResult LoadResult() const { return FLoadResult; }

    /// Linux: writes the store to a temporary file in the same folder, flushes it and renames it over
    /// the file, creating the folder when needed; when the name is a link, the file it points at is
    /// replaced and the link stays. A damaged or repaired file is first kept under the first free
    /// name of "<name>.bad", "<name>.bad.1", ...
    /// Windows: deletes the keys and values removed since Load (DeleteKey, DeleteValue), then creates
    /// every key the store holds and sets every value; values the store never held stay as they are.
    /// Every key must lie in the store's own key; one outside it is refused before anything is written.
    /// Throws ERegistryError when the store cannot be written (Windows: "Failed to set data for
    /// '<name>'" for a value), or when Load found it unreadable (it is then left as it is).
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
    // Removals since Load, as full paths: a store saved into the registry carries them out there.
    std::vector<std::string> FDeletedKeys;
    std::vector<std::pair<std::string, std::string>> FDeletedValues;
};

} // namespace trovex
