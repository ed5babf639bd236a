// SPDX-License-Identifier: MIT
// trovex.exe as a person meets it: started as its own process, its window found on the screen,
// clicked with real mouse input, and checked through what the controls show. Run on a virtual
// display by run-window-test.sh; every wait has a limit, so a window that never shows fails here.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace
{

// The unix path the build gives, as wine's drive for the unix root reaches it.
std::wstring ProgramPath()
{
    std::string unixPath = TROVEX_EXE_PATH;
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
    void* Address() const { return FAddress; }
    void Write(const void* data, std::size_t size) { ::WriteProcessMemory(FProcess, FAddress, data, size, nullptr); }
    void Read(void* data, std::size_t size) const { ::ReadProcessMemory(FProcess, FAddress, data, size, nullptr); }
    std::size_t Size() const { return FSize; }

private:
    HANDLE FProcess;
    std::size_t FSize;
    void* FAddress;
};

class WindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring command = L"\"" + ProgramPath() + L"\"";
        ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &FProcess))
            << "trovex.exe could not be started: error " << ::GetLastError();
        // A window of that process, of the main window's class: wine shows one in well under a
        // second once its server runs; the first start in a fresh prefix takes longer.
        const bool found = WaitFor([&] { return (FWindow = FindMainWindow()) != nullptr && ::IsWindowVisible(FWindow); }, 30000);
        ASSERT_TRUE(found) << "trovex.exe showed no main window within 30 s";
    }

    void TearDown() override
    {
        if (!FProcess.hProcess)
            return;
        if (FWindow)
            ::PostMessageW(FWindow, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(FProcess.hProcess, 10000) != WAIT_OBJECT_0) {
            ::TerminateProcess(FProcess.hProcess, 1);
            ADD_FAILURE() << "trovex.exe did not end within 10 s of WM_CLOSE";
        } else {
            DWORD code = 1;
            ::GetExitCodeProcess(FProcess.hProcess, &code);
            EXPECT_EQ(code, 0u);
        }
        ::CloseHandle(FProcess.hThread);
        ::CloseHandle(FProcess.hProcess);
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

    HWND PageCtrl() const { return ::FindWindowExW(FWindow, nullptr, WC_TABCONTROLW, nullptr); }

    std::vector<std::wstring> TabTexts() const
    {
        std::vector<std::wstring> texts;
        HWND tabs = PageCtrl();
        const int count = static_cast<int>(::SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
        constexpr int TextRoom = 256;
        TRemoteBuffer remote(FProcess.hProcess, sizeof(TCITEMW) + TextRoom * sizeof(wchar_t));
        for (int i = 0; i < count; ++i) {
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = reinterpret_cast<wchar_t*>(static_cast<char*>(remote.Address()) + sizeof(TCITEMW));
            item.cchTextMax = TextRoom;
            remote.Write(&item, sizeof item);
            ::SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(remote.Address()));
            std::vector<char> bytes(remote.Size());
            remote.Read(bytes.data(), bytes.size());
            texts.emplace_back(reinterpret_cast<const wchar_t*>(bytes.data() + sizeof(TCITEMW)));
        }
        return texts;
    }

    // The tab's rectangle on the screen.
    RECT TabRect(int index) const
    {
        RECT rect{};
        TRemoteBuffer remote(FProcess.hProcess, sizeof rect);
        ::SendMessageW(PageCtrl(), TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(remote.Address()));
        remote.Read(&rect, sizeof rect);
        ::MapWindowPoints(PageCtrl(), nullptr, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    // A left click at a screen point through the input queue, as a mouse would make it.
    static void Click(POINT at)
    {
        const int width = ::GetSystemMetrics(SM_CXSCREEN) - 1;
        const int height = ::GetSystemMetrics(SM_CYSCREEN) - 1;
        INPUT inputs[3] = {};
        for (INPUT& input : inputs) {
            input.type = INPUT_MOUSE;
            input.mi.dx = ::MulDiv(at.x, 65535, width);
            input.mi.dy = ::MulDiv(at.y, 65535, height);
            input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE;
        }
        inputs[0].mi.dwFlags |= MOUSEEVENTF_MOVE;
        inputs[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
        inputs[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
        ASSERT_EQ(::SendInput(3, inputs, sizeof(INPUT)), 3u);
    }

    PROCESS_INFORMATION FProcess{};
    HWND FWindow = nullptr;
};

} // namespace

// The window opens with its caption and the four pages in their order, the first one showing.
TEST_F(WindowTest, OpensWithCaptionAndPages)
{
    wchar_t caption[256] = {};
    ::GetWindowTextW(FWindow, caption, 256);
    EXPECT_EQ(std::wstring(caption), L"File Trovex - file search utility -");
    ASSERT_NE(PageCtrl(), nullptr);
    EXPECT_EQ(TabTexts(), (std::vector<std::wstring>{L"Name && Location", L"Advanced", L"Options", L"About"}));
    EXPECT_EQ(::SendMessageW(PageCtrl(), TCM_GETCURSEL, 0, 0), 0);
}

// A click on a tab, made with the mouse, selects that page; each tab in turn, and back to the first.
TEST_F(WindowTest, ClickingATabSelectsItsPage)
{
    ::SetForegroundWindow(FWindow);
    EXPECT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == FWindow; }, 5000)) << "the window never came to the front";
    for (int page : {2, 1, 3, 0}) {
        SCOPED_TRACE(page);
        const RECT tab = TabRect(page);
        ASSERT_GT(tab.right, tab.left);
        const POINT center{(tab.left + tab.right) / 2, (tab.top + tab.bottom) / 2};
        // The window is mapped a moment after it counts as visible: click once the screen shows
        // the page control at that point.
        ASSERT_TRUE(WaitFor([&] { return ::WindowFromPoint(center) == PageCtrl(); }, 5000))
            << "the page control is not on the screen at the tab";
        // Under load wine may drop the very first input to a window it has just mapped; a person
        // would click again, and so does the test, a few times at most.
        bool selected = false;
        for (int attempt = 0; attempt < 3 && !selected; ++attempt) {
            DWORD_PTR ignored = 0;
            ::SendMessageTimeoutW(FWindow, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored);
            Click(center);
            selected = WaitFor([&] { return ::SendMessageW(PageCtrl(), TCM_GETCURSEL, 0, 0) == page; }, 2000);
        }
        EXPECT_TRUE(selected) << "the page control shows page " << ::SendMessageW(PageCtrl(), TCM_GETCURSEL, 0, 0);
    }
}

// The window is laid out at the designed size for the screen's DPI, and the page control widens with it.
TEST_F(WindowTest, PageControlWidensWithTheWindow)
{
    RECT before{}, after{};
    ::GetWindowRect(PageCtrl(), &before);
    RECT frame{};
    ::GetWindowRect(FWindow, &frame);
    ::SetWindowPos(FWindow, nullptr, 0, 0, frame.right - frame.left + 100, frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(WaitFor([&] { ::GetWindowRect(PageCtrl(), &after); return after.right - after.left == before.right - before.left + 100; }, 5000))
        << "width " << (before.right - before.left) << " became " << (after.right - after.left);
}
