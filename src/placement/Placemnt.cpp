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
// A frame wider than this is not believed (a damaged or hand-edited value).
constexpr qint64 MaxFrameWidth = 200;

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

// Words of a position text: split at commas and blanks, empty words skipped. 64 bits, so that
// any saved number (and any difference of two) is computed without overflow.
QList<qint64> Words(const QString& text, const QList<qint64>& defaults)
{
    static const QRegularExpression separators(QStringLiteral("[, ]"));
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    QList<qint64> out = defaults;
    for (qsizetype i = 0; i < out.size() && i < words.size(); ++i) {
        bool ok = false;
        const qint64 n = words[i].toLongLong(&ok);
        out[i] = ok ? n : defaults[i];
    }
    return out;
}

qint64 Overlap(qint64 a0, qint64 a1, qint64 b0, qint64 b1)
{
    return qMax<qint64>(0, qMin(a1, b1) - qMax(a0, b0));
}

// The outer frame left, top, right, bottom brought wholly onto the available area (without the
// panels) of the screen it mostly lies on, or of the window's own screen when it lies on none:
// no larger than that area, and never with its title bar above or beside it.
QRect OnScreen(qint64 left, qint64 top, qint64 right, qint64 bottom, QWidget* form)
{
    QRect area;
    qint64 best = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect a = screen->availableGeometry();
        const qint64 shared = Overlap(left, right, a.left(), a.left() + qint64{a.width()}) *
                              Overlap(top, bottom, a.top(), a.top() + qint64{a.height()});
        if (shared > best) {
            best = shared;
            area = a;
        }
    }
    if (area.isEmpty()) {
        QScreen* screen = ScreenOf(form);
        area = screen ? screen->availableGeometry() : QRect(0, 0, 640, 480);
    }
    const qint64 width = qMin(right - left, qint64{area.width()});
    const qint64 height = qMin(bottom - top, qint64{area.height()});
    left = qBound(qint64{area.left()}, left, area.left() + qint64{area.width()} - width);
    top = qBound(qint64{area.top()}, top, area.top() + qint64{area.height()} - height);
    return QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(width), static_cast<int>(height));
}

// The frame's widths around the window's client area: left, top, right, bottom.
QMargins FrameMargins(QWidget* form)
{
    const QRect frame = form->frameGeometry();
    const QRect client = form->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

// Once the window is shown its frame is known: a normal window whose frame still reaches past the
// free area (its frame was guessed at restore, or the panels moved) is brought onto it.
void KeepOnScreen(QWidget* form)
{
    if (form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen))
        return;
    const QRect frame = form->frameGeometry();
    const QRect fitted = OnScreen(frame.left(), frame.top(), frame.left() + qint64{frame.width()},
                                  frame.top() + qint64{frame.height()}, form);
    if (fitted != frame)
        form->setGeometry(fitted.marginsRemoved(FrameMargins(form)));
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

    // The normal rectangle is the outer frame, title bar included, as the system's own record has it.
    QRect normal = FForm->normalGeometry();
    if (!normal.isValid())
        normal = client;
    normal = normal.marginsAdded(FrameMargins(FForm));
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
            const QList<qint64> r = Words(norm, {current.left(), current.top(), current.left() + qint64{current.width()},
                                                 current.top() + qint64{current.height()}});
            if (r[2] > r[0] && r[3] > r[1]) {
                // The saved rectangle is the outer frame. Before the window is first shown the
                // frame is not known yet: the maximized position saved with it (minus the frame's
                // left and top widths) tells, the sides taken as wide as the left one.
                QMargins frame = FrameMargins(FForm);
                if (!FForm->isVisible()) {
                    const QList<qint64> minMax = Words(ReadPosition(QStringLiteral("MinMaxPos")), {0, 0, 0, 0});
                    const int side = static_cast<int>(qBound<qint64>(0, -minMax[2], MaxFrameWidth));
                    frame = QMargins(side, static_cast<int>(qBound<qint64>(0, -minMax[3], MaxFrameWidth)), side, side);
                }
                FForm->setGeometry(OnScreen(r[0], r[1], r[2], r[3], FForm).marginsRemoved(frame));
                QTimer::singleShot(0, FForm, [form = FForm] { KeepOnScreen(form); });
            }
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
