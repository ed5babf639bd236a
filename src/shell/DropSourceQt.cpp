// SPDX-License-Identifier: MIT
// Qt glue of the drag source: mime data of a file list, the drag, the clipboard.
#include "shell/DropSourceQt.h"

#include "shell/FileList.h"

#include <QByteArray>
#include <QDrag>
#include <QGuiApplication>
#include <QList>
#include <QMimeData>

namespace trovex
{

namespace
{

const char* const GnomeCopiedFilesMime = "x-special/gnome-copied-files";
const char* const KdeCutSelectionMime = "application/x-kde-cutselection";

std::uint32_t EffectOf(Qt::DropAction action)
{
    // TargetMoveAction (the target moved the data itself) carries the move bit too.
    std::uint32_t effect = deNone;
    if (action & Qt::CopyAction)
        effect |= deCopy;
    if (action & Qt::MoveAction)
        effect |= deMove;
    if (action & Qt::LinkAction)
        effect |= deLink;
    return effect;
}

Qt::DropActions ActionsOf(std::uint32_t effects)
{
    Qt::DropActions actions;
    if (effects & deCopy)
        actions |= Qt::CopyAction;
    if (effects & deMove)
        actions |= Qt::MoveAction;
    if (effects & deLink)
        actions |= Qt::LinkAction;
    return actions;
}

// The file list as the portable component renders it, so both platforms carry the same paths.
std::optional<std::vector<std::string>> RenderedFiles(TDropFileSource& source, THResult& result)
{
    TStgMedium medium;
    result = source.GetData(TFormatEtc{CfHDrop, DvAspectContent, -1, TymedHGlobal}, medium);
    if (result != hrOk)
        return std::nullopt;
    return ParseHDrop(medium.Data);
}

} // namespace

QMimeData* MakeFileMimeData(const std::vector<std::string>& files, std::uint32_t effect)
{
    const bool cut = (effect & deMove) && !(effect & deCopy);
    auto* data = new QMimeData;
    // The lists are set as bytes: QUrl and QString would turn a name that is not UTF-8 into another.
    data->setData(QStringLiteral("text/uri-list"), QByteArray::fromStdString(EncodeFileList(files, flUriList)));
    data->setData(GnomeCopiedFilesMime, QByteArray::fromStdString(EncodeFileList(files, flGnomeCopied, cut)));
    data->setData(QStringLiteral("text/plain"), QByteArray::fromStdString(EncodeFileList(files, flPlainPaths)));
    if (cut)
        data->setData(KdeCutSelectionMime, QByteArrayLiteral("1"));
    return data;
}

TDragOutcome RunDrag(TDropFileSource& source, QObject* dragSource)
{
    const std::uint32_t allowed = source.Dragtypes().EffectMask();
    THResult rendered = hrOk;
    std::optional<std::vector<std::string>> files = RenderedFiles(source, rendered);
    if (rendered == hrOutOfMemory)
        return doOutOfMemory;
    if (!files || files->empty() || !dragSource || allowed == 0 || !QGuiApplication::instance())
        return doCancelled;

    const std::uint32_t preferred = (allowed & deCopy) ? deCopy : (allowed & deMove) ? deMove : deLink;
    auto* drag = new QDrag(dragSource); // Qt deletes it once the drag has ended
    drag->setMimeData(MakeFileMimeData(*files, preferred));
    const QMetaObject::Connection feedback = QObject::connect(
        drag, &QDrag::actionChanged, [&source](Qt::DropAction action) { source.GiveFeedback(EffectOf(action)); });
    const Qt::DropActions actions = ActionsOf(allowed);
    const Qt::DropAction defaultAction = (actions & Qt::CopyAction) ? Qt::CopyAction
                                         : (actions & Qt::MoveAction) ? Qt::MoveAction
                                                                      : Qt::LinkAction;
    const Qt::DropAction result = drag->exec(actions, defaultAction);
    QObject::disconnect(feedback);

    if (result == Qt::IgnoreAction)
        return DragOutcomeOf(hrDragDropCancel, deNone, allowed);
    source.SetCurrentEffect(EffectOf(result));
    return DragOutcomeOf(hrDragDropDrop, EffectOf(result), allowed);
}

bool ClipboardCopy(TDropFileSource& source)
{
    TQtClipboardSink sink;
    return source.ClipboardCopy(sink);
}

bool ClipboardCut(TDropFileSource& source)
{
    TQtClipboardSink sink;
    return source.ClipboardCut(sink);
}

bool TQtClipboardSink::Open()
{
    FBlocks.clear();
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

void TQtClipboardSink::Put(std::uint16_t format, std::vector<std::uint8_t> block)
{
    FBlocks[format] = std::move(block);
}

void TQtClipboardSink::Close()
{
    auto hdrop = FBlocks.find(CfHDrop);
    if (hdrop != FBlocks.end()) {
        std::optional<std::vector<std::string>> files = ParseHDrop(hdrop->second);
        std::uint32_t effect = deCopy;
        auto preferred = FBlocks.find(RegisterDragFormat(CfstrPreferredDropEffect));
        if (preferred != FBlocks.end())
            effect = ParsePreferredDropEffect(preferred->second).value_or(deCopy);
        if (files)
            QGuiApplication::clipboard()->setMimeData(MakeFileMimeData(*files, effect), FMode);
    }
    FBlocks.clear();
}

} // namespace trovex
