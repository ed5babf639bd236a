// SPDX-License-Identifier: MIT
// Local-header scan and member extraction, reading the archive at given offsets.
#include "readers/UnZipLib.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <zlib.h>

namespace trovex
{
namespace
{

constexpr std::uint16_t LocalHeaderSignature = 0x0403; // "PK" then bytes 3 and 4
// What may follow the last member: the central directory, the end records of ZIP64 and ZIP.
constexpr std::uint16_t DirectorySignature = 0x0201;
constexpr std::uint16_t Zip64EndSignature = 0x0606;
constexpr std::uint16_t EndSignature = 0x0605;
constexpr std::uint32_t DescriptorSignature = 0x08074b50;
constexpr std::uint16_t EncryptedFlag = 0x0001;
constexpr std::uint16_t DescriptorFlag = 0x0008; // sizes and CRC follow the data
constexpr std::uint16_t MethodStored = 0;
constexpr std::uint16_t MethodDeflated = 8;

// Offsets inside a local header.
constexpr std::size_t OffFlags = 6;
constexpr std::size_t OffMethod = 8;
constexpr std::size_t OffCompressedSize = 18;
constexpr std::size_t OffUncompressedSize = 22;
constexpr std::size_t OffNameLength = 26;
constexpr std::size_t OffExtraLength = 28;

constexpr std::size_t ScanBlock = 64 * 1024;
constexpr std::size_t InputPiece = 64 * 1024;
constexpr int RawWindowBits = -15;

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
    // Lower-cased with every letter, as the walk lowers a file's name: masks are lower-cased the
    // same way, so a member named "Привет.txt" fits the mask typed as "Привет.txt".
    std::string name = Utf8Lower(utf8 ? std::string(raw) : OemToUtf8(raw));
    std::replace(name.begin(), name.end(), '\\', '/'); // some archivers write DOS separators
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
    FFile.reset();
    FSize = 0;
    FData = {};
    FBlock.reset();
    FBlockCapacity = FBlockLength = 0;
    FBlockStart = 0;
    FEntries.clear();
    FMembers.clear();
    FComplete = false;
}

void TZipFile::Open(const std::string& path)
{
    Close();
    FFileName = path;
    // Only a regular file is opened, in a way that never blocks (a FIFO named like an archive).
    std::unique_ptr<TFileStream> file;
    try {
        file = std::make_unique<TFileStream>(path);
    } catch (const EReadError&) {
        throw EErrorInZip("Couldn't open: " + path);
    }
    Open(std::move(file), path);
}

void TZipFile::Open(std::unique_ptr<TFileStream> file, const std::string& path,
                    const std::function<bool(std::string_view)>& enough)
{
    Close();
    FFileName = path;
    if (file->Size() == 0)
        throw EErrorInZip("CreateFileMapping failed");
    FSize = file->Size();
    FFile = std::move(file);
    try {
        Scan(enough);
    } catch (...) {
        Close();
        throw;
    }
    FBlock.reset(); // the listing is done; unpacking reads into its own buffers
    FBlockCapacity = FBlockLength = 0;
}

void TZipFile::OpenBytes(std::string_view bytes)
{
    Close();
    FFileName.clear();
    if (bytes.empty())
        throw EErrorInZip("CreateFileMapping failed");
    FData = bytes;
    FSize = bytes.size();
    Scan();
}

std::size_t TZipFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const
{
    if (!FFile) {
        if (offset >= FData.size())
            return 0;
        const std::size_t n = std::min<std::uint64_t>(count, FData.size() - offset);
        std::memcpy(buffer, FData.data() + offset, n);
        return n;
    }
    try {
        return FFile->ReadAt(offset, buffer, count);
    } catch (const EReadError&) {
        return 0; // the archive has no more to give
    }
}

std::string_view TZipFile::Fetch(std::uint64_t offset, std::size_t count)
{
    if (!FFile) {
        // Straight from the caller's bytes: listing touches nothing but the headers.
        if (offset >= FData.size())
            return {};
        return FData.substr(static_cast<std::size_t>(offset), count);
    }
    if (offset < FBlockStart || offset + count > FBlockStart + FBlockLength) {
        std::size_t want = std::max(count, ScanBlock);
        // Not past the end the archive had when opened: a read cut short there would be tried again.
        if (offset < FSize)
            want = static_cast<std::size_t>(std::min<std::uint64_t>(want, std::max<std::uint64_t>(count, FSize - offset)));
        if (want > FBlockCapacity) {
            FBlock.reset(new char[want]);
            FBlockCapacity = want;
        }
        FBlockLength = ReadAt(offset, FBlock.get(), want);
        FBlockStart = offset;
    }
    const std::size_t from = static_cast<std::size_t>(offset - FBlockStart);
    return std::string_view(FBlock.get(), FBlockLength).substr(std::min(from, FBlockLength), count);
}

void TZipFile::Scan(const std::function<bool(std::string_view)>& enough)
{
    struct TFound
    {
        std::string Name;
        TMember Member;
    };
    std::vector<TFound> found;
    const std::uint64_t size = FSize;
    std::uint64_t pos = 0;
    bool stopped = false; // by `enough`
    // Sizes are added in 64 bits, so no header can wrap the position around; the scan ends at the
    // first header that is damaged or whose member data would run past the end of the file (or at
    // the point where the file now ends, when it was cut short meanwhile).
    while (size - pos >= ZipLocalHeaderSize) {
        const std::string_view h = Fetch(pos, ZipLocalHeaderSize);
        if (h.size() < ZipLocalHeaderSize)
            break;
        if (h[0] != 'P' || h[1] != 'K' || U16(h, 2) != LocalHeaderSignature)
            break;
        const std::uint16_t flags = U16(h, OffFlags);
        const std::uint16_t method = U16(h, OffMethod);
        std::uint32_t compressed = U32(h, OffCompressedSize);
        const std::uint32_t uncompressed = U32(h, OffUncompressedSize);
        const std::uint64_t nameLength = U16(h, OffNameLength);
        const std::uint64_t extraLength = U16(h, OffExtraLength);
        const std::uint64_t dataStart = pos + ZipLocalHeaderSize + nameLength + extraLength;
        const std::string_view stored = Fetch(pos + ZipLocalHeaderSize, static_cast<std::size_t>(nameLength));
        if (stored.size() < nameLength)
            break;
        std::string name = MemberName(stored, (flags & ZipUtf8NameFlag) != 0);
        const char* problem = (flags & EncryptedFlag) != 0 ? "encrypted"
                              : method != MethodStored && method != MethodDeflated ? "unknown method"
                                                                                   : nullptr;
        std::uint64_t next = dataStart + compressed;
        if ((flags & DescriptorFlag) != 0 && compressed == 0) {
            // Written as a stream: the sizes follow the data. A deflated member ends where its
            // data does, and the descriptor after it (with or without its signature, with 32- or
            // 64-bit sizes) leads to the next header.
            const std::uint64_t length = method == MethodDeflated && !problem ? DeflatedLength(dataStart) : 0;
            if (length == 0) {
                std::string key = name;
                found.push_back({std::move(name), {std::move(key), dataStart, 0, 0, method, problem ? problem : "damaged"}});
                break; // where the next member starts is not known
            }
            compressed = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, UINT32_MAX));
            next = dataStart + length;
        }
        if ((flags & DescriptorFlag) != 0 && next <= size) {
            // The descriptor (CRC and sizes) follows the data even when the header had the sizes too.
            const std::string_view sig = Fetch(next, 4);
            if (sig.size() == 4 && U32(sig, 0) == DescriptorSignature)
                next += 4;
            const std::string_view after = Fetch(next + 12, 2);
            next += after.size() == 2 && after[0] == 'P' && after[1] == 'K' ? 12 : 20;
            if (next > size)
                next = size;
        }
        if (next > size)
            break;
        std::string key = name; // already lower case, and lowering again changes nothing
        found.push_back({std::move(name), {std::move(key), dataStart, compressed, uncompressed, method, problem}});
        if (enough && enough(found.back().Name)) {
            stopped = true;
            break;
        }
        pos = next;
    }
    if (stopped || pos == size) {
        FComplete = true;
    } else {
        const std::string_view h = Fetch(pos, 4);
        FComplete = h.size() == 4 && h[0] == 'P' && h[1] == 'K' &&
                    (U16(h, 2) == DirectorySignature || U16(h, 2) == EndSignature || U16(h, 2) == Zip64EndSignature);
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

std::uint64_t TZipFile::DeflatedLength(std::uint64_t offset) const
{
    z_stream z{};
    if (inflateInit2(&z, RawWindowBits) != Z_OK)
        return 0;
    auto input = std::make_unique<unsigned char[]>(InputPiece);
    auto output = std::make_unique<unsigned char[]>(InputPiece);
    std::uint64_t at = offset;
    std::uint64_t length = 0;
    for (;;) {
        if (z.avail_in == 0) {
            const std::size_t got = ReadAt(at, input.get(), InputPiece);
            if (got == 0)
                break;
            at += got;
            z.next_in = input.get();
            z.avail_in = static_cast<uInt>(got);
        }
        z.next_out = output.get();
        z.avail_out = static_cast<uInt>(InputPiece);
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            length = at - offset - z.avail_in;
            break;
        }
        if (result != Z_OK)
            break;
    }
    inflateEnd(&z);
    return length;
}

const char* TZipFile::MemberProblem(const std::string& entry) const
{
    const std::string key = Utf8Lower(LowerAsciiLetters(entry));
    auto it = std::lower_bound(FMembers.begin(), FMembers.end(), key,
                               [](const TMember& m, const std::string& k) { return m.Key < k; });
    return it != FMembers.end() && it->Key == key ? it->Problem : nullptr;
}

std::unique_ptr<TZipMemberStream> TZipFile::OpenMember(const std::string& entry, std::size_t maxBytes) const
{
    const std::string key = Utf8Lower(LowerAsciiLetters(entry));
    auto it = std::lower_bound(FMembers.begin(), FMembers.end(), key,
                               [](const TMember& m, const std::string& k) { return m.Key < k; });
    if (it == FMembers.end() || it->Key != key)
        throw EErrorInZip("File not found (in UnzipFileToBuffer)");

    TZipMemberStream::TPlan plan;
    plan.DataStart = it->DataStart;
    plan.Compressed = it->Compressed;
    plan.Method = it->Method;
    switch (it->Method) {
    case MethodStored:
        plan.Limit = std::min<std::uint64_t>(it->Compressed, maxBytes);
        break;
    case MethodDeflated:
        // A recorded size bounds the output, and a stream cut short gives what it has. Size 0 means
        // the size is unknown (a streaming archiver writes it after the data): inflate it all.
        plan.Limit = it->Uncompressed ? std::min<std::uint64_t>(it->Uncompressed, maxBytes) : maxBytes;
        plan.EndWhenInputUsed = it->Uncompressed != 0;
        break;
    default:
        plan.Limit = 0;
        break;
    }
    return std::unique_ptr<TZipMemberStream>(new TZipMemberStream(*this, plan));
}

std::string TZipFile::UnzipFileToBuffer(const std::string& entry, std::size_t maxBytes) const
{
    std::unique_ptr<TZipMemberStream> member = OpenMember(entry, maxBytes);
    std::string out;
    constexpr std::size_t Piece = 64 * 1024;
    for (;;) {
        const std::size_t have = out.size();
        out.resize(have + Piece);
        const std::size_t got = member->Read(out.data() + have, Piece);
        out.resize(have + got);
        if (got < Piece)
            break;
    }
    if (member->Failed())
        return {};
    out.shrink_to_fit();
    return out;
}

// The inflate state of one member: zlib's stream and the compressed bytes read so far.
struct TZipMemberStream::TState
{
    z_stream Stream{};
    bool Active = false;
    std::unique_ptr<unsigned char[]> Input{new unsigned char[InputPiece]};
    std::uint64_t InputTaken = 0; // compressed bytes handed to zlib
    std::uint64_t Produced = 0;   // output bytes so far
    bool First = true;
    bool Done = false;

    ~TState()
    {
        if (Active)
            inflateEnd(&Stream);
    }
};

TZipMemberStream::TZipMemberStream(const TZipFile& zip, const TPlan& plan) : FZip(zip), FPlan(plan)
{
    Restart();
}

TZipMemberStream::~TZipMemberStream() = default;

void TZipMemberStream::Restart()
{
    FPosition = 0;
    FFailed = false;
    if (FPlan.Method != MethodDeflated) {
        FState.reset();
        return;
    }
    FState = std::make_unique<TState>();
    const int ret = inflateInit2(&FState->Stream, RawWindowBits);
    if (ret != Z_OK) {
        FFailed = true;
        FState->Done = true;
        return;
    }
    FState->Active = true;
}

std::size_t TZipMemberStream::Read(void* buffer, std::size_t count)
{
    if (FFailed)
        return 0;
    auto* out = static_cast<char*>(buffer);
    std::size_t got = 0;
    if (FPlan.Method == MethodDeflated) {
        got = Inflate(out, count);
        if (FFailed)
            return 0;
    } else if (FPosition < FPlan.Limit) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(count, FPlan.Limit - FPosition));
        got = FZip.ReadAt(FPlan.DataStart + FPosition, out, want);
    }
    FPosition += got;
    return got;
}

void TZipMemberStream::Seek(std::uint64_t offset)
{
    if (offset < FPosition)
        Restart();
    char skip[4096];
    while (FPosition < offset) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof skip, offset - FPosition));
        if (Read(skip, want) < want)
            break;
    }
}

// The loop of an inflate into one growing buffer, run piece by piece: each call fills the caller's
// buffer, and the stops (the recorded size reached, the stream's end, input used up with a
// recorded size) and the failures are those of inflating the whole member at once.
std::size_t TZipMemberStream::Inflate(char* out, std::size_t count)
{
    TState& st = *FState;
    z_stream& zs = st.Stream;
    std::size_t filled = 0;
    while (filled < count && !st.Done) {
        if (st.Produced >= FPlan.Limit) {
            st.Done = true; // the recorded size (or the caller's bound) is reached
            break;
        }
        if (zs.avail_in == 0 && st.InputTaken < FPlan.Compressed) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(InputPiece, FPlan.Compressed - st.InputTaken));
            const std::size_t have = FZip.ReadAt(FPlan.DataStart + st.InputTaken, st.Input.get(), want);
            // Data that is gone ends the input here: the stream is then simply cut short.
            st.InputTaken = have < want ? FPlan.Compressed : st.InputTaken + have;
            zs.next_in = st.Input.get();
            zs.avail_in = static_cast<uInt>(have);
        }
        const uInt room = static_cast<uInt>(
            std::min<std::uint64_t>({count - filled, FPlan.Limit - st.Produced, std::uint64_t{UINT_MAX}}));
        const uInt inBefore = zs.avail_in;
        zs.next_out = reinterpret_cast<Bytef*>(out + filled);
        zs.avail_out = room;
        int ret = inflate(&zs, Z_NO_FLUSH);
        filled += room - zs.avail_out;
        st.Produced += room - zs.avail_out;
        const bool progress = zs.avail_out != room || zs.avail_in != inBefore;
        if (ret == Z_OK && !progress)
            ret = Z_BUF_ERROR; // never spin on a call that moves nothing
        const bool inputUsed = zs.avail_in == 0 && st.InputTaken >= FPlan.Compressed;
        if (ret == Z_STREAM_END || (ret == Z_BUF_ERROR && FPlan.EndWhenInputUsed && !st.First) ||
            (ret == Z_OK && FPlan.EndWhenInputUsed && inputUsed && zs.avail_out > 0)) {
            st.Done = true;
            break;
        }
        if (ret != Z_OK) {
            st.Done = true;
            FFailed = true; // includes a stream without a recorded size that ends early
            break;
        }
        st.First = false;
    }
    return filled;
}

} // namespace trovex
