// SPDX-License-Identifier: MIT
// The main window's own small widgets; see Widgets.h.
#include "app/Widgets.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTimer>
#include <QtMath>

namespace trovex
{

// ---- TAnchors ---------------------------------------------------------------------------------

void TAnchors::Anchor(QWidget* control, unsigned anchors, QWidget* reference)
{
    if (!reference)
        reference = control->parentWidget();
    FEntries.append({control, reference, anchors, control->geometry(), reference->size()});
    reference->installEventFilter(this);
    connect(control, &QObject::destroyed, this, [this, control] {
        FEntries.removeIf([control](const TEntry& e) { return e.Control == control; });
    });
}

void TAnchors::SetDesignGeometry(QWidget* control, const QRect& geometry)
{
    for (TEntry& e : FEntries) {
        if (e.Control == control) {
            e.Design = geometry;
            Place(e);
        }
    }
}

QRect TAnchors::DesignGeometry(QWidget* control) const
{
    for (const TEntry& e : FEntries)
        if (e.Control == control)
            return e.Design;
    return control->geometry();
}

void TAnchors::Place(const TEntry& e) const
{
    const int dx = e.Reference->width() - e.ReferenceSize.width();
    const int dy = e.Reference->height() - e.ReferenceSize.height();
    QRect r = e.Design;
    if ((e.Anchors & akLeft) && (e.Anchors & akRight))
        r.setWidth(qMax(0, r.width() + dx));
    else if (e.Anchors & akRight)
        r.moveLeft(r.left() + dx);
    if ((e.Anchors & akTop) && (e.Anchors & akBottom))
        r.setHeight(qMax(0, r.height() + dy));
    else if (e.Anchors & akBottom)
        r.moveTop(r.top() + dy);
    if (e.Control->geometry() != r)
        e.Control->setGeometry(r);
}

bool TAnchors::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize)
        for (const TEntry& e : FEntries)
            if (e.Reference == watched)
                Place(e);
    return QObject::eventFilter(watched, event);
}

// ---- TPanel, TBevel ---------------------------------------------------------------------------

namespace
{

// A one-pixel lowered rectangle: shadow on the top and left, light on the bottom and right.
void DrawLowered(QPainter& p, const QRect& r, const QPalette& pal)
{
    p.setPen(pal.color(QPalette::Dark));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

} // namespace

TPanel::TPanel(QWidget* parent, int borderWidth) : QFrame(parent), FBorderWidth(borderWidth) {}

void TPanel::SetCaption(const QString& caption)
{
    FCaption = caption;
    update();
}

void TPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    DrawLowered(p, rect().adjusted(FBorderWidth, FBorderWidth, -FBorderWidth - 1, -FBorderWidth - 1), palette());
    if (!FCaption.isEmpty()) {
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, FCaption);
    }
}

TBevel::TBevel(TShape shape, QWidget* parent) : QWidget(parent), FShape(shape)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TBevel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect().adjusted(0, 0, -1, -1);
    if (FShape == bsBox) {
        DrawLowered(p, r, palette());
        return;
    }
    // An etched frame: a shadow rectangle with a light one one pixel inside it.
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(r.adjusted(0, 0, -1, -1));
    p.setPen(palette().color(QPalette::Light));
    p.drawRect(r.adjusted(1, 1, 0, 0));
}

// ---- TComboBox --------------------------------------------------------------------------------

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {}

void TComboBox::SetSimple(bool simple)
{
    if (simple == FSimple)
        return;
    FSimple = simple;
    if (simple)
        hidePopup();
    if (QLineEdit* edit = lineEdit()) {
        edit->removeEventFilter(this);
        if (simple)
            edit->installEventFilter(this);
    }
    if (simple) {
        FitEditor();
    } else {
        // Let the combo box put its editor back beside the button.
        QResizeEvent resize(size(), size());
        QCoreApplication::sendEvent(this, &resize);
    }
    update();
}

void TComboBox::showPopup()
{
    if (!FSimple)
        QComboBox::showPopup();
}

void TComboBox::FitEditor()
{
    QLineEdit* edit = lineEdit();
    if (!edit || FFitting)
        return;
    FFitting = true;
    const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this) + 1;
    edit->setGeometry(rect().adjusted(frame, frame, -frame, -frame));
    FFitting = false;
}

bool TComboBox::eventFilter(QObject* watched, QEvent* event)
{
    // The combo box keeps moving its editor beside the (hidden) button; keep it full width.
    if (FSimple && watched == lineEdit() && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        QTimer::singleShot(0, this, [this] {
            if (FSimple)
                FitEditor();
        });
    return QComboBox::eventFilter(watched, event);
}

void TComboBox::paintEvent(QPaintEvent* event)
{
    if (!FSimple) {
        QComboBox::paintEvent(event);
        return;
    }
    QPainter p(this);
    QStyleOptionFrame option;
    option.initFrom(this);
    option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &p, this);
}

void TComboBox::wheelEvent(QWheelEvent* event)
{
    if (FSimple)
        event->ignore(); // no list is shown, so the wheel must not change the text unseen
    else
        QComboBox::wheelEvent(event);
}

// ---- TAnimate ---------------------------------------------------------------------------------

namespace
{
constexpr int FrameInterval = 80; // ms; a sweep lasts about two seconds
}

TAnimate::TAnimate(QWidget* parent) : QWidget(parent), FTimer(new QTimer(this))
{
    FTimer->setInterval(FrameInterval);
    connect(FTimer, &QTimer::timeout, this, [this] {
        FFrame = (FFrame + 1) % FrameCount;
        update();
    });
}

bool TAnimate::Active() const
{
    return FTimer->isActive();
}

void TAnimate::SetActive(bool active)
{
    if (active) {
        FTimer->start();
    } else {
        FTimer->stop();
        FFrame = StopFrame;
    }
    update();
}

void TAnimate::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();

    // A page with a dog-ear and lines of text.
    const QRectF page(6.5, 4.5, 26, 34);
    QPainterPath sheet;
    sheet.moveTo(page.topLeft());
    sheet.lineTo(page.right() - 7, page.top());
    sheet.lineTo(page.right(), page.top() + 7);
    sheet.lineTo(page.bottomRight());
    sheet.lineTo(page.bottomLeft());
    sheet.closeSubpath();
    p.setPen(QPen(pal.color(QPalette::Dark), 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int i = 0; i < 6; ++i) {
        const double y = page.top() + 10 + i * 4;
        p.drawLine(QPointF(page.left() + 4, y), QPointF(page.right() - (i % 3 == 2 ? 10 : 4), y));
    }

    // The glass circles over the page, one turn per FrameCount frames.
    const double angle = 2 * M_PI * FFrame / FrameCount;
    const QPointF centre(page.center().x() + 7 * std::cos(angle), page.center().y() + 7 * std::sin(angle));
    const double radius = 7.5;
    const QPointF handle = centre + QPointF(radius * 0.72, radius * 0.72);
    p.setPen(QPen(QColor(90, 60, 20), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(handle, handle + QPointF(7, 7));
    p.setPen(QPen(QColor(60, 60, 60), 2));
    p.setBrush(QColor(170, 210, 255, 150));
    p.drawEllipse(centre, radius, radius);
}

// ---- TStatusBar, TLinkLabel -------------------------------------------------------------------

TStatusBar::TStatusBar(QWidget* parent, int firstPanelWidth) : QStatusBar(parent)
{
    for (int i = 0; i < 2; ++i) {
        // Left unnamed: panel texts are messages, never translated as captions.
        FPanels[i] = new QLabel(this);
        FPanels[i]->setTextFormat(Qt::PlainText);
    }
    FPanels[0]->setFixedWidth(firstPanelWidth);
    FPanels[1]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    FPanels[1]->setMinimumWidth(1);
    addWidget(FPanels[0]);
    addWidget(FPanels[1], 1);
    NotSearched = new TLinkLabel(this);
    NotSearched->setObjectName(QStringLiteral("lNotSearched"));
    NotSearched->hide();
    addPermanentWidget(NotSearched);
    connect(NotSearched, &TLinkLabel::Click, this, &TStatusBar::NotSearchedClick);
}

void TStatusBar::SetNotSearched(const QString& text)
{
    NotSearched->setText(text);
    NotSearched->setVisible(!text.isEmpty());
}

QString TStatusBar::PanelText(int index) const
{
    return FPanels[index]->text();
}

void TStatusBar::SetPanelText(int index, const QString& text)
{
    FPanels[index]->setText(text);
}

TLinkLabel::TLinkLabel(QWidget* parent) : QLabel(parent)
{
    // Only the underline and the colour are set, so face and size still come from the window.
    QFont f;
    f.setUnderline(true);
    setFont(f);
    QPalette pal;
    pal.setColor(QPalette::WindowText, Qt::blue);
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
    QLabel::mouseReleaseEvent(event);
}

} // namespace trovex
