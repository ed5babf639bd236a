// SPDX-License-Identifier: MIT
// The portable drag source: format table, data-object answers, enumerator and the byte blocks.
#include "shell/DropSource.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <new>

namespace trovex
{

namespace
{

constexpr std::uint32_t DropFilesHeaderSize = 20; // DROPFILES: pFiles, pt.x, pt.y, fNC, fWide
constexpr std::uint16_t FirstRegisteredFormat = 0xC000;

void PutU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetU32(std::span<const std::uint8_t> in, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(in[at + static_cast<std::size_t>(i)]) << (8 * i);
    return v;
}

// Each text followed by a NUL, then one more NUL.
std::vector<std::uint8_t> NulList(const std::vector<std::string>& texts, std::size_t headerSize)
{
    std::size_t size = headerSize + 1;
    for (const std::string& t : texts)
        size += t.size() + 1;
    std::vector<std::uint8_t> out(size, 0);
    std::size_t at = headerSize;
    for (const std::string& t : texts) {
        std::copy(t.begin(), t.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
        at += t.size() + 1;
    }
    return out;
}

struct TFormatNames
{
    std::mutex Lock;
    std::map<std::string, std::uint16_t, std::less<>> Numbers;
    std::vector<std::string> Names; // by number - FirstRegisteredFormat
};

TFormatNames& FormatNames()
{
    static TFormatNames names;
    return names;
}

// "C:\b\c.txt" -> "C:\b\"; "/b/c.txt" -> "/b/": the folder part up to and including the last
// separator, as the shell splits a path.
std::size_t NamePart(const std::string& path)
{
    std::size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? 0 : cut + 1;
}

} // namespace

std::uint16_t RegisterDragFormat(std::string_view name)
{
    TFormatNames& names = FormatNames();
    std::lock_guard lock(names.Lock);
    auto it = names.Numbers.find(name);
    if (it != names.Numbers.end())
        return it->second;
    auto number = static_cast<std::uint16_t>(FirstRegisteredFormat + names.Names.size());
    names.Names.emplace_back(name);
    names.Numbers.emplace(std::string(name), number);
    return number;
}

std::string DragFormatName(std::uint16_t format)
{
    TFormatNames& names = FormatNames();
    std::lock_guard lock(names.Lock);
    if (format < FirstRegisteredFormat)
        return {};
    const std::size_t slot = format - FirstRegisteredFormat;
    return slot < names.Names.size() ? names.Names[slot] : std::string();
}

std::vector<std::uint8_t> BuildHDrop(const std::vector<std::string>& files)
{
    std::vector<std::uint8_t> block = NulList(files, DropFilesHeaderSize);
    PutU32(block, 0, DropFilesHeaderSize);
    return block;
}

std::vector<std::uint8_t> BuildFileNameMap(const std::vector<std::string>& names)
{
    return NulList(names, 0);
}

std::vector<std::uint8_t> BuildFileNameMapW(const std::vector<std::string>& names)
{
    // The 8-bit names are the program's text, UTF-8 on this platform; a Windows build converts from
    // the ANSI code page here instead.
    std::vector<std::uint8_t> out;
    for (const std::string& name : names) {
        for (char16_t unit : Utf8ToUtf16(name)) {
            out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            out.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        out.insert(out.end(), 2, 0);
    }
    out.insert(out.end(), 2, 0);
    return out;
}

std::vector<std::uint8_t> BuildPreferredDropEffect(std::uint32_t effect)
{
    std::vector<std::uint8_t> block(4, 0);
    PutU32(block, 0, effect);
    return block;
}

std::vector<std::uint8_t> BuildShellIdListArray(const TItemIdList& parent, const std::vector<TItemIdList>& children)
{
    const std::size_t n = children.size();
    std::size_t size = 4 * (n + 2) + parent.size();
    for (const TItemIdList& child : children)
        size += child.size();
    std::vector<std::uint8_t> block(size, 0);
    PutU32(block, 0, static_cast<std::uint32_t>(n));
    std::size_t at = 4 * (n + 2);
    PutU32(block, 4, static_cast<std::uint32_t>(at));
    std::copy(parent.begin(), parent.end(), block.begin() + static_cast<std::ptrdiff_t>(at));
    at += parent.size();
    for (std::size_t i = 0; i < n; ++i) {
        PutU32(block, 4 * (i + 2), static_cast<std::uint32_t>(at));
        std::copy(children[i].begin(), children[i].end(), block.begin() + static_cast<std::ptrdiff_t>(at));
        at += children[i].size();
    }
    return block;
}

std::optional<std::vector<std::string>> ParseHDrop(std::span<const std::uint8_t> block)
{
    if (block.size() < DropFilesHeaderSize)
        return std::nullopt;
    const std::uint32_t offset = GetU32(block, 0);
    if (offset < DropFilesHeaderSize || offset >= block.size() || GetU32(block, 16) != 0)
        return std::nullopt;
    std::vector<std::string> files;
    std::size_t at = offset;
    for (;;) {
        std::string name;
        for (;;) {
            if (at >= block.size())
                return std::nullopt; // no terminating NUL inside the block
            const char c = static_cast<char>(block[at++]);
            if (c == 0)
                break;
            name.push_back(c);
        }
        if (name.empty())
            return files; // the second NUL ends the list
        files.push_back(std::move(name));
    }
}

std::optional<std::uint32_t> ParsePreferredDropEffect(std::span<const std::uint8_t> block)
{
    if (block.size() < 4)
        return std::nullopt;
    return GetU32(block, 0);
}

TDragOutcome DragOutcomeOf(THResult result, std::uint32_t finalEffect, std::uint32_t allowedEffects)
{
    switch (result) {
    case hrOutOfMemory:
        return doOutOfMemory;
    case hrDragDropDrop: {
        // Only the allowed part counts, so a target that claims an effect it was not offered cannot
        // turn a copy-only drag into a move.
        const std::uint32_t effect = finalEffect & allowedEffects;
        if (effect & deCopy)
            return doCopied;
        if (effect & deMove)
            return doMoved;
        if (effect & deLink)
            return doLinked;
        return doCancelled;
    }
    case hrDragDropCancel:
        return doCancelled;
    default:
        return doUnknown;
    }
}

TEnumFormatEtc::TEnumFormatEtc(std::shared_ptr<const TTable> formats, int count, int position)
    : FFormats(std::move(formats)), FCount(count), FPosition(position)
{
}

THResult TEnumFormatEtc::Next(std::uint32_t wanted, TFormatEtc* out, std::uint32_t* fetched)
{
    std::uint32_t copied = 0;
    while (copied < wanted && FPosition < FCount) {
        out[copied++] = (*FFormats)[static_cast<std::size_t>(FPosition)];
        ++FPosition;
    }
    if (fetched)
        *fetched = copied;
    return copied == wanted ? hrOk : hrFalse;
}

THResult TEnumFormatEtc::Skip(std::uint32_t count)
{
    const auto remaining = static_cast<std::uint32_t>(FCount - FPosition);
    if (count > remaining) {
        FPosition = FCount;
        return hrFalse;
    }
    FPosition += static_cast<int>(count);
    return hrOk;
}

THResult TEnumFormatEtc::Reset()
{
    FPosition = 0;
    return hrOk;
}

THResult TEnumFormatEtc::Clone(std::unique_ptr<TEnumFormatEtc>& out) const
{
    out = std::make_unique<TEnumFormatEtc>(FFormats, FCount, FPosition);
    return hrOk;
}

TDropSource::TDropSource() : FFormats(std::make_shared<TEnumFormatEtc::TTable>()) {}

THResult TDropSource::QueryGetData(const TFormatEtc& request) const
{
    for (int i = 0; i < FFormatCount; ++i) {
        const TFormatEtc& f = Format(i);
        if (f.Format == request.Format && f.Aspect == request.Aspect && (f.Tymed & request.Tymed) != 0)
            return hrOk;
    }
    return hrFail;
}

THResult TDropSource::EnumFormatEtc(std::uint32_t direction, std::unique_ptr<TEnumFormatEtc>& out) const
{
    out.reset();
    switch (direction) {
    case ddGet:
        out = std::make_unique<TEnumFormatEtc>(FFormats, FFormatCount);
        return hrOk;
    case ddSet:
        return hrNotImpl;
    default:
        return hrInvalidArg;
    }
}

THResult TDropSource::QueryContinueDrag(bool escapePressed, std::uint32_t keyState)
{
    if (escapePressed)
        return hrDragDropCancel;
    if (keyState & (MkLButton | MkRButton))
        return hrOk;
    bool drop = true;
    TDragType type = dtCopy;
    if (FCurrentEffect & deCopy)
        type = dtCopy;
    else if (FCurrentEffect & deMove)
        type = dtMove;
    else if (FCurrentEffect & deLink)
        type = dtLink;
    else
        drop = false;
    if (drop && !FDragtypes.Contains(type))
        drop = false;
    if (drop && OnDrop)
        OnDrop(*this, type, drop);
    return drop ? hrDragDropDrop : hrDragDropCancel;
}

THResult TDropSource::GiveFeedback(std::uint32_t effect)
{
    FCurrentEffect = effect;
    bool useDefaultCursors = true;
    if (OnFeedback)
        OnFeedback(*this, effect, useDefaultCursors);
    return useDefaultCursors ? hrDragDropUseDefaultCursors : hrOk;
}

void TDropSource::AddDataFormat(const TFormatEtc& format)
{
    if (FFormatCount >= MaxDataFormats)
        return;
    (*FFormats)[static_cast<std::size_t>(FFormatCount++)] = format;
}

bool TDropSource::PlaceOnClipboard(TClipboardSink&)
{
    return false;
}

bool TDropSource::ClipboardTransfer(TClipboardSink& sink, std::uint32_t effect)
{
    if (!sink.Open())
        return false;
    bool result = PlaceOnClipboard(sink);
    if (result) {
        FCurrentEffect = effect;
        TFormatEtc request{RegisterDragFormat(CfstrPreferredDropEffect), DvAspectContent, -1, TymedHGlobal};
        TStgMedium medium;
        if (RenderData(request, medium) == hrOk)
            sink.Put(request.Format, std::move(medium.Data));
        else
            result = false;
    }
    sink.Close();
    return result;
}

TDropFileSource::TDropFileSource()
    : FShellIdList(RegisterDragFormat(CfstrShellIdList)),
      FPreferredDropEffect(RegisterDragFormat(CfstrPreferredDropEffect)),
      FFileNameMap(RegisterDragFormat(CfstrFileNameMap)),
      FFileNameMapW(RegisterDragFormat(CfstrFileNameMapW))
{
    for (std::uint16_t format : {CfHDrop, FShellIdList, FPreferredDropEffect, FFileNameMap, FFileNameMapW})
        AddDataFormat(TFormatEtc{format, DvAspectContent, -1, TymedHGlobal});
}

THResult TDropFileSource::RenderData(const TFormatEtc& request, TStgMedium& medium)
{
    medium = TStgMedium{};
    if (FFiles.empty())
        return hrUnexpected;
    const bool offered = request.Aspect == DvAspectContent && (request.Tymed & TymedHGlobal) != 0;
    const bool namesMatch = FMappedNames.size() == FFiles.size();
    try {
        std::optional<std::vector<std::uint8_t>> block;
        if (offered && request.Format == CfHDrop)
            block = BuildHDrop(FFiles);
        else if (offered && request.Format == FFileNameMap && namesMatch)
            block = BuildFileNameMap(FMappedNames);
        else if (offered && request.Format == FFileNameMapW && namesMatch)
            block = BuildFileNameMapW(FMappedNames);
        else if (offered && request.Format == FShellIdList) {
            block = BuildShellIdList();
            if (!block)
                return hrOutOfMemory;
        } else if (offered && request.Format == FPreferredDropEffect)
            block = BuildPreferredDropEffect(CurrentEffect());
        else
            return hrDvFormatEtc;
        medium.Tymed = TymedHGlobal;
        medium.Data = std::move(*block);
        return hrOk;
    } catch (const std::bad_alloc&) {
        medium = TStgMedium{};
        return hrOutOfMemory;
    }
}

std::optional<std::vector<std::uint8_t>> TDropFileSource::BuildShellIdList() const
{
    if (!ShellItemResolver)
        return std::nullopt;
    // Every entry is described relative to the folder of the first; a selection that spans folders
    // would yield entries the target resolves in the wrong folder, so it is withheld instead.
    const std::string folder = FFiles.front().substr(0, NamePart(FFiles.front()));
    std::vector<TItemIdList> children;
    for (const std::string& file : FFiles) {
        const std::size_t cut = NamePart(file);
        if (file.compare(0, cut, folder) != 0 || cut != folder.size())
            return std::nullopt;
        std::optional<TItemIdList> child = ShellItemResolver(folder, file.substr(cut));
        if (!child)
            return std::nullopt;
        children.push_back(std::move(*child));
    }
    std::optional<TItemIdList> parent = ShellItemResolver(folder, {});
    if (!parent)
        return std::nullopt;
    return BuildShellIdListArray(*parent, children);
}

bool TDropFileSource::PlaceOnClipboard(TClipboardSink& sink)
{
    if (FFiles.empty())
        return false;
    TStgMedium medium;
    if (RenderData(TFormatEtc{CfHDrop, DvAspectContent, -1, TymedHGlobal}, medium) != hrOk)
        return false;
    sink.Put(CfHDrop, std::move(medium.Data));
    return true;
}

} // namespace trovex
