// SPDX-License-Identifier: MIT
#include "readers/uDocXml.h"
#include "platform/CodePage.h"
#include "readers/uSheetFormat.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace trovex
{
namespace
{

// Deeper elements are still matched open to close, only no longer told apart.
constexpr std::size_t MaxDepth = 4096;
constexpr std::uint32_t MaxSpaces = 1024;

bool IsXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

} // namespace

TDocXmlText::TElem TDocXmlText::Classify() const
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
        // Deleted text kept for change tracking, and the author and date of a comment: told by
        // their place, as a text:date or text:creator field in a paragraph shows what it says.
        if (name == "tracked-changes" || name == "note-citation")
            return ecSkip;
        if ((name == "creator" || name == "date" || name == "date-string") && (Top() == ecAnnotation || Top() == ecDeferred))
            return ecSkip;
        if (name == "annotation")
            return FParaDepth > 0 && FSkipDepth == 0 ? ecDeferred : ecAnnotation;
        if (name == "note")
            return ecNote;
        if (name == "note-body")
            return FParaDepth > 0 && FSkipDepth == 0 ? ecDeferred : ecOther;
        if (FStylesPart && (name == "page-number" || name == "page-count"))
            return ecSkip;
        if (name == "spreadsheet")
            return ecSpreadsheet;
        if (name == "table" && FInSpreadsheet)
            return ecSheetName; // a sheet's name is on its tab
        if (!FStylesPart && name == "page")
            return ecPage;
        if (FStylesPart && name == "master-page")
            return ecMasterPage;
        if (!FStylesPart && name == "notes")
            return ecSpeakerNotes;
        if (FStylesPart && std::string_view(FName, FNameLen).starts_with("style:") && (name == "header" || name == "footer" || name == "header-left" || name == "footer-left" ||
                            name == "header-first" || name == "footer-first"))
            return ecPageArea;
        if (name == "presentation")
            FPageWord = "slide"; // office:presentation holds slides, office:drawing pages
        else if (name == "drawing")
            FPageWord = "page";
        return ecOther;
    case dkSpreadsheet:
        switch (FSheetPart) {
        case spRels:
            return name == "Relationship" ? ecRelation : ecOther;
        case spWorkbook:
            if (name == "sheet")
                return ecSheetName;
            return name == "workbookPr" ? ecWorkbookPr : ecOther;
        case spStyles:
            if (name == "numFmt")
                return ecNumFmt;
            if (name == "cellXfs")
                return ecCellXfs;
            return name == "xf" && Top() == ecCellXfs ? ecXf : ecOther;
        case spSheet:
            if (name == "c")
                return ecCell;
            if (name == "v" && Top() == ecCell)
                return ecValue;
            if (name == "oddHeader" || name == "oddFooter" || name == "evenHeader" || name == "evenFooter" ||
                name == "firstHeader" || name == "firstFooter")
                return ecHeaderFooter;
            break;
        case spComments:
            if (name == "text")
                return ecContainer;
            if (name == "authors")
                return ecSkip;
            break;
        case spThreaded:
            if (name == "text")
                return ecCommentText;
            break;
        default:
            break;
        }
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
        if (FMasterPart && name == "sp")
            return ecShape;
        if (FMasterPart && name == "ph" && FShapeDepth > 0)
            return ecPlaceholder;
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

void TDocXmlText::Push(TElem e)
{
    if (FOverflow > 0 || FStack.size() >= MaxDepth) {
        ++FOverflow;
        return;
    }
    FStack.push_back(e);
    if (e == ecDeferred && FDeferDepth++ == 0)
        FLastSpaceOutside = FLastSpace;
    FShapeDepth += e == ecShape;
    FCaptureDepth += e == ecValue || e == ecHeaderFooter || e == ecCommentText;
    if (e == ecSpreadsheet)
        FInSpreadsheet = true;
    if ((e == ecValue || e == ecHeaderFooter || e == ecCommentText) && FCaptureDepth == 1)
        FValue.clear();
    FTextDepth += e == ecText;
    FSkipDepth += e == ecSkip;
    FParaDepth += e == ecPara;
    FContainerDepth += e == ecContainer;
}

TDocXmlText::TElem TDocXmlText::Pop()
{
    if (FOverflow > 0) {
        --FOverflow;
        return ecOther;
    }
    if (FStack.empty())
        return ecOther; // a stray end tag
    const auto e = static_cast<TElem>(FStack.back());
    FStack.pop_back();
    if (e == ecDeferred && --FDeferDepth == 0)
        FLastSpace = FLastSpaceOutside; // the paragraph goes on as if the note were not there
    if (e == ecShape && FShapeDepth-- <= FHiddenShape)
        FHiddenShape = 0;
    FCaptureDepth -= e == ecValue || e == ecHeaderFooter || e == ecCommentText;
    if (e == ecSpreadsheet)
        FInSpreadsheet = false;
    FTextDepth -= e == ecText;
    FSkipDepth -= e == ecSkip;
    FParaDepth -= e == ecPara;
    FContainerDepth -= e == ecContainer;
    return e;
}

namespace
{

// The characters a reader does not see as such: a no-break space (U+00A0, U+202F) is a space and a
// soft hyphen (U+00AD) is nothing, so a phrase typed with plain spaces, or a word typed whole, is
// found. Returns the bytes the character at p takes (0 when it is none of them, or cut short).
std::size_t InvisibleAt(const char* p, std::size_t n, char& becomes)
{
    const auto b0 = static_cast<unsigned char>(p[0]);
    if (b0 == 0xC2 && n >= 2 && (static_cast<unsigned char>(p[1]) == 0xA0 || static_cast<unsigned char>(p[1]) == 0xAD)) {
        becomes = static_cast<unsigned char>(p[1]) == 0xA0 ? ' ' : '\0';
        return 2;
    }
    if (b0 == 0xE2 && n >= 3 && static_cast<unsigned char>(p[1]) == 0x80 && static_cast<unsigned char>(p[2]) == 0xAF) {
        becomes = ' ';
        return 3;
    }
    return 0;
}

// True when p[0, n) is the start of one of those characters, cut short.
bool IsInvisiblePrefix(const char* p, std::size_t n)
{
    const auto b0 = n > 0 ? static_cast<unsigned char>(p[0]) : 0;
    if (n == 1)
        return b0 == 0xC2 || b0 == 0xE2;
    return n == 2 && b0 == 0xE2 && static_cast<unsigned char>(p[1]) == 0x80;
}

} // namespace

void TDocXmlText::FlushCarry(std::string& out)
{
    if (FCarryLen == 0)
        return;
    const std::size_t n = FCarryLen;
    FCarryLen = 0;
    char bytes[2] = {FCarry[0], FCarry[1]};
    const bool ends = FPieceEndsHere;
    FPieceEndsHere = false;
    EmitText(bytes, n, out);
    FPieceEndsHere = ends;
}

void TDocXmlText::EmitText(const char* p, std::size_t n, std::string& out)
{
    if (FCarryLen > 0) {
        // A character the last piece ended inside: completed by the first bytes of this one.
        char joined[3];
        const std::size_t k = FCarryLen;
        for (std::size_t i = 0; i < k; ++i)
            joined[i] = FCarry[i];
        const std::size_t take = std::min<std::size_t>(3 - k, n);
        for (std::size_t i = 0; i < take; ++i)
            joined[k + i] = p[i];
        FCarryLen = 0;
        char becomes = 0;
        const std::size_t used = InvisibleAt(joined, k + take, becomes);
        if (used > 0) {
            if (becomes)
                EmitText(&becomes, 1, out);
            p += used - k;
            n -= used - k;
        } else if (take == n && FPieceEndsHere && IsInvisiblePrefix(joined, k + take)) {
            for (std::size_t i = 0; i < k + take; ++i)
                FCarry[i] = joined[i]; // still cut short: the next piece may complete it
            FCarryLen = k + take;
            return;
        } else {
            // No such character: the bytes as they were.
            const bool ends = FPieceEndsHere;
            FPieceEndsHere = false;
            EmitText(joined, k, out);
            FPieceEndsHere = ends;
        }
    }
    for (;;) {
        // Runs without the lead bytes of those characters go out as they are.
        std::size_t run = 0;
        while (run < n && static_cast<unsigned char>(p[run]) != 0xC2 && static_cast<unsigned char>(p[run]) != 0xE2)
            ++run;
        if (FKind != dkOpenDocument) {
            out.append(p, run);
        } else {
            for (std::size_t i = 0; i < run; ++i) {
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
        if (run == n)
            return;
        p += run;
        n -= run;
        char becomes = 0;
        std::size_t used = InvisibleAt(p, n, becomes);
        if (used == 0) {
            if (FPieceEndsHere && IsInvisiblePrefix(p, n)) {
                // The piece ends inside what may be one of them: kept for the next piece.
                for (std::size_t i = 0; i < n; ++i)
                    FCarry[i] = p[i];
                FCarryLen = n;
                return;
            }
            // Any other character with that lead byte.
            if (FKind == dkOpenDocument)
                FLastSpace = false;
            out.push_back(p[0]);
            used = 1;
        } else if (becomes == ' ') {
            if (FKind != dkOpenDocument || !FLastSpace)
                out.push_back(' ');
            if (FKind == dkOpenDocument)
                FLastSpace = true;
        }
        p += used;
        n -= used;
    }
}

void TDocXmlText::EmitEntity(std::string& out)
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
    Utf8Append(utf8, cp);
    EmitText(utf8.data(), utf8.size(), out);
}

void TDocXmlText::StandsFor(TElem e, TElem parent, std::string& out, std::size_t& budget)
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

void TDocXmlText::EndStartTag(std::string& out, std::size_t& budget)
{
    if (FElem == ecPlaceholder && FHiddenShape == 0)
        FHiddenShape = FShapeDepth; // the shape it sits in shows a prompt, not text
    if (FElem != ecSpace && WantsAttributes(FElem))
        TakeAttributes(out);
    if (FElem == ecPage)
        Enter(out, std::string(FPageWord) + ' ' + std::to_string(++FPageCount));
    else if (FElem == ecPageArea)
        Enter(out, std::string_view(FName, FNameLen).find("footer") != std::string_view::npos ? "footer" : "header");
    else if (FElem == ecAnnotation && FSkipDepth == 0)
        MarkAside(out, "comment");
    else if (FElem == ecMasterPage && std::string_view(FPageWord) == "slide")
        Enter(out, "slide master");
    else if (FElem == ecSpeakerNotes && !FSelfClosing)
        MarkAside(out, "notes");
    else if (FElem == ecHeaderFooter)
        FFooter = std::string_view(FName, FNameLen).find("Footer") != std::string_view::npos;
    else if (FElem == ecDeferred && FDeferDepth == 0) {
        const bool comment = std::string_view(FName, FNameLen).ends_with("annotation");
        FDeferredMarks.push_back({FDeferred.size(), comment ? "comment" : FNoteClass});
    }
    else if (FElem == ecContainer && FSheetPart == spShared && Top() != ecContainer)
        FPlaceMarks.push_back({Sink(out).size(), {}, FStringCount++});
    const TElem parent = Top();
    StandsFor(FElem, parent, Sink(out), budget);
    // A paragraph inside another (a text box) is a line of its own; a note's or comment's
    // paragraphs, given after the one they are anchored in, are lines of their own anyway.
    if (FElem == ecPara && FParaDepth > 0 && FSkipDepth == 0 && FHiddenShape == 0 &&
        !(FDeferDepth > 0 && (FDeferred.empty() || FDeferred.back() == '\n')))
        Sink(out).push_back('\n');
    if (!FSelfClosing) {
        Push(FElem);
        if (FElem == ecPara)
            FLastSpace = true;
        return;
    }
    if (FElem == ecPara || FElem == ecContainer) {
        // an empty paragraph is an empty line
        if (FSkipDepth == 0 && FHiddenShape == 0)
            Sink(out).push_back('\n');
    }
}

void TDocXmlText::EndElement(std::string& out)
{
    const bool hidden = FHiddenShape > 0; // the shape's own end tag shows it again
    const TElem e = Pop();
    if (e == ecPageArea)
        Enter(out, "page style"); // what else a page style shows: its background drawings
    else if ((e == ecAnnotation && FSkipDepth == 0) || e == ecSpeakerNotes)
        Return(out);
    else if (e == ecDeferred && FDeferDepth == 0)
        FDeferredMarks.push_back({FDeferred.size(), FPlace});
    if ((e == ecValue || e == ecHeaderFooter || e == ecCommentText) && FCaptureDepth == 0 && FSkipDepth == 0) {
        if (e == ecHeaderFooter)
            MarkAside(out, FFooter ? "footer" : "header");
        EndValue(e, out);
        if (e == ecHeaderFooter)
            Return(out);
    }
    if ((e == ecPara || e == ecContainer) && FSkipDepth == 0 && !hidden) {
        Sink(out).push_back('\n');
        FLastSpace = true;
    }
    // The notes and comments of a paragraph follow it; a huge one goes out at once, so what is
    // held stays small.
    if (!FDeferred.empty() && ((FParaDepth == 0 && FDeferDepth == 0) || FDeferred.size() > (std::size_t{1} << 20)))
        FlushDeferred(out);
}

void TDocXmlText::FlushDeferred(std::string& out)
{
    for (TPlaceMark& m : FDeferredMarks)
        FPlaceMarks.push_back({out.size() + m.At, std::move(m.Place)});
    FDeferredMarks.clear();
    out += FDeferred;
    FDeferred.clear();
    if (FDeferDepth > 0) // a huge note given early: the rest of it is still the note's
        FDeferredMarks.push_back({0, FPlaceMarks.empty() ? FPlace : FPlaceMarks.back().Place});
    FPlaceMarks.push_back({out.size(), FPlace});
}

namespace
{

// An attribute's value with its entities decoded (the five XML names and character references).
std::string DecodeAttribute(std::string_view raw)
{
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '&') {
            out.push_back(raw[i]);
            continue;
        }
        const std::size_t semi = raw.find(';', i);
        if (semi == std::string_view::npos || semi - i > 10) {
            out.push_back('&');
            continue;
        }
        const std::string_view name = raw.substr(i + 1, semi - i - 1);
        if (name == "amp")
            out.push_back('&');
        else if (name == "lt")
            out.push_back('<');
        else if (name == "gt")
            out.push_back('>');
        else if (name == "quot")
            out.push_back('"');
        else if (name == "apos")
            out.push_back('\'');
        else if (name.size() > 1 && name[0] == '#') {
            const bool hex = name[1] == 'x' || name[1] == 'X';
            std::uint32_t cp = 0;
            for (const char c : name.substr(hex ? 2 : 1)) {
                const int d = c >= '0' && c <= '9' ? c - '0' : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                           : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
                if (d < 0 || cp > 0x10FFFF) {
                    cp = 0xFFFD;
                    break;
                }
                cp = cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(d);
            }
            Utf8Append(out, cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 0xFFFD : cp);
        } else {
            out.append(raw.substr(i, semi - i + 1));
        }
        i = semi;
    }
    return out;
}

std::uint32_t ToNumber(std::string_view digits)
{
    std::uint32_t v = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            break;
        v = std::min<std::uint32_t>(v * 10 + static_cast<std::uint32_t>(c - '0'), 1000000000);
    }
    return v;
}

} // namespace

std::string TDocXmlText::SheetPlace(std::string_view part) const
{
    for (const auto& [id, target] : FRelations)
        if (target == part)
            for (const auto& [sheetId, name] : FSheets)
                if (sheetId == id)
                    return "sheet " + name;
    // No relationships read: the sheets' parts are numbered in the workbook's order.
    std::uint64_t number = 0;
    for (const char c : part)
        if (c >= '0' && c <= '9')
            number = std::min<std::uint64_t>(number * 10 + static_cast<std::uint64_t>(c - '0'), 1u << 30);
    if (number >= 1 && number <= FSheets.size())
        return "sheet " + FSheets[number - 1].second;
    return "sheet";
}

void TDocXmlText::TakeAttributes(std::string& out)
{
    if (FSkipDepth > 0)
        return;
    switch (FElem) {
    case ecSheetName:
        if (!FAttrValues[0].empty()) {
            const std::string name = DecodeAttribute(FAttrValues[0]);
            Enter(out, "sheet " + name);
            if (FKind == dkSpreadsheet && FSheets.size() < 65536)
                FSheets.emplace_back(DecodeAttribute(FAttrValues[1]), name);
            EmitText(name.data(), name.size(), Sink(out));
            Sink(out).push_back('\n');
            FLastSpace = true;
        }
        break;
    case ecRelation:
        if (FRelations.size() < 65536) {
            // Targets are relative to the workbook's folder, or absolute from the archive's root.
            std::string target = DecodeAttribute(FAttrValues[1]);
            target = target.starts_with('/') ? target.substr(1) : "xl/" + target;
            for (char& c : target)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            FRelations.emplace_back(DecodeAttribute(FAttrValues[0]), std::move(target));
        }
        break;
    case ecNote:
        FNoteClass = FAttrValues[0] == "endnote" ? "endnote" : "footnote";
        break;
    case ecWorkbookPr:
        FDate1904 = FAttrValues[0] == "1" || FAttrValues[0] == "true";
        break;
    case ecNumFmt:
        if (FFormats.size() < 4096)
            FFormats.emplace_back(ToNumber(FAttrValues[0]), DecodeAttribute(FAttrValues[1]));
        break;
    case ecXf:
        if (FXfFormats.size() < 65536)
            FXfFormats.push_back(ToNumber(FAttrValues[0]));
        break;
    case ecCell: {
        const std::string& t = FAttrValues[0];
        FCellType = t == "s" ? 's' : t == "b" ? 'b' : t == "e" ? 'e' : t == "str" ? 't' : t == "inlineStr" ? 'i' : 'n';
        FCellStyle = ToNumber(FAttrValues[1]);
        break;
    }
    default:
        break;
    }
}

void TDocXmlText::EndValue(TElem e, std::string& out)
{
    std::string text;
    if (e == ecHeaderFooter) {
        text = HeaderFooterText(FValue);
    } else if (e == ecCommentText) {
        text = FValue;
    } else if (FCellType == 's' || FCellType == 'i') {
        // a shared string's number, or an inline string read as text already
        if (FCellType == 's' && FWantString >= 0 && !FValue.empty() && ToNumber(FValue) == FWantString)
            FStringShown = true;
    } else if (FCellType == 'b') {
        text = FValue == "1" ? "TRUE" : FValue == "0" ? "FALSE" : FValue;
    } else if (FCellType == 'n' && !FValue.empty()) {
        // A number: a date when its cell's format shows one, as that format shows it.
        std::string_view code;
        if (FCellStyle < FXfFormats.size()) {
            const std::uint32_t id = FXfFormats[FCellStyle];
            code = BuiltInDateFormat(id);
            for (const auto& [known, custom] : FFormats)
                if (known == id)
                    code = custom;
        }
        if (!code.empty() && IsDateFormat(code)) {
            char* end = nullptr;
            const double serial = std::strtod(FValue.c_str(), &end);
            text = end && *end == '\0' ? FormatSerialDate(serial, FDate1904, code) : std::string();
        }
        if (text.empty())
            text = FValue;
    } else {
        text = FValue; // a formula's text result, an error such as #DIV/0!
    }
    FValue.clear();
    if (text.empty())
        return;
    std::string& sink = Sink(out);
    sink += text;
    sink.push_back('\n');
}

void TDocXmlText::Feed(const char* p, std::size_t size, std::string& out, std::size_t& budget)
{
    const char* const end = p + size;
    while (p < end) {
        switch (FState) {
        case sText: {
            // Most character data is layout white space between tags, and is not text.
            const bool emitting = Emitting();
            const char* q = static_cast<const char*>(std::memchr(p, '<', static_cast<std::size_t>(end - p)));
            if (!q)
                q = end;
            if (emitting) {
                if (const void* amp = std::memchr(p, '&', static_cast<std::size_t>(q - p)))
                    q = static_cast<const char*>(amp);
                if (q > p) {
                    FPieceEndsHere = q == end;
                    EmitText(p, static_cast<std::size_t>(q - p), Sink(out));
                    FPieceEndsHere = false;
                }
            }
            if (q == end)
                return;
            FlushCarry(Sink(out)); // what follows is no continuation of a character
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
                    EmitEntity(Sink(out));
                FState = sText;
            } else if (FEntityLen < MaxEntity && c != '<' && c != '&' && !IsXmlSpace(c)) {
                FEntity[FEntityLen++] = c;
                ++p;
            } else {
                // a lone ampersand stands as written; `c` is read again as text
                if (Emitting()) {
                    EmitText("&", 1, Sink(out));
                    EmitText(FEntity, FEntityLen, Sink(out));
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
                FAttrValues[0].clear();
                FAttrValues[1].clear();
                FAttrSlot = -1;
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
            if (!WantsAttributes(FElem)) {
                // Only text:s has an attribute that counts: find the tag's end, over quoted values.
                const char* q = p;
                while (q < end && *q != '>' && *q != '"' && *q != '\'')
                    ++q;
                if (q > p)
                    FSelfClosing = q[-1] == '/';
                p = q;
                if (q == end)
                    break;
                ++p;
                if (*q == '>') {
                    FState = sText;
                    EndStartTag(out, budget);
                } else {
                    FQuote = *q;
                    FValueIsCount = false;
                    FSelfClosing = false;
                    FState = sAttrValue;
                }
                break;
            }
            const char c = *p++;
            if (c == '>') {
                FState = sText;
                EndStartTag(out, budget);
            } else if (c == '/') {
                FSelfClosing = true;
            } else if (c == '"' || c == '\'') {
                FQuote = c;
                std::string_view attr(FAttr, FAttrLen);
                if (const std::size_t colon = attr.rfind(':'); colon != std::string_view::npos)
                    attr = attr.substr(colon + 1);
                FValueIsCount = FElem == ecSpace && attr == "c";
                if (FValueIsCount)
                    FCount = 0;
                FAttrSlot = -1;
                switch (FElem) {
                case ecSheetName: FAttrSlot = attr == "name" ? 0 : attr == "id" ? 1 : -1; break;
                case ecNote: FAttrSlot = attr == "note-class" ? 0 : -1; break;
                case ecRelation: FAttrSlot = attr == "Id" ? 0 : attr == "Target" ? 1 : -1; break;
                case ecWorkbookPr: FAttrSlot = attr == "date1904" ? 0 : -1; break;
                case ecNumFmt: FAttrSlot = attr == "numFmtId" ? 0 : attr == "formatCode" ? 1 : -1; break;
                case ecXf: FAttrSlot = attr == "numFmtId" ? 0 : -1; break;
                case ecCell: FAttrSlot = attr == "t" ? 0 : attr == "s" ? 1 : -1; break;
                default: break;
                }
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
            if (FAttrSlot >= 0) {
                std::string& value = FAttrValues[FAttrSlot];
                value.append(p, std::min<std::size_t>(static_cast<std::size_t>(stop - p), MaxAttrValue - std::min(MaxAttrValue, value.size())));
            }
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
                        EmitText("]", 1, Sink(out));
                    FBrackets = 2;
                }
            } else if (c == '>' && FBrackets == 2) {
                FState = sText;
            } else {
                if (Emitting()) {
                    for (; FBrackets > 0; --FBrackets)
                        EmitText("]", 1, Sink(out));
                    EmitText(&c, 1, Sink(out));
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

} // namespace trovex
