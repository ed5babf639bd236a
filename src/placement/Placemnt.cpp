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
#include <QWindow>

#include <optional>

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

// Words of a position text: split at commas and blanks, empty words skipped; a word that is not a
// number keeps its default. A number that does not fit a screen coordinate (a damaged or
// hand-edited value) makes the whole text unusable: nullopt. Kept in 64 bits, so that any
// difference of two coordinates is computed without overflow.
std::optional<QList<qint64>> Words(const QString& text, const QList<qint64>& defaults)
{
    static const QRegularExpression separators(QStringLiteral("[, ]"));
    static const QRegularExpression number(QStringLiteral("^[+-]?[0-9]+$"));
    const QStringList words = text.split(separators, Qt::SkipEmptyParts);
    QList<qint64> out = defaults;
    for (qsizetype i = 0; i < out.size() && i < words.size(); ++i) {
        if (!number.match(words[i]).hasMatch())
            continue;
        bool ok = false;
        const int n = words[i].toInt(&ok);
        if (!ok)
            return std::nullopt;
        out[i] = n;
    }
    return out;
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

qint64 Overlap(qint64 a0, qint64 a1, qint64 b0, qint64 b1)
{
    return qMax<qint64>(0, qMin(a1, b1) - qMax(a0, b0));
}

// The outer frame left, top, right, bottom brought wholly onto the available area (without the
// panels) of the screen it mostly lies on, or of the window's own screen when it lies on none:
// at least `minimum`, no larger than that area, and never with its title bar above or beside it.
QRect OnScreen(qint64 left, qint64 top, qint64 right, qint64 bottom, QSize minimum, QWidget* form)
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
    const qint64 width = qMin(qMax(right - left, qint64{minimum.width()}), qint64{area.width()});
    const qint64 height = qMin(qMax(bottom - top, qint64{minimum.height()}), qint64{area.height()});
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

TFormPlacement::TFormPlacement(QWidget* form, TRegistry& store, QString iniFileName, QString iniSection)
    : FForm(form), FStore(store), FIniFileName(std::move(iniFileName)), FIniSection(std::move(iniSection)),
      FWatch(std::make_unique<TFrameWatch>(*this))
{
}

TFormPlacement::~TFormPlacement() = default;

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
    return v && v->IsString() ? StoreText(v->Text) : def;
}

void TFormPlacement::WriteInteger(const QString& name, int value)
{
    WriteString(name, QString::number(value));
}

void TFormPlacement::WriteString(const QString& name, const QString& value)
{
    FStore.WriteString(SectionKey().toStdString(), name.toStdString(), StoreBytes(value));
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
    int showCmd = swNormal;
    if (state & Qt::WindowMinimized)
        showCmd = swMinimized;
    else if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        showCmd = swMaximized;
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
    const QString minMax = QStringLiteral("%1,%2,%3,%4").arg(-frame.right()).arg(-frame.bottom()).arg(-frame.left()).arg(-frame.top());
    WriteString(ScreenName(QStringLiteral("MinMaxPos")), minMax);
    WriteString(QStringLiteral("MinMaxPos"), minMax);

    // The normal rectangle is the outer frame, title bar included, as the system's own record has it.
    QRect normal = FForm->normalGeometry();
    if (!normal.isValid())
        normal = FForm->geometry();
    normal = normal.marginsAdded(frame);
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

        // "MinMaxPos" is not applied as positions: on this platform the window manager places
        // minimized and maximized windows itself. It tells the frame's widths (see the save).
        const QString norm = ReadPosition(QStringLiteral("NormPos"));
        const bool sameDpi = ReadInteger(QStringLiteral("PixelsPerInch"), PixelsPerInch(FForm)) == PixelsPerInch(FForm);
        if (!norm.isEmpty() && sameDpi) {
            const auto r = Words(norm, {current.left(), current.top(), current.left() + qint64{current.width()},
                                        current.top() + qint64{current.height()}});
            const auto minMax = Words(ReadPosition(QStringLiteral("MinMaxPos")), {0, 0, 0, 0});
            // A rectangle turned inside out, or with a value no screen has, is unusable: the window
            // keeps its design bounds.
            if (r && minMax && (*r)[2] > (*r)[0] && (*r)[3] > (*r)[1]) {
                FSavedFrame = {(*r)[0], (*r)[1], (*r)[2], (*r)[3]};
                QMargins frame = FrameMargins(FForm);
                if (!FForm->isVisible()) {
                    auto width = [](qint64 v) { return static_cast<int>(qBound<qint64>(0, -v, MaxFrameWidth)); };
                    frame = QMargins(width((*minMax)[2]), width((*minMax)[3]), width((*minMax)[0]), width((*minMax)[1]));
                }
                FForm->setGeometry(OnScreen((*r)[0], (*r)[1], (*r)[2], (*r)[3], MinimumFrame(frame), FForm).marginsRemoved(frame));
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
    if (FForm->isVisible())
        FitFrame();
    else
        FWatch->Watch();
    FRestored = true;
}

} // namespace trovex
