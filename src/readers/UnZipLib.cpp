// SPDX-License-Identifier: MIT
// Local-header scan and member extraction over a read-only view of the archive.
#include "readers/UnZipLib.h"

#include "platform/CodePage.h"

#include <algorithm>

namespace trovex
{
namespace
{

constexpr std::uint16_t LocalHeaderSignature = 0x0403; // "PK" then bytes 3 and 4
constexpr std::uint16_t MethodStored = 0;
constexpr std::uint16_t MethodDeflated = 8;

// Offsets inside a local header.
constexpr std::size_t OffFlags = 6;
constexpr std::size_t OffMethod = 8;
constexpr std::size_t OffCompressedSize = 18;
constexpr std::size_t OffUncompressedSize = 22;
constexpr std::size_t OffNameLength = 26;
constexpr std::size_t OffExtraLength = 28;

// Callers check that the bytes lie inside the view.
std::uint16_t U16(std::string_view d, std::size_t at)
{
    return static_cast<std::uint16_t>(static_cast<unsigned char>(d[at]) |
                                      static_cast<unsigned char>(d[at + 1]) << 8);
}

std::uint32_t U32(std::string_view d, std::size_t at)
{
    return static_cast<std::uint32_t>(U16(d, at)) | static_cast<std::uint32_t>(U16(d, at + 2)) << 16;
}

// Drops a UTF-8 sequence that the length cut left incomplete at the end.
std::string_view DropCutCharacter(std::string_view s)
{
    std::size_t k = s.size();
    while (k > 0 && s.size() - k < 3 && (static_cast<unsigned char>(s[k - 1]) & 0xC0) == 0x80)
        --k;
    if (k == 0)
        return s;
    auto lead = static_cast<unsigned char>(s[k - 1]);
    std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return lead >= 0xC0 && s.size() - (k - 1) < need ? s.substr(0, k - 1) : s;
}

std::string MemberName(std::string_view stored, bool utf8)
{
    const bool cut = stored.size() > ZipMaxNameBytes;
    std::string_view raw = stored.substr(0, ZipMaxNameBytes);
    std::size_t zero = raw.find('\0');
    if (zero != std::string_view::npos)
        raw = raw.substr(0, zero);
    else if (cut && utf8)
        raw = DropCutCharacter(raw);
    std::string name = utf8 ? std::string(raw) : OemToUtf8(raw);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        else if (c == '\\')
            c = '/'; // some archivers write DOS separators; either one separates folders
    }
    return name;
}

std::string LowerAsciiLetters(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

TZipFile::~TZipFile()
{
    Close();
}

void TZipFile::Close()
{
    FMapping.Close();
    FData = {};
    FEntries.clear();
    FMembers.clear();
}

void TZipFile::Open(const std::string& path)
{
    Close();
    FFileName = path;
    switch (FMapping.Open(path)) {
    case TFileMapping::fmOk: break;
    case TFileMapping::fmCannotOpen: throw EErrorInZip("Couldn't open: " + path);
    case TFileMapping::fmEmpty: throw EErrorInZip("CreateFileMapping failed");
    case TFileMapping::fmMapFailed: throw EErrorInZip("MapViewOfFile failed");
    }
    FData = FMapping.Data();
    Scan();
}

void TZipFile::OpenBytes(std::string_view bytes)
{
    Close();
    FFileName.clear();
    if (bytes.empty())
        throw EErrorInZip("CreateFileMapping failed");
    FData = bytes;
    Scan();
}

void TZipFile::Scan()
{
    struct TFound
    {
        std::string Name;
        TMember Member;
    };
    std::vector<TFound> found;
    const std::size_t size = FData.size();
    std::size_t pos = 0;
    // Sizes are added in 64 bits, so no header can wrap the position around; the scan ends at the
    // first header that is damaged or whose member data would run past the end of the file.
    while (size - pos >= ZipLocalHeaderSize) {
        if (FData[pos] != 'P' || FData[pos + 1] != 'K' || U16(FData, pos + 2) != LocalHeaderSignature)
            break;
        const std::uint16_t flags = U16(FData, pos + OffFlags);
        const std::uint64_t nameLength = U16(FData, pos + OffNameLength);
        const std::uint64_t extraLength = U16(FData, pos + OffExtraLength);
        const std::uint64_t compressed = U32(FData, pos + OffCompressedSize);
        const std::uint64_t next = pos + ZipLocalHeaderSize + nameLength + extraLength + compressed;
        if (next > size)
            break;
        std::string_view stored = FData.substr(pos + ZipLocalHeaderSize, nameLength);
        std::string name = MemberName(stored, (flags & ZipUtf8NameFlag) != 0);
        std::string key = Utf8Lower(name);
        found.push_back({std::move(name), {std::move(key), pos}});
        pos = static_cast<std::size_t>(next);
    }
    // Stable: of names equal without regard to case, the member met first stays.
    std::stable_sort(found.begin(), found.end(),
                     [](const TFound& a, const TFound& b) { return a.Member.Key < b.Member.Key; });
    auto last = std::unique(found.begin(), found.end(),
                            [](const TFound& a, const TFound& b) { return a.Member.Key == b.Member.Key; });
    found.erase(last, found.end());
    FEntries.reserve(found.size());
    FMembers.reserve(found.size());
    for (TFound& f : found) {
        FEntries.push_back(std::move(f.Name));
        FMembers.push_back(std::move(f.Member));
    }
}

std::string TZipFile::UnzipFileToBuffer(const std::string& entry, std::size_t maxBytes) const
{
    const std::string key = Utf8Lower(LowerAsciiLetters(entry));
    auto it = std::lower_bound(FMembers.begin(), FMembers.end(), key,
                               [](const TMember& m, const std::string& k) { return m.Key < k; });
    if (it == FMembers.end() || it->Key != key)
        throw EErrorInZip("File not found (in UnzipFileToBuffer)");

    // The scan admitted this member only with its whole data inside the view.
    const std::size_t h = it->Header;
    const std::uint16_t method = U16(FData, h + OffMethod);
    const std::uint32_t compressed = U32(FData, h + OffCompressedSize);
    const std::uint32_t uncompressed = U32(FData, h + OffUncompressedSize);
    const std::size_t dataStart =
        h + ZipLocalHeaderSize + U16(FData, h + OffNameLength) + U16(FData, h + OffExtraLength);
    const std::string_view data = FData.substr(dataStart, compressed);

    FMapping.WillRead(dataStart, data.size()); // read from start to end: fetch its pages ahead
    switch (method) {
    case MethodStored:
        return std::string(data.substr(0, std::min<std::size_t>(data.size(), maxBytes)));
    case MethodDeflated:
        // The recorded size bounds the output: a member recorded as empty stays empty, whatever its
        // data would inflate to.
        if (uncompressed == 0)
            return {};
        return DecompressRawBuffer(data, uncompressed, maxBytes);
    default:
        return {};
    }
}

} // namespace trovex
