// SPDX-License-Identifier: MIT
// The archive is read through its central directory, since office programs often write parts with
// data descriptors (sizes only after the data) or ZIP64 records, which a walk over the local
// headers cannot get past. Each part is inflated a piece at a time into the XML scanner of
// uDocXml, which keeps only the text a person sees.
#include "readers/uDocText.h"

#include "readers/uDocXml.h"
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
    {".otg", dkOpenDocument},    {".xltm", dkSpreadsheet},    {".potm", dkPresentation},
    {".ppsm", dkPresentation},   {".sldx", dkPresentation},
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
        // Which part is which sheet, the sheets' names and the date system, and the number formats,
        // before the cells need them.
        if (name == "xl/_rels/workbook.xml.rels")
            return 0;
        if (name == "xl/workbook.xml")
            return 1;
        if (name == "xl/styles.xml")
            return 2;
        if (name == "xl/sharedstrings.xml")
            return 3;
        if (PartIn(name, "xl/worksheets/"))
            return 4;
        if (PartIn(name, "xl/", "comments") || PartIn(name, "xl/comments/"))
            return 5;
        return PartIn(name, "xl/threadedcomments/") ? 6 : -1;
    case dkPresentation:
        if (PartIn(name, "ppt/slides/"))
            return 0;
        if (PartIn(name, "ppt/notesslides/"))
            return 1;
        // What masters and layouts draw on the slides themselves (their placeholders' prompts are not)
        if (PartIn(name, "ppt/slidemasters/"))
            return 2;
        return PartIn(name, "ppt/slidelayouts/") ? 3 : -1;
    case dkOpenDocument:
        if (name == "content.xml")
            return 0;
        return name == "styles.xml" ? 1 : -1;
    case dkNone:
        break;
    }
    return -1;
}

// Where a part's text stands, as the document's reader would name it (a sheet by the workbook's
// name for it); places met inside a part are marked by the scanner.
std::string PartPlace(TDocKind kind, std::string_view name, const TDocXmlText& xml)
{
    switch (kind) {
    case dkWordProcessing:
        if (name == "word/document.xml")
            return "body";
        if (PartIn(name, "word/", "header"))
            return "header";
        if (PartIn(name, "word/", "footer"))
            return "footer";
        if (name == "word/comments.xml")
            return "comment";
        return name == "word/footnotes.xml" ? "footnote" : "endnote";
    case dkSpreadsheet:
        if (PartIn(name, "xl/worksheets/"))
            return xml.SheetPlace(name);
        if (name == "xl/sharedstrings.xml")
            return "shared strings";
        return PartIn(name, "xl/", "comments") || PartIn(name, "xl/comments/") || PartIn(name, "xl/threadedcomments/")
                   ? "comment"
                   : "workbook";
    case dkPresentation:
        if (PartIn(name, "ppt/slides/"))
            return "slide " + std::to_string(PartNumber(name));
        if (PartIn(name, "ppt/notesslides/"))
            return "notes";
        return PartIn(name, "ppt/slidemasters/") ? "slide master" : "slide layout";
    default:
        return name == "content.xml" ? "body" : "page style";
    }
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

} // namespace

const char* const DocumentExtensions =
    ".docx .docm .dotx .dotm .xlsx .xlsm .xltx .xltm .pptx .pptm .ppsx .ppsm .potx .potm .sldx .odt .ott .ods .ots .odp "
    ".otp .odg .otg";

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
    : TDocTextStream(std::move(archive), size, kind, TextLimit, XmlLimit)
{
}

TDocTextStream::TDocTextStream(std::unique_ptr<TStream> archive, std::uint64_t size, TDocKind kind,
                               std::uint64_t textLimit, std::uint64_t xmlLimit)
    : FArchive(std::move(archive)), FSize(size), FKind(kind), FXml(std::make_unique<TDocXmlText>(kind)),
      FInflater(std::make_unique<TInflater>()), FTextLimit(textLimit), FXmlLimit(xmlLimit)
{
    ReadDirectory();
    Restart();
}

TDocTextStream::~TDocTextStream() = default;

void TDocTextStream::TakeMarks()
{
    std::vector<TDocXmlText::TPlaceMark>& marks = FXml->PlaceMarks();
    for (TDocXmlText::TPlaceMark& m : marks)
        FMarks.push_back({FHanded + m.At - FTextPos, std::move(m.Place), m.String});
    marks.clear();
}

std::string TDocTextStream::PlaceAt(std::uint64_t offset)
{
    auto after = std::upper_bound(FMarks.begin(), FMarks.end(), offset,
                                  [](std::uint64_t o, const TMark& m) { return o < m.Offset; });
    if (after == FMarks.begin())
        return {};
    const TMark& mark = *(after - 1);
    return mark.String >= 0 ? SharedStringPlace(mark.String) : mark.Place;
}

std::string TDocTextStream::SharedStringPlace(std::int64_t index)
{
    // The sheets are read again, only for their cells' string numbers.
    TDocXmlText cells(FKind);
    TInflater inflater;
    std::string input;
    std::string output(PieceSize, '\0');
    std::string discard;
    for (const TPart& part : FParts) {
        const std::string name = AsciiLower(part.Name);
        if (!PartIn(name, "xl/worksheets/") || part.Method != 8 || (part.Flags & EncryptedFlag) != 0)
            continue;
        unsigned char header[LocalHeaderSize];
        if (!ReadAt(part.HeaderOffset, header, LocalHeaderSize) || Get32(header) != LocalSignature)
            continue;
        std::uint64_t at = part.HeaderOffset + LocalHeaderSize + Get16(header + 26) + Get16(header + 28);
        if (at > FSize || part.Compressed > FSize - at || !inflater.Start())
            continue;
        cells.StartPart(name);
        cells.LookForString(index);
        std::uint64_t left = part.Compressed;
        std::size_t budget = static_cast<std::size_t>(std::min<std::uint64_t>(FXmlLimit, SIZE_MAX));
        z_stream& z = inflater.Z;
        z.avail_in = 0;
        for (;;) {
            if (z.avail_in == 0 && left > 0) {
                const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(left, PieceSize));
                input.resize(n);
                if (!ReadAt(at, input.data(), n))
                    break;
                at += n;
                left -= n;
                z.next_in = reinterpret_cast<Bytef*>(input.data());
                z.avail_in = static_cast<uInt>(n);
            }
            z.next_out = reinterpret_cast<Bytef*>(output.data());
            z.avail_out = static_cast<uInt>(std::min(PieceSize, budget));
            const int result = inflate(&z, Z_NO_FLUSH);
            const std::size_t produced = std::min(PieceSize, budget) - z.avail_out;
            budget -= produced;
            discard.clear();
            cells.Feed(output.data(), produced, discard, budget);
            cells.PlaceMarks().clear();
            if (cells.StringShown())
                return FXml->SheetPlace(name);
            if (result != Z_OK || budget == 0 || (produced == 0 && z.avail_in == 0 && left == 0))
                break;
        }
    }
    return "shared strings";
}

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
    FBudget = static_cast<std::size_t>(std::min<std::uint64_t>(FXmlLimit, SIZE_MAX));
    FHanded = 0;
    FCut = false;
    FMarks.clear();
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
    const std::string lower = AsciiLower(part.Name);
    FXml->StartPart(lower);
    FXml->PlaceMarks().clear();
    std::string place = PartPlace(FKind, lower, *FXml);
    FMarks.push_back({FHanded + FText.size() - FTextPos, place, -1});
    FXml->SetPlace(std::move(place));
    FInPart = true;
    return true;
}

void TDocTextStream::ClosePart()
{
    FXml->EndPart(FText);
    TakeMarks();
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
        FEnded = true; // the inflate bound: the text ends here, and says so
        FCut = true;
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
            TakeMarks();
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
    if (produced > 0) {
        FXml->Feed(FOutput.data(), produced, FText, FBudget);
        TakeMarks();
    }
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
    std::size_t n = std::min(count, FText.size() - FTextPos);
    if (n > FTextLimit - FHanded) {
        n = static_cast<std::size_t>(FTextLimit - FHanded); // the text bound: what is left is not given
        FCut = true;
        FEnded = true;
        FText.resize(FTextPos + n);
    }
    FHanded += n;
    if (FMarks.size() > 1024) {
        // A hit lies in the piece just read: the places of text long read are no longer asked for.
        const std::uint64_t keepFrom = FHanded > 4 * PieceSize ? FHanded - 4 * PieceSize : 0;
        auto first = std::upper_bound(FMarks.begin(), FMarks.end(), keepFrom,
                                      [](std::uint64_t o, const TMark& m) { return o < m.Offset; });
        if (first != FMarks.begin())
            FMarks.erase(FMarks.begin(), first - 1);
    }
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
