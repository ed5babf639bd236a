// SPDX-License-Identifier: MIT
// Keeps a Qt window's position, size and state between runs in a section of the per-user store, and
// reads and writes single values of that section for others. It neither saves the focused control
// nor limits the window's size. The value texts and the arithmetic are PlacementMath's.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class QWidget;

namespace trovex
{

class TKeyStore;
class TPlacementSection;

/// Value names and text formats of the section: "FormVersion", "Flags", "ShowCmd" (1 normal,
/// 2 minimized, 3 maximized), "PixelsPerInch", "MinMaxPos" and "NormPos" ("%d,%d,%d,%d"), the same
/// two once more under "<name>(<width>x<height>)" of the screen, and "Visible". All are strings.
/// On this platform "Flags" is 2 when a minimized window returns to maximized, else 0; the
/// minimized position is minus the frame's right and bottom widths and the maximized one minus its
/// left and top widths; NormPos is the outer frame of the normal geometry left, top, right
/// (left + width), bottom. A restored rectangle is brought onto the available area of a screen, at
/// least the design minimum, no larger than the area, its title bar on it; once the window manager
/// has drawn the frame the rectangle is applied again with the frame's real widths, so the frame
/// lies exactly where it was saved. A position text holding a value that no screen coordinate can
/// take (outside 32 bits) is unusable and leaves the window at its design bounds. Strings that are
/// not UTF-8 are read and written with the store's escapes (U+DC80..U+DCFF), so they round-trip.
/// User-interface thread only. The store and the window must outlive the component.
class TFormPlacement
{
public:
    static constexpr int Version = 0;

    TFormPlacement(QWidget* form, TKeyStore& store, QString iniFileName = QStringLiteral("Software\\Brenvik\\Trovex"),
                   QString iniSection = QStringLiteral("Placement"));
    ~TFormPlacement();

    /// The smallest client size a restore gives the window, whatever was saved (the window's own
    /// minimum size, when larger, applies too).
    void SetDesignMinimum(QSize clientSize) { FDesignMinimum = clientSize; }

    /// Applies the saved position (when saved for the same pixels per inch) and state. Call before
    /// the window is first shown. A saved minimized state leaves the window normal and minimizes it
    /// once the event loop runs.
    void RestoreFormPlacement();
    /// Writes the section, only when a restore ran before. `destroying` marks a save made while the
    /// window goes away without having been closed ("Visible"="1").
    void SaveFormPlacement(bool destroying = false);
    bool Restored() const { return FRestored; }
    bool Saved() const { return FSaved; }

    /// A value of the section as a number: decimal text or a DWORD; `def` when missing or not a number.
    int ReadInteger(const QString& name, int def) const;
    /// A string value of the section; `def` when missing or of another type.
    QString ReadString(const QString& name, const QString& def) const;
    /// Writes decimal text.
    void WriteInteger(const QString& name, int value);
    void WriteString(const QString& name, const QString& value);

    /// The section's key path in the store.
    QString SectionKey() const { return FIniFileName + u'\\' + FIniSection; }

private:
    class TFrameWatch;

    QString ScreenName(const QString& name) const;
    /// Reads a position text under the screen-size name first, then the plain name.
    QString ReadPosition(const QString& name) const;
    QSize MinimumFrame(const QMargins& frame) const;
    /// Applies the saved frame rectangle (or keeps the design bounds on the screen) with the frame
    /// the window has now.
    void FitFrame();

    QWidget* FForm;
    QString FIniFileName;
    QString FIniSection;
    std::unique_ptr<TPlacementSection> FSection;
    bool FRestored = false;
    bool FSaved = false;
    QSize FDesignMinimum{1, 1};
    std::optional<std::array<qint64, 4>> FSavedFrame; // left, top, right, bottom as read
    std::optional<QMargins> FNormalFrame;              // the frame last seen around the normal window
    std::unique_ptr<TFrameWatch> FWatch;
};

} // namespace trovex
