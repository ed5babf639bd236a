// SPDX-License-Identifier: MIT
#include "shell/win32/DropSource.h"

#include "platform/win32/Wide.h"
#include "shell/win32/ShellUtl.h"

#include <ole2.h>
#include <shlobj.h>

#include <algorithm>

namespace trovex::win32
{

namespace
{

constexpr std::uint32_t DropFilesHeaderSize = 20; // sizeof(DROPFILES)
// Another program may hold the clipboard for a moment; this many tries 20 ms apart.
constexpr int ClipboardTries = 25;

UINT PreferredDropEffectFormat()
{
    static const UINT format = ::RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT);
    return format;
}

HGLOBAL GlobalBlock(const std::vector<std::uint8_t>& bytes)
{
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.size());
    if (!block)
        return nullptr;
    void* p = ::GlobalLock(block);
    std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(p));
    ::GlobalUnlock(block);
    return block;
}

std::vector<std::uint8_t> EffectBlock(std::uint32_t effect)
{
    return {static_cast<std::uint8_t>(effect), static_cast<std::uint8_t>(effect >> 8),
            static_cast<std::uint8_t>(effect >> 16), static_cast<std::uint8_t>(effect >> 24)};
}

bool Offered(const FORMATETC& f)
{
    return (f.cfFormat == CF_HDROP || f.cfFormat == PreferredDropEffectFormat()) && f.dwAspect == DVASPECT_CONTENT &&
           (f.tymed & TYMED_HGLOBAL) != 0;
}

} // namespace

std::vector<std::uint8_t> BuildHDropW(const std::vector<std::string>& files)
{
    std::vector<std::uint8_t> block(DropFilesHeaderSize, 0);
    block[0] = DropFilesHeaderSize; // pFiles
    block[16] = 1;                  // fWide
    auto putUnit = [&](wchar_t u) {
        block.push_back(static_cast<std::uint8_t>(u & 0xFF));
        block.push_back(static_cast<std::uint8_t>((u >> 8) & 0xFF));
    };
    for (const std::string& file : files) {
        for (wchar_t u : PlainPath(file))
            putUnit(u);
        putUnit(L'\0');
    }
    putUnit(L'\0');
    return block;
}

// The OLE face of the component: IDataObject and IDropSource over the portable drop rules, which
// decide when a drop happens and record the target's effect, as on Linux.
class TDropFileSource::TOleObject final : public IDataObject, public IDropSource
{
public:
    std::vector<std::string> Files;
    trovex::TDropFileSource Rules;

    virtual ~TOleObject() = default;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (!out)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject))
            *out = static_cast<IDataObject*>(this);
        else if (IsEqualIID(iid, IID_IDropSource))
            *out = static_cast<IDropSource*>(this);
        else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&FRefs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG refs = ::InterlockedDecrement(&FRefs);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    // IDataObject
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* request, STGMEDIUM* medium) override
    {
        if (!request || !medium)
            return E_INVALIDARG;
        *medium = {};
        if (Files.empty())
            return E_UNEXPECTED;
        if (!Offered(*request))
            return DV_E_FORMATETC;
        const std::vector<std::uint8_t> bytes =
            request->cfFormat == CF_HDROP ? BuildHDropW(Files) : EffectBlock(Rules.CurrentEffect());
        HGLOBAL block = GlobalBlock(bytes);
        if (!block)
            return E_OUTOFMEMORY;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* request) override
    {
        return request && Offered(*request) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        if (out)
            out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override
    {
        if (!out)
            return E_INVALIDARG;
        *out = nullptr;
        if (direction != DATADIR_GET)
            return E_NOTIMPL;
        FORMATETC formats[] = {
            {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
            {static_cast<CLIPFORMAT>(PreferredDropEffectFormat()), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
        };
        return ::SHCreateStdEnumFmtEtc(2, formats, out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** out) override
    {
        if (out)
            *out = nullptr;
        return OLE_E_ADVISENOTSUPPORTED;
    }

    // IDropSource
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override
    {
        return static_cast<HRESULT>(Rules.QueryContinueDrag(escapePressed != FALSE, keyState));
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override
    {
        return static_cast<HRESULT>(Rules.GiveFeedback(effect));
    }

private:
    LONG FRefs = 1;
};

TDropFileSource::TDropFileSource() : FObject(new TOleObject) {}

TDropFileSource::~TDropFileSource()
{
    FObject->Release(); // the drop machinery may still hold it; it goes with the last reference
}

std::uint32_t TDropFileSource::CurrentEffect() const
{
    return FObject->Rules.CurrentEffect();
}

bool TDropFileSource::CheckFiles()
{
    FLastError.clear();
    if (FFiles.empty()) {
        FLastError = "no files";
        return false;
    }
    for (const std::string& file : FFiles) {
        const std::string refusal = ShellPathRefusal(file);
        if (!refusal.empty()) {
            FLastError = file + ": " + refusal;
            return false;
        }
    }
    return true;
}

TDragOutcome TDropFileSource::RunDrag()
{
    if (!CheckFiles())
        return doCancelled;
    FObject->Files = FFiles;
    const DWORD allowed = FObject->Rules.Dragtypes().EffectMask();
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT hr = ::DoDragDrop(static_cast<IDataObject*>(FObject), static_cast<IDropSource*>(FObject), allowed, &effect);
    FObject->Files.clear();
    return DragOutcomeOf(static_cast<THResult>(hr), effect, allowed);
}

bool TDropFileSource::ClipboardTransfer(HWND owner, std::uint32_t effect)
{
    if (!CheckFiles())
        return false;
    // Both blocks are made before the clipboard is touched, so a failure leaves it as it was.
    HGLOBAL files = GlobalBlock(BuildHDropW(FFiles));
    HGLOBAL preferred = GlobalBlock(EffectBlock(effect));
    bool opened = false;
    for (int i = 0; files && preferred && i < ClipboardTries && !opened; ++i) {
        opened = ::OpenClipboard(owner) != FALSE;
        if (!opened)
            ::Sleep(20);
    }
    if (!opened) {
        FLastError = files && preferred ? "the clipboard is busy" : "out of memory";
        if (files)
            ::GlobalFree(files);
        if (preferred)
            ::GlobalFree(preferred);
        return false;
    }
    ::EmptyClipboard();
    // The clipboard owns a block once it took it.
    const bool putFiles = ::SetClipboardData(CF_HDROP, files) != nullptr;
    if (!putFiles)
        ::GlobalFree(files);
    const bool putEffect = putFiles && ::SetClipboardData(PreferredDropEffectFormat(), preferred) != nullptr;
    if (!putEffect)
        ::GlobalFree(preferred);
    ::CloseClipboard();
    if (!putEffect) {
        FLastError = "the clipboard did not take the files";
        return false;
    }
    FObject->Rules.SetCurrentEffect(effect);
    return true;
}

} // namespace trovex::win32
