// SPDX-License-Identifier: MIT
// The program trovex: reads the first argument (-F folder, -I install, -U uninstall; only its
// second character counts, in either case), makes the language manager and the main window, and
// runs the event loop. Without a display it says so and points to trovex-cli.
#include <QApplication>
#include <QFile>
#include <QStyleFactory>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "shell/Seams.h"
#include "app/uMain.h"
#include "lang/MultiLang.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "shell/FileList.h"
#include "shell/ShellUtl.h"
#include "window/CommandLine.h"

namespace
{

using namespace trovex;

/// Failures that escape a window handler are shown and the program goes on.
class TTrovexApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            TMessageBox::Show(activeWindow(), QString::fromStdString(e.what()), QStringLiteral("Error"),
                              QMessageBox::Critical, QMessageBox::Ok);
        }
        return false;
    }
};

bool SocketAnswers(const std::string& path, bool abstract)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0; // an abstract name starts with a NUL byte
    if (path.size() + offset >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
    close(fd);
    return ok;
}

// Qt aborts when its platform cannot reach a display, so look first: a local X display or a
// Wayland socket that answers, a remote X display (trusted), or a platform the person chose.
bool DisplayAvailable()
{
    if (const char* platform = std::getenv("QT_QPA_PLATFORM"); platform && *platform)
        return true;
    if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland) {
        std::string path = wayland;
        if (path[0] != '/') {
            const char* runtime = std::getenv("XDG_RUNTIME_DIR");
            path = std::string(runtime ? runtime : "") + "/" + path;
        }
        if (SocketAnswers(path, false))
            return true;
    }
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    const std::string text = display;
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    const std::string host = text.substr(0, colon);
    if (!host.empty() && host != "unix")
        return true;
    const std::string number = text.substr(colon + 1, text.find('.', colon) - colon - 1);
    const std::string socketPath = "/tmp/.X11-unix/X" + number;
    return SocketAnswers(socketPath, true) || SocketAnswers(socketPath, false);
}

bool StyleChosen(int argc, char** argv)
{
    if (const char* style = std::getenv("QT_STYLE_OVERRIDE"); style && *style)
        return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-style") == 0 || std::strncmp(argv[i], "-style=", 7) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Read before Qt takes its own options out of argv.
    const TCommandLine commandLine = ParseCommandLine(CommandLineArgs(argc, argv));

    if (!DisplayAvailable()) {
        std::fprintf(stderr, "trovex: no graphical display is available; use trovex-cli to search from a terminal.\n");
        return 1;
    }

    const bool styleChosen = StyleChosen(argc, argv);
    TTrovexApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brenvik"));
    QApplication::setApplicationName(QStringLiteral("Trovex"));
    QApplication::setApplicationVersion(QStringLiteral(TROVEX_VERSION));
    // The window is laid out in pixels; Fusion keeps its controls the same size on every desktop.
    if (!styleChosen)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    try {
        InitCodePages();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "trovex: %s\n", e.what());
        return 1;
    }

    TMultiLang lang;
    SetShellTranslator([&lang](const QString& text) { return lang.Translate(text); });
    GetSystemImageList(); // sets the icon theme before the window asks it for icons
    const std::string exePath = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString(); // a path is bytes
    if (commandLine.Action == saInstall) {
        Install(exePath);
    } else if (commandLine.Action == saUninstall) {
        Uninstall(exePath);
        return 0;
    }

    TFindForm form(lang);
    if (!commandLine.Folder.empty())
        form.SetStartFolder(PathText(commandLine.Folder)); // a folder whose name is not UTF-8 keeps its bytes
    form.show();
    return app.exec();
}
