// SPDX-License-Identifier: MIT
// Window placement in the store. Positions are trusted only for the pixels per inch they were
// saved at, and a position saved for the current screen size wins over the plain one, so a
// change of resolution or scaling never puts the window somewhere odd.
#include "placement/Placemnt.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "platform/Registry.h"

namespace trovex
{

namespace
{

enum TShowCmd : int
{
    swHide = 0,
    swNormal = 1,
    swMinimized = 2,
    swMaximized = 3,
    swMinimize = 6,
    swShowMinNoActive = 7,
};

constexpr int wpfRestoreToMaximized = 2;

QScreen* ScreenOf(QWidget* form)
{
    QScreen* screen = form->screen();
    return screen ? screen : QGuiApplication::primaryScreen();
}

int PixelsPerInch(QWidget* form)
{
    QScreen* screen = ScreenOf(form);
    return screen ? qRound(screen->logicalDotsPerInch()) : 96;
}

// Words of a position text: split at commas and blanks, empty words skipped.
QList<int> Words(const QString& text, const QList<int>& defaults)
{
    static const QRegularExpression separators(QStringLiteral("[, ]"));
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    QList<int> out = defaults;
    for (int i = 0; i < out.size() && i < words.size(); ++i) {
        bool ok = false;
        int n = words[i].toInt(&ok);
        out[i] = ok ? n : defaults[i];
    }
    return out;
}

// Like the system does with a saved placement: a window that would lie wholly outside every
// screen is brought onto the screen it belongs to.
QRect OnScreen(QRect rect, QWidget* form)
{
    for (QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(rect))
            return rect;
    if (QScreen* screen = ScreenOf(form))
        rect.moveTopLeft(screen->availableGeometry().topLeft());
    return rect;
}

} // namespace

TFormPlacement::TFormPlacement(QWidget* form, TRegistry& store, QString iniFileName, QString iniSection)
    : FForm(form), FStore(store), FIniFileName(std::move(iniFileName)), FIniSection(std::move(iniSection))
{
}

QString TFormPlacement::ScreenName(const QString& name) const
{
    QScreen* screen = ScreenOf(FForm);
    QSize size = screen ? screen->geometry().size() : QSize(0, 0);
    return QStringLiteral("%1(%2x%3)").arg(name).arg(size.width()).arg(size.height());
}

QString TFormPlacement::ReadPosition(const QString& name) const
{
    QString text = ReadString(ScreenName(name), QString());
    return text.isEmpty() ? ReadString(name, QString()) : text;
}

int TFormPlacement::ReadInteger(const QString& name, int def) const
{
    const TRegValue* v = FStore.FindValue(SectionKey().toStdString(), name.toStdString());
    if (!v)
        return def;
    if (v->Type == rtDWord)
        return static_cast<int>(v->DWord);
    if (!v->IsString())
        return def;
    bool ok = false;
    int n = QString::fromStdString(v->Text).trimmed().toInt(&ok);
    return ok ? n : def;
}

QString TFormPlacement::ReadString(const QString& name, const QString& def) const
{
    const TRegValue* v = FStore.FindValue(SectionKey().toStdString(), name.toStdString());
    return v && v->IsString() ? QString::fromStdString(v->Text) : def;
}

void TFormPlacement::WriteInteger(const QString& name, int value)
{
    WriteString(name, QString::number(value));
}

void TFormPlacement::WriteString(const QString& name, const QString& value)
{
    FStore.WriteString(SectionKey().toStdString(), name.toStdString(), value.toStdString());
}

void TFormPlacement::SaveFormPlacement(bool destroying)
{
    if (!FRestored)
        return;
    WriteInteger(QStringLiteral("FormVersion"), Version);

    const Qt::WindowStates state = FForm->windowState();
    int showCmd = swNormal;
    if (state & Qt::WindowMinimized)
        showCmd = swMinimized;
    else if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        showCmd = swMaximized;
    const int flags = (state & Qt::WindowMinimized) && (state & Qt::WindowMaximized) ? wpfRestoreToMaximized : 0;
    WriteInteger(QStringLiteral("Flags"), flags);
    WriteInteger(QStringLiteral("ShowCmd"), showCmd);
    WriteInteger(QStringLiteral("PixelsPerInch"), PixelsPerInch(FForm));

    const QRect frame = FForm->frameGeometry();
    const QRect client = FForm->geometry();
    const QString minMax = QStringLiteral("%1,%2,%3,%4")
                               .arg(-1)
                               .arg(-1)
                               .arg(frame.x() - client.x())
                               .arg(frame.y() - client.y());
    WriteString(ScreenName(QStringLiteral("MinMaxPos")), minMax);
    WriteString(QStringLiteral("MinMaxPos"), minMax);

    QRect normal = FForm->normalGeometry();
    if (!normal.isValid())
        normal = client;
    const QString norm = QStringLiteral("%1,%2,%3,%4")
                             .arg(normal.left())
                             .arg(normal.top())
                             .arg(normal.left() + normal.width())
                             .arg(normal.top() + normal.height());
    WriteString(ScreenName(QStringLiteral("NormPos")), norm);
    WriteString(QStringLiteral("NormPos"), norm);

    WriteString(QStringLiteral("Visible"), destroying ? QStringLiteral("1") : QStringLiteral("0"));
    FSaved = true;
}

void TFormPlacement::RestoreFormPlacement()
{
    if (ReadInteger(QStringLiteral("FormVersion"), Version) >= Version) {
        const QRect current = FForm->geometry();
        const int flags = ReadInteger(QStringLiteral("Flags"), 0);

        // "MinMaxPos" is written for the format's sake but not applied: on this platform the
        // window manager places minimized and maximized windows itself.
        const QString norm = ReadPosition(QStringLiteral("NormPos"));
        const bool sameDpi = ReadInteger(QStringLiteral("PixelsPerInch"), PixelsPerInch(FForm)) == PixelsPerInch(FForm);
        if (!norm.isEmpty() && sameDpi) {
            const QList<int> r = Words(norm, {current.left(), current.top(), current.left() + current.width(),
                                              current.top() + current.height()});
            if (r[2] > r[0] && r[3] > r[1])
                FForm->setGeometry(OnScreen(QRect(r[0], r[1], r[2] - r[0], r[3] - r[1]), FForm));
        }

        switch (ReadInteger(QStringLiteral("ShowCmd"), swHide)) {
        case swMinimized:
        case swMinimize:
        case swShowMinNoActive:
            // The whole program starts minimized: the window opens normally (or maximized when it
            // was minimized from there) and is minimized as soon as the event loop runs.
            FForm->setWindowState((flags & wpfRestoreToMaximized) ? Qt::WindowMaximized : Qt::WindowNoState);
            QTimer::singleShot(0, FForm, [form = FForm] { form->setWindowState(form->windowState() | Qt::WindowMinimized); });
            break;
        case swMaximized:
            FForm->setWindowState(Qt::WindowMaximized);
            break;
        default:
            FForm->setWindowState(Qt::WindowNoState);
            break;
        }
        FForm->update();
    }
    FRestored = true;
}

} // namespace trovex
