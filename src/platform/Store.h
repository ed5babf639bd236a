// SPDX-License-Identifier: MIT
// The per-user store as the window sees it: keys of named values of a few registry types. The
// store file on Linux (TRegistry) and the registry itself on Windows answer the same calls. Free
// of Qt and OS types.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

/// A store that cannot be written, or a value read with the wrong type.
class ERegistryError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// Text that is not in the export format; the message names the line.
class ERegistryParseError : public ERegistryError
{
public:
    using ERegistryError::ERegistryError;
};

/// Registry value types by their numbers, so that unknown "hex(N):" types survive a round trip.
enum TRegType : std::uint32_t
{
    rtNone = 0,
    rtString = 1,
    rtExpandString = 2,
    rtBinary = 3,
    rtDWord = 4,
    rtMultiString = 7,
    rtQWord = 11,
};

/// One value. Strings hold their bytes in Text (UTF-8 text, or any bytes: they round-trip); a DWORD its number in DWord; every other type its
/// raw bytes in Data.
struct TRegValue
{
    std::string Name; ///< empty for the key's default value ("@")
    TRegType Type = rtString;
    std::string Text;
    std::uint32_t DWord = 0;
    std::vector<std::uint8_t> Data;

    bool IsString() const { return Type == rtString || Type == rtExpandString; }
};

/// Keys are paths without a root ("Software\\Brenvik\\Trovex"), meaning the current user's part.
/// Not thread-safe: the user-interface thread owns the store.
class TKeyStore
{
public:
    virtual ~TKeyStore() = default;

    /// Creates the key (and so its parents). Existing values stay.
    virtual void CreateKey(std::string_view key) = 0;
    /// A copy of the value, or nullopt when the key or the value does not exist.
    virtual std::optional<TRegValue> ReadValue(std::string_view key, std::string_view name) const = 0;
    /// A string or expandable string as stored (nothing is expanded); nullopt when missing.
    /// Throws ERegistryError "Invalid data type for '<name>'" for a value of another type.
    virtual std::optional<std::string> ReadString(std::string_view key, std::string_view name) const = 0;
    /// A DWORD as a signed 32-bit number; nullopt when missing; ERegistryError for another type.
    virtual std::optional<std::int32_t> ReadInteger(std::string_view key, std::string_view name) const = 0;
    /// Each sets a value, creating the key; a value of the same name is replaced.
    virtual void WriteString(std::string_view key, std::string_view name, std::string_view text) = 0;
    virtual void WriteExpandString(std::string_view key, std::string_view name, std::string_view text) = 0;
    virtual void WriteInteger(std::string_view key, std::string_view name, std::int32_t value) = 0;
};

} // namespace trovex
