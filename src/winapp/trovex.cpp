// SPDX-License-Identifier: MIT
// trovex.exe: reads the command line ("-i" installs and goes on, "-u" asks and uninstalls, "-F"
// names the folder to search), starts OLE, shows the main window and runs its message loop.
#include "shell/win32/Install.h"
#include "winapp/uMain.h"

#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/win32/Wide.h"
#include "window/CommandLine.h"

#include <ole2.h>

#include <string>

using namespace trovex;
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

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show)
{
    TCommandLine commandLine = ParseCommandLine(CommandLineArgs(0, nullptr));
    // A quoted folder ending in a backslash, as the shell passes a drive ("C:\"), arrives with
    // that backslash read as an escape of the closing quote: no Windows name holds a quote, so the
    // quote stands for the backslash.
    if (!commandLine.Folder.empty() && commandLine.Folder.back() == '"')
        commandLine.Folder.back() = '\\';
    if (FAILED(::OleInitialize(nullptr)))
        return 1;
    try {
        InitCodePages();
    } catch (const std::exception& e) {
        ::MessageBoxW(nullptr, Wide(e.what()).c_str(), L"Error", MB_OK | MB_ICONERROR);
        return 1;
    }
    int exitCode = 0;
    if (commandLine.Action == saUninstall) {
        if (::MessageBoxW(nullptr, L"Uninstall Trovex? File Trovex", L"Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES)
            Uninstall(ProgramPath());
    } else {
        if (commandLine.Action == saInstall) {
            try {
                Install(ProgramPath());
            } catch (const EInstallError& e) {
                ::MessageBoxW(nullptr, Wide(e.what()).c_str(), L"Error", MB_OK | MB_ICONERROR);
            }
        }
        TStartOptions options;
        options.ProgramPath = ProgramPath();
        if (commandLine.Action == saFolder)
            options.Folder = commandLine.Folder;
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
    return exitCode;
}
