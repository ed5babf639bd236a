// SPDX-License-Identifier: MIT
// The Windows result list as a person meets it: hosted in a window of the test's own, filled with
// rows of real files, driven by real mouse and keyboard input, and checked through what the list,
// its header, its menu, its message boxes, the clipboard and the file system show. Run on a
// virtual display by run-window-test.sh; every wait has a limit.
#include "winapp/ResultList.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/win32/Wide.h"
#include "support/TempTree.h"
#include "window/Layout.h"

using namespace trovex;
using namespace trovex::win32;
using trovex::test::TTempTree;

namespace
{

constexpr int ListId = 10;
constexpr UINT WM_PROBE = WM_APP + 1;

// Pumps this thread's messages until `done` holds or `milliseconds` have passed.
template <class Predicate> bool PumpUntil(Predicate done, int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void Pump(int milliseconds)
{
    PumpUntil([] { return false; }, milliseconds);
}

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    return name;
}

void SendKeys(std::initializer_list<WORD> held, WORD key)
{
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    for (WORD vk : held)
        add(vk, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    for (auto it = std::rbegin(held); it != std::rend(held); ++it)
        add(*it, KEYEVENTF_KEYUP);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

enum TClick { ckLeft, ckRight, ckDouble };

// A click at a screen point through the input queue, as a mouse would make it.
void Click(POINT at, TClick kind = ckLeft, std::initializer_list<WORD> held = {})
{
    const int width = ::GetSystemMetrics(SM_CXSCREEN) - 1;
    const int height = ::GetSystemMetrics(SM_CYSCREEN) - 1;
    std::vector<INPUT> inputs;
    auto key = [&](WORD vk, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    auto mouse = [&](DWORD flags) {
        INPUT input{};
        input.type = INPUT_MOUSE;
        input.mi.dx = ::MulDiv(at.x, 65535, width);
        input.mi.dy = ::MulDiv(at.y, 65535, height);
        input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | flags;
        inputs.push_back(input);
    };
    for (WORD vk : held)
        key(vk, 0);
    mouse(MOUSEEVENTF_MOVE);
    const DWORD down = kind == ckRight ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    const DWORD up = kind == ckRight ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    for (int i = 0; i < (kind == ckDouble ? 2 : 1); ++i) {
        mouse(down);
        mouse(up);
    }
    for (auto it = std::rbegin(held); it != std::rend(held); ++it)
        key(*it, KEYEVENTF_KEYUP);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Answers the modal windows the test thread opens (message boxes, the shell's question, popup
// menus) from a thread of its own, since the test thread is inside their modal loop meanwhile.
// `answer` gets each new one; a window still open a while later is answered again.
class TModalWatcher
{
public:
    using TAnswer = std::function<void(HWND window)>;
    TModalWatcher(DWORD threadId, TAnswer answer) : FThreadId(threadId), FAnswer(std::move(answer))
    {
        FThread = std::thread([this] { Run(); });
    }
    ~TModalWatcher()
    {
        FStop = true;
        FThread.join();
    }
    int Answered() const { return FAnswered; }

private:
    void Run()
    {
        HWND last = nullptr;
        auto lastTime = std::chrono::steady_clock::now();
        while (!FStop) {
            HWND found = nullptr;
            ::EnumThreadWindows(
                FThreadId,
                [](HWND hwnd, LPARAM param) -> BOOL {
                    const std::wstring cls = ClassOf(hwnd);
                    if ((cls == L"#32770" || cls == L"#32768") && ::IsWindowVisible(hwnd)) {
                        *reinterpret_cast<HWND*>(param) = hwnd;
                        return FALSE;
                    }
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(&found));
            const auto now = std::chrono::steady_clock::now();
            if (found && !FStop && (found != last || now - lastTime > std::chrono::milliseconds(1500))) {
                // A moment for the window to be mapped and take the focus before keys reach it.
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                FAnswer(found);
                ++FAnswered;
                last = found;
                lastTime = std::chrono::steady_clock::now();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    }

    DWORD FThreadId;
    TAnswer FAnswer;
    std::atomic<bool> FStop{false};
    std::atomic<int> FAnswered{0};
    std::thread FThread;
};

// The texts of a dialog's static controls, as the person reads them.
std::wstring DialogText(HWND dialog)
{
    std::wstring text;
    ::EnumChildWindows(
        dialog,
        [](HWND child, LPARAM param) -> BOOL {
            if (ClassOf(child) == L"Static") {
                wchar_t buffer[2048] = {};
                DWORD_PTR ignored = 0;
                ::SendMessageTimeoutW(child, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 500,
                                      &ignored);
                *reinterpret_cast<std::wstring*>(param) += buffer;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    return text;
}

// Presses Enter on a dialog; when keys do not reach it, its default button.
void AcceptDialog(HWND dialog)
{
    ::SetForegroundWindow(dialog);
    SendKeys({}, VK_RETURN);
    for (int i = 0; i < 40 && ::IsWindow(dialog); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    if (::IsWindow(dialog)) {
        // With a time limit: the test thread may be waiting for this thread by then.
        DWORD_PTR id = 0;
        ::SendMessageTimeoutW(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 500, &id);
        ::PostMessageW(dialog, WM_COMMAND, HIWORD(id) == DC_HASDEFID ? LOWORD(id) : IDOK, 0);
    }
}

struct TMessages
{
    std::mutex Lock;
    std::vector<std::wstring> Texts;
    void Add(std::wstring text)
    {
        std::lock_guard<std::mutex> guard(Lock);
        Texts.push_back(std::move(text));
    }
    std::vector<std::wstring> All()
    {
        std::lock_guard<std::mutex> guard(Lock);
        return Texts;
    }
};

class TTestHost : public TResultListHost
{
public:
    HWND Window = nullptr;
    bool Reports = true;
    TReportFields Fields;
    std::vector<std::string> SaveNames; // answers of the save dialog, first first
    std::vector<std::string> Opened;    // the reports handed to the person, in order

    std::string Translate(const std::string& text) const override { return text; }
    void ShowError(const std::string& message) override
    {
        ::MessageBoxW(Window, Wide(message).c_str(), L"Error", MB_OK | MB_ICONERROR);
    }
    bool AskOkCancel(const std::string& message) override
    {
        return ::MessageBoxW(Window, Wide(message).c_str(), L"Info", MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
    }
    TReportFields ReportFields() const override { return Fields; }
    bool ReportsEnabled() const override { return Reports; }
    std::string SaveFolder() const override { return {}; }
    int FoundCount() const override { return 4242; }
    // A viewer the shell would start is not the test's to drive: the report handed over is noted.
    void OpenReport(HWND, const std::string& fileName) override { Opened.push_back(fileName); }
    std::string AskSaveFileName(HWND, const std::string&, const std::string&) override
    {
        if (SaveNames.empty())
            return {};
        std::string name = SaveNames.front();
        SaveNames.erase(SaveNames.begin());
        return name;
    }
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

TFindFileInfo InfoOf(const std::string& path)
{
    TFindFileInfo info;
    info.FileName = path;
    info.Name = path.substr(path.find_last_of("\\/") + 1);
    EXPECT_TRUE(ReadFindData(path, info.FindData)) << path;
    info.Attr = info.FindData.Attributes;
    info.FoundForm = "name";
    return info;
}

class ResultListTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
        WNDCLASSW wc{};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = L"TResultListTestHost";
        ::RegisterClassW(&wc);
        FWindow = ::CreateWindowExW(0, wc.lpszClassName, L"Result list test", WS_OVERLAPPEDWINDOW, 40, 40, 760, 480,
                                    nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(FWindow, nullptr);
        FHost.Window = FWindow;
        FList = std::make_unique<TResultList>(FWindow, ListId, FHost);
        Current = this;
        RECT client{};
        ::GetClientRect(FWindow, &client);
        ::MoveWindow(FList->Handle(), 0, 0, client.right, client.bottom, TRUE);
        ::ShowWindow(FWindow, SW_SHOW);
        ::SetForegroundWindow(FWindow);
        ::SetFocus(FList->Handle());
        RECT list{};
        ::GetWindowRect(FList->Handle(), &list);
        const POINT center{(list.left + list.right) / 2, (list.top + list.bottom) / 2};
        ASSERT_TRUE(PumpUntil([&] { return ::WindowFromPoint(center) == FList->Handle(); }, 10000))
            << "the list is not on the screen";
    }

    void TearDown() override
    {
        FList.reset();
        if (FWindow)
            ::DestroyWindow(FWindow);
        Current = nullptr;
        Pump(50);
        ::OleUninitialize();
    }

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        ResultListTest* test = Current;
        if (test && test->FList) {
            LRESULT result = 0;
            if (message == WM_NOTIFY && test->FList->HandleNotify(reinterpret_cast<NMHDR*>(lParam), result))
                return result;
            if (message == WM_COMMAND && test->FList->HandleCommand(LOWORD(wParam)))
                return 0;
            if (message == WM_PROBE) {
                test->FProbePending = test->FList->SortPending();
                test->FProbed = true;
                return 0;
            }
        }
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }

    void AddRows(const std::vector<std::string>& paths)
    {
        for (const std::string& path : paths)
            FList->Rows().Append(InfoOf(path));
        FList->RowsAppended();
    }

    // The texts of a column in the order the list shows them.
    std::vector<std::string> Column(int column, int limit = -1) const
    {
        std::vector<std::string> texts;
        int count = static_cast<int>(::SendMessageW(FList->Handle(), LVM_GETITEMCOUNT, 0, 0));
        if (limit >= 0)
            count = std::min(count, limit);
        for (int row = 0; row < count; ++row) {
            wchar_t text[1024] = {};
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = 1024;
            ::SendMessageW(FList->Handle(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            texts.push_back(Narrow(text));
        }
        return texts;
    }

    std::vector<std::string> ShownPaths() const
    {
        std::vector<std::string> folders = Column(TResultRows::rcFolder), names = Column(TResultRows::rcName);
        for (std::size_t i = 0; i < names.size(); ++i)
            folders[i] += names[i];
        return folders;
    }

    HWND Header() const { return reinterpret_cast<HWND>(::SendMessageW(FList->Handle(), LVM_GETHEADER, 0, 0)); }

    // The sort arrows of the header: 0 none, 1 up, -1 down, per column.
    std::vector<int> Arrows() const
    {
        std::vector<int> arrows;
        for (int i = 0; i < TResultRows::ColumnCount; ++i) {
            HDITEMW item{};
            item.mask = HDI_FORMAT;
            ::SendMessageW(Header(), HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
            arrows.push_back((item.fmt & HDF_SORTUP) ? 1 : (item.fmt & HDF_SORTDOWN) ? -1 : 0);
        }
        return arrows;
    }

    POINT HeaderPoint(int column) const
    {
        RECT rect{};
        ::SendMessageW(Header(), HDM_GETITEMRECT, column, reinterpret_cast<LPARAM>(&rect));
        POINT at{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        ::ClientToScreen(Header(), &at);
        return at;
    }

    POINT RowPoint(int row) const
    {
        RECT rect{};
        rect.left = LVIR_LABEL;
        ::SendMessageW(FList->Handle(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        POINT at{rect.left + 10, (rect.top + rect.bottom) / 2};
        ::ClientToScreen(FList->Handle(), &at);
        return at;
    }

    // Clicks a row, extending the selection with Ctrl held.
    void ClickRow(int row, bool extend = false, TClick kind = ckLeft)
    {
        if (extend)
            Click(RowPoint(row), kind, {VK_CONTROL});
        else
            Click(RowPoint(row), kind);
        Pump(150);
    }

    void SelectByClicks(const std::vector<int>& rows)
    {
        for (std::size_t i = 0; i < rows.size(); ++i)
            ClickRow(rows[i], i > 0);
        ASSERT_TRUE(PumpUntil([&] { return FList->SelectedRows() == rows; }, 3000))
            << "the clicks selected " << ::testing::PrintToString(FList->SelectedRows());
    }

    void Press(std::initializer_list<WORD> held, WORD key)
    {
        ::SetFocus(FList->Handle());
        SendKeys(held, key);
    }

    static ResultListTest* Current;
    TTestHost FHost;
    HWND FWindow = nullptr;
    std::unique_ptr<TResultList> FList;
    bool FProbed = false;
    bool FProbePending = false;
};

ResultListTest* ResultListTest::Current = nullptr;

// The files the sort cases use. Every column orders them differently, and the byte order of the
// names, folders and extensions differs from their order with case folded:
//   a\beta.log    10 bytes  2003
//   b\Alpha.TXT   30 bytes  2001
//   c\delta.dat   40 bytes  2000
//   d\Gamma.csv   20 bytes  2002
struct TSortFile
{
    std::string Rel;
    std::size_t Size;
    int Year;
};
const std::vector<TSortFile> SortFiles = {
    {"a/beta.log", 10, 2003}, {"b/Alpha.TXT", 30, 2001}, {"c/delta.dat", 40, 2000}, {"d/Gamma.csv", 20, 2002}};

// The popup menu's command of the item named `name`.
UINT MenuCommand(std::string_view name)
{
    const auto menu = ListMenu();
    for (std::size_t i = 0; i < menu.size(); ++i)
        if (menu[i].Name == name)
            return static_cast<UINT>(TResultList::CommandBase + static_cast<int>(i));
    ADD_FAILURE() << "no menu item " << name;
    return 0;
}

std::string Folded(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

// A click on a title sorts by that column, ascending, a second click descending, with the arrow
// on that title only: names, folders and types with case folded, dates and sizes by value.
TEST_F(ResultListTest, ClickingATitleSortsByItsColumnBothWays)
{
    TTempTree tree;
    std::vector<std::string> paths;
    for (const TSortFile& file : SortFiles) {
        paths.push_back(tree.AddFile(file.Rel, std::string(file.Size, 'x')));
        tree.SetTime(file.Rel, test::LocalTime(file.Year, 6, 1, 12));
    }
    AddRows(paths);
    // What each column sorts by, taken from the files themselves.
    auto key = [&](int column, std::size_t i) -> std::string {
        const std::string rel = SortFiles[i].Rel;
        const std::string name = rel.substr(rel.find('/') + 1);
        char number[32];
        switch (column) {
        case TResultRows::rcName: return Folded(name);
        case TResultRows::rcFolder: return Folded(rel.substr(0, 1));
        case TResultRows::rcType: return Folded(name.substr(name.find('.') + 1));
        case TResultRows::rcModified: std::snprintf(number, sizeof number, "%04d", SortFiles[i].Year); return number;
        default: std::snprintf(number, sizeof number, "%08zu", SortFiles[i].Size); return number;
        }
    };
    for (int column = 0; column < TResultRows::ColumnCount; ++column) {
        for (bool ascending : {true, false}) {
            SCOPED_TRACE(::testing::Message() << "column " << column << (ascending ? " ascending" : " descending"));
            std::vector<std::size_t> order(paths.size());
            for (std::size_t i = 0; i < order.size(); ++i)
                order[i] = i;
            std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                return ascending ? key(column, a) < key(column, b) : key(column, b) < key(column, a);
            });
            std::vector<std::string> expected;
            for (std::size_t i : order)
                expected.push_back(paths[i]);
            std::vector<int> arrows(TResultRows::ColumnCount, 0);
            arrows[static_cast<std::size_t>(column)] = ascending ? 1 : -1;

            // A second click on the same title any sooner is a double click, which sorts nothing.
            Pump(static_cast<int>(::GetDoubleClickTime()) + 100);
            Click(HeaderPoint(column));
            EXPECT_TRUE(PumpUntil([&] { return Arrows() == arrows; }, 3000))
                << "arrows " << ::testing::PrintToString(Arrows());
            EXPECT_EQ(ShownPaths(), expected);
        }
    }
}

// A sort by Type over many rows looks their types up between messages: the window answers a
// message meanwhile, and a click on another title then wins over the pending sort.
TEST_F(ResultListTest, SortingByTypeKeepsTheWindowAnswering)
{
    TTempTree tree;
    const std::vector<std::string> files = {tree.AddFile("one.txt", "1"), tree.AddFile("two.log", "22"),
                                            tree.AddFile("three.bat", "333"), tree.AddFile("four.ini", "4444")};
    FList->SetShowIcons(true);
    constexpr int RowCount = 160000;
    for (int i = 0; i < RowCount; ++i)
        FList->Rows().AppendShellTyped(InfoOf(files[static_cast<std::size_t>(i) % files.size()]));
    FList->RowsAppended();
    ::SendMessageW(FList->Handle(), LVM_ENSUREVISIBLE, RowCount / 2, FALSE);

    Click(HeaderPoint(TResultRows::rcType));
    ASSERT_TRUE(PumpUntil([&] { return FList->SortPending(); }, 3000)) << "the Type sort did not wait for types";
    ::PostMessageW(FWindow, WM_PROBE, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return FProbed; }, 3000));
    EXPECT_TRUE(FProbePending) << "the window answered only after the Type sort";

    Click(HeaderPoint(TResultRows::rcSize));
    EXPECT_TRUE(PumpUntil([&] { return !FList->SortPending() && Arrows() == std::vector<int>{0, 0, 0, 0, 1}; }, 10000))
        << "arrows " << ::testing::PrintToString(Arrows());
    Pump(300); // a leftover slice must not sort by Type after all
    EXPECT_EQ(Arrows(), (std::vector<int>{0, 0, 0, 0, 1}));
    const std::vector<std::string> sizes = Column(TResultRows::rcSize, 200);
    EXPECT_TRUE(std::is_sorted(sizes.begin(), sizes.end(), [](const std::string& a, const std::string& b) {
        return std::stoull(a) < std::stoull(b);
    })) << ::testing::PrintToString(sizes);

    // Left alone, the Type sort ends and shows types in order (descending: its second click).
    Pump(static_cast<int>(::GetDoubleClickTime()) + 100);
    Click(HeaderPoint(TResultRows::rcType));
    EXPECT_TRUE(PumpUntil([&] { return Arrows() == std::vector<int>{0, 0, -1, 0, 0} && !FList->SortPending(); }, 20000))
        << "arrows " << ::testing::PrintToString(Arrows());
    std::vector<std::string> types = Column(TResultRows::rcType, 200);
    for (std::string& type : types)
        type = Folded(type);
    EXPECT_TRUE(std::is_sorted(types.rbegin(), types.rend())) << ::testing::PrintToString(types);
}

// Copy, by its key and by the popup menu, puts exactly the selected rows' files on the clipboard
// with the copy effect preferred.
TEST_F(ResultListTest, CopyPutsTheSelectedFilesOnTheClipboard)
{
    TTempTree tree;
    const std::vector<std::string> paths = {tree.AddFile("first.txt", "1"), tree.AddFile("second é.txt", "2"),
                                            tree.AddFile("third.txt", "3")};
    AddRows(paths);
    const UINT copyIndex = MenuCommand("mCopy") - TResultList::CommandBase;

    struct Case
    {
        const char* how;
        std::vector<int> rows;
        bool menu;
    };
    const Case cases[] = {{"Ctrl+C", {0, 2}, false}, {"menu", {1}, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        ASSERT_TRUE(::OpenClipboard(FWindow));
        ::EmptyClipboard();
        ::CloseClipboard();
        SelectByClicks(c.rows);
        if (c.menu) {
            // The item is chosen with the mouse at its place in the open menu.
            TModalWatcher watcher(::GetCurrentThreadId(), [&](HWND menuWindow) {
                DWORD_PTR answer = 0;
                ::SendMessageTimeoutW(menuWindow, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, 500, &answer);
                HMENU menu = reinterpret_cast<HMENU>(answer);
                RECT item{};
                if (menu && ::GetMenuItemRect(nullptr, menu, copyIndex, &item))
                    Click(POINT{(item.left + item.right) / 2, (item.top + item.bottom) / 2});
                else
                    SendKeys({}, VK_ESCAPE);
            });
            ClickRow(c.rows.front(), true, ckRight);
            PumpUntil([&] { return watcher.Answered() > 0; }, 5000);
            Pump(300);
        } else {
            Press({VK_CONTROL}, 'C');
        }
        UINT preferred = ::RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT);
        ASSERT_TRUE(PumpUntil([] { return ::IsClipboardFormatAvailable(CF_HDROP) != FALSE; }, 3000)) << "nothing copied";
        ASSERT_TRUE(::OpenClipboard(FWindow));
        std::vector<std::string> copied;
        if (auto drop = static_cast<HDROP>(::GetClipboardData(CF_HDROP))) {
            const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
            for (UINT i = 0; i < count; ++i) {
                wchar_t name[MAX_PATH] = {};
                ::DragQueryFileW(drop, i, name, MAX_PATH);
                copied.push_back(Narrow(name));
            }
        }
        DWORD effect = 0;
        if (HANDLE data = ::GetClipboardData(preferred)) {
            effect = *static_cast<const DWORD*>(::GlobalLock(data));
            ::GlobalUnlock(data);
        }
        ::CloseClipboard();
        std::vector<std::string> expected;
        for (int row : c.rows)
            expected.push_back(paths[static_cast<std::size_t>(row)]);
        EXPECT_EQ(copied, expected);
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    }
}

// Del moves the selected files to the Recycle Bin after the shell's question, and only rows whose
// own file is gone leave the list: "trail." beside "trail", which the shell would misread, stays,
// still selected, and a message names it.
TEST_F(ResultListTest, DeleteRemovesOnlyTheRowsWhoseFileIsGone)
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (!data || data[0] != '/')
        GTEST_SKIP() << "XDG_DATA_HOME is not set to a folder of the test";
    std::string trash = std::string("Z:") + data + "/Trash/files/";
    std::replace(trash.begin(), trash.end(), '/', '\\');
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(Wide(trash)).parent_path().parent_path(), ignored);
    std::filesystem::create_directories(std::filesystem::path(Wide(std::string("Z:") + data)), ignored);

    TTempTree tree;
    const std::string gone1 = tree.AddFile("recycled-one.txt", "1");
    const std::string stays = tree.AddFile("not-selected.txt", "2");
    const std::string other = tree.AddFile("trail", "the other file");
    const std::string dotted = tree.Path("trail.");
    {
        HANDLE h = ::CreateFileW(WidePath(dotted).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        ::CloseHandle(h);
    }
    const std::string gone2 = tree.AddFile("recycled-two.txt", "3");
    AddRows({gone1, stays, dotted, gone2});

    TMessages messages;
    {
        TModalWatcher watcher(::GetCurrentThreadId(), [&](HWND dialog) {
            messages.Add(DialogText(dialog));
            AcceptDialog(dialog);
        });
        SelectByClicks({0, 2, 3});
        Press({}, VK_DELETE);
        EXPECT_TRUE(PumpUntil([&] { return ::SendMessageW(FList->Handle(), LVM_GETITEMCOUNT, 0, 0) == 2; }, 20000));
        PumpUntil([&] { return messages.All().size() >= 2; }, 5000);
        Pump(300);
    }
    EXPECT_EQ(ShownPaths(), (std::vector<std::string>{stays, dotted}));
    EXPECT_EQ(FList->SelectedRows(), std::vector<int>{1});
    EXPECT_FALSE(Exists(gone1));
    EXPECT_FALSE(Exists(gone2));
    EXPECT_TRUE(Exists(trash + "recycled-one.txt"));
    EXPECT_TRUE(Exists(trash + "recycled-two.txt"));
    EXPECT_EQ(ReadAll(other), "the other file");
    EXPECT_TRUE(Exists(dotted));
    const std::vector<std::wstring> texts = messages.All();
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [&](const std::wstring& t) { return t.find(Wide(dotted)) != std::wstring::npos; }))
        << "no message named " << dotted;
    // Removed by its exact name: the tree's own cleanup would reach "trail" instead.
    ::DeleteFileW(WidePath(dotted).c_str());
}

// Every command on a file gone since it was found says so, naming the file, whichever way it is
// given: Enter, a double click, Ctrl+F, Ctrl+P.
TEST_F(ResultListTest, CommandsOnAVanishedFileSaySo)
{
    TTempTree tree;
    const std::string vanished = tree.AddFile("vanished.txt", "gone soon");
    AddRows({vanished});
    ASSERT_TRUE(::DeleteFileW(WidePath(vanished).c_str()));

    struct Case
    {
        const char* how;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"Enter", [&] { Press({}, VK_RETURN); }},
        {"double click", [&] { Click(RowPoint(0), ckDouble); }},
        {"Ctrl+F", [&] { Press({VK_CONTROL}, 'F'); }},
        {"Ctrl+P", [&] { Press({VK_CONTROL}, 'P'); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        SelectByClicks({0});
        TMessages messages;
        TModalWatcher watcher(::GetCurrentThreadId(), [&](HWND dialog) {
            messages.Add(DialogText(dialog));
            AcceptDialog(dialog);
        });
        c.act();
        EXPECT_TRUE(PumpUntil([&] { return !messages.All().empty(); }, 5000)) << "no message";
        Pump(300);
        const std::vector<std::wstring> texts = messages.All();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0], L"Cannot open file " + Wide(vanished));
    }
}

// Ctrl+R writes every row, in the order shown, to a temporary report that is removed a few
// seconds later; with reports switched off the key does nothing and the menu's report items are
// unavailable.
TEST_F(ResultListTest, ReportWritesTheRowsToATemporaryFile)
{
    TTempTree tree;
    AddRows({tree.AddFile("r1.txt", "1"), tree.AddFile("r2.txt", "22"), tree.AddFile("r3.txt", "333")});
    Click(HeaderPoint(TResultRows::rcSize));
    Pump(static_cast<int>(::GetDoubleClickTime()) + 100);
    Click(HeaderPoint(TResultRows::rcSize)); // descending: the report must follow the list, not the finding
    ASSERT_TRUE(PumpUntil([&] { return Arrows()[TResultRows::rcSize] == -1; }, 3000));
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH + 1, temp);
    const std::string report = Narrow(temp) + "ff" + std::to_string(FHost.FoundCount()) + ".txt";
    ::DeleteFileW(WidePath(report).c_str());

    struct Case
    {
        bool enabled;
    };
    for (const Case c : {Case{false}, Case{true}}) {
        SCOPED_TRACE(c.enabled ? "reports on" : "reports off");
        FHost.Reports = c.enabled;
        // The menu as the person opens it.
        std::atomic<int> reportState{-1}, saveState{-1};
        {
            TModalWatcher watcher(::GetCurrentThreadId(), [&](HWND menuWindow) {
                DWORD_PTR answer = 0;
                ::SendMessageTimeoutW(menuWindow, MN_GETHMENU, 0, 0, SMTO_ABORTIFHUNG, 500, &answer);
                HMENU menu = reinterpret_cast<HMENU>(answer);
                if (menu) {
                    reportState = static_cast<int>(::GetMenuState(menu, MenuCommand("mReport"), MF_BYCOMMAND));
                    saveState = static_cast<int>(::GetMenuState(menu, MenuCommand("mReportOpen"), MF_BYCOMMAND));
                }
                SendKeys({}, VK_ESCAPE);
            });
            ClickRow(0, false, ckRight);
            PumpUntil([&] { return watcher.Answered() > 0; }, 5000);
            Pump(300);
        }
        ASSERT_NE(reportState.load(), -1) << "no menu opened";
        EXPECT_EQ((reportState & MF_GRAYED) == 0, c.enabled);
        EXPECT_EQ((saveState & MF_GRAYED) == 0, c.enabled);

        Press({VK_CONTROL}, 'R');
        if (!c.enabled) {
            Pump(500);
            EXPECT_FALSE(Exists(report));
            continue;
        }
        ASSERT_TRUE(PumpUntil([&] { return Exists(report) && !ReadAll(report).empty(); }, 5000)) << "no report";
        std::string expected;
        for (const std::string& path : ShownPaths())
            expected += path + "\r\n";
        EXPECT_EQ(ReadAll(report), expected);
        ASSERT_FALSE(FHost.Opened.empty());
        EXPECT_EQ(FHost.Opened.back(), report) << "the report handed over is the one written";
        EXPECT_TRUE(PumpUntil([&] { return !Exists(report); }, TResultList::TemporaryReportLifeMs + 5000))
            << "the temporary report stayed";
    }
}

// "Save report..." adds ".txt" to a name without one, and asks before replacing a file: OK writes
// it, Cancel leaves it as it was.
TEST_F(ResultListTest, SaveReportAddsTheExtensionAndAsksBeforeReplacing)
{
    TTempTree tree;
    const std::string row = tree.AddFile("row.txt", "1");
    AddRows({row});
    const std::string saved = tree.Path("saved.txt");
    FHost.SaveNames = {tree.Path("saved")};
    ASSERT_TRUE(FList->HandleCommand(static_cast<WORD>(MenuCommand("mReportOpen"))));
    EXPECT_EQ(ReadAll(saved), row + "\r\n");

    struct Case
    {
        WORD key;
        const char* contents;
    };
    for (const Case c : {Case{VK_ESCAPE, "kept"}, Case{VK_RETURN, nullptr}}) {
        std::ofstream(std::filesystem::path(WidePath(saved)), std::ios::binary) << "kept";
        FHost.SaveNames = {saved};
        TMessages messages;
        TModalWatcher watcher(::GetCurrentThreadId(), [&](HWND dialog) {
            messages.Add(DialogText(dialog));
            ::SetForegroundWindow(dialog);
            SendKeys({}, c.key);
        });
        FList->HandleCommand(static_cast<WORD>(MenuCommand("mReportOpen")));
        Pump(200);
        ASSERT_EQ(messages.All().size(), 1u);
        EXPECT_EQ(messages.All()[0], L"File exists! Replace?");
        EXPECT_EQ(ReadAll(saved), c.contents ? std::string(c.contents) : row + "\r\n");
    }
}
