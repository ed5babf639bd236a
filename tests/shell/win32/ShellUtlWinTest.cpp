// SPDX-License-Identifier: MIT
// The Windows shell services against the real shell of the wine prefix: the Recycle Bin, an
// association started by ShellExecuteEx, type names and icons, shortcut files, the clipboard, and
// install/uninstall of the Start-menu shortcuts and the folder commands.
#include "shell/win32/DropSource.h"
#include "shell/win32/Install.h"
#include "shell/win32/ShellUtl.h"

#include "platform/win32/Wide.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include "support/TempTree.h"

using namespace trovex::win32;
using trovex::test::TTempTree;

namespace
{

class ShellWinTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override { ::OleUninitialize(); }
};

bool Exists(const std::string& path)
{
    return ::GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(std::filesystem::path(WidePath(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Makes a file by its exact name, which the plain API would cut ("trail." becomes "trail").
void MakeExact(const std::string& path, const std::string& bytes)
{
    HANDLE h = ::CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(h);
}

std::optional<std::wstring> ReadDefault(HKEY root, const std::wstring& key)
{
    wchar_t text[1024];
    DWORD size = sizeof text;
    if (::RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(text);
}

// Waits for a file another process writes; gives up after `seconds`.
bool WaitForFile(const std::string& path, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (Exists(path) && !ReadAll(path).empty())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// The trash wine moves deleted files to: $XDG_DATA_HOME/Trash, which the test entry points at a
// folder of the build, reached through wine's drive for the Unix root.
std::string TrashFiles()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (!data || data[0] != '/')
        return {};
    std::string path = std::string("Z:") + data + "/Trash/files/";
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

} // namespace

// The plain form of a name the shell would read as another file is refused, so nothing acts on
// the other file: "trail." beside "trail" must never delete "trail".
TEST_F(ShellWinTest, PathsTheShellWouldMisreadAreRefused)
{
    TTempTree tree;
    const std::string plain = tree.AddFile("plain.txt", "x");
    const std::string other = tree.AddFile("trail", "the other file");
    const std::string dotted = tree.Path("trail.");
    MakeExact(dotted, "the chosen file");
    const std::string lone = tree.Path("alone.");
    MakeExact(lone, "y");
    std::string longPath = tree.Root();
    std::vector<std::string> longFolders;
    while (longPath.size() < MAX_PATH + 10) {
        longPath += "deep-folder-name";
        ASSERT_TRUE(::CreateDirectoryW(WidePath(longPath).c_str(), nullptr)) << longPath;
        longFolders.push_back(longPath);
        longPath += "\\";
    }
    const std::string longFile = longPath + "long.txt";
    MakeExact(longFile, "z");

    struct Case { std::string path; bool accepted; };
    const Case cases[] = {
        {plain, true},
        {trovex::test::Slashed(plain), true}, // forward slashes name the same file
        {dotted, false},
        {lone, false},
        {tree.Path("missing.txt"), false},
        {"plain.txt", false},
        {longFile, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(ShellPathRefusal(c.path).empty(), c.accepted) << ShellPathRefusal(c.path);
    }
    // Removed here by their extended names: the tree's own cleanup takes only short paths.
    ::DeleteFileW(WidePath(longFile).c_str());
    for (auto it = longFolders.rbegin(); it != longFolders.rend(); ++it)
        ::RemoveDirectoryW(WidePath(*it).c_str());

    TDeleteResult result = DeleteFiles(nullptr, {dotted, lone}, false);
    EXPECT_EQ(result.NotMoved, 2);
    ASSERT_EQ(result.Refused.size(), 2u);
    EXPECT_EQ(result.Refused[0].first, dotted);
    EXPECT_EQ(ReadAll(other), "the other file");
    EXPECT_EQ(ReadAll(dotted), "the chosen file");
    EXPECT_FALSE(OpenDocument(nullptr, dotted));
    EXPECT_FALSE(OpenFolder(nullptr, dotted));
    EXPECT_FALSE(ShowFileProperties(nullptr, dotted));
    TDropFileSource source;
    source.SetFiles({plain, dotted});
    EXPECT_FALSE(source.ClipboardCopy());
    EXPECT_NE(source.LastError().find(dotted), std::string::npos);
    for (const std::string& exact : {dotted, lone})
        ::DeleteFileW(WidePath(exact).c_str());
}

// Deleting moves files and folders to the Recycle Bin (wine's is the desktop's trash), names
// beyond ASCII included; an empty list does nothing and says so.
TEST_F(ShellWinTest, DeleteFilesMovesToTheRecycleBin)
{
    const std::string trash = TrashFiles();
    if (trash.empty())
        GTEST_SKIP() << "XDG_DATA_HOME is not set to a folder of the test";
    // The test's own trash starts empty: a name met there already would be stored under another.
    // Its data folder exists, as a desktop's does: wine makes the trash in it, but not the folder.
    const std::filesystem::path trashRoot = std::filesystem::path(Wide(trash)).parent_path().parent_path();
    std::error_code ignored;
    std::filesystem::remove_all(trashRoot, ignored);
    std::filesystem::create_directories(trashRoot.parent_path(), ignored);
    TTempTree tree;
    const std::string file = tree.AddFile("Ελληνικά-recycled.txt", "a");
    const std::string folder = tree.AddFolder("recycled-folder");
    tree.AddFile("recycled-folder/inner.txt", "b");
    const std::string kept = tree.AddFile("kept.txt", "c");

    EXPECT_EQ(DeleteFiles(nullptr, {}, false).NotMoved, -1);
    TDeleteResult result = DeleteFiles(nullptr, {file, folder}, false);
    EXPECT_EQ(result.NotMoved, 0);
    EXPECT_TRUE(result.Refused.empty());
    EXPECT_FALSE(Exists(file));
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(Exists(kept));
    EXPECT_TRUE(Exists(trash + "Ελληνικά-recycled.txt"));
    EXPECT_TRUE(Exists(trash + "recycled-folder\\inner.txt"));
}

// Open starts the program associated with the file's type on exactly that file, a name with
// blanks passed whole. The association goes to HKEY_CLASSES_ROOT itself: wine's shell does not
// read the current user's classes.
TEST_F(ShellWinTest, OpenDocumentStartsTheAssociatedProgramOnTheFile)
{
    TTempTree tree;
    const std::string doc = tree.AddFile("with blanks é.trovextest", "contents of the opened file");
    const std::string marker = tree.Path("opened.out");
    const std::wstring command = L"cmd.exe /c copy /y \"%1\" \"" + Wide(marker) + L"\"";
    auto setDefault = [&](const std::wstring& key, const std::wstring& text) {
        HKEY h = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                                    nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(h);
    };
    setDefault(L".trovextest", L"TrovexTest.Document");
    setDefault(L"TrovexTest.Document\\shell\\open\\command", command);

    ASSERT_TRUE(OpenDocument(nullptr, doc));
    EXPECT_TRUE(WaitForFile(marker, 20)) << "the associated program did not run";
    EXPECT_EQ(ReadAll(marker), "contents of the opened file");

    for (const wchar_t* key : {L"TrovexTest.Document", L".trovextest"}) {
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key);
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, key);
    }
}

// Type names and icon indexes are the shell's own answers for the real file, though asked by name
// only and cached by extension in either case; a folder is told apart from a file.
TEST_F(ShellWinTest, TypeNamesAndIconsAreTheShells)
{
    TTempTree tree;
    struct Case { const char* name; };
    const Case cases[] = {{"a.txt"}, {"B.TXT"}, {"c.html"}, {"no-extension"}, {"d.bmp"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tree.AddFile(c.name, "x");
        SHFILEINFOW info{};
        ASSERT_NE(::SHGetFileInfoW(Wide(path).c_str(), 0, &info, sizeof info, SHGFI_TYPENAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON), 0u);
        EXPECT_EQ(GetFileTypeName(path), Narrow(info.szTypeName));
        EXPECT_EQ(GetFileIconIndex(path), info.iIcon);
    }
    const std::string folder = tree.AddFolder("sub.txt");
    SHFILEINFOW info{};
    ::SHGetFileInfoW(Wide(folder).c_str(), 0, &info, sizeof info, SHGFI_TYPENAME);
    EXPECT_EQ(GetFileTypeName(folder, true), Narrow(info.szTypeName));
    EXPECT_NE(GetFileTypeName(folder, true), GetFileTypeName(tree.Path("a.txt")));
    EXPECT_NE(GetSystemImageList(true), nullptr);
}

// A shortcut saved by CreateShortcut reads back, through the shell-link object, with its target,
// arguments, description and icon; a second save replaces the first.
TEST_F(ShellWinTest, ShortcutsCarryWhatTheyWereGiven)
{
    TTempTree tree;
    const std::string target = tree.AddFile("prog ü.exe", "MZ");
    const std::string link = tree.Path("Marlix.lnk");
    ASSERT_TRUE(CreateShortcut(target, link, "first", 0, "-x"));
    ASSERT_TRUE(CreateShortcut(target, link, "Uninstall File Trovex", 1, "-u"));

    IShellLinkW* shell = nullptr;
    ASSERT_TRUE(SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                             reinterpret_cast<void**>(&shell))));
    IPersistFile* file = nullptr;
    ASSERT_TRUE(SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))));
    ASSERT_TRUE(SUCCEEDED(file->Load(Wide(link).c_str(), STGM_READ)));
    wchar_t text[MAX_PATH];
    int icon = -1;
    shell->GetArguments(text, MAX_PATH);
    EXPECT_EQ(Narrow(text), "-u");
    shell->GetDescription(text, MAX_PATH);
    EXPECT_EQ(Narrow(text), "Uninstall File Trovex");
    shell->GetIconLocation(text, MAX_PATH, &icon);
    EXPECT_EQ(icon, 1);
    file->Release();
    shell->Release();
    EXPECT_EQ(ShortcutTarget(link), target);
}

// Copy puts exactly two things on the clipboard: the files as CF_HDROP with wide names, which the
// system's own DragQueryFile reads back whole, and the preferred effect, copy or move.
TEST_F(ShellWinTest, ClipboardCarriesTheFilesAndThePreferredEffect)
{
    TTempTree tree;
    const std::vector<std::string> files = {tree.AddFile("中文 😀.txt", "a"), tree.AddFile("sub/b.txt", "b")};
    const UINT preferred = ::RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT);
    struct Case { bool cut; DWORD effect; };
    for (const Case c : {Case{false, DROPEFFECT_COPY}, Case{true, DROPEFFECT_MOVE}}) {
        SCOPED_TRACE(c.cut ? "cut" : "copy");
        TDropFileSource source;
        source.SetFiles(files);
        ASSERT_TRUE(c.cut ? source.ClipboardCut() : source.ClipboardCopy()) << source.LastError();
        EXPECT_EQ(source.CurrentEffect(), c.effect);

        ASSERT_TRUE(::OpenClipboard(nullptr));
        auto drop = static_cast<HDROP>(::GetClipboardData(CF_HDROP));
        ASSERT_NE(drop, nullptr);
        ASSERT_EQ(::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0), files.size());
        for (UINT i = 0; i < files.size(); ++i) {
            wchar_t name[MAX_PATH];
            ::DragQueryFileW(drop, i, name, MAX_PATH);
            EXPECT_EQ(Narrow(name), files[i]);
        }
        HANDLE effect = ::GetClipboardData(preferred);
        ASSERT_NE(effect, nullptr);
        EXPECT_EQ(*static_cast<const DWORD*>(::GlobalLock(effect)), c.effect);
        ::GlobalUnlock(effect);
        EXPECT_EQ(::CountClipboardFormats() >= 2, true);
        ::CloseClipboard();
    }
    TDropFileSource empty;
    EXPECT_FALSE(empty.ClipboardCopy());
}

// Install writes the shortcuts and the folder commands Explorer reads; uninstall removes exactly
// those, leaving a person's own file in the program group, a command another program put under
// the same name, and a shortcut of the same name that leads elsewhere.
TEST_F(ShellWinTest, UninstallRemovesExactlyWhatInstallMade)
{
    TTempTree tree;
    const std::string exe = tree.AddFile("app folder\\trovex.exe", "MZ");
    const std::string foreignExe = tree.AddFile("other\\notepad.exe", "MZ");
    const TShellEntryLocations where = TShellEntryLocations::Under(tree.AddFolder("Start Menu"), tree.AddFolder("Programs"));

    Install(exe, where);
    Install(exe, where); // twice: one set of entries, the second overwriting the first
    EXPECT_EQ(ShortcutTarget(where.StartMenuLink), exe);
    EXPECT_EQ(ShortcutTarget(where.GroupMainLink), exe);
    EXPECT_EQ(ShortcutTarget(where.GroupUninstallLink), exe);
    const std::wstring command = Wide("\"" + exe + "\" -F \"%l\"");
    EXPECT_EQ(ReadDefault(HKEY_CURRENT_USER, Wide(DirectoryCommandKey)), L"File Trovex...");
    EXPECT_EQ(ReadDefault(HKEY_CURRENT_USER, Wide(std::string(DirectoryCommandKey) + "\\command")), command);
    EXPECT_EQ(ReadDefault(HKEY_CURRENT_USER, Wide(std::string(DriveCommandKey) + "\\command")), command);

    // Unchecking "Add link to Main menu" takes only the Start-menu shortcut; checking it again
    // makes it again, and leaves a shortcut that is there as it is.
    UpdateMainMenuLink(false, exe, where);
    EXPECT_FALSE(Exists(where.StartMenuLink));
    EXPECT_TRUE(Exists(where.GroupMainLink));
    UpdateMainMenuLink(true, exe, where);
    EXPECT_EQ(ShortcutTarget(where.StartMenuLink), exe);

    // What is not ours: a person's file in the group, a Drive command of another program, and a
    // Start-menu shortcut of our name that leads to another program.
    const std::string own = where.ProgramGroup + "\\notes.txt";
    MakeExact(own, "mine");
    UpdateShellMenu(false, exe);
    EXPECT_FALSE(ReadDefault(HKEY_CURRENT_USER, Wide(DirectoryCommandKey)).has_value());
    UpdateShellMenu(true, exe);
    HKEY h = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(std::string(DriveCommandKey) + "\\command").c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    const std::wstring foreign = L"\"C:\\other\\tool.exe\" \"%1\"";
    ::RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(foreign.c_str()),
                     static_cast<DWORD>((foreign.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
    ASSERT_TRUE(CreateShortcut(foreignExe, where.StartMenuLink, "not ours", 0));

    ASSERT_EQ(ReadDefault(HKEY_CURRENT_USER, Wide(std::string(DriveCommandKey) + "\\command")), foreign);
    Uninstall(exe, where);
    EXPECT_TRUE(Exists(where.StartMenuLink));
    EXPECT_EQ(ShortcutTarget(where.StartMenuLink), foreignExe);
    EXPECT_FALSE(Exists(where.GroupMainLink));
    EXPECT_FALSE(Exists(where.GroupUninstallLink));
    EXPECT_EQ(ReadAll(own), "mine");
    EXPECT_TRUE(Exists(where.ProgramGroup)); // not empty: it stays
    EXPECT_FALSE(ReadDefault(HKEY_CURRENT_USER, Wide(std::string(DirectoryCommandKey) + "\\command")).has_value());
    EXPECT_EQ(ReadDefault(HKEY_CURRENT_USER, Wide(std::string(DriveCommandKey) + "\\command")), foreign);
    EXPECT_TRUE(Exists(exe));
    HKEY program = nullptr;
    EXPECT_NE(::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(ProgramKey).c_str(), 0, KEY_READ, &program), ERROR_SUCCESS);

    ::RegDeleteTreeW(HKEY_CURRENT_USER, Wide(DriveCommandKey).c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, Wide(DriveCommandKey).c_str());

    // A second install into the emptied group and uninstall: the folders install made go too.
    ::DeleteFileW(WidePath(own).c_str());
    ::DeleteFileW(WidePath(where.StartMenuLink).c_str());
    ::RemoveDirectoryW(WidePath(where.ProgramGroup).c_str());
    ::RemoveDirectoryW(WidePath(where.MakerGroup).c_str());
    Install(exe, where);
    Uninstall(exe, where);
    EXPECT_FALSE(Exists(where.ProgramGroup));
    EXPECT_FALSE(Exists(where.MakerGroup));
    EXPECT_FALSE(Exists(where.StartMenuLink));
}
