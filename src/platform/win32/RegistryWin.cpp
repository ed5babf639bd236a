// SPDX-License-Identifier: MIT
// The store's place on Windows: the program's key of HKEY_CURRENT_USER itself, read with its
// subkeys by Load and written back by Save. Strings go to the registry as the wide text of their
// UTF-8 (an unpaired surrogate of a Windows name survives the round trip); a value the store cannot
// read is left out and left alone, as a damaged line of the Linux file is.
#include "platform/Registry.h"

#include "platform/win32/Wide.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

namespace trovex
{

namespace
{

constexpr std::string_view CurrentUser = "HKEY_CURRENT_USER\\";
// Deeper than any key of ours; a deeper tree is not walked, so a loop of links cannot trap Load.
constexpr int MaxDepth = 32;

bool StartsWithFolded(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(s[i])) != std::toupper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// The key below HKEY_CURRENT_USER that a full path names, or nullopt for another root.
std::optional<std::string> CurrentUserSubkey(std::string_view fullPath)
{
    if (!StartsWithFolded(fullPath, CurrentUser))
        return std::nullopt;
    return std::string(fullPath.substr(CurrentUser.size()));
}

// True when `path` is `root` or lies below it (both below HKEY_CURRENT_USER, compared as the
// registry does).
bool IsWithin(std::string_view path, std::string_view root)
{
    return StartsWithFolded(path, root) && (path.size() == root.size() || path[root.size()] == '\\');
}

std::string SystemMessage(LSTATUS status)
{
    wchar_t* text = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    if (text)
        ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(status) : win32::Narrow(message);
}

class TKeyHandle
{
public:
    TKeyHandle() = default;
    ~TKeyHandle()
    {
        if (FKey)
            ::RegCloseKey(FKey);
    }
    TKeyHandle(const TKeyHandle&) = delete;
    TKeyHandle& operator=(const TKeyHandle&) = delete;
    HKEY* Out() { return &FKey; }
    HKEY Get() const { return FKey; }

private:
    HKEY FKey = nullptr;
};

// The value's bytes as the store keeps them; false when they cannot be read as their type.
bool ToValue(DWORD type, const std::vector<BYTE>& data, TRegValue& value)
{
    value.Type = static_cast<TRegType>(type);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        if (data.size() % 2 != 0)
            return false;
        std::wstring units(data.size() / 2, L'\0');
        std::copy(data.begin(), data.end(), reinterpret_cast<BYTE*>(units.data()));
        // One terminating NUL is the registry's; NULs before it are text, as in the file.
        if (!units.empty() && units.back() == L'\0')
            units.pop_back();
        value.Text = win32::Narrow(units);
        return true;
    }
    if (type == REG_DWORD) {
        if (data.size() != 4)
            return false;
        value.DWord = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<std::uint32_t>(data[3]) << 24);
        return true;
    }
    value.Data.assign(data.begin(), data.end());
    return true;
}

std::vector<BYTE> FromValue(const TRegValue& value)
{
    std::vector<BYTE> data;
    if (value.IsString()) {
        const std::wstring units = win32::Wide(value.Text);
        data.resize((units.size() + 1) * sizeof(wchar_t));
        std::copy_n(reinterpret_cast<const BYTE*>(units.c_str()), data.size(), data.begin());
    } else if (value.Type == rtDWord) {
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<BYTE>(value.DWord >> (8 * i)));
    } else {
        data.assign(value.Data.begin(), value.Data.end());
    }
    return data;
}

} // namespace

std::filesystem::path TRegistry::DefaultPath()
{
    return std::filesystem::path(L"Software\\Brenvik\\Trovex");
}

TRegLoadResult TRegistry::Load()
{
    FKeys.clear();
    FDropped = 0;
    FDeletedKeys.clear();
    FDeletedValues.clear();
    const std::string root = FullPath(win32::Narrow(FFileName.wstring()));
    const std::optional<std::string> subkey = CurrentUserSubkey(root);
    if (!subkey)
        return FLoadResult = lrUnreadable;

    TKeyHandle top;
    LSTATUS status = ::RegOpenKeyExW(HKEY_CURRENT_USER, win32::Wide(*subkey).c_str(), 0, KEY_READ, top.Out());
    if (status == ERROR_FILE_NOT_FOUND)
        return FLoadResult = lrMissing;
    if (status != ERROR_SUCCESS)
        return FLoadResult = lrUnreadable;

    // Depth first; every key the walk reaches is in the store, even when it holds no value.
    auto readKey = [&](auto& self, HKEY key, const std::string& path, int depth) -> void {
        TKey& stored = Key(path);
        DWORD subkeys = 0, maxSubkeyLen = 0, maxNameLen = 0, maxDataLen = 0;
        if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkeyLen, nullptr, nullptr, &maxNameLen,
                               &maxDataLen, nullptr, nullptr) != ERROR_SUCCESS) {
            ++FDropped;
            return;
        }
        std::wstring name(maxNameLen + 1, L'\0');
        std::vector<BYTE> data(maxDataLen);
        for (DWORD i = 0;;) {
            DWORD nameLen = static_cast<DWORD>(name.size());
            DWORD dataLen = static_cast<DWORD>(data.size());
            DWORD type = 0;
            status = ::RegEnumValueW(key, i, name.data(), &nameLen, nullptr, &type, data.data(), &dataLen);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status == ERROR_MORE_DATA) {
                // Written meanwhile by someone else: ask again with room enough.
                name.resize(std::max<std::size_t>(name.size() * 2, 16384));
                data.resize(std::max<std::size_t>(data.size() * 2, dataLen));
                continue;
            }
            ++i;
            if (status != ERROR_SUCCESS) {
                ++FDropped;
                continue;
            }
            TRegValue value;
            value.Name = win32::Narrow(std::wstring_view(name.data(), nameLen));
            if (ToValue(type, std::vector<BYTE>(data.begin(), data.begin() + dataLen), value))
                stored.Values.push_back(std::move(value));
            else
                ++FDropped;
        }
        std::vector<std::wstring> names;
        std::wstring subName(maxSubkeyLen + 1, L'\0');
        for (DWORD i = 0;; ++i) {
            DWORD len = static_cast<DWORD>(subName.size());
            status = ::RegEnumKeyExW(key, i, subName.data(), &len, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS)
                break;
            if (status == ERROR_MORE_DATA) {
                subName.resize(256); // the longest key name the registry allows is 255
                --i;
                continue;
            }
            if (status == ERROR_SUCCESS)
                names.emplace_back(subName.data(), len);
            else
                ++FDropped;
        }
        for (const std::wstring& child : names) {
            TKeyHandle sub;
            if (depth >= MaxDepth || ::RegOpenKeyExW(key, child.c_str(), 0, KEY_READ, sub.Out()) != ERROR_SUCCESS) {
                ++FDropped;
                continue;
            }
            self(self, sub.Get(), path + "\\" + win32::Narrow(child), depth + 1);
        }
    };
    readKey(readKey, top.Get(), root, 0);
    return FLoadResult = FDropped > 0 ? lrRepaired : lrLoaded;
}

void TRegistry::Save()
{
    const std::string root = FullPath(win32::Narrow(FFileName.wstring()));
    if (FLoadResult == lrUnreadable || !CurrentUserSubkey(root))
        throw ERegistryError("The key " + root + " could not be read and is left as it is");
    // Nothing outside the store's own key is written or deleted, whatever the store was asked.
    auto outside = [&](const std::string& path) { return !IsWithin(path, root); };
    for (const auto& [folded, key] : FKeys)
        if (outside(key.Path))
            throw ERegistryError("The key " + key.Path + " lies outside " + root + " and is not written");
    for (const std::string& path : FDeletedKeys)
        if (outside(path))
            throw ERegistryError("The key " + path + " lies outside " + root + " and is not deleted");
    for (const auto& [path, name] : FDeletedValues)
        if (outside(path))
            throw ERegistryError("The key " + path + " lies outside " + root + " and is not changed");

    for (const std::string& path : FDeletedKeys) {
        LSTATUS status = ::RegDeleteTreeW(HKEY_CURRENT_USER, win32::Wide(*CurrentUserSubkey(path)).c_str());
        if (status == ERROR_SUCCESS)
            status = ::RegDeleteKeyW(HKEY_CURRENT_USER, win32::Wide(*CurrentUserSubkey(path)).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            throw ERegistryError("Cannot delete the key " + path + ": " + SystemMessage(status));
    }
    for (const auto& [path, name] : FDeletedValues) {
        TKeyHandle key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, win32::Wide(*CurrentUserSubkey(path)).c_str(), 0, KEY_SET_VALUE,
                            key.Out()) != ERROR_SUCCESS)
            continue; // no key, no value
        LSTATUS status = ::RegDeleteValueW(key.Get(), win32::Wide(name).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            throw ERegistryError("Cannot delete the value '" + name + "' of " + path + ": " + SystemMessage(status));
    }
    // Parents sort before their subkeys, so every key is created below an existing one.
    for (const auto& [folded, stored] : FKeys) {
        TKeyHandle key;
        LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, win32::Wide(*CurrentUserSubkey(stored.Path)).c_str(), 0,
                                           nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.Out(), nullptr);
        if (status != ERROR_SUCCESS)
            throw ERegistryError("Cannot create the key " + stored.Path + ": " + SystemMessage(status));
        for (const TRegValue& value : stored.Values) {
            const std::vector<BYTE> data = FromValue(value);
            status = ::RegSetValueExW(key.Get(), win32::Wide(value.Name).c_str(), 0, static_cast<DWORD>(value.Type),
                                      data.data(), static_cast<DWORD>(data.size()));
            if (status != ERROR_SUCCESS)
                throw ERegistryError("Failed to set data for '" + value.Name + "'");
        }
    }
    FDeletedKeys.clear();
    FDeletedValues.clear();
    FLoadResult = lrLoaded;
}

} // namespace trovex
