// SPDX-License-Identifier: MIT
// The window's ways out to the person and the desktop: message boxes and opening a document or
// address. Tests answer them in advance, so no box waits for a click and nothing is launched.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <optional>

class QWidget;

namespace trovex
{

class TMessageBox
{
public:
    /// Shows a modal box and returns the button pressed; a queued answer is returned at once
    /// instead (and the box recorded in Shown()). User-interface thread only.
    static QMessageBox::StandardButton Show(QWidget* parent, const QString& text, const QString& caption,
                                            QMessageBox::Icon icon, QMessageBox::StandardButtons buttons);
    /// The answer the next Show returns without showing anything.
    static void SetNextAnswer(QMessageBox::StandardButton answer);
    /// Texts of the boxes answered from the queue, oldest first.
    static QStringList& Shown();

private:
    static std::optional<QMessageBox::StandardButton> FNextAnswer;
};

class TLauncher
{
public:
    /// Opens a file, folder or address through the desktop; the result is not examined. While
    /// recording, the address is only kept in Opened().
    static void OpenUrl(const QUrl& url);
    static void SetRecording(bool recording);
    static QList<QUrl>& Opened();

private:
    static bool FRecording;
};

} // namespace trovex
