// SPDX-License-Identifier: MIT
// The archive is read through its central directory, since office programs often write parts with
// data descriptors (sizes only after the data) or ZIP64 records, which a walk over the local
// headers cannot get past. Each part is inflated a piece at a time into a small XML scanner that
// keeps only the text a person sees; the scanner survives any byte split between pieces.
#include "readers/uDocText.h"

#include "readers/uPDFtext.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace trovex
{
namespace
{

// Bytes inflated or read per step, and the most text one step adds (but for expanded spaces).
constexpr std::size_t PieceSize = 64 * 1024;
// A directory beyond this cannot belong to an office document; refusing it keeps memory bounded.
constexpr std::uint64_t MaxDirectorySize = std::uint64_t{16} << 20;
constexpr std::size_t MaxParts = 65536;
// Deeper elements are still matched open to close, only no longer told apart.
constexpr std::size_t MaxDepth = 4096;
constexpr std::uint32_t MaxSpaces = 1024;
constexpr std::size_t MaxName = 32;
constexpr std::size_t MaxEntity = 12;

constexpr std::uint32_t LocalSignature = 0x04034b50;
constexpr std::uint32_t CentralSignature = 0x02014b50;
constexpr std::uint32_t EndSignature = 0x06054b50;
constexpr std::uint32_t End64Signature = 0x06064b50;
constexpr std::uint32_t Locator64Signature = 0x07064b50;
constexpr std::size_t LocalHeaderSize = 30;
constexpr std::size_t CentralHeaderSize = 46;
constexpr std::size_t EndRecordSize = 22;
constexpr std::size_t MaxCommentSize = 65535;
constexpr std::size_t Locator64Size = 20;
constexpr std::size_t End64RecordSize = 56;
constexpr std::uint16_t Zip64ExtraId = 0x0001;
constexpr std::uint32_t Zip64Marker = 0xFFFFFFFF;
constexpr std::uint16_t EncryptedFlag = 0x0001;
constexpr int RawWindowBits = -15;

std::uint16_t Get16(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<std::uint32_t>(Get16(p)) | (static_cast<std::uint32_t>(Get16(p + 2)) << 16);
}

std::uint64_t Get64(const void* at)
{
    const auto* p = static_cast<const unsigned char*>(at);
    return static_cast<std::uint64_t>(Get32(p)) | (static_cast<std::uint64_t>(Get32(p + 4)) << 32);
}

std::string AsciiLower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

struct TExtension
{
    std::string_view Ext;
    TDocKind Kind;
};

constexpr TExtension Extensions[] = {
    {".docx", dkWordProcessing}, {".docm", dkWordProcessing}, {".dotx", dkWordProcessing},
    {".dotm", dkWordProcessing}, {".xlsx", dkSpreadsheet},    {".xlsm", dkSpreadsheet},
    {".xltx", dkSpreadsheet},    {".pptx", dkPresentation},   {".pptm", dkPresentation},
    {".ppsx", dkPresentation},   {".potx", dkPresentation},   {".odt", dkOpenDocument},
    {".ott", dkOpenDocument},    {".ods", dkOpenDocument},    {".ots", dkOpenDocument},
    {".odp", dkOpenDocument},    {".otp", dkOpenDocument},    {".odg", dkOpenDocument},
};

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// A part directly in `folder` whose name starts with `stem` and ends with ".xml".
bool PartIn(std::string_view name, std::string_view folder, std::string_view stem = {})
{
    if (!StartsWith(name, folder) || !EndsWith(name, ".xml"))
        return false;
    std::string_view rest = name.substr(folder.size());
    return rest.find('/') == std::string_view::npos && StartsWith(rest, stem) && rest.size() > stem.size() + 4;
}

// The number ending a part's name before ".xml": slide12.xml -> 12.
std::uint64_t PartNumber(std::string_view name)
{
    std::size_t end = name.size() >= 4 ? name.size() - 4 : 0;
    std::size_t begin = end;
    while (begin > 0 && end - begin < 18 && name[begin - 1] >= '0' && name[begin - 1] <= '9')
        --begin;
    std::uint64_t value = 0;
    for (std::size_t i = begin; i < end; ++i)
        value = value * 10 + static_cast<std::uint64_t>(name[i] - '0');
    return value;
}

// Which group a part belongs to (the order in which the text is given), or -1 for parts not read.
int PartRank(TDocKind kind, std::string_view name)
{
    switch (kind) {
    case dkWordProcessing:
        if (name == "word/document.xml")
            return 0;
        if (PartIn(name, "word/", "header"))
            return 1;
        if (PartIn(name, "word/", "footer"))
            return 2;
        if (name == "word/footnotes.xml")
            return 3;
        if (name == "word/endnotes.xml")
            return 4;
        if (name == "word/comments.xml")
            return 5;
        return -1;
    case dkSpreadsheet:
        if (name == "xl/sharedstrings.xml")
            return 0;
        return PartIn(name, "xl/worksheets/") ? 1 : -1;
    case dkPresentation:
        if (PartIn(name, "ppt/slides/"))
            return 0;
        return PartIn(name, "ppt/notesslides/") ? 1 : -1;
    case dkOpenDocument:
        if (name == "content.xml")
            return 0;
        return name == "styles.xml" ? 1 : -1;
    case dkNone:
        break;
    }
    return -1;
}

// The part without which a file is no document of its kind.
std::string_view MainPart(TDocKind kind)
{
    switch (kind) {
    case dkWordProcessing:
        return "word/document.xml";
    case dkSpreadsheet:
        return "xl/workbook.xml";
    case dkPresentation:
        return "ppt/presentation.xml";
    default:
        return "content.xml";
    }
}

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

const char* const DocumentExtensions =
    ".docx .docm .dotx .dotm .xlsx .xlsm .xltx .pptx .pptm .ppsx .potx .odt .ott .ods .ots .odp .otp .odg";

TDocKind DocumentKind(std::string_view name)
{
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot > 5)
        return dkNone;
    const std::string ext = AsciiLower(name.substr(dot));
    for (const TExtension& e : Extensions)
        if (e.Ext == ext)
            return e.Kind;
    return dkNone;
}

// ---------------------------------------------------------------------------------------------
// The XML scanner: one state per byte, so a piece may end anywhere, even inside a tag or entity.
// Element names are told apart by their local part (after the prefix): writers choose prefixes.

class TDocTextStream::TXmlText
{
public:
    explicit TXmlText(TDocKind kind) : FKind(kind) { FStack.reserve(64); }

    void StartPart()
    {
        FState = sText;
        FStack.clear();
        FOverflow = 0;
        FTextDepth = FSkipDepth = FParaDepth = FContainerDepth = 0;
        FLastSpace = true;
    }

    // Appends the text of `size` bytes to `out`; spaces that one tag expands to are paid from `budget`.
    void Feed(const char* p, std::size_t size, std::string& out, std::size_t& budget);

    void EndPart(std::string& out) { out.push_back('\n'); }

private:
    enum TState : std::uint8_t
    {
        sText,
        sEntity,
        sTagStart,
        sName,
        sAttrs,
        sAttrValue,
        sCloseTag,
        sInstruction,
        sBang,
        sComment,
        sCData,
        sDeclaration,
    };
    enum TElem : std::uint8_t
    {
        ecOther,
        ecText,      // its characters are text (w:t, a:t, t)
        ecRun,       // w:r: a tab or break directly inside stands for its character
        ecPara,      // ends with a line feed
        ecContainer, // a spreadsheet string (si, is): its t elements are text; ends with a line feed
        ecSkip,      // nothing inside is text
        ecTab,
        ecBreak,
        ecHyphen,
        ecSpace, // text:s
    };

    TElem Classify() const;
    bool Emitting() const
    {
        if (FSkipDepth > 0)
            return false;
        switch (FKind) {
        case dkOpenDocument:
            return FParaDepth > 0;
        case dkSpreadsheet:
            return FTextDepth > 0 && FContainerDepth > 0;
        default:
            return FTextDepth > 0;
        }
    }
    TElem Top() const { return FOverflow > 0 || FStack.empty() ? ecOther : static_cast<TElem>(FStack.back()); }
    void Push(TElem e);
    TElem Pop();
    void EmitText(const char* p, std::size_t n, std::string& out);
    void EmitEntity(std::string& out);
    void StandsFor(TElem e, TElem parent, std::string& out, std::size_t& budget);
    void EndStartTag(std::string& out, std::size_t& budget);
    void EndElement(std::string& out);

    TDocKind FKind;
    TState FState = sText;
    std::vector<std::uint8_t> FStack;
    std::size_t FOverflow = 0;
    std::size_t FTextDepth = 0;
    std::size_t FSkipDepth = 0;
    std::size_t FParaDepth = 0;
    std::size_t FContainerDepth = 0;
    bool FLastSpace = true; // OpenDocument: white space collapses, and none begins a paragraph

    char FName[MaxName] = {};
    std::size_t FNameLen = 0;
    bool FNameLong = false;
    TElem FElem = ecOther;
    bool FSelfClosing = false;
    char FAttr[MaxName] = {}; // the attribute name being read, for text:c
    std::size_t FAttrLen = 0;
    bool FAttrDone = true;
    bool FValueIsCount = false;
    char FQuote = '"';
    std::uint32_t FCount = 1;

    char FEntity[MaxEntity] = {};
    std::size_t FEntityLen = 0;
    char FPrev1 = 0; // the last two bytes, for the ends of comments and instructions
    char FPrev2 = 0;
    std::size_t FBangLen = 0;
    std::size_t FBrackets = 0;
};

TDocTextStream::TXmlText::TElem TDocTextStream::TXmlText::Classify() const
{
    if (FNameLong)
        return ecOther;
    std::string_view name(FName, FNameLen);
    if (std::size_t colon = name.rfind(':'); colon != std::string_view::npos)
        name = name.substr(colon + 1);
    switch (FKind) {
    case dkOpenDocument:
        if (name == "p" || name == "h")
            return ecPara;
        if (name == "tab")
            return ecTab;
        if (name == "line-break")
            return ecBreak;
        if (name == "s")
            return ecSpace;
        // deleted text kept for change tracking, and the author and date of a comment
        if (name == "tracked-changes" || name == "creator" || name == "date" || name == "date-string")
            return ecSkip;
        return ecOther;
    case dkSpreadsheet:
        if (name == "t")
            return ecText;
        if (name == "si" || name == "is")
            return ecContainer;
        if (name == "rPh" || name == "Fallback") // phonetic guides; duplicates for older readers
            return ecSkip;
        return ecOther;
    case dkPresentation:
        // DrawingML has no tab element of its own text (a:tab is a tab stop); tabs are characters
        if (name == "t")
            return ecText;
        if (name == "p")
            return ecPara;
        if (name == "br")
            return ecBreak;
        return name == "Fallback" ? ecSkip : ecOther;
    default:
        if (name == "t")
            return ecText;
        if (name == "r")
            return ecRun;
        if (name == "p")
            return ecPara;
        if (name == "tab")
            return ecTab;
        if (name == "br" || name == "cr")
            return ecBreak;
        if (name == "noBreakHyphen")
            return ecHyphen;
        return name == "Fallback" ? ecSkip : ecOther;
    }
}

void TDocTextStream::TXmlText::Push(TElem e)
{
    if (FOverflow > 0 || FStack.size() >= MaxDepth) {
        ++FOverflow;
        return;
    }
    FStack.push_back(e);
    FTextDepth += e == ecText;
    FSkipDepth += e == ecSkip;
    FParaDepth += e == ecPara;
    FContainerDepth += e == ecContainer;
}

TDocTextStream::TXmlText::TElem TDocTextStream::TXmlText::Pop()
{
    if (FOverflow > 0) {
        --FOverflow;
        return ecOther;
    }
    if (FStack.empty())
        return ecOther; // a stray end tag
    const auto e = static_cast<TElem>(FStack.back());
    FStack.pop_back();
    FTextDepth -= e == ecText;
    FSkipDepth -= e == ecSkip;
    FParaDepth -= e == ecPara;
    FContainerDepth -= e == ecContainer;
    return e;
}

void TDocTextStream::TXmlText::EmitText(const char* p, std::size_t n, std::string& out)
{
    if (FKind != dkOpenDocument) {
        out.append(p, n);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (IsXmlSpace(p[i])) {
            if (!FLastSpace)
                out.push_back(' ');
            FLastSpace = true;
        } else {
            out.push_back(p[i]);
            FLastSpace = false;
        }
    }
}

void TDocTextStream::TXmlText::EmitEntity(std::string& out)
{
    const std::string_view name(FEntity, FEntityLen);
    char single = 0;
    if (name == "amp")
        single = '&';
    else if (name == "lt")
        single = '<';
    else if (name == "gt")
        single = '>';
    else if (name == "quot")
        single = '"';
    else if (name == "apos")
        single = '\'';
    if (single) {
        EmitText(&single, 1, out);
        return;
    }
    if (name.size() < 2 || name[0] != '#') {
        // no entity XML knows: it stands as written
        out.push_back('&');
        EmitText(FEntity, FEntityLen, out);
        out.push_back(';');
        return;
    }
    const bool hex = name[1] == 'x' || name[1] == 'X';
    std::string_view digits = name.substr(hex ? 2 : 1);
    std::uint32_t cp = digits.empty() ? 0xFFFD : 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0 || cp > 0x10FFFF) {
            cp = 0xFFFD;
            break;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
    }
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    std::string utf8;
    AppendUtf8(utf8, cp);
    EmitText(utf8.data(), utf8.size(), out);
}

void TDocTextStream::TXmlText::StandsFor(TElem e, TElem parent, std::string& out, std::size_t& budget)
{
    if (FSkipDepth > 0)
        return;
    // Word keeps tab stops (w:tabs/w:tab) and such beside its text: only a run's own tab is one.
    if (FKind == dkWordProcessing && parent != ecRun)
        return;
    if (FKind == dkOpenDocument && FParaDepth == 0)
        return;
    switch (e) {
    case ecTab:
        out.push_back('\t');
        break;
    case ecBreak:
        out.push_back('\n');
        break;
    case ecHyphen:
        out.push_back('-');
        break;
    case ecSpace: {
        const std::size_t count = std::min<std::size_t>(FCount, budget);
        budget -= count;
        out.append(count, ' ');
        break;
    }
    default:
        return;
    }
    FLastSpace = false;
}

void TDocTextStream::TXmlText::EndStartTag(std::string& out, std::size_t& budget)
{
    const TElem parent = Top();
    StandsFor(FElem, parent, out, budget);
    // A paragraph inside another (a comment, a text box) is a line of its own.
    if (FElem == ecPara && FParaDepth > 0 && FSkipDepth == 0)
        out.push_back('\n');
    if (!FSelfClosing) {
        Push(FElem);
        if (FElem == ecPara)
            FLastSpace = true;
        return;
    }
    if (FElem == ecPara || FElem == ecContainer) {
        // an empty paragraph is an empty line
        if (FSkipDepth == 0)
            out.push_back('\n');
    }
}

void TDocTextStream::TXmlText::EndElement(std::string& out)
{
    const TElem e = Pop();
    if ((e == ecPara || e == ecContainer) && FSkipDepth == 0) {
        out.push_back('\n');
        FLastSpace = true;
    }
}

void TDocTextStream::TXmlText::Feed(const char* p, std::size_t size, std::string& out, std::size_t& budget)
{
    const char* const end = p + size;
    while (p < end) {
        switch (FState) {
        case sText: {
            const char* q = p;
            while (q < end && *q != '<' && *q != '&')
                ++q;
            if (q > p && Emitting())
                EmitText(p, static_cast<std::size_t>(q - p), out);
            if (q == end)
                return;
            FState = *q == '<' ? sTagStart : sEntity;
            FEntityLen = 0;
            p = q + 1;
            break;
        }
        case sEntity: {
            const char c = *p;
            if (c == ';') {
                ++p;
                if (Emitting())
                    EmitEntity(out);
                FState = sText;
            } else if (FEntityLen < MaxEntity && c != '<' && c != '&' && !IsXmlSpace(c)) {
                FEntity[FEntityLen++] = c;
                ++p;
            } else {
                // a lone ampersand stands as written; `c` is read again as text
                if (Emitting()) {
                    EmitText("&", 1, out);
                    EmitText(FEntity, FEntityLen, out);
                }
                FState = sText;
            }
            break;
        }
        case sTagStart: {
            const char c = *p;
            if (c == '/') {
                FState = sCloseTag;
                ++p;
            } else if (c == '?') {
                FState = sInstruction;
                FPrev1 = FPrev2 = 0;
                ++p;
            } else if (c == '!') {
                FState = sBang;
                FBangLen = 0;
                ++p;
            } else {
                FState = sName;
                FNameLen = 0;
                FNameLong = false;
            }
            break;
        }
        case sName: {
            const char c = *p;
            if (IsXmlSpace(c) || c == '/' || c == '>') {
                FElem = Classify();
                FSelfClosing = false;
                FAttrDone = true;
                FCount = 1;
                FState = sAttrs;
                break;
            }
            if (FNameLen < MaxName)
                FName[FNameLen++] = c;
            else
                FNameLong = true;
            ++p;
            break;
        }
        case sAttrs: {
            const char c = *p++;
            if (c == '>') {
                FState = sText;
                EndStartTag(out, budget);
            } else if (c == '/') {
                FSelfClosing = true;
            } else if (c == '"' || c == '\'') {
                FQuote = c;
                const std::string_view attr(FAttr, FAttrLen);
                FValueIsCount = FElem == ecSpace && (attr == "c" || EndsWith(attr, ":c"));
                if (FValueIsCount)
                    FCount = 0;
                FAttrDone = true;
                FSelfClosing = false;
                FState = sAttrValue;
            } else if (IsXmlSpace(c) || c == '=') {
                FAttrDone = true;
            } else {
                if (FAttrDone)
                    FAttrLen = 0;
                FAttrDone = false;
                if (FAttrLen < MaxName)
                    FAttr[FAttrLen++] = c;
                FSelfClosing = false;
            }
            break;
        }
        case sAttrValue: {
            const char* q = static_cast<const char*>(std::memchr(p, FQuote, static_cast<std::size_t>(end - p)));
            const char* stop = q ? q : end;
            if (FValueIsCount)
                for (const char* d = p; d < stop; ++d)
                    if (*d >= '0' && *d <= '9')
                        FCount = std::min<std::uint32_t>(FCount * 10 + static_cast<std::uint32_t>(*d - '0'), MaxSpaces);
            p = stop;
            if (q) {
                ++p;
                FState = sAttrs;
            }
            break;
        }
        case sCloseTag: {
            const char* q = static_cast<const char*>(std::memchr(p, '>', static_cast<std::size_t>(end - p)));
            if (!q)
                return;
            p = q + 1;
            FState = sText;
            EndElement(out);
            break;
        }
        case sInstruction:
        case sComment: {
            const char c = *p++;
            const char closing = FState == sComment ? '-' : '?';
            if (c == '>' && FPrev1 == closing && (FState == sInstruction || FPrev2 == '-'))
                FState = sText;
            FPrev2 = FPrev1;
            FPrev1 = c;
            break;
        }
        case sBang: {
            // "<!--" opens a comment, "<![CDATA[" a text section; anything else is a declaration
            static constexpr std::string_view CData = "[CDATA[";
            const char c = *p;
            if (FBangLen == 0 && c == '-') {
                FBangLen = 100;
                ++p;
            } else if (FBangLen == 100) {
                if (c == '-') {
                    FState = sComment;
                    FPrev1 = FPrev2 = 0;
                    ++p;
                } else {
                    FState = sDeclaration;
                }
            } else if (FBangLen < CData.size() && c == CData[FBangLen]) {
                ++p;
                if (++FBangLen == CData.size()) {
                    FState = sCData;
                    FBrackets = 0;
                }
            } else {
                FState = sDeclaration;
            }
            break;
        }
        case sCData: {
            const char c = *p++;
            if (c == ']') {
                if (++FBrackets > 2) {
                    if (Emitting())
                        EmitText("]", 1, out);
                    FBrackets = 2;
                }
            } else if (c == '>' && FBrackets == 2) {
                FState = sText;
            } else {
                if (Emitting()) {
                    for (; FBrackets > 0; --FBrackets)
                        EmitText("]", 1, out);
                    EmitText(&c, 1, out);
                }
                FBrackets = 0;
            }
            break;
        }
        case sDeclaration: {
            const char* q = static_cast<const char*>(std::memchr(p, '>', static_cast<std::size_t>(end - p)));
            if (!q)
                return;
            p = q + 1;
            FState = sText;
            break;
        }
        }
    }
}

// ---------------------------------------------------------------------------------------------

struct TDocTextStream::TInflater
{
    z_stream Z{};
    bool Ready = false;
    ~TInflater()
    {
        if (Ready)
            inflateEnd(&Z);
    }
    bool Start()
    {
        if (Ready)
            return inflateReset(&Z) == Z_OK;
        Z = z_stream{};
        Ready = inflateInit2(&Z, RawWindowBits) == Z_OK;
        return Ready;
    }
};

TDocTextStream::TDocTextStream(std::unique_ptr<TStream> archive, std::uint64_t size, TDocKind kind)
    : FArchive(std::move(archive)), FSize(size), FKind(kind), FXml(std::make_unique<TXmlText>(kind)),
      FInflater(std::make_unique<TInflater>())
{
    ReadDirectory();
    Restart();
}

TDocTextStream::~TDocTextStream() = default;

std::vector<std::string> TDocTextStream::PartNames() const
{
    std::vector<std::string> names;
    for (const TPart& part : FParts)
        names.push_back(part.Name);
    return names;
}

bool TDocTextStream::ReadAt(std::uint64_t offset, void* buffer, std::size_t count)
{
    if (offset > FSize || count > FSize - offset)
        return false;
    FArchive->Seek(offset);
    return FArchive->Read(buffer, count) == count; // a file that shrank is a truncated one
}

void TDocTextStream::ReadDirectory()
{
    FBadDirectory = true;
    if (FKind == dkNone || FSize < EndRecordSize)
        return;
    // The end record sits in the last 22 bytes plus at most a 64 KiB comment.
    const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(FSize, EndRecordSize + MaxCommentSize));
    const std::uint64_t tailStart = FSize - tailSize;
    std::string tail(tailSize, '\0');
    if (!ReadAt(tailStart, tail.data(), tailSize))
        return;
    std::size_t at = tailSize - EndRecordSize;
    for (;;) {
        if (Get32(&tail[at]) == EndSignature && EndRecordSize + Get16(&tail[at + 20]) <= tailSize - at)
            break;
        if (at == 0)
            return;
        --at;
    }
    const std::uint64_t endAt = tailStart + at;
    std::uint64_t dirSize = Get32(&tail[at + 12]);
    std::uint64_t dirOffset = Get32(&tail[at + 16]);
    std::uint64_t dirEnd = endAt;
    unsigned char locator[Locator64Size];
    if (endAt >= Locator64Size && ReadAt(endAt - Locator64Size, locator, Locator64Size) &&
        Get32(locator) == Locator64Signature) {
        const std::uint64_t recordAt = Get64(locator + 8);
        unsigned char record[End64RecordSize];
        if (recordAt <= endAt - Locator64Size && endAt - Locator64Size - recordAt >= End64RecordSize &&
            ReadAt(recordAt, record, End64RecordSize) && Get32(record) == End64Signature) {
            dirSize = Get64(record + 40);
            dirOffset = Get64(record + 48);
            dirEnd = recordAt;
        }
    }
    if (dirSize > dirEnd || dirSize > MaxDirectorySize)
        return;
    // An archive with bytes in front of it (or moved into another file) keeps its offsets from its
    // own start: the directory's place right before its end record tells how far it moved.
    const std::uint64_t dirStart = dirEnd - dirSize;
    if (dirOffset > dirStart)
        return;
    const std::uint64_t shift = dirStart - dirOffset;
    std::string dir(static_cast<std::size_t>(dirSize), '\0');
    if (!ReadAt(dirStart, dir.data(), dir.size()))
        return;

    const std::string_view main = MainPart(FKind);
    bool haveMain = false;
    std::size_t p = 0;
    while (dir.size() - p >= CentralHeaderSize && Get32(&dir[p]) == CentralSignature) {
        const char* h = &dir[p];
        const std::size_t nameLen = Get16(h + 28);
        const std::size_t extraLen = Get16(h + 30);
        const std::size_t commentLen = Get16(h + 32);
        if (dir.size() - p - CentralHeaderSize < nameLen + extraLen + commentLen)
            break;
        std::string name = AsciiLower(std::string_view(h + CentralHeaderSize, nameLen));
        std::replace(name.begin(), name.end(), '\\', '/'); // some writers use the Windows separator
        TPart part;
        part.Flags = Get16(h + 8);
        part.Method = Get16(h + 10);
        std::uint64_t compressed = Get32(h + 20);
        std::uint64_t uncompressed = Get32(h + 24);
        std::uint64_t header = Get32(h + 42);
        // ZIP64: each field that overflowed is in the extra block, in this order.
        std::string_view extra(h + CentralHeaderSize + nameLen, extraLen);
        while (extra.size() >= 4) {
            const std::size_t blockLen = Get16(extra.data() + 2);
            if (blockLen > extra.size() - 4)
                break;
            std::string_view block = extra.substr(4, blockLen);
            if (Get16(extra.data()) == Zip64ExtraId) {
                for (std::uint64_t* field : {&uncompressed, &compressed, &header}) {
                    if (*field != Zip64Marker)
                        continue;
                    if (block.size() < 8)
                        break;
                    *field = Get64(block.data());
                    block.remove_prefix(8);
                }
            }
            extra.remove_prefix(4 + blockLen);
        }
        p += CentralHeaderSize + nameLen + extraLen + commentLen;
        haveMain = haveMain || name == main;
        const int rank = PartRank(FKind, name);
        if (rank < 0 || FParts.size() >= MaxParts || header > UINT64_MAX - shift)
            continue;
        part.Rank = rank;
        part.Number = PartNumber(name);
        part.HeaderOffset = header + shift;
        part.Compressed = compressed;
        part.Name = std::string(h + CentralHeaderSize, nameLen);
        FParts.push_back(std::move(part));
    }
    if (!haveMain) {
        FParts.clear();
        return;
    }
    std::stable_sort(FParts.begin(), FParts.end(), [](const TPart& a, const TPart& b) {
        return a.Rank != b.Rank ? a.Rank < b.Rank : a.Number < b.Number;
    });
    FBadDirectory = false;
}

void TDocTextStream::Restart()
{
    FNextPart = 0;
    FInPart = false;
    FEnded = false;
    if (FBadDirectory)
        Fail();
    FBudget = PdfInflateBudget(static_cast<std::size_t>(std::min<std::uint64_t>(FSize, SIZE_MAX)));
    // The text around a hit never takes a chunk's first byte: a line feed there gives a word that
    // opens the document its whole context.
    FText.clear();
    if (!FBadDirectory)
        FText.push_back('\n');
    FTextPos = 0;
}

void TDocTextStream::Fail()
{
    FDamaged = true;
    FEnded = true;
    FInPart = false;
}

bool TDocTextStream::OpenPart()
{
    const TPart& part = FParts[FNextPart];
    if ((part.Flags & EncryptedFlag) != 0 || (part.Method != 0 && part.Method != 8))
        return false;
    unsigned char header[LocalHeaderSize];
    if (!ReadAt(part.HeaderOffset, header, LocalHeaderSize) || Get32(header) != LocalSignature)
        return false;
    // The local header's own name and extra lengths may differ from the directory's.
    const std::uint64_t dataStart = part.HeaderOffset + LocalHeaderSize + Get16(header + 26) + Get16(header + 28);
    if (dataStart > FSize || part.Compressed > FSize - dataStart)
        return false;
    if (part.Method == 8) {
        if (!FInflater->Start())
            return false;
        FInflater->Z.avail_in = 0;
    }
    FInputOffset = dataStart;
    FInputLeft = part.Compressed;
    FXml->StartPart();
    FInPart = true;
    return true;
}

void TDocTextStream::ClosePart()
{
    FXml->EndPart(FText);
    FInPart = false;
    ++FNextPart;
}

bool TDocTextStream::Pump()
{
    if (FEnded)
        return false;
    if (!FInPart) {
        if (FNextPart >= FParts.size()) {
            FEnded = true;
            return false;
        }
        if (!OpenPart()) {
            Fail();
            return false;
        }
        return true;
    }
    if (FBudget == 0) {
        FEnded = true; // the inflate bound: the text ends here, without complaint
        return false;
    }
    const TPart& part = FParts[FNextPart];
    if (part.Method == 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>({FInputLeft, PieceSize, FBudget}));
        if (n > 0) {
            FInput.resize(n);
            if (!ReadAt(FInputOffset, FInput.data(), n)) {
                Fail();
                return false;
            }
            FInputOffset += n;
            FInputLeft -= n;
            FBudget -= n;
            FXml->Feed(FInput.data(), n, FText, FBudget);
        }
        if (FInputLeft == 0)
            ClosePart();
        return true;
    }

    z_stream& z = FInflater->Z;
    if (z.avail_in == 0 && FInputLeft > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(FInputLeft, PieceSize));
        FInput.resize(n);
        if (!ReadAt(FInputOffset, FInput.data(), n)) {
            Fail();
            return false;
        }
        FInputOffset += n;
        FInputLeft -= n;
        z.next_in = reinterpret_cast<Bytef*>(FInput.data());
        z.avail_in = static_cast<uInt>(n);
    }
    const std::size_t room = std::min(PieceSize, FBudget);
    FOutput.resize(PieceSize);
    z.next_out = reinterpret_cast<Bytef*>(FOutput.data());
    z.avail_out = static_cast<uInt>(room);
    const int result = inflate(&z, Z_NO_FLUSH);
    const std::size_t produced = room - z.avail_out;
    FBudget -= produced;
    if (produced > 0)
        FXml->Feed(FOutput.data(), produced, FText, FBudget);
    if (result == Z_STREAM_END) {
        ClosePart();
        return true;
    }
    // Damaged data, a preset dictionary, or data that ends before the stream does.
    if ((result != Z_OK && result != Z_BUF_ERROR) || (produced == 0 && z.avail_in == 0 && FInputLeft == 0)) {
        Fail();
        return false;
    }
    return true;
}

std::size_t TDocTextStream::Read(void* buffer, std::size_t count)
{
    while (FText.size() - FTextPos < count && Pump()) {
    }
    const std::size_t n = std::min(count, FText.size() - FTextPos);
    std::memcpy(buffer, FText.data() + FTextPos, n);
    FTextPos += n;
    // Keep only what is still unread, so the buffer stays near one piece.
    FText.erase(0, FTextPos);
    FTextPos = 0;
    return n;
}

void TDocTextStream::Seek(std::uint64_t offset)
{
    Restart();
    char scratch[4096];
    while (offset > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(offset, sizeof scratch));
        const std::size_t got = Read(scratch, want);
        offset -= got;
        if (got < want)
            break;
    }
}

} // namespace trovex
