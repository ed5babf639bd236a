// SPDX-License-Identifier: MIT
// Message boxes, file dialogs, the desktop launcher and the file manager's D-Bus calls behind their
// test seams.
#include "shell/Seams.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileDialog>

namespace trovex
{

namespace
{

const QString FileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString FileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
// Long enough for a file manager that D-Bus starts on demand to come up.
constexpr int FileManagerTimeoutMs = 15000;

bool FileManagerOffered(const QDBusConnection& bus)
{
    if (!bus.isConnected())
        return false;
    QDBusConnectionInterface* daemon = bus.interface();
    if (!daemon)
        return false;
    if (daemon->isServiceRegistered(FileManagerService).value())
        return true;
    // A file manager that is not running yet is started by the bus on the first call.
    return daemon->activatableServiceNames().value().contains(FileManagerService);
}

} // namespace

std::deque<QMessageBox::StandardButton> TMessageBox::FNextAnswers;
std::optional<QString> TDialogs::FNextFolder;
std::optional<QString> TDialogs::FNextFileName;
bool TLauncher::FRecording = false;
bool TLauncher::FFileManagerPresent = false;

QMessageBox::StandardButton TMessageBox::Show(QWidget* parent, const QString& text, const QString& caption,
                                              QMessageBox::Icon icon, QMessageBox::StandardButtons buttons)
{
    if (!FNextAnswers.empty()) {
        const QMessageBox::StandardButton answer = FNextAnswers.front();
        FNextAnswers.pop_front();
        Shown().append(text);
        return answer;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void TMessageBox::SetNextAnswer(QMessageBox::StandardButton answer)
{
    FNextAnswers.push_back(answer);
}

QStringList& TMessageBox::Shown()
{
    static QStringList shown;
    return shown;
}

QString TDialogs::GetExistingDirectory(QWidget* parent, const QString& caption, const QString& startFolder)
{
    if (FNextFolder) {
        QString folder = *FNextFolder;
        FNextFolder.reset();
        Asked().append(caption);
        return folder;
    }
    return QFileDialog::getExistingDirectory(parent, caption, startFolder);
}

QString TDialogs::GetSaveFileName(QWidget* parent, const QString& caption, const QString& startName,
                                  const QString& filters, QString* selectedFilter)
{
    if (FNextFileName) {
        QString name = *FNextFileName;
        FNextFileName.reset();
        Asked().append(caption);
        return name;
    }
    // The program asks "File exists! Replace?" itself, so the dialog must not ask first.
    return QFileDialog::getSaveFileName(parent, caption, startName, filters, selectedFilter,
                                        QFileDialog::DontConfirmOverwrite);
}

void TDialogs::SetNextFolder(const QString& folder)
{
    FNextFolder = folder;
}

void TDialogs::SetNextFileName(const QString& fileName)
{
    FNextFileName = fileName;
}

QStringList& TDialogs::Asked()
{
    static QStringList asked;
    return asked;
}

void TLauncher::OpenUrl(const QUrl& url)
{
    if (FRecording)
        Opened().append(url);
    else
        QDesktopServices::openUrl(url);
}

void TLauncher::ShowItems(const QList<QUrl>& items, std::function<void()> otherwise)
{
    if (FRecording)
        ShownItems().append(items);
    CallFileManager(QStringLiteral("ShowItems"), items, std::move(otherwise));
}

void TLauncher::ShowItemProperties(const QList<QUrl>& items, std::function<void()> otherwise)
{
    if (FRecording)
        ShownProperties().append(items);
    CallFileManager(QStringLiteral("ShowItemProperties"), items, std::move(otherwise));
}

void TLauncher::CallFileManager(const QString& method, const QList<QUrl>& items, std::function<void()> otherwise)
{
    if (FRecording) {
        if (!FFileManagerPresent && otherwise)
            otherwise();
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!FileManagerOffered(bus)) {
        if (otherwise)
            otherwise();
        return;
    }
    QStringList uris;
    for (const QUrl& item : items)
        uris.append(QString::fromLatin1(item.toEncoded()));
    QDBusMessage call = QDBusMessage::createMethodCall(FileManagerService, FileManagerPath, FileManagerService, method);
    call << uris << QString(); // no startup notification id
    // Asynchronous, so a file manager that is slow to start does not freeze the window.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, FileManagerTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [otherwise](QDBusPendingCallWatcher* done) {
        const QDBusError::ErrorType error = done->isError() ? done->error().type() : QDBusError::NoError;
        // A file manager that answers late may still show the items: opening them a second way
        // then would give two windows. Any other error means it does not handle the call.
        if (error != QDBusError::NoError && error != QDBusError::NoReply && error != QDBusError::Timeout && otherwise)
            otherwise();
        done->deleteLater();
    });
}

void TLauncher::SetRecording(bool recording)
{
    FRecording = recording;
}

void TLauncher::SetFileManagerPresent(bool present)
{
    FFileManagerPresent = present;
}

QList<QUrl>& TLauncher::Opened()
{
    static QList<QUrl> opened;
    return opened;
}

QList<QUrl>& TLauncher::ShownItems()
{
    static QList<QUrl> shown;
    return shown;
}

QList<QUrl>& TLauncher::ShownProperties()
{
    static QList<QUrl> shown;
    return shown;
}

} // namespace trovex
