// SPDX-License-Identifier: MIT
// Text of office documents for the content search: Office Open XML (Word, Excel, PowerPoint) and
// OpenDocument files are ZIP archives of deflated XML, so their bytes hardly ever hold the words
// typed into them. TDocTextStream finds the parts that carry text through the archive's central
// directory (data descriptors and ZIP64 included), inflates them a piece at a time as the searcher
// reads, and hands on the text a person sees, as UTF-8:
//   <w:r><w:t>Quok</w:t></w:r><w:r><w:t>kafern</w:t></w:r>   -> Quokkafern   (runs joined)
//   &amp; &lt; &#1097; &#x44F;                               -> & < щ я
//   </w:p> </text:p> </si> </a:p>, the end of every part      -> LF (and one LF begins the text)
//   <w:tab/> <text:tab/>  -> TAB     <w:br/> <a:br/> <text:line-break/> -> LF     <text:s text:c="3"/> -> 3 spaces
#pragma once

#include "platform/Stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

class TDocXmlText;

enum TDocKind : std::uint8_t
{
    dkNone = 0,
    dkWordProcessing = 1, // .docx .docm .dotx .dotm: body, headers, footers, footnotes, endnotes, comments
    dkSpreadsheet = 2,    // .xlsx .xlsm .xltx .xltm: sheet names, strings, cell values as shown, comments, headers
    dkPresentation = 3,   // .pptx .pptm .ppsx .ppsm .potx .potm .sldx: slides, then notes
    dkOpenDocument = 4,   // .odt .ott .ods .ots .odp .otp .odg .otg: content.xml, styles.xml
};

/// The kind of document a file name stands for, by its extension in any case; dkNone for others.
TDocKind DocumentKind(std::string_view name);

/// The extensions DocumentKind knows, for help texts: ".docx .docm ... .odg".
extern const char* const DocumentExtensions;

/// The text of one document, read as a stream. The archive's central directory is read when the
/// stream is made; every Seek(0) starts the text again from the first part. Only pieces of 64 KiB
/// are held, never a whole part. A document gives at most TextLimit bytes of text and its parts
/// inflate to at most XmlLimit bytes, whatever its size says; a document cut at a bound is Cut().
/// A document that is no ZIP archive, lacks its main part, or
/// is encrypted, truncated or damaged is Damaged(): its text ends where that was found (at once
/// when the directory is bad). Errors reading the archive itself (EReadError) pass to the caller.
class TDocTextStream final : public TStream
{
public:
    /// `archive` holds the document's `size` bytes; the stream owns it and reads it only by Seek
    /// and Read. Reading the directory may throw EReadError.
    TDocTextStream(std::unique_ptr<TStream> archive, std::uint64_t size, TDocKind kind);
    /// The same with other bounds (for tests).
    TDocTextStream(std::unique_ptr<TStream> archive, std::uint64_t size, TDocKind kind, std::uint64_t textLimit,
                   std::uint64_t xmlLimit);

    /// The most text a document gives, and the most XML its parts inflate to.
    static constexpr std::uint64_t TextLimit = std::uint64_t{1} << 30;
    static constexpr std::uint64_t XmlLimit = std::uint64_t{16} << 30;
    ~TDocTextStream() override;
    TDocTextStream(const TDocTextStream&) = delete;
    TDocTextStream& operator=(const TDocTextStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Seek(std::uint64_t offset) override;

    /// True once the document was found unreadable; what was read before stands.
    bool Damaged() const { return FDamaged; }
    /// True once the text stopped at TextLimit, or the parts at XmlLimit: the document holds more.
    bool Cut() const { return FCut; }
    /// The parts whose text is given, in order, as named in the archive.
    std::vector<std::string> PartNames() const;
    /// Where the text at `offset` stands in the document, as its reader would say it: "body",
    /// "header", "footer", "footnote", "endnote", "comment", "sheet Budget", "slide 3", "notes",
    /// "page style"; empty before the first part. Meant for the last piece read: places more than
    /// a few pieces back are forgotten as the reading goes on. A shared string of a workbook is
    /// placed on the first sheet that shows it, which reads those sheets again.
    std::string PlaceAt(std::uint64_t offset);

private:
    struct TPart
    {
        std::string Name;
        int Rank = 0;             // which group of parts, in reading order
        std::uint64_t Number = 0; // slide2 before slide10
        std::uint64_t HeaderOffset = 0;
        std::uint64_t Compressed = 0;
        std::uint16_t Method = 0;
        std::uint16_t Flags = 0;
    };
    struct TInflater;

    void ReadDirectory();
    bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count);
    void Restart();
    bool Pump();
    bool OpenPart();
    void ClosePart();
    void Fail();
    void TakeMarks();
    std::string SharedStringPlace(std::int64_t index);

    std::unique_ptr<TStream> FArchive;
    std::uint64_t FSize = 0;
    TDocKind FKind = dkNone;
    std::vector<TPart> FParts;
    bool FDamaged = false;
    bool FBadDirectory = false;

    // Reading state, reset by Seek.
    std::unique_ptr<TDocXmlText> FXml;
    std::unique_ptr<TInflater> FInflater;
    std::size_t FNextPart = 0;
    bool FInPart = false;
    bool FEnded = false;
    std::uint64_t FInputOffset = 0; // next compressed byte of the open part
    std::uint64_t FInputLeft = 0;
    std::size_t FBudget = 0;
    std::uint64_t FTextLimit = TextLimit;
    std::uint64_t FXmlLimit = XmlLimit;
    std::uint64_t FHanded = 0; // text given out since the start
    bool FCut = false;
    std::string FInput;
    std::string FOutput;
    struct TMark
    {
        std::uint64_t Offset;
        std::string Place;
        std::int64_t String;
    };
    std::vector<TMark> FMarks; // where each place's text begins, the oldest forgotten
    std::string FText;        // produced and not yet read
    std::size_t FTextPos = 0; // first unread byte of FText
};

} // namespace trovex
