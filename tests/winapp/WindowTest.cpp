// SPDX-License-Identifier: MIT
// trovex.exe as a person meets it: started as its own process, its window found on the screen,
// driven with real mouse and keyboard input, and checked through what the controls show and what
// the registry holds. Run on a virtual display by run-window-test.sh; every wait has a limit, so a
// window that never shows or a run that never ends fails here.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/Wide.h"
#include "support/MixedTree.h"
#include "support/PipedProcess.h"
#include "support/TempTree.h"
#include "window/Layout.h"

using namespace trovex;
using trovex::win32::Narrow;
using trovex::win32::Wide;

namespace
{

constexpr int ControlIdBase = 3000; // the window gives the design's control i the id 3000 + i
constexpr int RunTimeoutMs = 60000;
constexpr const wchar_t* ProgramKey = L"Software\\Brenvik\\Trovex";

// The unix path the build gives, as wine's drive for the unix root reaches it.
std::wstring WinePath(const std::string& unixPath)
{
    std::wstring path = L"Z:";
    for (char c : unixPath)
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

template <class Predicate> bool WaitFor(Predicate done, int milliseconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

int ControlId(std::string_view name)
{
    const std::span<const TControlLayout> layout = MainWindowLayout();
    for (std::size_t i = 0; i < layout.size(); ++i)
        if (layout[i].Name == name)
            return ControlIdBase + static_cast<int>(i);
    return -1;
}

// Memory in the window's process for the messages whose answers are written through a pointer.
class TRemoteBuffer
{
public:
    TRemoteBuffer(HANDLE process, std::size_t size)
        : FProcess(process), FSize(size),
          FAddress(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))
    {
    }
    ~TRemoteBuffer()
    {
        if (FAddress)
            ::VirtualFreeEx(FProcess, FAddress, 0, MEM_RELEASE);
    }
    TRemoteBuffer(const TRemoteBuffer&) = delete;
    TRemoteBuffer& operator=(const TRemoteBuffer&) = delete;
    void* Address() const { return FAddress; }
    template <class T> T* At(std::size_t offset) const { return reinterpret_cast<T*>(static_cast<char*>(FAddress) + offset); }
    void Write(const void* data, std::size_t size) { ::WriteProcessMemory(FProcess, FAddress, data, size, nullptr); }
    void Read(void* data, std::size_t size, std::size_t offset = 0) const
    {
        ::ReadProcessMemory(FProcess, static_cast<char*>(FAddress) + offset, data, size, nullptr);
    }
    std::size_t Size() const { return FSize; }

private:
    HANDLE FProcess;
    std::size_t FSize;
    void* FAddress;
};

void SendInputs(std::vector<INPUT> inputs)
{
    ASSERT_EQ(::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)), inputs.size());
}

INPUT Mouse(POINT at, DWORD flags)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = ::MulDiv(at.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = ::MulDiv(at.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | flags;
    return input;
}

INPUT Key(WORD vk, bool up, wchar_t unicode = 0)
{
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = unicode ? 0 : vk;
    input.ki.wScan = unicode;
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (unicode ? KEYEVENTF_UNICODE : 0);
    return input;
}

// A left click at a screen point through the input queue, as a mouse would make it.
void Click(POINT at)
{
    SendInputs({Mouse(at, MOUSEEVENTF_MOVE), Mouse(at, MOUSEEVENTF_LEFTDOWN), Mouse(at, MOUSEEVENTF_LEFTUP)});
}

void PressKey(WORD vk, WORD modifier = 0)
{
    std::vector<INPUT> keys;
    if (modifier)
        keys.push_back(Key(modifier, false));
    keys.push_back(Key(vk, false));
    keys.push_back(Key(vk, true));
    if (modifier)
        keys.push_back(Key(modifier, true));
    SendInputs(keys);
}

void TypeText(const std::wstring& text)
{
    std::vector<INPUT> keys;
    for (wchar_t c : text) {
        keys.push_back(Key(0, false, c));
        keys.push_back(Key(0, true, c));
    }
    if (!keys.empty())
        SendInputs(keys);
}

POINT Center(HWND hwnd)
{
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

std::wstring WindowText(HWND hwnd)
{
    wchar_t text[1024] = {};
    DWORD_PTR length = 0;
    ::SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, &length);
    return text;
}

// One row as the list shows it: its five cells.
using TRow = std::vector<std::string>;

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Each case starts as on a first start: no settings of an earlier case, and the screen's
        // own 96 dots per inch even after a case that changed them ended abruptly.
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, ProgramKey);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, ProgramKey);
        Start();
    }

    void TearDown() override { Stop(); }

    void Start(const std::wstring& arguments = {})
    {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring command = L"\"" + WinePath(TROVEX_EXE_PATH) + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &FProcess))
            << "trovex.exe could not be started: error " << ::GetLastError();
        // A window of that process, of the main window's class: wine shows one in well under a
        // second once its server runs; the first start in a fresh prefix takes longer.
        const bool found = WaitFor([&] { return (FWindow = FindMainWindow()) != nullptr && ::IsWindowVisible(FWindow); }, 30000);
        ASSERT_TRUE(found) << "trovex.exe showed no main window within 30 s";
        ::SetForegroundWindow(FWindow);
        WaitFor([&] { return ::GetForegroundWindow() == FWindow; }, 5000);
        // The window is mapped a moment after it counts as visible: input waits until the screen
        // shows the Find button where it stands.
        ASSERT_TRUE(WaitFor([&] { return ::WindowFromPoint(Center(Control("btnFind"))) == Control("btnFind"); }, 5000))
            << "the window is not on the screen";
    }

    // Closes the window as a person would, and waits for the program to end with success.
    void Stop()
    {
        if (!FProcess.hProcess)
            return;
        if (FWindow)
            ::PostMessageW(FWindow, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(FProcess.hProcess, 15000) != WAIT_OBJECT_0) {
            ::TerminateProcess(FProcess.hProcess, 1);
            ADD_FAILURE() << "trovex.exe did not end within 15 s of WM_CLOSE";
        } else {
            DWORD code = 1;
            ::GetExitCodeProcess(FProcess.hProcess, &code);
            EXPECT_EQ(code, 0u);
        }
        ::CloseHandle(FProcess.hThread);
        ::CloseHandle(FProcess.hProcess);
        FProcess = {};
        FWindow = nullptr;
    }

    HWND FindMainWindow() const
    {
        struct TSearch
        {
            DWORD Pid;
            HWND Found;
        } search{FProcess.dwProcessId, nullptr};
        ::EnumWindows(
            [](HWND hwnd, LPARAM param) -> BOOL {
                auto* s = reinterpret_cast<TSearch*>(param);
                DWORD pid = 0;
                ::GetWindowThreadProcessId(hwnd, &pid);
                wchar_t cls[64] = {};
                ::GetClassNameW(hwnd, cls, 64);
                if (pid == s->Pid && std::wstring(cls) == L"TFindForm") {
                    s->Found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.Found;
    }

    // The control of the design named `name`, wherever it lies in the window.
    HWND Control(std::string_view name) const
    {
        struct TSearch
        {
            int Id;
            HWND Found;
        } search{ControlId(name), nullptr};
        ::EnumChildWindows(
            FWindow,
            [](HWND hwnd, LPARAM param) -> BOOL {
                auto* s = reinterpret_cast<TSearch*>(param);
                if (::GetDlgCtrlID(hwnd) == s->Id) {
                    s->Found = hwnd;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.Found;
    }

    // Answers once the window has handled everything sent to it before.
    void Settle() const
    {
        DWORD_PTR ignored = 0;
        ::SendMessageTimeoutW(FWindow, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
    }

    void ClickControl(std::string_view name, POINT offset = {-1, -1})
    {
        HWND hwnd = Control(name);
        ASSERT_NE(hwnd, nullptr) << name;
        RECT r{};
        ::GetWindowRect(hwnd, &r);
        const POINT at = offset.x < 0 ? Center(hwnd) : POINT{r.left + offset.x, r.top + offset.y};
        Settle();
        // A page just shown is on the screen a moment later.
        ASSERT_TRUE(WaitFor([&] { HWND there = ::WindowFromPoint(at); return there == hwnd || ::IsChild(hwnd, there); }, 3000))
            << name << " is not on the screen";
        Click(at);
        Settle();
    }

    // A rectangle that `control` writes for `message` into the window's process (a tab's, a status
    // panel's), on the screen.
    RECT ScreenRectOf(HWND control, UINT message, int index) const
    {
        RECT rect{};
        TRemoteBuffer remote(FProcess.hProcess, sizeof rect);
        ::SendMessageW(control, message, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote.Address()));
        remote.Read(&rect, sizeof rect);
        ::MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    // Selects the page at `index` by clicking its tab, a few times at most: under load wine may
    // drop the very first input to a window it has just mapped, and a person would click again.
    void ClickTab(int index)
    {
        HWND tabs = Control("PageCtrl");
        const RECT rect = ScreenRectOf(tabs, TCM_GETITEMRECT, index);
        const POINT center{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
        bool selected = false;
        for (int attempt = 0; attempt < 3 && !selected; ++attempt) {
            Settle();
            Click(center);
            selected = WaitFor([&] { return ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == index; }, 2000);
        }
        ASSERT_TRUE(selected) << "the page control shows page " << ::SendMessageW(tabs, TCM_GETCURSEL, 0, 0);
    }

    // Clicks into a box, selects what it holds with the keyboard and types `text` over it.
    void TypeInto(std::string_view box, const std::string& text)
    {
        ClickControl(box, {8, 8});
        PressKey(VK_HOME);
        PressKey(VK_END, VK_SHIFT);
        PressKey(VK_DELETE);
        TypeText(Wide(text));
        Settle();
        ASSERT_TRUE(WaitFor([&] { return Narrow(WindowText(Control(box))) == text; }, 3000))
            << box << " shows \"" << Narrow(WindowText(Control(box))) << "\" after typing \"" << text << "\"";
    }

    std::wstring StatusText(int panel) const
    {
        HWND status = Control("StatusBar");
        TRemoteBuffer remote(FProcess.hProcess, 2048 * sizeof(wchar_t));
        ::SendMessageW(status, SB_GETTEXTW, static_cast<WPARAM>(panel), reinterpret_cast<LPARAM>(remote.Address()));
        std::vector<wchar_t> text(2048);
        remote.Read(text.data(), text.size() * sizeof(wchar_t));
        text.back() = 0;
        return text.data();
    }

    // A status panel's rectangle on the screen.
    RECT StatusPart(int panel) const { return ScreenRectOf(Control("StatusBar"), SB_GETRECT, panel); }

    // Clicks a button that starts a run. The count panel first gets a text of the test's own, which
    // the run's start clears: the end of the previous run cannot pass for the end of this one.
    void ClickToRun(std::string_view button)
    {
        HWND status = Control("StatusBar");
        TRemoteBuffer remote(FProcess.hProcess, sizeof(RunMark));
        remote.Write(RunMark, sizeof(RunMark));
        ::SendMessageW(status, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(remote.Address()));
        ASSERT_EQ(StatusText(0), RunMark);
        // Under load wine may drop a click now and then; a person would click again, and so does
        // the test, when the run has not begun (it clears the mark at once).
        bool started = false;
        for (int attempt = 0; attempt < 3 && !started; ++attempt) {
            ClickControl(button);
            started = WaitFor([&] { return StatusText(0) != RunMark; }, 3000);
        }
        ASSERT_TRUE(started) << "three clicks on " << button << " started no run";
    }

    // Waits until a run has ended as the person sees it: Stop greyed and the count in the status bar.
    void WaitForRunEnd()
    {
        ASSERT_TRUE(WaitFor(
            [&] {
                Settle();
                const std::wstring count = StatusText(0);
                return !::IsWindowEnabled(Control("btnStop")) && !count.empty() && count != RunMark;
            },
            RunTimeoutMs))
            << "the run did not end within " << RunTimeoutMs / 1000 << " s";
    }

    // The rows top to bottom as the list view shows them.
    std::vector<TRow> Rows() const
    {
        HWND list = Control("ListView");
        const int count = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        constexpr int Room = 1024;
        TRemoteBuffer remote(FProcess.hProcess, sizeof(LVITEMW) + Room * sizeof(wchar_t));
        std::vector<TRow> rows;
        for (int row = 0; row < count; ++row) {
            TRow cells;
            for (int column = 0; column < 5; ++column) {
                LVITEMW item{};
                item.iSubItem = column;
                item.pszText = remote.At<wchar_t>(sizeof(LVITEMW));
                item.cchTextMax = Room;
                remote.Write(&item, sizeof item);
                const auto length = ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                                   reinterpret_cast<LPARAM>(remote.Address()));
                std::wstring text(static_cast<std::size_t>(length), L'\0');
                remote.Read(text.data(), text.size() * sizeof(wchar_t), sizeof(LVITEMW));
                cells.push_back(Narrow(text));
            }
            rows.push_back(cells);
        }
        return rows;
    }

    int HeaderArrow(int column) const
    {
        HWND header = reinterpret_cast<HWND>(::SendMessageW(Control("ListView"), LVM_GETHEADER, 0, 0));
        TRemoteBuffer remote(FProcess.hProcess, sizeof(HDITEMW));
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        remote.Write(&item, sizeof item);
        ::SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(remote.Address()));
        remote.Read(&item, sizeof item);
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    }

    void ClickHeader(int column)
    {
        HWND header = reinterpret_cast<HWND>(::SendMessageW(Control("ListView"), LVM_GETHEADER, 0, 0));
        const RECT rect = ScreenRectOf(header, HDM_GETITEMRECT, column);
        Settle();
        Click({(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
        Settle();
    }

    static constexpr wchar_t RunMark[] = L"(the test's click)";
    PROCESS_INFORMATION FProcess{};
    HWND FWindow = nullptr;
};

// The rows trovex-cli.exe prints for `args` in its long form: the same five cells per row.
std::vector<TRow> CliRows(std::vector<std::string> args, const std::string& folder)
{
    args.insert(args.end(), {"-q", "-l", "-0", folder});
    const test::TTempTree errors;
    test::TPipedProcess cli(TROVEX_CLI_PATH, args, errors.Path("cli-errors.txt"));
    std::string output, line;
    while (cli.ReadLine(line))
        output += line + "\n";
    cli.Wait();
    std::vector<TRow> rows;
    std::size_t start = 0;
    for (std::size_t end = output.find('\0'); end != std::string::npos; start = end + 1, end = output.find('\0', start)) {
        std::string record = output.substr(start, end - start);
        if (!record.empty() && record.front() == '\n')
            record.erase(0, 1);
        TRow cells;
        std::size_t from = 0;
        for (std::size_t tab = record.find('\t'); tab != std::string::npos; from = tab + 1, tab = record.find('\t', from))
            cells.push_back(record.substr(from, tab - from));
        cells.push_back(record.substr(from));
        rows.push_back(cells);
    }
    return rows;
}

std::string PathOf(const TRow& row)
{
    return row.at(1) + row.at(0);
}

} // namespace

// The window opens with its caption and the four pages in their order, the first one showing.
TEST_F(WindowTest, OpensWithCaptionAndPages)
{
    EXPECT_EQ(WindowText(FWindow), L"File Trovex - file search utility -");
    HWND tabs = Control("PageCtrl");
    ASSERT_NE(tabs, nullptr);
    std::vector<std::wstring> texts;
    constexpr int Room = 256;
    TRemoteBuffer remote(FProcess.hProcess, sizeof(TCITEMW) + Room * sizeof(wchar_t));
    for (int i = 0; i < ::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0); ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = remote.At<wchar_t>(sizeof(TCITEMW));
        item.cchTextMax = Room;
        remote.Write(&item, sizeof item);
        ::SendMessageW(tabs, TCM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(remote.Address()));
        std::vector<wchar_t> text(Room);
        remote.Read(text.data(), text.size() * sizeof(wchar_t), sizeof(TCITEMW));
        texts.emplace_back(text.data());
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Name && Location", L"Advanced", L"Options", L"About"}));
    EXPECT_EQ(::SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(WindowText(Control("btnFind")), L"Find");
    EXPECT_FALSE(::IsWindowEnabled(Control("btnStop")));
    EXPECT_EQ(StatusText(1), L"Total files processed: 0  and found: 0") << "the totals of a first start";
}

// A click on a tab shows that page's controls and hides the others'; each tab in turn.
TEST_F(WindowTest, ClickingATabShowsItsPage)
{
    const std::map<int, std::vector<std::string_view>> pageControls = {
        {0, {"cbMask", "cbTypes", "cbFolder", "checkSubFolders"}},
        {1, {"CheckCase", "CheckAllCP", "CheckDate", "eDateFrom"}},
        {2, {"CheckMainMenu", "cbLanguage", "CheckRAll"}},
        {3, {"lTrovex", "lWebPage", "lEmail"}},
    };
    for (int page : {2, 1, 3, 0}) {
        SCOPED_TRACE(page);
        ClickTab(page);
        for (const auto& [other, names] : pageControls)
            for (std::string_view name : names) {
                HWND hwnd = Control(name);
                ASSERT_NE(hwnd, nullptr) << name;
                const bool seen = ::IsWindowVisible(hwnd) && ::WindowFromPoint(Center(hwnd)) != nullptr;
                EXPECT_EQ(::IsWindowVisible(hwnd) != 0, other == page) << name;
                if (other == page) {
                    EXPECT_TRUE(seen) << name << " is not on the screen";
                }
            }
    }
}

// Every control lies where the design puts it, at the design size of the window at 96 dots per
// inch: compared on the screen with the design table, parents' offsets included. A label whose
// text needs more room keeps its aligned edge.
TEST_F(WindowTest, ControlsLieWhereTheDesignPutsThem)
{
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    ASSERT_EQ(dpi, 96) << "the design's pixels are compared at 96 dots per inch";
    RECT client{};
    ::GetClientRect(FWindow, &client);
    EXPECT_EQ(client.right, DesignBounds.Width);
    EXPECT_EQ(client.bottom, DesignBounds.Height);
    POINT origin{0, 0};
    ::ClientToScreen(FWindow, &origin);

    // Each control's screen origin from the design: its rectangle plus its parents'.
    std::map<std::string_view, POINT> designOrigin;
    int checked = 0;
    for (const TControlLayout& c : MainWindowLayout()) {
        POINT parent = origin;
        if (!c.Parent.empty())
            parent = designOrigin.at(c.Parent);
        if (c.Kind == TControlKind::Page) {
            // A page fills the page control's display area: its place is the page control's to say.
            RECT r{};
            ::GetWindowRect(Control(c.Name), &r);
            designOrigin[c.Name] = {r.left, r.top};
            RECT tabs{};
            ::GetWindowRect(Control("PageCtrl"), &tabs);
            EXPECT_GE(r.left, tabs.left);
            EXPECT_LE(r.right, tabs.right);
            EXPECT_GT(r.top, tabs.top) << "the tabs lie above the page";
            EXPECT_LE(r.bottom, tabs.bottom);
            continue;
        }
        const POINT at{parent.x + c.Rect.X, parent.y + c.Rect.Y};
        designOrigin[c.Name] = at;
        HWND hwnd = Control(c.Name);
        ASSERT_NE(hwnd, nullptr) << c.Name;
        RECT r{};
        ::GetWindowRect(hwnd, &r);
        SCOPED_TRACE(std::string(c.Name));
        EXPECT_EQ(r.top, at.y);
        if (c.Kind == TControlKind::HistoryBox || c.Kind == TControlKind::Combo) {
            // A combo box's own height is its font's; its place and width are the design's.
            EXPECT_EQ(r.left, at.x);
            EXPECT_EQ(r.right - r.left, c.Rect.Width);
        } else if (c.Kind == TControlKind::Label || c.Kind == TControlKind::Link) {
            EXPECT_GE(r.right - r.left, c.Rect.Width);
            EXPECT_EQ(c.Align == TAlign::Right ? r.right : r.left, c.Align == TAlign::Right ? at.x + c.Rect.Width : at.x);
            EXPECT_EQ(r.bottom - r.top, c.Rect.Height);
        } else {
            EXPECT_EQ(r.left, at.x);
            EXPECT_EQ(r.right - r.left, c.Rect.Width);
            EXPECT_EQ(r.bottom - r.top, c.Rect.Height);
        }
        ++checked;
    }
    EXPECT_GT(checked, 60);

    // What the screen shows there: the Find button's face is drawn (not the bare window colour),
    // and the list's header shows the first column's title.
    HWND find = Control("btnFind");
    RECT r{};
    ::GetWindowRect(find, &r);
    HDC dc = ::GetDC(nullptr);
    std::set<COLORREF> colours;
    for (int x = r.left + 2; x < r.right - 2; x += 3)
        colours.insert(::GetPixel(dc, x, (r.top + r.bottom) / 2));
    ::ReleaseDC(nullptr, dc);
    EXPECT_GE(colours.size(), 2u) << "the Find button shows no caption on the screen";
}

namespace
{

// The screen's pixels in a rectangle, read at once.
class TScreenShot
{
public:
    explicit TScreenShot(const RECT& area) : FArea(area)
    {
        const int width = area.right - area.left, height = area.bottom - area.top;
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        HDC screen = ::GetDC(nullptr);
        HDC memory = ::CreateCompatibleDC(screen);
        void* bits = nullptr;
        HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        ::GdiFlush();
        const auto* pixels = static_cast<const std::uint32_t*>(bits);
        FPixels.assign(pixels, pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        ::SelectObject(memory, old);
        ::DeleteObject(bitmap);
        ::DeleteDC(memory);
        ::ReleaseDC(nullptr, screen);
    }
    /// The colour at a point of the screen, as GetSysColor gives colours.
    COLORREF At(int x, int y) const
    {
        const std::uint32_t p = FPixels[static_cast<std::size_t>(y - FArea.top) * static_cast<std::size_t>(FArea.right - FArea.left) +
                                        static_cast<std::size_t>(x - FArea.left)];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }

private:
    RECT FArea;
    std::vector<std::uint32_t> FPixels;
};

} // namespace

// Each page shows what it holds, whichever page was shown before: every control inside a frame
// is drawn (the frames lie below them), a control that the design lets run under the next one on
// its row does not hide it, a link shows its whole text, and a frame's inside shows nothing of the
// page shown before.
TEST_F(WindowTest, EveryPageShowsWhatItHolds)
{
    using K = TControlKind;
    const std::span<const TControlLayout> layout = MainWindowLayout();
    std::map<std::string_view, const TControlLayout*> byName;
    for (const TControlLayout& c : layout)
        byName[c.Name] = &c;
    const auto pageOf = [&](const TControlLayout& c) -> std::string_view {
        for (const TControlLayout* at = &c; !at->Parent.empty(); at = byName.at(at->Parent))
            if (byName.at(at->Parent)->Kind == K::Page)
                return at->Parent;
        return {};
    };
    std::vector<std::string_view> pages;
    for (const TControlLayout& c : layout)
        if (c.Kind == K::Page)
            pages.push_back(c.Name);
    ASSERT_EQ(pages.size(), 4u);
    const COLORREF face = ::GetSysColor(COLOR_BTNFACE);
    int drawn = 0;
    for (int page : {3, 2, 1, 0}) {
        SCOPED_TRACE("page " + std::string(pages[static_cast<std::size_t>(page)]));
        ClickTab(page);
        Settle();
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the page's painting reaches the screen
        RECT area{};
        ::GetWindowRect(Control(pages[static_cast<std::size_t>(page)]), &area);
        const TScreenShot shot(area);
        std::vector<RECT> held; // what the page's own controls cover
        for (const TControlLayout& c : layout)
            if (pageOf(c) == pages[static_cast<std::size_t>(page)] && c.Kind != K::Group && c.Kind != K::Bevel) {
                RECT r{};
                ::GetWindowRect(Control(c.Name), &r);
                held.push_back(r);
            }
        for (const TControlLayout& c : layout) {
            if (pageOf(c) != pages[static_cast<std::size_t>(page)])
                continue;
            HWND hwnd = Control(c.Name);
            RECT r{};
            ::GetWindowRect(hwnd, &r);
            SCOPED_TRACE(std::string(c.Name));
            if (c.Kind == K::Group || c.Kind == K::Bevel) {
                // Inside the frame, away from its lines and caption, wherever no control lies: the
                // page's face, not what was on the screen before.
                int stale = 0;
                for (int y = r.top + 12; y < r.bottom - 4; ++y)
                    for (int x = r.left + 4; x < r.right - 4; ++x) {
                        const POINT at{x, y};
                        if (std::none_of(held.begin(), held.end(), [&](const RECT& h) { return ::PtInRect(&h, at); }) &&
                            shot.At(x, y) != face)
                            ++stale;
                    }
                EXPECT_EQ(stale, 0) << "pixels inside the frame show something else than the page's face";
                continue;
            }
            const bool shows = c.Kind == K::Check || c.Kind == K::Radio || c.Kind == K::Button || c.Kind == K::Link ||
                               c.Kind == K::DatePicker || c.Kind == K::Combo || c.Kind == K::HistoryBox ||
                               (c.Kind == K::Label && ::GetWindowTextLengthW(hwnd) > 0);
            if (!shows || !::IsWindowVisible(hwnd))
                continue;
            // Something is drawn along its middle; where a later control lies over it, that one.
            std::set<COLORREF> colours;
            for (int x = r.left; x < r.right; ++x) // a field's borders count: an empty field is blank inside
                colours.insert(shot.At(x, (r.top + r.bottom) / 2));
            EXPECT_GE(colours.size(), 2u) << "nothing of it on the screen";
            ++drawn;
            if (c.Kind == K::Link) {
                // The whole text shows: it ends before the control's right edge instead of running
                // into it.
                int edgeInk = 0;
                for (int x = r.right - 2; x < r.right; ++x)
                    for (int y = r.top; y < r.bottom; ++y)
                        edgeInk += shot.At(x, y) != face;
                EXPECT_EQ(edgeInk, 0) << "the link's text is cut at its right edge";
            }
        }
    }
    EXPECT_GT(drawn, 40);
}

// Made wider and taller, the window keeps the design's anchors: the page control and the list
// widen, the command column moves with the right edge, the list grows downwards.
TEST_F(WindowTest, ResizingKeepsTheAnchors)
{
    auto rect = [&](std::string_view name) {
        RECT r{};
        ::GetWindowRect(Control(name), &r);
        return r;
    };
    const RECT pages = rect("PageCtrl"), find = rect("btnFind"), list = rect("ListView"), mask = rect("cbMask"),
               subfolders = rect("checkSubFolders");
    RECT frame{};
    ::GetWindowRect(FWindow, &frame);
    ::SetWindowPos(FWindow, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top + 60,
                   SWP_NOMOVE | SWP_NOZORDER);
    ASSERT_TRUE(WaitFor([&] { return rect("PageCtrl").right - rect("PageCtrl").left == pages.right - pages.left + 100; }, 5000));
    EXPECT_EQ(rect("btnFind").left, find.left + 100);
    EXPECT_EQ(rect("ListView").right - rect("ListView").left, list.right - list.left + 100);
    EXPECT_EQ(rect("ListView").bottom - rect("ListView").top, list.bottom - list.top + 60);
    EXPECT_EQ(rect("cbMask").right - rect("cbMask").left, mask.right - mask.left + 100);
    EXPECT_EQ(rect("checkSubFolders").right - rect("checkSubFolders").left, subfolders.right - subfolders.left);
}

// A search typed and clicked as a person would lists, row for row and cell for cell, what
// trovex-cli.exe prints for the same criteria, with one thread and with four.
TEST_F(WindowTest, RowsEqualTheCommandLine)
{
    test::TTempTree tree;
    test::BuildMixedTree(tree, 7, 40);
    struct TCase
    {
        const char* Label;
        std::string Mask, Text, Excluded;
        std::vector<std::string> CliArgs;
    };
    const TCase cases[] = {
        {"*.txt", "*.txt", "", "", {"-n", "*.txt"}},
        {"text, any case", "*", "quixel", "", {"-n", "*", "-c", "quixel"}},
        {"text, excluding", "*.txt;*.zip", test::MixedNeedle, test::MixedExcluded,
         {"-n", "*.txt;*.zip", "-c", test::MixedNeedle, "-x", test::MixedExcluded}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Label);
        TypeInto("cbFolder", tree.Root());
        TypeInto("cbMask", c.Mask);
        TypeInto("cbString", c.Text);
        TypeInto("cbNoString", c.Excluded);
        ClickToRun("btnFind");
        WaitForRunEnd();
        const std::vector<TRow> shown = Rows();
        EXPECT_FALSE(shown.empty());
        EXPECT_NE(StatusText(0).find(std::to_wstring(shown.size())), std::wstring::npos)
            << "the count in the status bar: " << Narrow(StatusText(0));
        for (const char* threads : {"1", "4"}) {
            std::vector<std::string> args{"--threads", threads};
            args.insert(args.end(), c.CliArgs.begin(), c.CliArgs.end());
            std::vector<TRow> cli = CliRows(args, tree.Root());
            std::vector<TRow> window = shown;
            // The window lists in the order the run finds; compare as sets of whole rows.
            std::sort(cli.begin(), cli.end());
            std::sort(window.begin(), window.end());
            EXPECT_EQ(window, cli) << "--threads " << threads;
        }
    }
}

// Clicking a column's title sorts by it, with the arrow on that column only; a second click turns
// the order round.
TEST_F(WindowTest, ColumnClicksSortWithTheArrow)
{
    test::TTempTree tree;
    const std::vector<std::pair<std::string, std::size_t>> files = {
        {"b.txt", 30}, {"A.log", 10}, {"c.dat", 20}, {"a.bin", 40}, {"d.TXT", 5}};
    for (const auto& [name, size] : files)
        tree.AddFile(name, std::string(size, 'x'));
    TypeInto("cbFolder", tree.Root());
    TypeInto("cbMask", "*");
    ClickToRun("btnFind");
    WaitForRunEnd();
    ASSERT_EQ(Rows().size(), files.size());

    auto column = [&](int index) {
        std::vector<std::string> cells;
        for (const TRow& row : Rows())
            cells.push_back(row.at(static_cast<std::size_t>(index)));
        return cells;
    };
    auto upper = [](std::string s) {
        for (char& ch : s)
            ch = ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
        return s;
    };
    struct TStep
    {
        int Column;
        int Arrow;
    };
    // Name starts ascending at the first click; Size's first click is ascending too.
    for (const TStep step : {TStep{0, HDF_SORTUP}, TStep{0, HDF_SORTDOWN}, TStep{4, HDF_SORTUP}, TStep{4, HDF_SORTDOWN}}) {
        SCOPED_TRACE(step.Column);
        // A pause between clicks, as a person makes it: two quick ones are a double click.
        std::this_thread::sleep_for(std::chrono::milliseconds(::GetDoubleClickTime() + 100));
        ClickHeader(step.Column);
        ASSERT_TRUE(WaitFor([&] { return HeaderArrow(step.Column) == step.Arrow; }, 3000))
            << "arrow " << HeaderArrow(step.Column);
        for (int other = 0; other < 5; ++other)
            if (other != step.Column) {
                EXPECT_EQ(HeaderArrow(other), 0) << other;
            }
        const std::vector<std::string> cells = column(step.Column);
        std::vector<std::string> sorted = cells;
        if (step.Column == 0)
            std::stable_sort(sorted.begin(), sorted.end(), [&](const std::string& a, const std::string& b) { return upper(a) < upper(b); });
        else
            std::stable_sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
                return std::stoull(a.empty() ? "0" : a) < std::stoull(b.empty() ? "0" : b);
            });
        if (step.Arrow == HDF_SORTDOWN)
            std::reverse(sorted.begin(), sorted.end());
        EXPECT_EQ(cells, sorted);
    }
}

// What was typed and checked goes to the registry at close and comes back at the next start, with
// the window where it was left.
TEST_F(WindowTest, SettingsAndPlacementComeBack)
{
    test::TTempTree tree;
    tree.AddFile("one.kept", "x");
    TypeInto("cbFolder", tree.Root());
    TypeInto("cbMask", "*.kept");
    ClickTab(1);
    ClickControl("CheckInZip", {6, 8});
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(Control("CheckInZip"), BM_GETCHECK, 0, 0) == BST_UNCHECKED; }, 3000));
    ClickTab(0);
    ClickToRun("btnFind");
    WaitForRunEnd();
    ::SetWindowPos(FWindow, nullptr, 40, 50, 640, 520, SWP_NOZORDER);
    RECT before{};
    ASSERT_TRUE(WaitFor([&] { ::GetWindowRect(FWindow, &before); return before.right - before.left == 640; }, 3000));
    Stop();

    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, ProgramKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    wchar_t mask[256] = {};
    DWORD size = sizeof mask;
    EXPECT_EQ(::RegGetValueW(key, nullptr, L"Mask0", RRF_RT_REG_SZ, nullptr, mask, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(mask), L"*.kept");
    DWORD totalFiles = 0;
    size = sizeof totalFiles;
    EXPECT_EQ(::RegGetValueW(key, nullptr, L"TotalFiles", RRF_RT_REG_DWORD, nullptr, &totalFiles, &size), ERROR_SUCCESS);
    EXPECT_GE(totalFiles, 1u);
    ::RegCloseKey(key);

    Start();
    RECT after{};
    ::GetWindowRect(FWindow, &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
    EXPECT_EQ(::SendMessageW(Control("CheckInZip"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    HWND masks = Control("cbMask");
    wchar_t first[256] = {};
    ::SendMessageW(masks, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first)); // a local copy: WM_ messages are marshalled
    EXPECT_EQ(std::wstring(first), L"*.kept");
    EXPECT_EQ(StatusText(1).find(L"Total files processed: 0 "), std::wstring::npos) << Narrow(StatusText(1));
    EXPECT_NE(StatusText(1).find(L"and found: 1"), std::wstring::npos) << Narrow(StatusText(1));
}

// "-F <folder>" puts the folder into "Look in:" as given, also when it ends in a backslash before
// its closing quote, as Explorer's command for a drive passes it ("C:\").
TEST_F(WindowTest, FolderOnTheCommandLineIsSearched)
{
    Stop();
    test::TTempTree tree;
    const std::string file = tree.AddFile("given.txt", "x");
    Start(L"-F \"" + Wide(tree.Root()) + L"\"");
    EXPECT_EQ(Narrow(WindowText(Control("cbFolder"))), tree.Root());
    ClickToRun("btnFind");
    WaitForRunEnd();
    const std::vector<TRow> rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(PathOf(rows[0]), file);
}

// The options enable what depends on them, as a click leaves them.
TEST_F(WindowTest, OptionsEnableWhatDependsOnThem)
{
    ClickTab(1);
    EXPECT_FALSE(::IsWindowEnabled(Control("eDateFrom")));
    ClickControl("CheckDate", {6, 8});
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(Control("eDateFrom")) != 0; }, 2000));
    EXPECT_TRUE(::IsWindowEnabled(Control("RadioBDays")));
    ClickControl("CheckAllCP", {6, 8});
    EXPECT_TRUE(WaitFor([&] { return !::IsWindowEnabled(Control("CheckAnsi")); }, 2000));
    EXPECT_EQ(::SendMessageW(Control("CheckAnsi"), BM_GETCHECK, 0, 0), BST_CHECKED) << "the marks stay";
    ClickTab(2);
    ClickControl("CheckReport", {6, 8});
    EXPECT_TRUE(WaitFor([&] { return !::IsWindowEnabled(Control("CheckRAll")); }, 2000));
}

// "In results" keeps only the listed files that meet the criteria now on the page, as
// trovex-cli.exe does with the same list; "Go back" brings the whole list back.
TEST_F(WindowTest, InResultsAndGoBack)
{
    test::TTempTree tree;
    test::BuildMixedTree(tree, 3, 20);
    TypeInto("cbFolder", tree.Root());
    TypeInto("cbMask", "*");
    ClickToRun("btnFind");
    WaitForRunEnd();
    const std::vector<TRow> all = Rows();
    ASSERT_GT(all.size(), 20u);
    EXPECT_TRUE(::IsWindowEnabled(Control("btnFindInto")));

    TypeInto("cbMask", "*.txt");
    TypeInto("cbString", test::MixedNeedle);
    ClickToRun("btnFindInto");
    WaitForRunEnd();
    std::vector<TRow> narrowed = Rows();
    ASSERT_FALSE(narrowed.empty());
    ASSERT_LT(narrowed.size(), all.size());
    std::string list;
    for (const TRow& row : all)
        list += PathOf(row) + '\0';
    const std::string listFile = tree.AddFile("..\\in-list-" + std::to_string(::GetCurrentProcessId()) + ".txt", list);
    std::vector<TRow> cli = CliRows({"-n", "*.txt", "-c", test::MixedNeedle, "--in-list", listFile}, tree.Root());
    ::DeleteFileW(Wide(listFile).c_str());
    std::sort(narrowed.begin(), narrowed.end());
    std::sort(cli.begin(), cli.end());
    EXPECT_EQ(narrowed, cli);

    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(Control("btnBack")) != 0; }, 2000));
    ClickControl("btnBack");
    ASSERT_TRUE(WaitFor([&] { return Rows().size() == all.size(); }, 10000)) << Rows().size() << " rows after Go back";
    std::vector<TRow> back = Rows(), before = all;
    std::sort(back.begin(), back.end());
    std::sort(before.begin(), before.end());
    EXPECT_EQ(back, before);
}

// Choosing a language in its box, with the keyboard as a person may, shows the window's texts in it
// at once: the captions come from the language file beside the program.
TEST_F(WindowTest, ChosenLanguageShowsAtOnce)
{
    // The translations the file gives, read here from the same file.
    std::map<std::string, std::string> russian;
    FILE* file = std::fopen(TROVEX_SOURCE_DIR "/share/lang/russian.lng", "rb");
    ASSERT_NE(file, nullptr);
    char line[1024];
    while (std::fgets(line, sizeof line, file)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos)
            russian.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    std::fclose(file);
    ASSERT_TRUE(russian.count("Find") && russian.count("Include subfolders"));

    ClickTab(2);
    // A click opens the box's list just below it; a click on the second entry picks it.
    ClickControl("cbLanguage");
    HWND languages = Control("cbLanguage");
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(languages, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 3000));
    ASSERT_EQ(::SendMessageW(languages, CB_GETCOUNT, 0, 0), 2) << "the default and the one language file";
    RECT box{};
    ::GetWindowRect(languages, &box);
    const int itemHeight = static_cast<int>(::SendMessageW(languages, CB_GETITEMHEIGHT, 0, 0));
    Click({box.left + 20, box.bottom + 1 + itemHeight + itemHeight / 2});
    Settle();
    EXPECT_TRUE(WaitFor([&] { return Narrow(WindowText(Control("btnFind"))) == russian["Find"]; }, 3000))
        << Narrow(WindowText(Control("btnFind"))) << " items " << ::SendMessageW(Control("cbLanguage"), CB_GETCOUNT, 0, 0)
        << " selected " << ::SendMessageW(Control("cbLanguage"), CB_GETCURSEL, 0, 0);
    EXPECT_EQ(Narrow(WindowText(Control("checkSubFolders"))), russian["Include subfolders"]);
    // The choice is kept for the next start.
    Stop();
    Start();
    EXPECT_EQ(Narrow(WindowText(Control("btnFind"))), russian["Find"]);
}

// A stored place no screen shows (a monitor since unplugged) brings the whole window, title bar
// included, onto the screen there is.
TEST_F(WindowTest, StoredPlaceOffTheScreenIsBroughtBack)
{
    Stop();
    // Only the place written here: the first start's close saved its own, under the screen's size too.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, ProgramKey);
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Brenvik\\Trovex\\Placement", 0, nullptr, 0, KEY_SET_VALUE,
                                nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& [name, value] : {std::pair{L"NormPos", L"5000,4000,5600,4500"}, std::pair{L"ShowCmd", L"1"}})
        ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                         static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    Start();
    RECT frame{};
    ::GetWindowRect(FWindow, &frame);
    EXPECT_GE(frame.left, 0);
    EXPECT_GE(frame.top, 0);
    EXPECT_LE(frame.right, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_LE(frame.bottom, ::GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(frame.right - frame.left, 600) << "the stored size is kept";
}

// A damaged archive is not dropped in silence: the status bar says how many files were not
// searched, and a click there lists them with the reason. That panel takes room only then: the
// totals before and the folders during a run have the rest of the bar.
TEST_F(WindowTest, FilesNotSearchedAreListedOnAClick)
{
    RECT bar{};
    ::GetWindowRect(Control("StatusBar"), &bar);
    const auto width = [](const RECT& r) { return r.right - r.left; };
    const RECT totals = StatusPart(1);
    EXPECT_GE(totals.right, bar.right - 4) << "the totals panel ends " << bar.right - totals.right << " px short of the bar's end";
    EXPECT_LE(width(StatusPart(2)), 4) << "an empty panel takes room from the totals";

    test::TTempTree tree;
    const std::string broken = tree.AddFile("broken.zip", std::string("PK\x03\x04", 4) + std::string(64, '\x7f'));
    tree.AddFile("plain.txt", "needle");
    TypeInto("cbFolder", tree.Root());
    TypeInto("cbMask", "*");
    TypeInto("cbString", "needle");
    ClickToRun("btnFind");
    WaitForRunEnd();
    ASSERT_TRUE(WaitFor([&] { return StatusText(2).find(L"1 not searched") != std::wstring::npos; }, 3000))
        << Narrow(StatusText(2));

    const RECT part = StatusPart(2);
    EXPECT_GE(width(part), 100) << "too narrow for what it says";
    Settle();
    Click({(part.left + part.right) / 2, (part.top + part.bottom) / 2});
    HWND list = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (list = ::FindWindowW(L"TSkippedForm", nullptr)) != nullptr && ::IsWindowVisible(list); }, 5000))
        << "no list of the files not searched";
    EXPECT_FALSE(::IsWindowEnabled(FWindow)) << "the list is modal";
    HWND view = ::GetDlgItem(list, 101);
    ASSERT_EQ(::SendMessageW(view, LVM_GETITEMCOUNT, 0, 0), 1);
    constexpr int Room = 1024;
    TRemoteBuffer text(FProcess.hProcess, sizeof(LVITEMW) + Room * sizeof(wchar_t));
    LVITEMW item{};
    item.pszText = text.At<wchar_t>(sizeof(LVITEMW));
    item.cchTextMax = Room;
    text.Write(&item, sizeof item);
    const auto length = ::SendMessageW(view, LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(text.Address()));
    std::wstring path(static_cast<std::size_t>(length), L'\0');
    text.Read(path.data(), path.size() * sizeof(wchar_t), sizeof(LVITEMW));
    EXPECT_EQ(Narrow(path), broken);
    Settle();
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(list); }, 3000)) << "Esc does not close the list";
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(FWindow) != 0; }, 3000));

    // A run that searched everything gives the room back.
    std::filesystem::remove(broken);
    ClickToRun("btnFind");
    WaitForRunEnd();
    EXPECT_EQ(StatusText(2), L"");
    EXPECT_LE(width(StatusPart(2)), 4);
    EXPECT_GE(StatusPart(1).right, bar.right - 4);
}

// Not a test but a measurement, run by bench/run-bench window-win with TROVEX_BENCH_TREE naming a
// tree: the time from the click on Find to the run's end with every entry listed ("*", ZIP search
// off), against trovex-cli.exe listing the same entries, paths only and with the records (-l).
TEST_F(WindowTest, MeasureFindToLastRow)
{
    const char* benchTree = std::getenv("TROVEX_BENCH_TREE");
    if (!benchTree || !*benchTree)
        GTEST_SKIP() << "TROVEX_BENCH_TREE names no tree";
    const std::string tree = Narrow(WinePath(benchTree));
    TypeInto("cbFolder", tree);
    TypeInto("cbMask", "*");
    ClickTab(1);
    ClickControl("CheckInZip", {6, 8});
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(Control("CheckInZip"), BM_GETCHECK, 0, 0) == BST_UNCHECKED; }, 3000));
    ClickTab(0);
    using TClock = std::chrono::steady_clock;
    const TClock::time_point clicked = TClock::now();
    ClickToRun("btnFind");
    WaitForRunEnd();
    const auto window = std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - clicked).count();
    const std::size_t rows = static_cast<std::size_t>(::SendMessageW(Control("ListView"), LVM_GETITEMCOUNT, 0, 0));
    // trovex-cli.exe writing to a file, as a shell's redirection would: the time of the run and
    // the records it wrote.
    test::TTempTree outputs;
    auto cliRun = [&](const std::vector<std::string>& args, std::size_t& records) {
        const std::string outPath = outputs.Path("cli-out.txt");
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE out = ::CreateFileW(Wide(outPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY, nullptr);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = out;
        si.hStdError = out;
        PROCESS_INFORMATION pi{};
        std::wstring command = test::CommandLine(TROVEX_CLI_PATH, args);
        const TClock::time_point begin = TClock::now();
        EXPECT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - begin).count();
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(out);
        records = 0;
        if (FILE* f = _wfopen(Wide(outPath).c_str(), L"rb")) {
            for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f))
                records += c == '\0';
            std::fclose(f);
        }
        ::DeleteFileW(Wide(outPath).c_str());
        return static_cast<long long>(ms);
    };
    long long cli = -1;
    std::size_t records = 0;
    // The best of three: the first also warms the cache for the others.
    for (int run = 0; run < 3; ++run) {
        const long long ms = cliRun({"-q", "-l", "-0", "--no-zip", "-n", "*", tree}, records);
        cli = cli < 0 ? ms : std::min(cli, ms);
    }
    EXPECT_EQ(records, rows);
    // What starting a program under wine costs alone, which the window, already open, does not pay.
    test::TTempTree empty;
    std::size_t none = 0;
    const long long start = cliRun({"-q", "-n", "*", empty.Root()}, none);
    std::printf("find-to-last-row %lld ms rows %zu; trovex-cli.exe -l %lld ms (of which starting %lld ms)\n",
                static_cast<long long>(window), rows, cli, start);
}

// With "Show icons" the Type column shows the shell's type names, as Explorer names the files; a
// row picked with the mouse and Ctrl+C put on the clipboard is the row's own file.
TEST_F(WindowTest, ShellTypesAndCopyFromTheList)
{
    test::TTempTree tree;
    const std::string text = tree.AddFile("notes.txt", "x");
    tree.AddFile("data.unknownext", "y");
    ClickTab(2);
    ClickControl("CheckIcons", {6, 8});
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(Control("CheckIcons"), BM_GETCHECK, 0, 0) == BST_CHECKED; }, 3000));
    ClickTab(0);
    TypeInto("cbFolder", tree.Root());
    TypeInto("cbMask", "*");
    ClickToRun("btnFind");
    WaitForRunEnd();
    std::vector<TRow> rows = Rows();
    ASSERT_EQ(rows.size(), 2u);
    for (const TRow& row : rows) {
        SHFILEINFOW info{};
        ::SHGetFileInfoW(Wide(PathOf(row)).c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                         SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES);
        EXPECT_EQ(row.at(2), Narrow(info.szTypeName)) << PathOf(row);
    }

    // The row of notes.txt, clicked on its name, then Ctrl+C.
    const int index = PathOf(rows[0]) == text ? 0 : 1;
    HWND list = Control("ListView");
    RECT item{LVIR_LABEL, 0, 0, 0};
    TRemoteBuffer remote(FProcess.hProcess, sizeof item);
    remote.Write(&item, sizeof item);
    ::SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(remote.Address()));
    remote.Read(&item, sizeof item);
    ::MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&item), 2);
    Settle();
    Click({item.left + 10, (item.top + item.bottom) / 2});
    Settle();
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }, 2000));
    PressKey('C', VK_CONTROL);
    Settle();
    std::vector<std::string> copied;
    ASSERT_TRUE(WaitFor(
        [&] {
            if (!::OpenClipboard(nullptr))
                return false;
            copied.clear();
            if (auto drop = static_cast<HDROP>(::GetClipboardData(CF_HDROP))) {
                const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
                for (UINT i = 0; i < count; ++i) {
                    wchar_t name[MAX_PATH] = {};
                    ::DragQueryFileW(drop, i, name, MAX_PATH);
                    copied.push_back(Narrow(name));
                }
            }
            ::CloseClipboard();
            return !copied.empty();
        },
        3000));
    EXPECT_EQ(copied, std::vector<std::string>{text});
}

// "Stop" pauses a run and becomes "Continue"; "Continue" goes on, and the run ends as it would have.
// The clicks are taken while the run delivers its events: none waits for the run's end.
TEST_F(WindowTest, StopPausesAndContinueGoesOn)
{
    test::TTempTree tree;
    // A large file without the text keeps the run reading long enough to be paused; the hit lies
    // after it in the walk's order.
    const std::string large = tree.AddFile("a-large.bin");
    {
        HANDLE file = ::CreateFileW(Wide(large).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        LARGE_INTEGER size{};
        size.QuadPart = 4LL << 30;
        ::SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        ::SetEndOfFile(file);
        ::CloseHandle(file);
    }
    const std::string hit = tree.AddFile("z-hit.txt", "needle");
    TypeInto("cbFolder", tree.Root());
    TypeInto("cbMask", "*");
    TypeInto("cbString", "needle");
    ClickToRun("btnFind");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(Control("btnStop")) != 0; }, 5000));
    ClickControl("btnStop");
    EXPECT_TRUE(WaitFor([&] { return WindowText(Control("btnStop")) == L"Continue"; }, 3000))
        << Narrow(WindowText(Control("btnStop")));
    ClickControl("btnStop");
    EXPECT_TRUE(WaitFor([&] { return WindowText(Control("btnStop")) == L"Stop"; }, 3000));
    WaitForRunEnd();
    const std::vector<TRow> rows = Rows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(PathOf(rows[0]), hit);
    ::DeleteFileW(Wide(large).c_str());
}

// On a screen of 144 dots per inch every control is half as large again, at half as large again
// its design place: the window is scaled for the monitor, not left small or blurred.
TEST_F(WindowTest, ScaledForTheScreensDpi)
{
    auto tabHeight = [&] {
        const RECT tab = ScreenRectOf(Control("PageCtrl"), TCM_GETITEMRECT, 0);
        return tab.bottom - tab.top;
    };
    const int designTab = tabHeight();
    Stop();
    HKEY desktop = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE | KEY_QUERY_VALUE,
                                nullptr, &desktop, nullptr),
              ERROR_SUCCESS);
    const DWORD dpi = 144;
    ::RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    struct TRestore
    {
        HKEY Key;
        ~TRestore()
        {
            ::RegDeleteValueW(Key, L"LogPixels");
            ::RegCloseKey(Key);
        }
    } restore{desktop};
    ::RegDeleteTreeW(HKEY_CURRENT_USER, ProgramKey);
    Start();
    // Design pixels to the screen's, rounded as the system rounds (MulDiv).
    auto scaled = [](int pixels) { return ::MulDiv(pixels, 144, 96); };
    RECT client{};
    ::GetClientRect(FWindow, &client);
    EXPECT_EQ(client.right, scaled(DesignBounds.Width));
    EXPECT_EQ(client.bottom, scaled(DesignBounds.Height));
    POINT origin{0, 0};
    ::ClientToScreen(FWindow, &origin);
    for (const char* name : {"btnFind", "btnStop", "FindAnimate"}) {
        SCOPED_TRACE(name);
        const TControlLayout& c = LayoutOf(name);
        RECT r{};
        ::GetWindowRect(Control(name), &r);
        // The command column lies on the top panel, at the client's origin.
        EXPECT_EQ(r.left - origin.x, scaled(c.Rect.X));
        EXPECT_EQ(r.top - origin.y, scaled(c.Rect.Y));
        EXPECT_EQ(r.right - origin.x, scaled(c.Rect.X + c.Rect.Width));
        EXPECT_EQ(r.bottom - origin.y, scaled(c.Rect.Y + c.Rect.Height));
    }
    // The tabs grew with their texts' font.
    EXPECT_GE(tabHeight() * 4, designTab * 5) << "tabs " << designTab << " px at 96 dots per inch";
    Stop();
}

// "Add" appends the rows of a new run to those listed: both masks' files, each once.
TEST_F(WindowTest, AddAppendsToTheList)
{
    test::TTempTree tree;
    const std::string text = tree.AddFile("one.txt", "x"), log = tree.AddFile("two.log", "y");
    tree.AddFile("three.dat", "z");
    TypeInto("cbFolder", tree.Root());
    TypeInto("cbMask", "*.txt");
    ClickToRun("btnFind");
    WaitForRunEnd();
    ASSERT_EQ(Rows().size(), 1u);
    TypeInto("cbMask", "*.log");
    ClickToRun("btnAddMore");
    WaitForRunEnd();
    std::vector<std::string> paths;
    for (const TRow& row : Rows())
        paths.push_back(PathOf(row));
    EXPECT_EQ(paths, (std::vector<std::string>{text, log}));
}

// "Add to Shell menu" on the Options page writes Explorer's folder command for this program, and
// unchecked takes it away again: what the registry holds after each click.
TEST_F(WindowTest, ShellMenuOptionWritesAndRemovesTheFolderCommand)
{
    auto command = [] {
        wchar_t text[1024] = {};
        DWORD size = sizeof text;
        if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Classes\\Directory\\shell\\trovex\\command", nullptr, RRF_RT_REG_SZ,
                           nullptr, text, &size) != ERROR_SUCCESS)
            return std::wstring();
        return std::wstring(text);
    };
    ClickTab(2);
    HWND box = Control("CheckShellMenu");
    for (int click = 0; click < 3; ++click) {
        SCOPED_TRACE(click);
        const bool was = ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
        ClickControl("CheckShellMenu", {6, 8});
        ASSERT_TRUE(WaitFor([&] { return (::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != was; }, 3000));
        if (was) {
            EXPECT_TRUE(WaitFor([&] { return command().empty(); }, 3000)) << Narrow(command());
        } else {
            EXPECT_TRUE(WaitFor([&] { return command() == L"\"" + WinePath(TROVEX_EXE_PATH) + L"\" -F \"%l\""; }, 3000))
                << Narrow(command());
        }
    }
    // Left as a first start finds it: no folder command of the test's.
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\Directory\\shell\\trovex");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\Directory\\shell\\trovex");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Classes\\Drive\\shell\\trovex");
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes\\Drive\\shell\\trovex");
}
