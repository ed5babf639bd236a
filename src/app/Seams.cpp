// SPDX-License-Identifier: MIT
// Message boxes and the desktop launcher behind their test seams.
#include "app/Seams.h"

#include <QDesktopServices>

namespace trovex
{

std::optional<QMessageBox::StandardButton> TMessageBox::FNextAnswer;
bool TLauncher::FRecording = false;

QMessageBox::StandardButton TMessageBox::Show(QWidget* parent, const QString& text, const QString& caption,
                                              QMessageBox::Icon icon, QMessageBox::StandardButtons buttons)
{
    if (FNextAnswer) {
        QMessageBox::StandardButton answer = *FNextAnswer;
        FNextAnswer.reset();
        Shown().append(text);
        return answer;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void TMessageBox::SetNextAnswer(QMessageBox::StandardButton answer)
{
    FNextAnswer = answer;
}

QStringList& TMessageBox::Shown()
{
    static QStringList shown;
    return shown;
}

void TLauncher::OpenUrl(const QUrl& url)
{
    if (FRecording)
        Opened().append(url);
    else
        QDesktopServices::openUrl(url);
}

void TLauncher::SetRecording(bool recording)
{
    FRecording = recording;
}

QList<QUrl>& TLauncher::Opened()
{
    static QList<QUrl> opened;
    return opened;
}

} // namespace trovex
