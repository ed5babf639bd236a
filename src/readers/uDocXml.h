// SPDX-License-Identifier: MIT
// The XML scanner behind the document reader: keeps the text a person sees of one part's XML (see
// uDocText.h for what that is), fed in pieces that may end anywhere, even inside a tag, an entity
// or a character. Elements are told apart by their local name (after the prefix), since writers
// choose prefixes freely. Memory stays bounded whatever the nesting.
#pragma once

#include "readers/uDocText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovex
{

/// The scanner of one document, reused part after part; not thread-safe.
class TDocXmlText
{
public:
    static constexpr std::size_t MaxName = 32;
    static constexpr std::size_t MaxEntity = 12;

    explicit TDocXmlText(TDocKind kind) : FKind(kind) { FStack.reserve(64); }

    /// Begins a part (named as in the archive, in lower case): nothing of the previous part's
    /// elements carries over.
    void StartPart(std::string_view name = {})
    {
        // A master's or layout's placeholders hold prompts ("Click to edit...") nobody sees; the
        // page numbers of OpenDocument masters and page styles are placeholders too ("<number>").
        FMasterPart = FKind == dkPresentation &&
                      (name.substr(0, 17) == "ppt/slidemasters/" || name.substr(0, 17) == "ppt/slidelayouts/");
        FStylesPart = FKind == dkOpenDocument && name == "styles.xml";
        FSheetPart = spOther;
        if (FKind == dkSpreadsheet) {
            if (name == "xl/_rels/workbook.xml.rels") {
                FSheetPart = spRels;
                FRelations.clear();
            } else if (name == "xl/workbook.xml") {
                FSheetPart = spWorkbook;
                FDate1904 = false;
                FSheets.clear();
            } else if (name == "xl/sharedstrings.xml") {
                FSheetPart = spShared;
                FStringCount = 0;
            } else if (name == "xl/styles.xml") {
                FSheetPart = spStyles;
                FFormats.clear();
                FXfFormats.clear();
            } else if (name.substr(0, 14) == "xl/worksheets/") {
                FSheetPart = spSheet;
            } else if (name.substr(0, 20) == "xl/threadedcomments/") {
                FSheetPart = spThreaded;
            } else if (name.substr(0, 11) == "xl/comments") {
                FSheetPart = spComments;
            }
        }
        FPageCount = 0;
        FPlace.clear();
        FDeferredMarks.clear();
        FCaptureDepth = 0;
        FValue.clear();
        FShapeDepth = FHiddenShape = 0;
        FState = sText;
        FStack.clear();
        FOverflow = 0;
        FTextDepth = FSkipDepth = FParaDepth = FContainerDepth = FDeferDepth = 0;
        FLastSpace = true;
        FDeferred.clear();
        FCarryLen = 0;
    }

    /// Where the text that follows stands in the document ("sheet Budget", "slide 3", "header"), met
    /// inside a part: At is the length `out` had there. A workbook's shared string is marked by
    /// its number in String (Place empty), as only the sheets tell where it is shown. The caller
    /// takes the marks away after each Feed and EndPart.
    struct TPlaceMark
    {
        std::size_t At = 0;
        std::string Place;
        std::int64_t String = -1;
    };
    std::vector<TPlaceMark>& PlaceMarks() { return FPlaceMarks; }
    /// The place of the part being read, which text returns to after a comment or a note.
    void SetPlace(std::string place) { FPlace = std::move(place); }
    /// The place of a worksheet part (named in lower case): "sheet " and the name the workbook gives
    /// it through its relationships, or the workbook's sheet of that number; "sheet" when unknown.
    std::string SheetPlace(std::string_view part) const;
    /// While set (not -1), a worksheet fed notes whether one of its cells shows shared string
    /// `index`, and no text is given.
    void LookForString(std::int64_t index)
    {
        FWantString = index;
        FStringShown = false;
    }
    bool StringShown() const { return FStringShown; }

    /// Appends the text of the next `size` bytes of the part to `out`. Spaces that one tag stands
    /// for (text:s) are paid from `budget` and stop when it is spent. Never throws but for memory.
    void Feed(const char* p, std::size_t size, std::string& out, std::size_t& budget);

    /// Ends a part with its line feed.
    void EndPart(std::string& out)
    {
        FlushCarry(out);
        FlushDeferred(out); // notes of a paragraph the part left open
        out.push_back('\n');
    }

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
        ecAnnotation, // a comment (office:annotation): its author and date are no text
        ecDeferred,   // a note's body or a comment inside a paragraph: given after that paragraph
        ecShape,      // a shape on a slide master or layout (p:sp)
        ecPlaceholder, // what makes that shape a placeholder (p:ph)
        ecSheetName,  // a sheet (its name) in a workbook, a table:table in a spreadsheet
        ecWorkbookPr, // the workbook's date system
        ecNumFmt,     // a number format and its code
        ecCellXfs,    // the cell formats a cell's style index counts in
        ecXf,         // one of them, with its number format
        ecCell,       // a cell, with its type and style
        ecValue,      // what a cell stores (v): shown as the cell shows it
        ecHeaderFooter, // a print header or footer, with its &-codes
        ecCommentText,  // a threaded comment's text
        ecSpreadsheet,  // OpenDocument's spreadsheet body
        ecRelation,     // a workbook relationship: which part a sheet's id names
        ecPage,         // an OpenDocument slide or drawing page
        ecPageArea,     // an OpenDocument page style's header or footer
        ecNote,         // an OpenDocument footnote or endnote, by its class
        ecSpeakerNotes, // the notes of an OpenDocument slide
        ecMasterPage,   // an OpenDocument master page: a presentation's slide master
    };
    enum TSheetPart : std::uint8_t { spOther, spRels, spWorkbook, spStyles, spShared, spSheet, spComments, spThreaded };
    bool WantsAttributes(TElem e) const
    {
        return e == ecSpace || (e >= ecSheetName && e <= ecCell) || e == ecRelation || e == ecNote;
    }
    // A new place the part's text is in from here on, one it is in for a while (a comment, a print
    // header), and the return from that.
    void Enter(std::string& out, std::string place)
    {
        FPlace = place;
        FPlaceMarks.push_back({Sink(out).size(), std::move(place)});
    }
    void MarkAside(std::string& out, std::string_view what)
    {
        const bool inner = FPlace.starts_with("sheet") || FPlace.starts_with("slide") || FPlace.starts_with("page ");
        FPlaceMarks.push_back({Sink(out).size(), inner ? FPlace + ", " + std::string(what) : std::string(what)});
    }
    void Return(std::string& out) { FPlaceMarks.push_back({Sink(out).size(), FPlace}); }
    void FlushDeferred(std::string& out);
    void TakeAttributes(std::string& out);
    void EndValue(TElem e, std::string& out);

    TElem Classify() const;
    bool Emitting() const
    {
        if (FSkipDepth > 0 || FHiddenShape > 0)
            return false;
        if (FCaptureDepth > 0)
            return true;
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
    // Where text goes now: after the paragraph while inside a note or comment anchored in it.
    std::string& Sink(std::string& out)
    {
        if (FCaptureDepth > 0) {
            if (FValue.size() < MaxValue)
                return FValue;
            FDiscard.clear(); // a value longer than any cell shows: the rest is not kept
            return FDiscard;
        }
        return FDeferDepth > 0 ? FDeferred : out;
    }
    void FlushCarry(std::string& out);
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
    std::size_t FDeferDepth = 0;
    bool FMasterPart = false;
    TSheetPart FSheetPart = spOther;
    bool FDate1904 = false;
    std::vector<std::pair<std::uint32_t, std::string>> FFormats; // custom number formats by id
    std::vector<std::uint32_t> FXfFormats;                       // a cell style index's number format
    std::size_t FCaptureDepth = 0;
    static constexpr std::size_t MaxValue = std::size_t{1} << 20;
    std::string FValue;          // a cell's value or a header's text, being read
    std::string FDiscard;
    char FCellType = 'n';        // t of the cell being read: n, s, b, e, str (as 't'), inlineStr (as 'i')
    std::uint32_t FCellStyle = 0;
    bool FInSpreadsheet = false; // inside OpenDocument's spreadsheet body
    static constexpr std::size_t MaxAttrValue = 512;
    std::string FAttrValues[2];  // the values of the wanted attributes of the element being read
    int FAttrSlot = -1;          // which of them the value being read is, -1: none
    bool FStylesPart = false;
    std::vector<TPlaceMark> FPlaceMarks;
    std::vector<TPlaceMark> FDeferredMarks; // in FDeferred: the notes' and comments' places
    std::string FPlace;
    const char* FNoteClass = "footnote";
    bool FFooter = false; // the print header or footer being read is a footer
    std::vector<std::pair<std::string, std::string>> FRelations; // id, target part (lower case)
    std::vector<std::pair<std::string, std::string>> FSheets;    // a sheet's relationship id and name
    std::int64_t FStringCount = 0; // shared strings begun so far
    std::int64_t FWantString = -1;
    bool FStringShown = false;
    mutable const char* FPageWord = "page"; // what an OpenDocument's draw:page is to its reader
    std::uint32_t FPageCount = 0;
    std::size_t FShapeDepth = 0;  // shapes open on a master or layout
    std::size_t FHiddenShape = 0; // the depth of the placeholder shape whose text is hidden, 0: none
    std::string FDeferred;        // the notes and comments of the paragraph being read
    bool FLastSpaceOutside = true; // FLastSpace where a deferred note began
    char FCarry[2] = {};          // the start of a character a piece ended inside (see EmitText)
    std::size_t FCarryLen = 0;
    bool FPieceEndsHere = false;  // the text being emitted runs to the end of the piece fed

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

} // namespace trovex
