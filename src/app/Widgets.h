// SPDX-License-Identifier: MIT
// Small widgets the main window needs beyond Qt's own: a bevelled panel, a bevel frame, a combo
// box that switches between drop-down and simple style, the searching animation, a two-panel status
// bar, a clickable link label, and the anchoring helper that keeps absolute positions on resize.
#pragma once

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QList>
#include <QRect>
#include <QStatusBar>
#include <QWidget>

class QTimer;

#include "window/Layout.h"

namespace trovex
{


/// Absolute geometry with anchors: each control's geometry, as set when it is anchored, belongs
/// to the reference widget's size at that moment; when the reference is resized, a control
/// anchored left and right stretches, one anchored right only moves, and likewise vertically.
class TAnchors : public QObject
{
    Q_OBJECT

public:
    explicit TAnchors(QObject* parent = nullptr) : QObject(parent) {}

    /// Records `control` at its current geometry. `reference` defaults to its parent widget; a
    /// control on a tab page may name the tab widget, whose size is known before the page's.
    void Anchor(QWidget* control, unsigned anchors, QWidget* reference = nullptr);
    /// Replaces a control's geometry at the reference's recorded size (a label that grew).
    void SetDesignGeometry(QWidget* control, const QRect& geometry);
    QRect DesignGeometry(QWidget* control) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TEntry
    {
        QWidget* Control;
        QWidget* Reference;
        unsigned Anchors;
        QRect Design;
        QSize ReferenceSize;
    };
    void Place(const TEntry& entry) const;

    QList<TEntry> FEntries;
};

/// A panel with a lowered inner bevel inside a border, and an optional centred caption.
class TPanel : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString caption READ Caption WRITE SetCaption)

public:
    explicit TPanel(QWidget* parent = nullptr, int borderWidth = 2);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString FCaption;
    int FBorderWidth;
};

/// A lowered box or an etched frame drawn over other controls; it takes no input.
class TBevel : public QWidget
{
    Q_OBJECT

public:
    enum TShape : std::uint8_t { bsBox, bsFrame };
    TBevel(TShape shape, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TShape FShape;
};

/// A combo box with the two styles of the design: drop-down (edit field, button, list) and simple
/// (only the edit field; the list stays and the arrow keys still walk it). Switching keeps the text
/// and the items.
class TComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit TComboBox(QWidget* parent = nullptr);
    bool Simple() const { return FSimple; }
    void SetSimple(bool simple);
    void showPopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitEditor();

    bool FSimple = false;
    bool FFitting = false;
};

/// The small animation shown while a search runs: a magnifying glass sweeping over a page.
/// Stopped, it shows its stop frame.
class TAnimate : public QWidget
{
    Q_OBJECT

public:
    static constexpr int FrameCount = 24;
    static constexpr int StopFrame = 23;

    explicit TAnimate(QWidget* parent = nullptr);
    bool Active() const;
    void SetActive(bool active);
    int Frame() const { return FFrame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer* FTimer;
    int FFrame = StopFrame;
};

/// A status bar of two text panels: panel 0 of a fixed width without a bevel, panel 1 the rest.
class TLinkLabel;

class TStatusBar : public QStatusBar
{
    Q_OBJECT

public:
    explicit TStatusBar(QWidget* parent = nullptr, int firstPanelWidth = 160);
    QString PanelText(int index) const;
    void SetPanelText(int index, const QString& text);
    /// The link at the right end ("12 not searched"); hidden while the text is empty.
    void SetNotSearched(const QString& text);
    TLinkLabel* NotSearched = nullptr;

signals:
    void NotSearchedClick();

private:
    QLabel* FPanels[2];
};

/// A label that acts as a link: blue, underlined, hand cursor, and a Click signal.
class TLinkLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TLinkLabel(QWidget* parent = nullptr);

signals:
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace trovex
