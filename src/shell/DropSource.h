// SPDX-License-Identifier: MIT
// The file drag source as a portable component: the table of offered formats, the data-object and
// drop-source answers, the format enumerator, and the byte blocks of the Windows file-list formats
// (CF_HDROP, "FileNameMap", "FileNameMapW", "Preferred DropEffect", "Shell IDList Array"). Free of Qt
// and OS types, so a Windows build can hand the blocks to OLE unchanged; DropSourceQt offers them on
// Linux through Qt's drag-and-drop and clipboard.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

/// Result codes with the values of their Windows namesakes (HRESULT bit patterns), so an OLE adapter
/// passes them through unchanged. The names drop the S_/E_ decoration to stay clear of the Windows
/// macros of the same names.
enum THResult : std::uint32_t
{
    hrOk = 0,                              ///< S_OK
    hrFalse = 1,                           ///< S_FALSE
    hrDragDropDrop = 0x00040100,           ///< DRAGDROP_S_DROP
    hrDragDropCancel = 0x00040101,         ///< DRAGDROP_S_CANCEL
    hrDragDropUseDefaultCursors = 0x00040102, ///< DRAGDROP_S_USEDEFAULTCURSORS
    hrDataSameFormatEtc = 0x00040130,      ///< DATA_S_SAMEFORMATETC
    hrOleAdviseNotSupported = 0x80040003,  ///< OLE_E_ADVISENOTSUPPORTED
    hrDvFormatEtc = 0x80040064,            ///< DV_E_FORMATETC
    hrNotImpl = 0x80004001,                ///< E_NOTIMPL
    hrNoInterface = 0x80004002,            ///< E_NOINTERFACE
    hrFail = 0x80004005,                   ///< E_FAIL
    hrUnexpected = 0x8000FFFF,             ///< E_UNEXPECTED
    hrInvalidArg = 0x80070057,             ///< E_INVALIDARG
    hrOutOfMemory = 0x8007000E,            ///< E_OUTOFMEMORY
};

/// The predefined clipboard format number of the file list.
constexpr std::uint16_t CfHDrop = 15;
/// DVASPECT_CONTENT and TYMED_HGLOBAL: the only aspect and medium this source renders.
constexpr std::uint32_t DvAspectContent = 1;
constexpr std::uint32_t TymedHGlobal = 1;
/// Key-state bits of the left and right mouse buttons (MK_LBUTTON, MK_RBUTTON).
constexpr std::uint32_t MkLButton = 1;
constexpr std::uint32_t MkRButton = 2;
/// At most this many format descriptions; further ones are ignored.
constexpr int MaxDataFormats = 20;

/// Names under which the four named formats are registered.
constexpr std::string_view CfstrShellIdList = "Shell IDList Array";
constexpr std::string_view CfstrPreferredDropEffect = "Preferred DropEffect";
constexpr std::string_view CfstrFileNameMap = "FileNameMap";
constexpr std::string_view CfstrFileNameMapW = "FileNameMapW";

/// Direction asked of EnumFormatEtc (DATADIR_GET, DATADIR_SET).
enum TDataDirection : std::uint32_t
{
    ddGet = 1,
    ddSet = 2,
};

/// Drop effects as bits (DROPEFFECT_*).
enum TDropEffect : std::uint32_t
{
    deNone = 0,
    deCopy = 1,
    deMove = 2,
    deLink = 4,
};

enum TDragType : std::uint8_t
{
    dtCopy,
    dtMove,
    dtLink,
};

/// A set of drag types; member dtX stands for the effect bit 1 << dtX, so the set is its effect mask.
class TDragTypes
{
public:
    constexpr TDragTypes() = default;
    constexpr TDragTypes(std::initializer_list<TDragType> types)
    {
        for (TDragType t : types)
            FBits |= static_cast<std::uint8_t>(1u << t);
    }
    constexpr bool Contains(TDragType t) const { return (FBits >> t) & 1u; }
    /// deCopy / deMove / deLink bits of the members.
    constexpr std::uint32_t EffectMask() const { return FBits; }
    constexpr bool operator==(const TDragTypes&) const = default;

private:
    std::uint8_t FBits = 0;
};

/// How a drag ended, as RunDrag reports it.
enum TDragOutcome : std::uint8_t
{
    doCopied = 0,
    doMoved = 1,
    doLinked = 2,
    doCancelled = 3,
    doOutOfMemory = 4,
    doUnknown = 5,
};

/// One format description (FORMATETC). No target device is ever used, so none is carried.
struct TFormatEtc
{
    std::uint16_t Format = 0;
    std::uint32_t Aspect = DvAspectContent;
    std::int32_t Index = -1;
    std::uint32_t Tymed = TymedHGlobal;

    bool operator==(const TFormatEtc&) const = default;
};

/// A rendered medium: with Tymed == TymedHGlobal, Data is the global memory block, owned by the
/// receiver; a cleared medium has Tymed 0 and no data.
struct TStgMedium
{
    std::uint32_t Tymed = 0;
    std::vector<std::uint8_t> Data;
};

/// The number of a named clipboard format: the same number for the same name (compared exactly) for
/// the life of the process, in the range Windows gives registered formats (0xC000 and up).
/// Thread-safe.
std::uint16_t RegisterDragFormat(std::string_view name);
/// The name a number was registered under; empty for an unregistered or predefined number.
std::string DragFormatName(std::uint16_t format);

// Byte blocks of the formats, little-endian, built from the program's 8-bit text (UTF-8 here).

/// CF_HDROP: the 20-byte DROPFILES header (list offset 20, drop point 0,0, non-client 0, wide 0),
/// each path followed by a NUL, then one more NUL: 21 + sum(len + 1) bytes.
std::vector<std::uint8_t> BuildHDrop(const std::vector<std::string>& files);
/// "FileNameMap": each name followed by a NUL, then one more NUL.
std::vector<std::uint8_t> BuildFileNameMap(const std::vector<std::string>& names);
/// "FileNameMapW": each name in UTF-16LE followed by a 16-bit NUL, packed by converted length, then a
/// 16-bit NUL.
std::vector<std::uint8_t> BuildFileNameMapW(const std::vector<std::string>& names);
/// "Preferred DropEffect": the effect as 32 bits.
std::vector<std::uint8_t> BuildPreferredDropEffect(std::uint32_t effect);

/// An item-identifier list as the shell gives it: items of (16-bit size counting itself, bytes),
/// ended by a 16-bit zero, which the vector includes.
using TItemIdList = std::vector<std::uint8_t>;
/// "Shell IDList Array": the count n, n + 1 offsets (the parent's list at 4 x (n + 2), each child
/// after the one before), the parent's absolute list, then the children's relative lists.
std::vector<std::uint8_t> BuildShellIdListArray(const TItemIdList& parent, const std::vector<TItemIdList>& children);

/// The paths of a CF_HDROP block with 8-bit names; nullopt for wide names, or when the header or the
/// list runs past the block or the list lacks its final NUL.
std::optional<std::vector<std::string>> ParseHDrop(std::span<const std::uint8_t> block);
/// The effect of a "Preferred DropEffect" block; nullopt when it is shorter than 4 bytes.
std::optional<std::uint32_t> ParsePreferredDropEffect(std::span<const std::uint8_t> block);

/// The outcome of a drag from the drag loop's result and final effect (deX bits), given the
/// effects that were allowed: out of memory, a drop mapped by the allowed part of the final effect
/// (copy before move before link; cancelled when nothing allowed remains), cancelled, else unknown.
TDragOutcome DragOutcomeOf(THResult result, std::uint32_t finalEffect, std::uint32_t allowedEffects);

class TDropSource;

/// Enumerates a drop source's formats. Shares the source's table (it stays valid after the source is
/// gone) but keeps the count it was made with. User-interface thread only.
class TEnumFormatEtc
{
public:
    using TTable = std::array<TFormatEtc, MaxDataFormats>;

    TEnumFormatEtc(std::shared_ptr<const TTable> formats, int count, int position = 0);

    /// Copies up to `wanted` descriptions from the current position into `out` (room for `wanted`),
    /// advancing; stores the number copied in *fetched when given. hrOk when all wanted were copied,
    /// else hrFalse.
    THResult Next(std::uint32_t wanted, TFormatEtc* out, std::uint32_t* fetched);
    /// Advances by `count`; past the end it stops at the end and returns hrFalse.
    THResult Skip(std::uint32_t count);
    THResult Reset();
    /// A new enumerator over the same table at the same position.
    THResult Clone(std::unique_ptr<TEnumFormatEtc>& out) const;

private:
    std::shared_ptr<const TTable> FFormats;
    int FCount;
    int FPosition;
};

/// Where ClipboardCopy and ClipboardCut put their blocks. A Windows build wraps the system clipboard;
/// the Qt glue collects the blocks and offers them as Linux clipboard data.
class TClipboardSink
{
public:
    virtual ~TClipboardSink() = default;
    /// False when the clipboard cannot be opened; nothing is put then.
    virtual bool Open() = 0;
    /// Puts one block; the first put after Open replaces everything the clipboard held.
    virtual void Put(std::uint16_t format, std::vector<std::uint8_t> block) = 0;
    virtual void Close() = 0;
};

/// The data object and drop source of a drag. Derived classes register formats and render them.
/// Not thread-safe: the user-interface thread owns it.
class TDropSource
{
public:
    /// fired by GiveFeedback; the handler may clear useDefaultCursors after setting its own cursor
    std::function<void(TDropSource& sender, std::uint32_t effect, bool& useDefaultCursors)> OnFeedback;
    /// fired when a drop is about to happen; the handler may clear continueDrop to cancel it
    std::function<void(TDropSource& sender, TDragType dragType, bool& continueDrop)> OnDrop;

    TDropSource();
    virtual ~TDropSource() = default;
    TDropSource(const TDropSource&) = delete;
    TDropSource& operator=(const TDropSource&) = delete;

    /// The drag types a drop may have; default copy alone.
    TDragTypes Dragtypes() const { return FDragtypes; }
    void SetDragtypes(TDragTypes types) { FDragtypes = types; }
    /// The effect the drop target last reported, or that of the last clipboard operation.
    std::uint32_t CurrentEffect() const { return FCurrentEffect; }
    void SetCurrentEffect(std::uint32_t effect) { FCurrentEffect = effect; }

    int FormatCount() const { return FFormatCount; }
    const TFormatEtc& Format(int i) const { return (*FFormats)[static_cast<std::size_t>(i)]; }

    // The data object.
    /// Renders the requested format (RenderData).
    THResult GetData(const TFormatEtc& request, TStgMedium& medium) { return RenderData(request, medium); }
    THResult GetDataHere(const TFormatEtc&, TStgMedium&) const { return hrNotImpl; }
    /// hrOk when a registered description has the request's format and aspect and shares a medium bit
    /// with it, else hrFail. The file lists are not looked at.
    THResult QueryGetData(const TFormatEtc& request) const;
    /// Always hrDataSameFormatEtc; `out` is left as it is.
    THResult GetCanonicalFormatEtc(const TFormatEtc&, TFormatEtc&) const { return hrDataSameFormatEtc; }
    THResult SetData(const TFormatEtc&, const TStgMedium&) const { return hrNotImpl; }
    /// Clears `out`; for ddGet a new enumerator at the first format, for ddSet hrNotImpl, otherwise
    /// hrInvalidArg.
    THResult EnumFormatEtc(std::uint32_t direction, std::unique_ptr<TEnumFormatEtc>& out) const;
    THResult DAdvise() const { return hrOleAdviseNotSupported; }
    THResult DUnadvise() const { return hrOleAdviseNotSupported; }
    THResult EnumDAdvise() const { return hrOleAdviseNotSupported; }

    // The drop source.
    /// Escape cancels; a held left or right button goes on (hrOk); otherwise the drop happens
    /// (hrDragDropDrop) when the current effect maps to a drag type in Dragtypes and OnDrop does not
    /// object, else hrDragDropCancel.
    THResult QueryContinueDrag(bool escapePressed, std::uint32_t keyState);
    /// Records the target's effect and fires OnFeedback; hrDragDropUseDefaultCursors unless the
    /// handler took over the cursor (then hrOk).
    THResult GiveFeedback(std::uint32_t effect);

    /// Produces one requested format into `medium`, which it clears first.
    virtual THResult RenderData(const TFormatEtc& request, TStgMedium& medium) = 0;
    /// Appends a description; ignored once MaxDataFormats are there.
    virtual void AddDataFormat(const TFormatEtc& format);
    /// Puts the main format on the opened clipboard; the base has none and returns false.
    virtual bool PlaceOnClipboard(TClipboardSink& sink);
    /// Put the data on the clipboard to be moved (effect deMove) or copied (deCopy): PlaceOnClipboard,
    /// then the "Preferred DropEffect" block. True when both were put; the clipboard is closed again in
    /// every case.
    virtual bool ClipboardCut(TClipboardSink& sink) { return ClipboardTransfer(sink, deMove); }
    virtual bool ClipboardCopy(TClipboardSink& sink) { return ClipboardTransfer(sink, deCopy); }

private:
    bool ClipboardTransfer(TClipboardSink& sink, std::uint32_t effect);

    std::shared_ptr<TEnumFormatEtc::TTable> FFormats;
    int FFormatCount = 0;
    TDragTypes FDragtypes{dtCopy};
    std::uint32_t FCurrentEffect = deNone;
};

/// Produces the item-identifier list of `folder` (absolute, when `name` is empty) or of `name`
/// inside it (relative); nullopt when the shell cannot resolve it.
using TShellItemResolver = std::function<std::optional<TItemIdList>(const std::string& folder, const std::string& name)>;

/// A drag source of files. Registers, in this order, CF_HDROP, "Shell IDList Array", "Preferred
/// DropEffect", "FileNameMap" and "FileNameMapW", each for DvAspectContent, index -1, TymedHGlobal.
class TDropFileSource : public TDropSource
{
public:
    TDropFileSource();

    /// Full paths of the files, in order. Filled just before a drag or clipboard operation.
    const std::vector<std::string>& Files() const { return FFiles; }
    void SetFiles(std::vector<std::string> files) { FFiles = std::move(files); }
    /// Names the files take at the target, one per file when used.
    const std::vector<std::string>& MappedNames() const { return FMappedNames; }
    void SetMappedNames(std::vector<std::string> names) { FMappedNames = std::move(names); }

    /// Builds "Shell IDList Array". Without one (as on Linux, which has no shell item identifiers)
    /// that format renders as hrOutOfMemory, the result of a folder the shell cannot resolve.
    TShellItemResolver ShellItemResolver;

    /// The registered numbers of the four named formats.
    std::uint16_t ShellIdListFormat() const { return FShellIdList; }
    std::uint16_t PreferredDropEffectFormat() const { return FPreferredDropEffect; }
    std::uint16_t FileNameMapFormat() const { return FFileNameMap; }
    std::uint16_t FileNameMapWFormat() const { return FFileNameMapW; }

    /// hrUnexpected without files; hrDvFormatEtc for a format not offered, another aspect or medium,
    /// or a name map whose count differs from the files'; hrOutOfMemory when a block cannot be made
    /// (or "Shell IDList Array" cannot be resolved); hrOk with a TymedHGlobal medium otherwise.
    THResult RenderData(const TFormatEtc& request, TStgMedium& medium) override;
    /// Renders CF_HDROP and puts it; false without files.
    bool PlaceOnClipboard(TClipboardSink& sink) override;

private:
    std::optional<std::vector<std::uint8_t>> BuildShellIdList() const;

    std::vector<std::string> FFiles;
    std::vector<std::string> FMappedNames;
    std::uint16_t FShellIdList;
    std::uint16_t FPreferredDropEffect;
    std::uint16_t FFileNameMap;
    std::uint16_t FFileNameMapW;
};

} // namespace trovex
