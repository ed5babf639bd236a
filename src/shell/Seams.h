// SPDX-License-Identifier: MIT
// The program's ways out to the person and the desktop: message boxes, the folder and file
// dialogs, opening a document or address, and the file manager's D-Bus calls. Tests answer them in
// advance and read what was asked, so no box waits for a click and nothing is launched.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <functional>
#include <optional>

class QWidget;

namespace trovex
{

class TMessageBox
{
public:
    /// Shows a modal box and returns the button pressed; a queued answer is returned at once
    /// instead (and the box's text recorded in Shown()). User-interface thread only.
    static QMessageBox::StandardButton Show(QWidget* parent, const QString& text, const QString& caption,
                                            QMessageBox::Icon icon, QMessageBox::StandardButtons buttons);
    /// Queues an answer: the next Show that finds none queued before it returns it without
    /// showing anything. Answers are used oldest first.
    static void SetNextAnswer(QMessageBox::StandardButton answer);
    /// Texts of the boxes answered from the queue, oldest first.
    static QStringList& Shown();

private:
    static std::deque<QMessageBox::StandardButton> FNextAnswers;
};

/// The modal file dialogs. A queued answer is returned once without showing anything, and the
/// dialog's caption is recorded in Asked(). User-interface thread only.
class TDialogs
{
public:
    /// QFileDialog::getExistingDirectory: the chosen folder, or an empty text when cancelled.
    static QString GetExistingDirectory(QWidget* parent, const QString& caption, const QString& startFolder = {});
    /// QFileDialog::getSaveFileName: the chosen file, or an empty text when cancelled. With a queued
    /// answer `selectedFilter` is left as it is.
    static QString GetSaveFileName(QWidget* parent, const QString& caption, const QString& startName,
                                   const QString& filters, QString* selectedFilter = nullptr);
    /// What the next GetExistingDirectory returns; an empty text answers "cancelled".
    static void SetNextFolder(const QString& folder);
    /// What the next GetSaveFileName returns; an empty text answers "cancelled".
    static void SetNextFileName(const QString& fileName);
    /// Captions of the dialogs answered from the queue, oldest first.
    static QStringList& Asked();

private:
    static std::optional<QString> FNextFolder;
    static std::optional<QString> FNextFileName;
};

/// Opening through the desktop and the file manager's org.freedesktop.FileManager1 calls. Results
/// are not examined; when no file manager takes a call, its `otherwise` runs instead (possibly
/// later, from the event loop, when the file manager answers with an error). While recording,
/// nothing leaves the process: the requests are kept in the lists below and the file manager is
/// taken as present or absent as SetFileManagerPresent says (absent until told otherwise).
/// User-interface thread only.
class TLauncher
{
public:
    /// Opens a file, folder or address with the desktop's default application.
    static void OpenUrl(const QUrl& url);
    /// Shows the folders of `items` in the file manager with the items selected.
    static void ShowItems(const QList<QUrl>& items, std::function<void()> otherwise);
    /// Opens the file manager's properties window of `items`.
    static void ShowItemProperties(const QList<QUrl>& items, std::function<void()> otherwise);

    static void SetRecording(bool recording);
    static void SetFileManagerPresent(bool present);
    /// Addresses given to OpenUrl while recording, oldest first.
    static QList<QUrl>& Opened();
    /// Items given to ShowItems while recording, oldest first.
    static QList<QUrl>& ShownItems();
    /// Items given to ShowItemProperties while recording, oldest first.
    static QList<QUrl>& ShownProperties();

private:
    static void CallFileManager(const QString& method, const QList<QUrl>& items, std::function<void()> otherwise);

    static bool FRecording;
    static bool FFileManagerPresent;
};

} // namespace trovex
