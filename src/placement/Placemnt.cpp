// SPDX-License-Identifier: MIT
// Window placement in the store, as the Qt window applies it. Positions are trusted only for the
// pixels per inch they were saved at, and a position saved for the current screen size wins over the
// plain one, so a change of resolution or scaling never puts the window somewhere odd. The texts and
// the arithmetic are PlacementMath's.
#include "placement/Placemnt.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <optional>

#include "platform/Registry.h"
#include "window/PlacementMath.h"

namespace trovex
{

namespace
{

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

// Store strings as the store escapes them: a byte that is not UTF-8 is U+DC00 + byte.
QString StoreText(const std::string& bytes)
{
    return QString::fromStdU16String(EscapedUtf16(bytes));
}

std::string StoreBytes(const QString& text)
{
    return TextOfEscapedUtf16(text.toStdU16String());
}

TScreenRect Area(const QRect& r)
{
    return {r.left(), r.top(), r.width(), r.height()};
}

// The outer frame left, top, right, bottom brought onto the available area (without the panels) of
// the screen it mostly lies on, or of the window's own screen when it lies on none.
QRect OnScreen(qint64 left, qint64 top, qint64 right, qint64 bottom, QSize minimum, QWidget* form)
{
    std::vector<TScreenRect> areas;
    for (QScreen* screen : QGuiApplication::screens())
        areas.push_back(Area(screen->availableGeometry()));
    QScreen* own = ScreenOf(form);
    const TScreenRect fallback = own ? Area(own->availableGeometry()) : TScreenRect{0, 0, 640, 480};
    const TScreenRect r = FitOnScreens(left, top, right, bottom, minimum.width(), minimum.height(), areas, fallback);
    return QRect(r.Left, r.Top, r.Width, r.Height);
}

// The frame's widths around the window's client area: left, top, right, bottom.
QMargins FrameMargins(QWidget* form)
{
    const QRect frame = form->frameGeometry();
    const QRect client = form->geometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

bool IsNormal(QWidget* form)
{
    return !(form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

} // namespace

// Until the window is mapped its frame is a guess; the first exposure tells the real one, and the
// saved rectangle is then applied once more with it. No Q_OBJECT: only eventFilter is needed.
class TFormPlacement::TFrameWatch : public QObject
{
public:
    explicit TFrameWatch(TFormPlacement& owner) : FOwner(owner) {}

    void Watch()
    {
        FOwner.FForm->installEventFilter(this);
        if (QWindow* window = FOwner.FForm->windowHandle())
            window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        QWidget* form = FOwner.FForm;
        // The native window exists once the widget is being shown.
        if (watched == form && event->type() == QEvent::Show && form->windowHandle())
            form->windowHandle()->installEventFilter(this);
        if (watched == form->windowHandle() && event->type() == QEvent::Expose && form->windowHandle()->isExposed()) {
            // The frame's extents are asked of the window system when needed, so they are known here.
            form->removeEventFilter(this);
            watched->removeEventFilter(this);
            FOwner.FitFrame();
        }
        return false;
    }

private:
    TFormPlacement& FOwner;
};

TFormPlacement::TFormPlacement(QWidget* form, TKeyStore& store, QString iniFileName, QString iniSection)
    : FForm(form), FIniFileName(std::move(iniFileName)), FIniSection(std::move(iniSection)),
      FSection(std::make_unique<TPlacementSection>(store, SectionKey().toStdString())),
      FWatch(std::make_unique<TFrameWatch>(*this))
{
}

TFormPlacement::~TFormPlacement() = default;

QString TFormPlacement::ScreenName(const QString& name) const
{
    QScreen* screen = ScreenOf(FForm);
    QSize size = screen ? screen->geometry().size() : QSize(0, 0);
    return QString::fromStdString(ScreenValueName(name.toStdString(), size.width(), size.height()));
}

QString TFormPlacement::ReadPosition(const QString& name) const
{
    QString text = ReadString(ScreenName(name), QString());
    return text.isEmpty() ? ReadString(name, QString()) : text;
}

int TFormPlacement::ReadInteger(const QString& name, int def) const
{
    return FSection->ReadInteger(name.toStdString(), def);
}

QString TFormPlacement::ReadString(const QString& name, const QString& def) const
{
    const std::optional<std::string> text = FSection->ReadString(name.toStdString());
    return text ? StoreText(*text) : def;
}

void TFormPlacement::WriteInteger(const QString& name, int value)
{
    FSection->WriteInteger(name.toStdString(), value);
}

void TFormPlacement::WriteString(const QString& name, const QString& value)
{
    FSection->WriteString(name.toStdString(), StoreBytes(value));
}

QSize TFormPlacement::MinimumFrame(const QMargins& frame) const
{
    return FForm->minimumSize().expandedTo(FDesignMinimum).grownBy(frame);
}

void TFormPlacement::FitFrame()
{
    if (!IsNormal(FForm))
        return;
    const QMargins margins = FrameMargins(FForm);
    FNormalFrame = margins;
    QRect want;
    if (FSavedFrame) {
        const auto& [left, top, right, bottom] = *FSavedFrame;
        want = OnScreen(left, top, right, bottom, MinimumFrame(margins), FForm);
    } else {
        // No saved rectangle: the design bounds, brought onto the screen should the panels cover them.
        const QRect frame = FForm->frameGeometry();
        want = OnScreen(frame.left(), frame.top(), frame.left() + qint64{frame.width()},
                        frame.top() + qint64{frame.height()}, QSize(), FForm);
    }
    if (want != FForm->frameGeometry())
        FForm->setGeometry(want.marginsRemoved(margins));
}

void TFormPlacement::SaveFormPlacement(bool destroying)
{
    if (!FRestored)
        return;
    WriteInteger(QStringLiteral("FormVersion"), Version);

    const Qt::WindowStates state = FForm->windowState();
    const int showCmd = ShowCmdOf(state & Qt::WindowMinimized, state & (Qt::WindowMaximized | Qt::WindowFullScreen));
    const int flags = (state & Qt::WindowMinimized) && (state & Qt::WindowMaximized) ? wpfRestoreToMaximized : 0;
    WriteInteger(QStringLiteral("Flags"), flags);
    WriteInteger(QStringLiteral("ShowCmd"), showCmd);
    WriteInteger(QStringLiteral("PixelsPerInch"), PixelsPerInch(FForm));

    // The frame of the normal window: a maximized window's frame may lack its sides.
    if (IsNormal(FForm) && FForm->isVisible())
        FNormalFrame = FrameMargins(FForm);
    const QMargins frame = FNormalFrame.value_or(FrameMargins(FForm));
    // The maximized position is minus the frame's left and top widths, as the system's record has it;
    // the minimized one, which the window manager chooses itself here, carries minus the right and
    // bottom widths, so that the next start knows the whole frame before it is drawn.
    const QString minMax = QString::fromStdString(PositionText(-frame.right(), -frame.bottom(), -frame.left(), -frame.top()));
    WriteString(ScreenName(QStringLiteral("MinMaxPos")), minMax);
    WriteString(QStringLiteral("MinMaxPos"), minMax);

    // The normal rectangle is the outer frame, title bar included, as the system's own record has it.
    QRect normal = FForm->normalGeometry();
    if (!normal.isValid())
        normal = FForm->geometry();
    normal = normal.marginsAdded(frame);
    const QString norm = QString::fromStdString(
        PositionText(normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()));
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

        // "MinMaxPos" is not applied as positions: on this platform the window manager places
        // minimized and maximized windows itself. It tells the frame's widths (see the save).
        const QString norm = ReadPosition(QStringLiteral("NormPos"));
        const bool sameDpi = ReadInteger(QStringLiteral("PixelsPerInch"), PixelsPerInch(FForm)) == PixelsPerInch(FForm);
        if (!norm.isEmpty() && sameDpi) {
            const auto r = PositionWords(norm.toStdString(), {current.left(), current.top(), current.left() + qint64{current.width()},
                                                               current.top() + qint64{current.height()}});
            const auto minMax = PositionWords(ReadPosition(QStringLiteral("MinMaxPos")).toStdString(), {0, 0, 0, 0});
            // A rectangle turned inside out, or with a value no screen has, is unusable: the window
            // keeps its design bounds.
            if (r && minMax && (*r)[2] > (*r)[0] && (*r)[3] > (*r)[1]) {
                FSavedFrame = {(*r)[0], (*r)[1], (*r)[2], (*r)[3]};
                QMargins frame = FrameMargins(FForm);
                if (!FForm->isVisible()) {
                    const auto [left, top, right, bottom] = FrameOfMinMax(*minMax);
                    frame = QMargins(left, top, right, bottom);
                }
                FForm->setGeometry(OnScreen((*r)[0], (*r)[1], (*r)[2], (*r)[3], MinimumFrame(frame), FForm).marginsRemoved(frame));
            }
        }

        switch (StateOfShowCmd(ReadInteger(QStringLiteral("ShowCmd"), swHide))) {
        case psMinimized:
            // The whole program starts minimized: the window opens normally (or maximized when it
            // was minimized from there) and is minimized as soon as the event loop runs.
            FForm->setWindowState((flags & wpfRestoreToMaximized) ? Qt::WindowMaximized : Qt::WindowNoState);
            QTimer::singleShot(0, FForm, [form = FForm] { form->setWindowState(form->windowState() | Qt::WindowMinimized); });
            break;
        case psMaximized:
            FForm->setWindowState(Qt::WindowMaximized);
            break;
        case psNormal:
            FForm->setWindowState(Qt::WindowNoState);
            break;
        }
        FForm->update();
    }
    if (FForm->isVisible())
        FitFrame();
    else
        FWatch->Watch();
    FRestored = true;
}

} // namespace trovex
