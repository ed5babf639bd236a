// SPDX-License-Identifier: MIT
// The content matcher: finds one typed text in a byte stream stored as ANSI ("Windows"), OEM ("DOS"),
// KOI8-R, UTF-8 or UTF-16LE text, with or without regard to case, and returns the text around the first
// hit as UTF-8. The stream is read in 65,536-byte chunks that do not overlap, so an occurrence that
// straddles a chunk boundary is not found. It knows nothing of files, archives or PDF documents.
#pragma once

#include "platform/CodePage.h"
#include "platform/Stream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace trovex
{

/// How a pass looks for candidate positions. Every method gives the same results; the choice exists
/// so tests and benchmarks can exercise each one. A vector method the processor lacks falls back to
/// one it has (AVX2 to SSE2; both to smPortable off x86-64).
enum TScanMethod : std::uint32_t
{
    smAuto = 0,     // the fastest the processor offers
    smPortable = 1, // memchr on the rarest position of the pattern
    smSse2 = 2,     // two-position vector filter, 16 bytes at a time
    smAvx2 = 3,     // the same, 32 bytes at a time
};

namespace detail
{

/// One encoded form of the pattern, as 8-bit bytes or 16-bit UTF-16 units. The unit at offset k of an
/// occurrence must equal Upper[k] or Lower[k] (equal vectors when case counts). A character of more
/// than one unit whose two case forms differ is listed in Groups: its units must all come from Upper
/// or all from Lower, so that mixing the bytes of two case forms never makes a false hit.
template <typename TUnit>
struct TPatternForm
{
    bool Active = false; // false when the pass cannot match anything and is skipped
    std::vector<TUnit> Upper;
    std::vector<TUnit> Lower;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> Groups; // (first unit, unit count)
    bool Folded = false;   // Upper differs from Lower somewhere
    std::size_t Rare1 = 0; // the three positions the candidate filter tests (repeated when shorter)
    std::size_t Rare2 = 0;
    std::size_t Rare3 = 0;
    // Set when the form fits in 16 bytes and each position's two forms differ in at most one bit: a
    // candidate then matches when (bytes | QuickBits) == QuickTarget over the form's bytes.
    bool Quick = false;
    std::uint8_t QuickBits[16] = {};
    std::uint8_t QuickTarget[16] = {};

    std::size_t Length() const { return Upper.size(); }
};

} // namespace detail

/// The 8-bit passes among `pages` that cannot search the text at all, because neither the system's
/// page nor the page of the text's script can write it, as one message each: "code page 1252
/// cannot write the text: the Windows pass was skipped".
std::vector<std::string> SkippedPassNotes(const std::string& utf8Pattern, TCodePages pages);

class TStringSearch
{
public:
    /// Size of one chunk: each is searched by itself.
    static constexpr std::size_t ChunkSize = 65536;

    /// `stream` may be null; it is not owned. Allocates the chunk buffer once, for every later search.
    explicit TStringSearch(TStream* stream = nullptr);
    TStringSearch(const TStringSearch&) = delete;
    TStringSearch& operator=(const TStringSearch&) = delete;

    /// The code pages searched; other bits are ignored, and a set with none of cpAll searches as
    /// {cpWindows}. Initially {cpWindows}. Takes effect at the next Search.
    TCodePages CodePages() const { return FCodePages; }
    void SetCodePages(TCodePages codePages) { FCodePages = codePages; }

    /// Initially false. Changing it rebuilds the forms of the current pattern at once.
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool value);

    /// Stores the text sought (UTF-8, as typed) and builds every form of it. The single-byte forms come
    /// from its encoding in the ANSI code page; when that page lacks one of its characters, the Windows,
    /// DOS and KOI8-R passes are skipped. The DOS pass is skipped too when the OEM page lacks a
    /// character in every case form. Invalid UTF-8 is searched only by the UTF-8 pass, byte for byte.
    void SetPattern(const std::string& utf8Text);
    const std::string& Pattern() const { return FPattern; }

    /// Replaces the stream searched; null is allowed between uses. The stream is not owned.
    void SetStream(TStream* stream) { FStream = stream; }

    /// For tests and benchmarks: results never depend on it.
    void SetScanMethod(TScanMethod method) { FScanMethod = method; }

    /// Rewinds the stream and searches it chunk by chunk, in each chunk the passes Windows, DOS,
    /// KOI8-R, UTF-8, UTF-16 in that order, until one finds the pattern. Returns true on a hit, with
    /// FoundText holding its context. A short read ends the content. Stream errors (EReadError) pass to
    /// the caller unchanged. An empty pattern is never found. Throws std::logic_error with no stream.
    bool Search();

    /// The text around the last hit as UTF-8 (at most 55 positions either side of the hit's last
    /// unit, stopping at control characters other than CR and LF, never the chunk's first position);
    /// empty after a search that found nothing.
    const std::string& FoundText() const { return FFoundText; }
    /// Where in the stream the last hit starts, in bytes.
    std::uint64_t FoundOffset() const { return FFoundOffset; }
    /// True from the start of a search until a hit.
    bool NotFound() const { return FNotFound; }
    /// The form the last hit was stored in: "ANSI 1251", "OEM 866", "KOI8-R", "UTF-8" or "UTF-16LE"
    /// (the 8-bit passes name the page they searched in); empty after a search that found nothing.
    std::string FoundForm() const;

private:
    using TForm8 = detail::TPatternForm<std::uint8_t>;
    using TForm16 = detail::TPatternForm<std::uint16_t>;

    void BuildForms();
    bool SearchChunk(std::size_t got);
    TScanMethod EffectiveMethod() const;

    TCodePages FCodePages = cpWindows;
    TStream* FStream = nullptr;
    bool FCaseSensitive = false;
    std::unique_ptr<std::uint8_t[]> FBuffer;
    std::string FPattern;
    // Byte passes in search order: Windows, DOS, KOI8-R, UTF-8.
    TForm8 FByteForms[4];
    int FPassPages[3] = {}; // the page each 8-bit pass searches in, for its context; 0: the system's
    // Bit i set: byte pass i matches exactly what an earlier pass j (bit j) matches, so it is skipped
    // when j already searched the chunk without a hit (for example an ASCII pattern in every page).
    std::uint32_t FSameAsEarlier[4] = {};
    TForm16 FWideForm;
    // Some unit of the UTF-16 form has a zero high byte in both cases (a character of the Latin-1
    // range): a chunk without a zero byte cannot hold it.
    bool FWideNeedsZero = false;
    TScanMethod FScanMethod = smAuto;
    std::string FFoundText;
    std::uint64_t FFoundOffset = 0;
    std::uint64_t FChunkStart = 0;
    int FFoundPass = -1; // the byte pass of the last hit, 4 for UTF-16, -1 for none
    bool FNotFound = true;
};

} // namespace trovex
