// SPDX-License-Identifier: MIT
#include "shell/win32/ShellUtl.h"

#include "platform/win32/Wide.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cwctype>
#include <map>

namespace trovex::win32
{

namespace
{

template <class T> class TComPtr
{
public:
    TComPtr() = default;
    ~TComPtr()
    {
        if (FPtr)
            FPtr->Release();
    }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    T** Out() { return &FPtr; }
    T* operator->() const { return FPtr; }
    T* Get() const { return FPtr; }
    explicit operator bool() const { return FPtr != nullptr; }

private:
    T* FPtr = nullptr;
};

class THandle
{
public:
    explicit THandle(HANDLE h) : FHandle(h) {}
    ~THandle()
    {
        if (FHandle != INVALID_HANDLE_VALUE)
            ::CloseHandle(FHandle);
    }
    THandle(const THandle&) = delete;
    THandle& operator=(const THandle&) = delete;
    HANDLE Get() const { return FHandle; }
    bool Valid() const { return FHandle != INVALID_HANDLE_VALUE; }

private:
    HANDLE FHandle;
};

bool IsAbsolute(const std::wstring& plain)
{
    return (plain.size() >= 3 && plain[1] == L':' && plain[2] == L'\\') || plain.rfind(L"\\\\", 0) == 0;
}

struct TFileId
{
    DWORD Volume = 0;
    DWORD High = 0;
    DWORD Low = 0;
    bool operator==(const TFileId&) const = default;
};

// The identity of what a name opens; false when it opens nothing that has one (a device).
bool FileIdOf(const std::wstring& name, TFileId& id)
{
    // No access asked and the entry itself opened (a link is not followed): nothing is read, and
    // nobody else's use of the file is disturbed.
    THandle h(::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.Valid() || ::GetFileType(h.Get()) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h.Get(), &info))
        return false;
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

bool Exists(const std::string& path)
{
    return ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring LowerExtension(const std::wstring& name)
{
    const std::size_t slash = name.find_last_of(L"\\/");
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash))
        return {};
    std::wstring ext = name.substr(dot);
    for (wchar_t& c : ext)
        c = static_cast<wchar_t>(std::towlower(c));
    return ext;
}

std::wstring FileName(const std::wstring& plain)
{
    const std::size_t slash = plain.find_last_of(L"\\/");
    return slash == std::wstring::npos ? plain : plain.substr(slash + 1);
}

// Files whose icon lives in the file itself: asked one by one, never answered from the cache.
bool CarriesOwnIcon(const std::wstring& ext)
{
    static const wchar_t* const Own[] = {L".exe", L".lnk", L".ico", L".cur", L".ani", L".scr", L".url", L".cpl"};
    return std::any_of(std::begin(Own), std::end(Own), [&](const wchar_t* e) { return ext == e; });
}

bool DeleteWithFileOperation(HWND owner, const std::vector<std::wstring>& paths, bool confirm)
{
    TComPtr<IFileOperation> op;
    if (FAILED(::CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation,
                                  reinterpret_cast<void**>(op.Out()))))
        return false;
    DWORD flags = FOF_ALLOWUNDO | FOFX_RECYCLEONDELETE;
    if (!confirm)
        flags |= FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    if (op->SetOperationFlags(flags) == E_NOTIMPL)
        return false;
    if (owner)
        op->SetOwnerWindow(owner);
    for (const std::wstring& path : paths) {
        TComPtr<IShellItem> item;
        if (FAILED(::SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem, reinterpret_cast<void**>(item.Out()))))
            continue; // it stays, and is counted as not moved
        if (op->DeleteItem(item.Get(), nullptr) == E_NOTIMPL)
            return false;
    }
    return op->PerformOperations() != E_NOTIMPL;
}

void DeleteWithShFileOperation(HWND owner, const std::vector<std::wstring>& paths, bool confirm)
{
    // One block of NUL-terminated paths ended by one more NUL.
    std::wstring from;
    for (const std::wstring& path : paths) {
        from += path;
        from += L'\0';
    }
    from += L'\0';
    SHFILEOPSTRUCTW op{};
    op.hwnd = owner;
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO;
    if (!confirm)
        op.fFlags |= FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    ::SHFileOperationW(&op); // what happened is read from the files afterwards
}

bool Execute(HWND owner, const wchar_t* verb, const std::wstring& file, int show, ULONG mask = 0)
{
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.fMask = mask | SEE_MASK_NOASYNC;
    sei.hwnd = owner;
    sei.lpVerb = verb;
    sei.lpFile = file.c_str();
    sei.nShow = show;
    return ::ShellExecuteExW(&sei) != FALSE;
}

} // namespace

std::wstring PlainPath(const std::string& path)
{
    std::wstring wide = Wide(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    if (wide.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + wide.substr(8);
    if (wide.rfind(L"\\\\?\\", 0) == 0)
        return wide.substr(4);
    return wide;
}

std::string ShellPathRefusal(const std::string& path)
{
    const std::wstring plain = PlainPath(path);
    if (!IsAbsolute(plain))
        return "not a full path";
    TFileId exact, shell;
    if (!FileIdOf(WidePath(path), exact))
        return "no such file";
    if (plain.size() >= MAX_PATH)
        return "the path is too long for the shell";
    if (!FileIdOf(plain, shell) || !(shell == exact))
        return "the shell would reach another file by this name";
    return {};
}

TDeleteResult DeleteFiles(HWND owner, const std::vector<std::string>& paths, bool confirm)
{
    TDeleteResult result;
    if (paths.empty())
        return result;
    std::vector<std::wstring> accepted;
    for (const std::string& path : paths) {
        std::string refusal = ShellPathRefusal(path);
        if (refusal.empty())
            accepted.push_back(PlainPath(path));
        else
            result.Refused.emplace_back(path, std::move(refusal));
    }
    if (!accepted.empty() && !DeleteWithFileOperation(owner, accepted, confirm))
        DeleteWithShFileOperation(owner, accepted, confirm);
    result.NotMoved = static_cast<int>(std::count_if(paths.begin(), paths.end(), Exists));
    return result;
}

bool OpenDocument(HWND owner, const std::string& path)
{
    return ShellPathRefusal(path).empty() && Execute(owner, nullptr, PlainPath(path), SW_SHOWNORMAL);
}

bool OpenFolder(HWND owner, const std::string& path)
{
    if (!ShellPathRefusal(path).empty())
        return false;
    const std::wstring plain = PlainPath(path);
    if (PIDLIST_ABSOLUTE item = ::ILCreateFromPathW(plain.c_str())) {
        const HRESULT hr = ::SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
        ::ILFree(item);
        if (SUCCEEDED(hr))
            return true;
    }
    const std::size_t slash = plain.find_last_of(L'\\');
    std::wstring folder = plain.substr(0, slash + 1);
    return Execute(owner, L"open", folder, SW_SHOWNORMAL);
}

bool OpenAddress(HWND owner, const std::string& address)
{
    return Execute(owner, nullptr, Wide(address), SW_SHOWNOACTIVATE);
}

bool ShowFileProperties(HWND owner, const std::string& path)
{
    if (!ShellPathRefusal(path).empty())
        return false;
    const std::wstring plain = PlainPath(path);
    if (::SHObjectProperties(owner, SHOP_FILEPATH, plain.c_str(), nullptr))
        return true;
    return Execute(owner, L"properties", plain, SW_SHOWNORMAL, SEE_MASK_INVOKEIDLIST);
}

std::string GetFileTypeName(const std::string& path, bool isFolder)
{
    static std::map<std::wstring, std::string> cache;
    const std::wstring name = FileName(PlainPath(path));
    // A folder's type does not depend on its name; "*" can begin no extension.
    const std::wstring key = isFolder ? std::wstring(L"*folder") : LowerExtension(name);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    SHFILEINFOW info{};
    const std::wstring probe = isFolder ? std::wstring(L"folder") : L"file" + key;
    std::string type;
    if (::SHGetFileInfoW(probe.c_str(), isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                         SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES))
        type = Narrow(info.szTypeName);
    cache.emplace(key, type);
    return type;
}

HIMAGELIST GetSystemImageList(bool small)
{
    SHFILEINFOW info{};
    return reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(L"", 0, &info, sizeof info, SHGFI_SYSICONINDEX | (small ? SHGFI_SMALLICON : SHGFI_LARGEICON)));
}

int GetFileIconIndex(const std::string& path, bool isFolder)
{
    static std::map<std::wstring, int> cache;
    const std::wstring plain = PlainPath(path);
    const std::wstring ext = isFolder ? std::wstring(L"*folder") : LowerExtension(FileName(plain));
    SHFILEINFOW info{};
    constexpr UINT Flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
    if (!isFolder && CarriesOwnIcon(ext) && ShellPathRefusal(path).empty())
        return ::SHGetFileInfoW(plain.c_str(), 0, &info, sizeof info, Flags) ? info.iIcon : -1;
    if (auto it = cache.find(ext); it != cache.end())
        return it->second;
    const std::wstring probe = isFolder ? std::wstring(L"folder") : L"file" + ext;
    const int index = ::SHGetFileInfoW(probe.c_str(), isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, &info,
                                       sizeof info, Flags | SHGFI_USEFILEATTRIBUTES)
                          ? info.iIcon
                          : -1;
    cache.emplace(ext, index);
    return index;
}

bool CreateShortcut(const std::string& target, const std::string& shortcutFile, const std::string& description,
                    int iconIndex, const std::string& arguments)
{
    TComPtr<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(link.Out()));
    if (FAILED(hr))
        throw EShellError("Cannot create the shell-link object (error " + std::to_string(static_cast<long>(hr)) + ")");
    const std::wstring plainTarget = PlainPath(target);
    link->SetArguments(Wide(arguments).c_str());
    link->SetDescription(Wide(description).c_str());
    link->SetPath(plainTarget.c_str());
    link->SetIconLocation(plainTarget.c_str(), iconIndex);
    TComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()))))
        return false;
    return SUCCEEDED(file->Save(PlainPath(shortcutFile).c_str(), FALSE));
}

std::string ShortcutTarget(const std::string& shortcutFile)
{
    TComPtr<IShellLinkW> link;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(link.Out()))))
        return {};
    TComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Out()))) ||
        FAILED(file->Load(PlainPath(shortcutFile).c_str(), STGM_READ)))
        return {};
    wchar_t target[32768];
    if (link->GetPath(target, 32768, nullptr, SLGP_RAWPATH) != S_OK)
        return {};
    return Narrow(target);
}

} // namespace trovex::win32
