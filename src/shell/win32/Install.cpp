// SPDX-License-Identifier: MIT
#include "shell/win32/Install.h"

#include "platform/win32/Wide.h"
#include "shell/win32/ShellUtl.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <cwctype>
#include <optional>

namespace trovex::win32
{

namespace
{

// Names of the record's values: each holds the path or key of one thing install made.
constexpr const wchar_t* RecStartMenuLink = L"StartMenuLink";
constexpr const wchar_t* RecGroupMainLink = L"GroupMainLink";
constexpr const wchar_t* RecGroupUninstallLink = L"GroupUninstallLink";
constexpr const wchar_t* RecProgramGroup = L"ProgramGroup";
constexpr const wchar_t* RecMakerGroup = L"MakerGroup";

std::string KnownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)) && path)
        out = Narrow(path);
    ::CoTaskMemFree(path);
    return out;
}

std::wstring Folded(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towupper(c));
    return s;
}

std::wstring FileNameOf(const std::wstring& path)
{
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool SameProgramName(const std::string& a, const std::string& b)
{
    return !a.empty() && !b.empty() && Folded(FileNameOf(Wide(a))) == Folded(FileNameOf(Wide(b)));
}

bool FileExists(const std::string& path)
{
    return !path.empty() && ::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetRecord(const wchar_t* name, const std::string& value)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(InstallRecordKey).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return;
    const std::wstring text = Wide(value);
    ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void ClearRecord(const wchar_t* name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(InstallRecordKey).c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueW(key, name);
    ::RegCloseKey(key);
}

std::optional<std::wstring> ReadText(HKEY root, const std::wstring& key, const wchar_t* name)
{
    DWORD type = 0, size = 0;
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, &type, text.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

std::string Record(const wchar_t* name)
{
    std::optional<std::wstring> text = ReadText(HKEY_CURRENT_USER, Wide(InstallRecordKey), name);
    return text ? Narrow(*text) : std::string();
}

// A key's default value; EInstallError with the value's (empty) name when it cannot be written.
void WriteDefault(const std::string& key, const std::string& text)
{
    HKEY h = nullptr;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr);
    if (status == ERROR_SUCCESS) {
        const std::wstring wide = Wide(text);
        status = ::RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                  static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(h);
    }
    if (status != ERROR_SUCCESS)
        throw EInstallError("Failed to set data for ''");
}

// A command of ours: a quoted program of the same file name, then -F and the quoted folder.
bool IsOurCommand(const std::wstring& command, const std::string& exePath)
{
    if (command.size() < 2 || command[0] != L'"')
        return false;
    const std::size_t close = command.find(L'"', 1);
    if (close == std::wstring::npos)
        return false;
    return SameProgramName(Narrow(command.substr(1, close - 1)), exePath) && command.substr(close + 1) == L" -F \"%l\"";
}

void WriteFolderCommands(const std::string& exePath)
{
    std::optional<EInstallError> failure;
    for (const char* key : {DirectoryCommandKey, DriveCommandKey}) {
        try {
            WriteDefault(key, FolderCommandCaption);
            WriteDefault(std::string(key) + "\\command", FolderCommand(exePath));
        } catch (const EInstallError& e) {
            if (!failure)
                failure = e;
        }
    }
    if (failure)
        throw *failure;
}

void RemoveFolderCommands(const std::string& exePath)
{
    for (const char* key : {DirectoryCommandKey, DriveCommandKey}) {
        const std::wstring wide = Wide(key);
        std::optional<std::wstring> command = ReadText(HKEY_CURRENT_USER, wide + L"\\command", nullptr);
        if (command && IsOurCommand(*command, exePath)) {
            ::RegDeleteTreeW(HKEY_CURRENT_USER, wide.c_str());
            ::RegDeleteKeyW(HKEY_CURRENT_USER, wide.c_str());
        }
    }
}

void CreateLink(const std::string& exePath, const std::string& link, const char* description, int icon,
                const std::string& arguments, const wchar_t* recordName)
{
    if (link.empty())
        return;
    try {
        if (CreateShortcut(exePath, link, description, icon, arguments))
            SetRecord(recordName, link);
    } catch (const EShellError&) {
        // A shortcut that cannot be made is simply missing, as when it cannot be saved.
    }
}

// Deletes a shortcut that still leads to a program of the same name; anything else there stays.
void RemoveLink(const std::string& link, const std::string& exePath)
{
    if (!FileExists(link) || !SameProgramName(ShortcutTarget(link), exePath))
        return;
    // The shell reads a new shortcut to make its menu entry, and an indexer or scanner may hold it
    // a moment longer: a shared-access refusal is waited out for up to two seconds.
    const std::wstring wide = WidePath(link);
    for (int tries = 0; !::DeleteFileW(wide.c_str()) && ::GetLastError() == ERROR_SHARING_VIOLATION && tries < 40; ++tries)
        ::Sleep(50);
}

// Makes a folder and records it only when this call made it: one that was there is not ours.
void MakeFolder(const std::string& folder, const wchar_t* recordName)
{
    if (!folder.empty() && ::CreateDirectoryW(WidePath(folder).c_str(), nullptr))
        SetRecord(recordName, folder);
}

} // namespace

TShellEntryLocations TShellEntryLocations::ForCurrentUser()
{
    return Under(KnownFolder(FOLDERID_StartMenu), KnownFolder(FOLDERID_Programs));
}

TShellEntryLocations TShellEntryLocations::Under(const std::string& startMenu, const std::string& programs)
{
    TShellEntryLocations where;
    if (!startMenu.empty())
        where.StartMenuLink = startMenu + "\\Marlix.lnk";
    if (!programs.empty()) {
        where.MakerGroup = programs + "\\Brenvik";
        where.ProgramGroup = where.MakerGroup + "\\Trovex";
        where.GroupMainLink = where.ProgramGroup + "\\Marlix.lnk";
        where.GroupUninstallLink = where.ProgramGroup + "\\Uninstall.lnk";
    }
    return where;
}

std::string FolderCommand(const std::string& exePath)
{
    return "\"" + exePath + "\" -F \"%l\"";
}

void Install(const std::string& exePath, const TShellEntryLocations& where)
{
    CreateLink(exePath, where.StartMenuLink, ShortcutDescription, 0, {}, RecStartMenuLink);
    MakeFolder(where.MakerGroup, RecMakerGroup);
    MakeFolder(where.ProgramGroup, RecProgramGroup);
    CreateLink(exePath, where.GroupMainLink, ShortcutDescription, 0, {}, RecGroupMainLink);
    CreateLink(exePath, where.GroupUninstallLink, UninstallDescription, 1, "-u", RecGroupUninstallLink);
    WriteFolderCommands(exePath);
}

void Uninstall(const std::string& exePath, const TShellEntryLocations& where)
{
    // What the record lists, and where this installation would have put it: an entry made by an
    // older copy before records were kept is still recognised by where it lies and what it runs.
    for (const auto& [record, place] : {std::pair{RecStartMenuLink, where.StartMenuLink},
                                        std::pair{RecGroupMainLink, where.GroupMainLink},
                                        std::pair{RecGroupUninstallLink, where.GroupUninstallLink}}) {
        const std::string recorded = Record(record);
        if (!recorded.empty())
            RemoveLink(recorded, exePath);
        if (!place.empty() && place != recorded)
            RemoveLink(place, exePath);
    }
    RemoveFolderCommands(exePath);
    // Only folders install made, and only when empty: RemoveDirectory refuses any other.
    for (const wchar_t* record : {RecProgramGroup, RecMakerGroup}) {
        const std::string folder = Record(record);
        if (!folder.empty())
            ::RemoveDirectoryW(WidePath(folder).c_str());
    }
    const std::wstring key = Wide(ProgramKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

void UpdateMainMenuLink(bool add, const std::string& exePath, const TShellEntryLocations& where)
{
    if (where.StartMenuLink.empty())
        return;
    if (add) {
        if (!FileExists(where.StartMenuLink))
            CreateLink(exePath, where.StartMenuLink, ShortcutDescription, 0, {}, RecStartMenuLink);
        return;
    }
    RemoveLink(where.StartMenuLink, exePath);
    if (!FileExists(where.StartMenuLink))
        ClearRecord(RecStartMenuLink);
}

void UpdateShellMenu(bool add, const std::string& exePath)
{
    if (add)
        WriteFolderCommands(exePath);
    else
        RemoveFolderCommands(exePath);
}

} // namespace trovex::win32
