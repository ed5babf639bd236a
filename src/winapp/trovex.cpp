// SPDX-License-Identifier: MIT
// trovex.exe: reads the command line ("-i" installs and goes on, "-u" asks and uninstalls, "-F"
// names the folder to search), starts OLE, shows the main window and runs its message loop.
#include "shell/win32/Install.h"
#include "winapp/uMain.h"

#include "platform/win32/Wide.h"

#include <ole2.h>
#include <shellapi.h>

#include <string>

using namespace trovex::win32;

namespace
{

std::string ProgramPath()
{
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return Narrow(path);
}

// The switch of the first argument: its second character ("-i", "/U"), upper-cased; 0 for none.
wchar_t Switch(int argc, wchar_t** argv)
{
    if (argc < 2 || wcslen(argv[1]) < 2)
        return 0;
    const wchar_t c = argv[1][1];
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (FAILED(::OleInitialize(nullptr)))
        return 1;
    const wchar_t mode = Switch(argc, argv);
    int exitCode = 0;
    if (mode == L'U') {
        if (::MessageBoxW(nullptr, L"Uninstall Trovex? File Trovex", L"Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES)
            Uninstall(ProgramPath());
    } else {
        if (mode == L'I') {
            try {
                Install(ProgramPath());
            } catch (const EInstallError& e) {
                ::MessageBoxW(nullptr, Wide(e.what()).c_str(), L"Error", MB_OK | MB_ICONERROR);
            }
        }
        TStartOptions options;
        options.ProgramPath = ProgramPath();
        if (mode == L'F' && argc >= 3) {
            std::wstring folder = argv[2];
            // A quoted folder ending in a backslash, as the shell passes a drive ("C:\"), arrives
            // with that backslash read as an escape of the closing quote: no Windows name holds a
            // quote, so the quote stands for the backslash.
            if (!folder.empty() && folder.back() == L'"')
                folder.back() = L'\\';
            options.Folder = Narrow(folder);
        }
        TFindForm* form = TFindForm::Create(instance, options);
        if (!form) {
            exitCode = 1;
        } else {
            form->Show(show);
            MSG msg{};
            while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
                if (!form->PreTranslate(msg)) {
                    ::TranslateMessage(&msg);
                    ::DispatchMessageW(&msg);
                }
            }
            exitCode = static_cast<int>(msg.wParam);
        }
    }
    ::OleUninitialize();
    ::LocalFree(argv);
    return exitCode;
}
