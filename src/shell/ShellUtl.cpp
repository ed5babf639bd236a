// SPDX-License-Identifier: MIT
// The desktop operations on Linux: freedesktop trash through QFile::moveToTrash, shared-mime-info
// types and icon-theme icons through QMimeDatabase and QIcon, .desktop menu entries, and the file
// manager's D-Bus interface (through the launcher seam) with the program's own fallbacks.
#include "shell/ShellUtl.h"

#include "shell/DesktopEntries.h"
#include "shell/Seams.h"

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
#include <QStandardPaths>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sys/stat.h>

namespace trovex
{

namespace
{

// Below this many paths the trash is quick enough that a progress window would only flash.
constexpr int ProgressThreshold = 10;
constexpr int ProgressDelayMs = 500;

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

QString TrashQuestion(const QStringList& paths)
{
    if (paths.size() == 1)
        return Tr(QStringLiteral("Are you sure you want to move '%1' to the trash?")).arg(QFileInfo(paths[0]).fileName());
    return Tr(QStringLiteral("Are you sure you want to move these %1 items to the trash?")).arg(paths.size());
}

// Qt 6.4 builds the home trash under $XDG_DATA_HOME only when that folder exists; otherwise, or when
// the trash folder cannot be made, it "succeeds" by moving the item into ./files of the working
// folder. So the data folder is made first, and a move that lands anywhere but an absolute trash
// path is undone and counted as failed.
bool PrepareHomeTrash()
{
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty() || !QDir::isAbsolutePath(dataHome))
        return false;
    QDir().mkpath(dataHome);
    return QFileInfo(dataHome).isDir();
}

void UndoStrayTrashMove(const QString& original, const QString& pathInTrash)
{
    const QString moved = QDir::current().absoluteFilePath(pathInTrash);
    std::rename(QFile::encodeName(moved).constData(), QFile::encodeName(original).constData());
    // The record Qt wrote for it, and the two folders it made, when nothing else is in them.
    QDir trashDir = QFileInfo(moved).dir();
    trashDir.cdUp();
    QFile::remove(trashDir.filePath(QStringLiteral("info/") + QFileInfo(moved).fileName() + QStringLiteral(".trashinfo")));
    trashDir.rmdir(QStringLiteral("info"));
    trashDir.rmdir(QStringLiteral("files"));
}

bool MoveOneToTrash(const QString& path)
{
    QString pathInTrash;
    if (!QFile::moveToTrash(path, &pathInTrash))
        return false;
    if (QDir::isAbsolutePath(pathInTrash))
        return true;
    UndoStrayTrashMove(path, pathInTrash);
    return false;
}

// stat() that follows links, as the type of a link is that of what it points at.
bool StatPath(const QString& path, struct stat& st)
{
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &st) == 0;
}

// The type by the name's extension, as the Windows shell does: reading contents would make every
// row of a large result list open its file. Entries that are no regular file have inode/* types.
QMimeType MimeTypeOf(const QString& path)
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
    return db.mimeTypeForFile(QFileInfo(path).fileName(), QMimeDatabase::MatchExtension);
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

// The program's own properties window, for desktops whose file manager offers none over D-Bus.
void ShowOwnPropertiesDialog(QWidget* owner, const QString& path)
{
    const QFileInfo info(path);
    auto* dialog = new QDialog(owner);
    dialog->setObjectName(QStringLiteral("FileProperties"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(Tr(QStringLiteral("%1 Properties")).arg(info.fileName()));

    auto* form = new QFormLayout;
    form->addRow(Tr(QStringLiteral("Name:")), ValueLabel(dialog, "lName", info.fileName()));
    form->addRow(Tr(QStringLiteral("Folder:")), ValueLabel(dialog, "lFolder", QDir::toNativeSeparators(info.absolutePath())));
    form->addRow(Tr(QStringLiteral("Type:")), ValueLabel(dialog, "lType", GetFileTypeName(path)));
    if (info.isSymLink())
        form->addRow(Tr(QStringLiteral("Link to:")), ValueLabel(dialog, "lTarget", info.symLinkTarget()));
    // A folder's size would need a walk of everything below it; like the list, show none.
    if (!info.isDir())
        form->addRow(Tr(QStringLiteral("Size:")), ValueLabel(dialog, "lSize", FormatSize(info.size())));
    form->addRow(Tr(QStringLiteral("Created:")), ValueLabel(dialog, "lCreated", FormatTime(info.birthTime())));
    form->addRow(Tr(QStringLiteral("Modified:")), ValueLabel(dialog, "lModified", FormatTime(info.lastModified())));
    form->addRow(Tr(QStringLiteral("Accessed:")), ValueLabel(dialog, "lAccessed", FormatTime(info.lastRead())));

    auto* readOnly = new QCheckBox(Tr(QStringLiteral("Read-only")), dialog);
    readOnly->setObjectName(QStringLiteral("CheckReadOnly"));
    readOnly->setChecked(!(info.permissions() & QFileDevice::WriteOwner));
    readOnly->setEnabled(false);
    auto* hidden = new QCheckBox(Tr(QStringLiteral("Hidden")), dialog);
    hidden->setObjectName(QStringLiteral("CheckHidden"));
    hidden->setChecked(info.fileName().startsWith(QLatin1Char('.')));
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
    UninstallDesktopEntries(exePath);
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

int DeleteFiles(QWidget* owner, const QStringList& paths)
{
    if (paths.isEmpty())
        return -1;
    const QString caption = paths.size() == 1 ? Tr(QStringLiteral("Delete File")) : Tr(QStringLiteral("Delete Multiple Items"));
    if (TMessageBox::Show(owner, TrashQuestion(paths), caption, QMessageBox::Question,
                          QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return static_cast<int>(paths.size());
    if (!PrepareHomeTrash())
        return static_cast<int>(paths.size());

    std::unique_ptr<QProgressDialog> progress;
    if (paths.size() > ProgressThreshold) {
        progress = std::make_unique<QProgressDialog>(Tr(QStringLiteral("Moving to the trash...")), Tr(QStringLiteral("Cancel")),
                                                     0, static_cast<int>(paths.size()), owner);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(ProgressDelayMs);
    }
    int notMoved = 0;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (progress) {
            progress->setValue(static_cast<int>(i));
            if (progress->wasCanceled()) {
                notMoved += static_cast<int>(paths.size() - i);
                break;
            }
        }
        if (!MoveOneToTrash(paths[i]))
            ++notMoved;
    }
    if (progress)
        progress->setValue(static_cast<int>(paths.size()));
    return notMoved;
}

bool ShowFileProperties(QWidget* owner, const QString& path)
{
    struct stat st{};
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    // The file manager may refuse later, from the event loop; by then the window may be gone.
    QPointer<QWidget> guard(owner);
    const bool hadOwner = owner != nullptr;
    TLauncher::ShowItemProperties({QUrl::fromLocalFile(path)}, [guard, hadOwner, path]() {
        if (!hadOwner || guard)
            ShowOwnPropertiesDialog(guard, path);
    });
    return true;
}

QString GetFileTypeName(const QString& path)
{
    const QMimeType type = MimeTypeOf(path);
    return type.isValid() ? type.comment() : QString();
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

void OpenDocument(const QString& path)
{
    TLauncher::OpenUrl(QUrl::fromLocalFile(path));
}

void OpenFolder(const QString& folder, const QString& selectPath)
{
    const QUrl folderUrl = QUrl::fromLocalFile(folder);
    if (selectPath.isEmpty()) {
        TLauncher::OpenUrl(folderUrl);
        return;
    }
    const QString item = QDir::isAbsolutePath(selectPath) ? selectPath : QDir(folder).filePath(selectPath);
    TLauncher::ShowItems({QUrl::fromLocalFile(item)}, [folderUrl]() { TLauncher::OpenUrl(folderUrl); });
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
