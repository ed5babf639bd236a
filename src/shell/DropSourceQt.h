// SPDX-License-Identifier: MIT
// The drag source on a Linux desktop: the file list rendered by TDropFileSource is offered through
// Qt's drag-and-drop and clipboard as text/uri-list, x-special/gnome-copied-files ("copy" or "cut"
// and the URIs) and text/plain paths. "Shell IDList Array" is left out: it describes the files by the
// Windows shell's item identifiers, which a Linux desktop has no counterpart of (the component renders
// it only through a resolver a Windows build supplies). The name maps have no Linux reader either.
#pragma once

#include "shell/DropSource.h"

#include <QClipboard>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class QMimeData;
class QObject;

namespace trovex
{

/// The data of a file list for the clipboard or a drag: the files' URIs (text/uri-list), the
/// preferred effect with the URIs (x-special/gnome-copied-files, "cut" for a move-only effect, else
/// "copy"; a cut also sets KDE's application/x-kde-cutselection), and the paths one per line
/// (text/plain), all encoded by EncodeFileList from the paths' bytes, which need not be UTF-8. The
/// caller owns the result.
QMimeData* MakeFileMimeData(const std::vector<std::string>& files, std::uint32_t effect);

/// Runs a drag of source.Files() started from `dragSource` (the widget the drag leaves) and returns
/// when it has ended. Only the effects in source.Dragtypes() are offered, so a target that accepts
/// only others refuses the drop and the drag ends cancelled. The target's choices reach
/// GiveFeedback while the drag runs. Without files or without a drag source nothing starts and the
/// outcome is doCancelled. OnDrop is not consulted: Qt's drag loop decides the drop itself.
/// User-interface thread only; needs a QGuiApplication.
TDragOutcome RunDrag(TDropFileSource& source, QObject* dragSource);

/// Put source.Files() on the system clipboard to be copied or moved (cut). True on success; false
/// without files or without a QGuiApplication. User-interface thread only.
bool ClipboardCopy(TDropFileSource& source);
bool ClipboardCut(TDropFileSource& source);

/// A clipboard sink that collects the rendered blocks and, on Close, puts the file list they hold
/// on the Qt clipboard as MakeFileMimeData makes it. Nothing is put when no CF_HDROP block came.
class TQtClipboardSink : public TClipboardSink
{
public:
    explicit TQtClipboardSink(QClipboard::Mode mode = QClipboard::Clipboard) : FMode(mode) {}

    bool Open() override;
    void Put(std::uint16_t format, std::vector<std::uint8_t> block) override;
    void Close() override;

private:
    QClipboard::Mode FMode;
    std::map<std::uint16_t, std::vector<std::uint8_t>> FBlocks;
};

} // namespace trovex
