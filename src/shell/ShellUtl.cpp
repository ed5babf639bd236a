// SPDX-License-Identifier: MIT
// The desktop operations on Linux: the freedesktop trash (Trash.h), shared-mime-info
// types and icon-theme icons through QMimeDatabase and QIcon, .desktop menu entries, and the file
// manager's D-Bus interface (through the launcher seam) with the program's own fallbacks.
#include "shell/ShellUtl.h"

#include "platform/FileSystem.h"
#include "shell/DesktopEntries.h"
#include "shell/FileList.h"
#include "shell/Seams.h"
#include "shell/Trash.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QProgressDialog>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace trovex
{

namespace
{

// Below this many paths the trash is quick enough that a progress window would only flash.
constexpr int ProgressThreshold = 10;
constexpr int ProgressDelayMs = 500;
// The failure box names at most this many paths, so it always fits the screen.
constexpr int MaxListedFailures = 20;
// 100-ns ticks from 1601-01-01 to 1970-01-01, in milliseconds.
constexpr std::int64_t FileTimeEpochMs = 11644473600000;

std::function<QString(const QString&)>& Translator()
{
    static std::function<QString(const QString&)> translate;
    return translate;
}

QString Tr(const QString& text)
{
    const auto& translate = Translator();
    return translate ? translate(text) : text;
}

QString NameOf(const std::string& path)
{
    std::string_view name = path;
    while (name.size() > 1 && name.back() == '/')
        name.remove_suffix(1);
    return DisplayPath(name.substr(name.rfind('/') + 1));
}

// The name for a message: bytes that are not UTF-8 written as \xFF.
QString MessageNameOf(const std::string& path)
{
    std::string_view name = path;
    while (name.size() > 1 && name.back() == '/')
        name.remove_suffix(1);
    return MessagePath(name.substr(name.rfind('/') + 1));
}

QString TrashQuestion(const std::vector<std::string>& paths)
{
    if (paths.size() == 1)
        return Tr(QStringLiteral("Are you sure you want to move '%1' to the trash?")).arg(MessageNameOf(paths[0]));
    return Tr(QStringLiteral("Are you sure you want to move these %1 items to the trash?")).arg(paths.size());
}

// One box for the whole deletion: a box per file would make a hundred failures a hundred clicks.
void ShowTrashFailures(QWidget* owner, const std::vector<std::pair<std::string, std::string>>& failures)
{
    QString text = Tr(QStringLiteral("These items could not be moved to the trash:"));
    text += QLatin1Char('\n');
    for (std::size_t i = 0; i < failures.size() && i < MaxListedFailures; ++i)
        text += QLatin1Char('\n') + MessagePath(failures[i].first) + QStringLiteral(": ") +
                QString::fromLocal8Bit(failures[i].second.c_str());
    if (failures.size() > MaxListedFailures)
        text += QLatin1Char('\n') + Tr(QStringLiteral("... and %1 more")).arg(failures.size() - MaxListedFailures);
    TMessageBox::Show(owner, text, QStringLiteral("Error"), QMessageBox::Warning, QMessageBox::Ok);
}

QDateTime DateTimeOf(TFileTime time)
{
    if (time == 0)
        return {};
    return QDateTime::fromMSecsSinceEpoch(static_cast<std::int64_t>(time / 10000) - FileTimeEpochMs);
}

// stat() that follows links, as the type of a link is that of what it points at.
bool StatPath(const std::string& path, struct stat& st)
{
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

// The type by the name's extension, as the Windows shell does: reading contents would make every
// row of a large result list open its file. Entries that are no regular file have inode/* types.
QMimeType MimeTypeOf(const std::string& path)
{
    struct stat st{};
    if (!StatPath(path, st))
        return {};
    QMimeDatabase db;
    if (S_ISDIR(st.st_mode))
        return db.mimeTypeForName(QStringLiteral("inode/directory"));
    if (S_ISCHR(st.st_mode))
        return db.mimeTypeForName(QStringLiteral("inode/chardevice"));
    if (S_ISBLK(st.st_mode))
        return db.mimeTypeForName(QStringLiteral("inode/blockdevice"));
    if (S_ISFIFO(st.st_mode))
        return db.mimeTypeForName(QStringLiteral("inode/fifo"));
    if (S_ISSOCK(st.st_mode))
        return db.mimeTypeForName(QStringLiteral("inode/socket"));
    return db.mimeTypeForFile(NameOf(path), QMimeDatabase::MatchExtension);
}

void ChooseIconTheme()
{
    const QString systemIcons = QStringLiteral("/usr/share/icons");
    QStringList searchPaths = QIcon::themeSearchPaths();
    if (!searchPaths.contains(systemIcons)) {
        searchPaths.append(systemIcons);
        QIcon::setThemeSearchPaths(searchPaths);
    }
    // Without a desktop (offscreen, a bare X session) Qt knows no theme but hicolor, which has
    // almost no MIME icons.
    const QString adwaita = QStringLiteral("Adwaita");
    const bool haveAdwaita = QFileInfo::exists(systemIcons + QStringLiteral("/Adwaita/index.theme"));
    const QString theme = QIcon::themeName();
    if ((theme.isEmpty() || theme == QLatin1String("hicolor")) && haveAdwaita)
        QIcon::setThemeName(adwaita);
    const QString fallback = QIcon::fallbackThemeName();
    if ((fallback.isEmpty() || fallback == QLatin1String("hicolor")) && haveAdwaita)
        QIcon::setFallbackThemeName(adwaita);
}

QString FormatTime(const QDateTime& time)
{
    return time.isValid() ? QLocale().toString(time, QLocale::LongFormat) : QString();
}

QString FormatSize(qint64 size)
{
    return Tr(QStringLiteral("%1 (%2 bytes)")).arg(QLocale().formattedDataSize(size)).arg(QLocale().toString(size));
}

QLabel* ValueLabel(QWidget* parent, const char* name, const QString& text)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

// The program's own properties window, for desktops whose file manager offers none over D-Bus. The
// facts come from the file's own bytes, never from a name re-encoded from its text.
void ShowOwnPropertiesDialog(QWidget* owner, const std::string& path)
{
    TFindData data;
    if (!ReadFindData(path, data))
        return;
    std::string_view trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.remove_suffix(1);
    const std::size_t slash = trimmed.rfind('/');
    const std::string_view folder = slash == 0 ? std::string_view("/") : trimmed.substr(0, slash);
    const QString name = NameOf(path);

    auto* dialog = new QDialog(owner);
    dialog->setObjectName(QStringLiteral("FileProperties"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(Tr(QStringLiteral("%1 Properties")).arg(name));

    auto* form = new QFormLayout;
    form->addRow(Tr(QStringLiteral("Name:")), ValueLabel(dialog, "lName", name));
    form->addRow(Tr(QStringLiteral("Folder:")), ValueLabel(dialog, "lFolder", DisplayPath(folder)));
    form->addRow(Tr(QStringLiteral("Type:")), ValueLabel(dialog, "lType", GetFileTypeName(path)));
    if (data.Attributes & faReparsePoint) {
        std::string target(4096, '\0');
        const ssize_t n = ::readlink(std::string(trimmed).c_str(), target.data(), target.size());
        target.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        form->addRow(Tr(QStringLiteral("Link to:")), ValueLabel(dialog, "lTarget", DisplayPath(target)));
    }
    // A folder's size would need a walk of everything below it; like the list, show none.
    if (!(data.Attributes & faDirectory))
        form->addRow(Tr(QStringLiteral("Size:")), ValueLabel(dialog, "lSize", FormatSize(static_cast<qint64>(data.Size))));
    form->addRow(Tr(QStringLiteral("Created:")), ValueLabel(dialog, "lCreated", FormatTime(DateTimeOf(data.CreationTime))));
    form->addRow(Tr(QStringLiteral("Modified:")), ValueLabel(dialog, "lModified", FormatTime(DateTimeOf(data.LastWriteTime))));
    form->addRow(Tr(QStringLiteral("Accessed:")), ValueLabel(dialog, "lAccessed", FormatTime(DateTimeOf(data.LastAccessTime))));

    auto* readOnly = new QCheckBox(Tr(QStringLiteral("Read-only")), dialog);
    readOnly->setObjectName(QStringLiteral("CheckReadOnly"));
    readOnly->setChecked(data.Attributes & faReadOnly);
    readOnly->setEnabled(false);
    auto* hidden = new QCheckBox(Tr(QStringLiteral("Hidden")), dialog);
    hidden->setObjectName(QStringLiteral("CheckHidden"));
    hidden->setChecked(data.Attributes & faHidden);
    hidden->setEnabled(false);
    auto* attributes = new QVBoxLayout;
    attributes->addWidget(readOnly);
    attributes->addWidget(hidden);
    form->addRow(Tr(QStringLiteral("Attributes:")), attributes);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(form);
    layout->addWidget(buttons);
    dialog->show();
}

} // namespace

void SetShellTranslator(std::function<QString(const QString&)> translate)
{
    Translator() = std::move(translate);
}

void Install(const std::string& exePath)
{
    try {
        InstallDesktopEntries(exePath);
    } catch (const std::exception& e) {
        // Install runs before the event loop, where the application's handler cannot see it.
        TMessageBox::Show(QApplication::activeWindow(), QString::fromStdString(e.what()), QStringLiteral("Error"),
                          QMessageBox::Critical, QMessageBox::Ok);
    }
}

void Uninstall(const std::string& exePath)
{
    const QMessageBox::StandardButton answer =
        TMessageBox::Show(QApplication::activeWindow(), Tr(QStringLiteral("Uninstall Trovex? File Trovex")),
                          Tr(QStringLiteral("Confirm")), QMessageBox::Question, QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return;
    if (UninstallDesktopEntries(exePath))
        return;
    // The entries and the settings went; the program's own files stay, and the person is told why,
    // in the box and where a start from a terminal shows it.
    const std::filesystem::path folder = ProgramFolderOf(exePath);
    std::string reason = ProgramFolderRefusal(folder);
    if (reason.empty())
        reason = "the list of installed files cannot be read";
    const QString text = Tr(QStringLiteral("The menu entries, folder commands and settings were removed. The program's files in %1 were left in place: %2."))
                             .arg(MessagePath(folder.string()), QString::fromStdString(reason));
    std::fprintf(stderr, "trovex: uninstall: %s\n", text.toLocal8Bit().constData());
    TMessageBox::Show(QApplication::activeWindow(), text, Tr(QStringLiteral("Uninstall")), QMessageBox::Warning, QMessageBox::Ok);
}

void UpdateMainMenuLink(bool add, const std::string& exePath)
{
    UpdateMainMenuEntry(add, exePath);
}

void UpdateShellMenu(bool add, const std::string& exePath)
{
    UpdateFolderActions(add, exePath);
}

QString BrowseForFolder(QWidget* owner, const QString& title)
{
    return TDialogs::GetExistingDirectory(owner, title);
}

int DeleteFiles(QWidget* owner, const std::vector<std::string>& paths)
{
    if (paths.empty())
        return -1;
    const int count = static_cast<int>(paths.size());
    const QString caption = count == 1 ? Tr(QStringLiteral("Delete File")) : Tr(QStringLiteral("Delete Multiple Items"));
    if (TMessageBox::Show(owner, TrashQuestion(paths), caption, QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return count;

    std::unique_ptr<QProgressDialog> progress;
    if (count > ProgressThreshold) {
        progress = std::make_unique<QProgressDialog>(Tr(QStringLiteral("Moving to the trash...")), Tr(QStringLiteral("Cancel")),
                                                     0, count, owner);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(ProgressDelayMs);
    }
    int notMoved = 0;
    std::vector<std::pair<std::string, std::string>> failures;
    for (int i = 0; i < count; ++i) {
        if (progress) {
            progress->setValue(i);
            if (progress->wasCanceled()) {
                notMoved += count - i;
                break;
            }
        }
        const TTrashResult result = MoveToTrash(paths[static_cast<std::size_t>(i)]);
        if (!result.Moved) {
            ++notMoved;
            failures.emplace_back(paths[static_cast<std::size_t>(i)], result.Error);
        }
    }
    if (progress)
        progress->setValue(count);
    progress.reset();
    if (!failures.empty())
        ShowTrashFailures(owner, failures);
    return notMoved;
}

bool ShowFileProperties(QWidget* owner, const std::string& path)
{
    struct stat st{};
    if (path.empty() || ::lstat(path.c_str(), &st) != 0)
        return false;
    // The file manager may refuse later, from the event loop; by then the window may be gone.
    QPointer<QWidget> guard(owner);
    const bool hadOwner = owner != nullptr;
    TLauncher::ShowItemProperties({FileUrl(path)}, [guard, hadOwner, path]() {
        if (!hadOwner || guard)
            ShowOwnPropertiesDialog(guard, path);
    });
    return true;
}

QString GetFileTypeName(const std::string& path)
{
    const QMimeType type = MimeTypeOf(path);
    return type.isValid() ? type.comment() : QString();
}

QString GetFileTypeName(const QString& path)
{
    return GetFileTypeName(PathBytes(path));
}

QIcon TSystemImageList::Icon(int index) const
{
    return index >= 0 && index < FIcons.size() ? FIcons[index] : QIcon();
}

int TSystemImageList::IndexOf(const QString& mimeName, const QString& iconName, const QString& genericIconName)
{
    if (const auto known = FByMime.constFind(mimeName); known != FByMime.cend())
        return *known;
    int slot = -1;
    for (const QString& name : {iconName, genericIconName}) {
        if (name.isEmpty())
            continue;
        if (const auto shared = FByIcon.constFind(name); shared != FByIcon.cend()) {
            slot = *shared;
            break;
        }
        const QIcon icon = QIcon::fromTheme(name);
        if (!icon.isNull()) {
            slot = static_cast<int>(FIcons.size());
            FIcons.append(icon);
            FByIcon.insert(name, slot);
            break;
        }
    }
    FByMime.insert(mimeName, slot);
    return slot;
}

TSystemImageList& GetSystemImageList()
{
    static TSystemImageList* list = [] {
        ChooseIconTheme();
        return new TSystemImageList; // lives until exit, as the icons it hands out may
    }();
    return *list;
}

QIcon SystemImageListIcon(int index)
{
    return GetSystemImageList().Icon(index);
}

int GetFileIconIndex(const QString& path)
{
    return GetFileIconIndex(PathBytes(path));
}

int GetFileIconIndex(const std::string& path)
{
    const QMimeType type = MimeTypeOf(path);
    if (!type.isValid())
        return -1;
    return GetSystemImageList().IndexOf(type.name(), type.iconName(), type.genericIconName());
}

void CreateShortcut(const QString& target, const QString& shortcutFile, const QString& description,
                    const QString& icon, const QStringList& arguments)
{
    std::vector<std::string> args;
    for (const QString& argument : arguments)
        args.push_back(argument.toStdString());
    CreateShortcut(QFile::encodeName(target).toStdString(), std::filesystem::path(QFile::encodeName(shortcutFile).toStdString()),
                   description.toStdString(), icon.toStdString(), args);
}

void DeleteFolderFiles(const QString& folder)
{
    // "x/" would make the system follow a link named x; with or without the slash, the same tree.
    QString path = folder;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (!path.isEmpty())
        EmptyFolderTree(std::filesystem::path(QFile::encodeName(path).toStdString()));
}

QUrl FileUrl(const std::string& path)
{
    return QUrl::fromEncoded(QByteArray::fromStdString(FileUri(path)), QUrl::StrictMode);
}

void OpenDocument(const std::string& path)
{
    TLauncher::OpenUrl(FileUrl(path));
}

void OpenFolder(const std::string& folder, const std::string& selectPath)
{
    const QUrl folderUrl = FileUrl(folder);
    if (selectPath.empty()) {
        TLauncher::OpenUrl(folderUrl);
        return;
    }
    std::string item = selectPath;
    if (item[0] != '/')
        item = (folder.empty() || folder.back() == '/' ? folder : folder + '/') + selectPath;
    TLauncher::ShowItems({FileUrl(item)}, [folderUrl]() { TLauncher::OpenUrl(folderUrl); });
}

void OpenHomePage()
{
    TLauncher::OpenUrl(QUrl(HomePageAddress));
}

void OpenSupportMail()
{
    TLauncher::OpenUrl(QUrl(QStringLiteral("mailto:") + SupportMailAddress));
}

} // namespace trovex
