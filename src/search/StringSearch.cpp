// SPDX-License-Identifier: MIT
// TStringSearch: builds the encoded forms of a pattern once, then searches streams chunk by chunk.
// Each pass reports the leftmost occurrence of its form in the chunk. That is exactly the hit a
// Horspool loop over the same chunk reports (it moves its window left to right and never jumps over
// an occurrence), so the context shown is the same; the candidates come from a vector filter on the
// two rarest positions of the form, or from memchr where no vector unit is used.
#include "search/StringSearch.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace trovex
{

namespace
{

using detail::TPatternForm;

constexpr std::size_t NoHit = static_cast<std::size_t>(-1);
// The context reaches at most this many units before and after the hit's last unit.
constexpr std::size_t ContextReach = 55;

enum TBytePass
{
    bpWindows,
    bpDos,
    bpKoi8r,
    bpUtf8,
};
constexpr TCodePage BytePassPage[4] = {cpWindows, cpDos, cpKoi8r, cpUtf8};

// The chunk seen as 8-bit bytes or as little-endian 16-bit units at even offsets; Count is the number
// of whole units (an odd last byte is not part of any unit).
template <typename TUnit>
struct TUnits
{
    const std::uint8_t* Bytes;
    std::size_t Count;

    TUnit At(std::size_t i) const
    {
        if constexpr (sizeof(TUnit) == 1)
            return Bytes[i];
        else
            return static_cast<TUnit>(Bytes[2 * i] | (Bytes[2 * i + 1] << 8));
    }
};

// Rough frequency of each byte in what people search (prose, sources, logs, binaries). The filter
// tests the pattern's least common positions, so that few candidates reach the full comparison.
struct TByteScores
{
    std::uint8_t Score[256];
};

constexpr TByteScores MakeByteScores()
{
    TByteScores t{};
    for (unsigned b = 0; b < 256; ++b)
        t.Score[b] = b < 32 ? 90 : 100;
    for (unsigned b = 0x80; b <= 0xBF; ++b) // UTF-8 continuation bytes, OEM Cyrillic letters
        t.Score[b] = 140;
    for (unsigned b = 0xE0; b <= 0xFF; ++b) // Windows-1251 lower-case letters
        t.Score[b] = 150;
    const char* byFrequency = "etaoinshrdlcumwfgypbvkjxqz"; // English letters, most frequent first
    for (unsigned rank = 0; rank < 26; ++rank) {
        const auto lower = static_cast<unsigned char>(byFrequency[rank]);
        t.Score[lower] = static_cast<std::uint8_t>(240 - 3 * rank);
        t.Score[lower - 32] = static_cast<std::uint8_t>(140 - 2 * rank);
    }
    for (unsigned b = '0'; b <= '9'; ++b)
        t.Score[b] = 150;
    for (const char* p = ".,-_/()=\":;'"; *p != 0; ++p)
        t.Score[static_cast<unsigned char>(*p)] = 130;
    t.Score[0x20] = 255; // space
    t.Score[0] = 250;
    t.Score[0xD0] = t.Score[0xD1] = 225; // lead bytes of UTF-8 Cyrillic
    t.Score[0x0A] = t.Score[0x0D] = 200; // line ends
    t.Score[0xFF] = 180;
    t.Score[0x09] = 150; // tab
    return t;
}

constexpr TByteScores ByteScores = MakeByteScores();

int ByteCommonness(unsigned b)
{
    return ByteScores.Score[b & 0xFF];
}

int UnitCommonness(std::uint16_t u)
{
    const unsigned high = u >> 8;
    const unsigned low = u & 0xFF;
    if (high == 0)
        return ByteCommonness(low);
    if (high == 0x04) // Cyrillic
        return 160;
    return (ByteCommonness(high) + ByteCommonness(low)) / 3;
}

template <typename TUnit>
int ClassCommonness(const TPatternForm<TUnit>& form, std::size_t k)
{
    auto one = [](TUnit u) {
        if constexpr (sizeof(TUnit) == 1)
            return ByteCommonness(u);
        else
            return UnitCommonness(u);
    };
    int score = one(form.Upper[k]);
    if (form.Lower[k] != form.Upper[k])
        score += one(form.Lower[k]);
    return score;
}

// Fills in the derived fields once Upper, Lower and Groups are final.
template <typename TUnit>
void FinishForm(TPatternForm<TUnit>& form)
{
    const std::size_t n = form.Length();
    form.Active = form.Active && n > 0;
    form.Folded = form.Upper != form.Lower;
    if (n == 0)
        return;
    std::size_t best = n - 1;
    for (std::size_t k = n - 1; k-- > 0;)
        if (ClassCommonness(form, k) < ClassCommonness(form, best))
            best = k;
    std::size_t second = best;
    for (std::size_t k = n; k-- > 0;)
        if (k != best && (second == best || ClassCommonness(form, k) < ClassCommonness(form, second)))
            second = k;
    std::size_t third = second;
    for (std::size_t k = n; k-- > 0;)
        if (k != best && k != second &&
            (third == second || ClassCommonness(form, k) < ClassCommonness(form, third)))
            third = k;
    form.Rare1 = best;
    form.Rare2 = second;
    form.Rare3 = third;

    form.Quick = n * sizeof(TUnit) <= sizeof(form.QuickBits);
    for (std::size_t k = 0; k < n && form.Quick; ++k) {
        const unsigned diff = form.Upper[k] ^ form.Lower[k];
        form.Quick = (diff & (diff - 1)) == 0;
        for (std::size_t b = 0; b < sizeof(TUnit); ++b) { // little-endian, as units are read
            form.QuickBits[k * sizeof(TUnit) + b] = static_cast<std::uint8_t>(diff >> (8 * b));
            form.QuickTarget[k * sizeof(TUnit) + b] = static_cast<std::uint8_t>((form.Upper[k] | diff) >> (8 * b));
        }
    }
}

// Same predicate at every position: a pass with such a form finds nothing in a chunk where the other
// found nothing.
template <typename TUnit>
bool SameClasses(const TPatternForm<TUnit>& a, const TPatternForm<TUnit>& b)
{
    if (!a.Active || !b.Active || a.Length() != b.Length())
        return false;
    if (!a.Groups.empty() || !b.Groups.empty())
        return a.Upper == b.Upper && a.Lower == b.Lower && a.Groups == b.Groups;
    for (std::size_t k = 0; k < a.Length(); ++k) {
        const bool same = (a.Upper[k] == b.Upper[k] && a.Lower[k] == b.Lower[k]) ||
                          (a.Upper[k] == b.Lower[k] && a.Lower[k] == b.Upper[k]);
        if (!same)
            return false;
    }
    return true;
}

std::vector<std::uint8_t> Bytes(std::string_view s)
{
    return {s.begin(), s.end()};
}

// A single-byte form: the typed form, or the upper and lower forms position by position.
TPatternForm<std::uint8_t> ByteForm(bool caseSensitive, std::string_view typed, std::string_view upper,
                                    std::string_view lower)
{
    TPatternForm<std::uint8_t> form;
    form.Active = true;
    form.Upper = Bytes(caseSensitive ? typed : upper);
    form.Lower = Bytes(caseSensitive ? typed : lower);
    FinishForm(form);
    return form;
}

// The OEM page may lack a character the ANSI page has; the conversion then leaves '?', which would
// only ever match a literal question mark. Such a case form is dropped; a position left with no form
// makes the whole pass unable to match.
TPatternForm<std::uint8_t> OemForm(bool caseSensitive, std::string_view ansi, std::string_view upper,
                                   std::string_view lower)
{
    const std::string oem = AnsiToOemStr(ansi);
    const std::string oemUpper = AnsiToOemStr(upper);
    const std::string oemLower = AnsiToOemStr(lower);
    auto lost = [](std::string_view from, std::string_view to, std::size_t k) {
        return to[k] == DefaultChar && from[k] != DefaultChar;
    };
    TPatternForm<std::uint8_t> form = ByteForm(caseSensitive, oem, oemUpper, oemLower);
    for (std::size_t k = 0; k < ansi.size(); ++k) {
        const bool upperLost = caseSensitive ? lost(ansi, oem, k) : lost(upper, oemUpper, k);
        const bool lowerLost = caseSensitive ? upperLost : lost(lower, oemLower, k);
        if (upperLost && lowerLost)
            form.Active = false;
        else if (upperLost)
            form.Upper[k] = form.Lower[k];
        else if (lowerLost)
            form.Lower[k] = form.Upper[k];
    }
    FinishForm(form);
    return form;
}

// True when `table` has a byte for every character of the UTF-8 text.
bool Writes(const TCodePageTable& table, std::string_view utf8)
{
    for (std::size_t i = 0; i < utf8.size();)
        if (table.FromUnicode(Utf8Next(utf8, i)) < 0)
            return false;
    return true;
}

// The text in `table`'s bytes (which must write it), each byte with its upper and lower forms in
// that page, as the ANSI pass has them in the ANSI page.
TPatternForm<std::uint8_t> TableForm(bool caseSensitive, std::string_view utf8, const TCodePageTable& table)
{
    std::string typed, upper, lower;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(table.FromUnicode(Utf8Next(utf8, i)));
        typed.push_back(static_cast<char>(b));
        upper.push_back(static_cast<char>(table.Upper(b)));
        lower.push_back(static_cast<char>(table.Lower(b)));
    }
    return ByteForm(caseSensitive, typed, upper, lower);
}

// The Windows and DOS pages of the script the text's letters are written in, by its first letter
// outside ASCII that tells one script from another; 0 where there is none (or no DOS page).
std::pair<int, int> ScriptPages(std::string_view utf8)
{
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = Utf8Next(utf8, i);
        if (c < 0x80)
            continue;
        if (c >= 0x0400 && c <= 0x04FF)
            return {1251, 866};
        if (c >= 0x0370 && c <= 0x03FF)
            return {1253, 737};
        if (c >= 0x0590 && c <= 0x05FF)
            return {1255, 862};
        if (c >= 0x0600 && c <= 0x06FF)
            return {1256, 720};
        if (c >= 0x0E00 && c <= 0x0E7F)
            return {874, 874};
        if (c == 0x011E || c == 0x011F || c == 0x015E || c == 0x015F || c == 0x0130 || c == 0x0131)
            return {1254, 857}; // ğ ş ı İ: Turkish
        if (c == 0x01A0 || c == 0x01A1 || c == 0x01AF || c == 0x01B0 || (c >= 0x1EA0 && c <= 0x1EF9))
            return {1258, 0}; // ơ ư and the toned vowels: Vietnamese
        switch (c) {
        case 0x0100: case 0x0101: case 0x0112: case 0x0113: case 0x0116: case 0x0117: case 0x0122: case 0x0123:
        case 0x012A: case 0x012B: case 0x012E: case 0x012F: case 0x0136: case 0x0137: case 0x013B: case 0x013C:
        case 0x0145: case 0x0146: case 0x014C: case 0x014D: case 0x0156: case 0x0157: case 0x016A: case 0x016B:
        case 0x0172: case 0x0173:
            return {1257, 775}; // the Latvian and Lithuanian letters
        default:
            break;
        }
        if (c >= 0x0100 && c <= 0x017F)
            return {1250, 852}; // the rest of Latin Extended-A: Central European
    }
    return {0, 0};
}

// Which page each 8-bit pass searches the text in: the system's own where it writes the text
// (Windows and DOS then as always, through the ANSI text), else the page of the text's script;
// 0 when no page of the pass can write it.
struct TPassPages
{
    int Windows = 0, Dos = 0, Koi8r = 0;
    bool ThroughAnsi = false;
};

TPassPages PassPages(std::string_view utf8)
{
    TPassPages pages;
    bool lossless = true;
    Utf8ToAnsi(utf8, &lossless);
    const auto [scriptWindows, scriptDos] = ScriptPages(utf8);
    if (lossless) {
        pages.ThroughAnsi = true;
        pages.Windows = AnsiTable().Number();
    } else if (scriptWindows && Writes(CodePageTable(scriptWindows), utf8)) {
        pages.Windows = scriptWindows;
    }
    if (Writes(OemTable(), utf8))
        pages.Dos = OemTable().Number();
    else if (scriptDos && Writes(CodePageTable(scriptDos), utf8))
        pages.Dos = scriptDos;
    if (Writes(Koi8Table(), utf8))
        pages.Koi8r = Koi8Table().Number();
    return pages;
}

// The typed text as UTF-8 bytes. Ignoring case, each character may appear as its upper or its lower
// form, but only when both have the same length and the typed character is one of them; any other
// character (the Kelvin sign, dotless i, a title-case digraph, an invalid byte) is compared as typed.
TPatternForm<std::uint8_t> Utf8Form(bool caseSensitive, const std::string& typed)
{
    TPatternForm<std::uint8_t> form;
    form.Active = true;
    for (std::size_t i = 0; i < typed.size();) {
        const std::size_t len = Utf8CharLen(typed, i);
        const std::string ch = typed.substr(i, len);
        i += len;
        std::string upper = ch;
        std::string lower = ch;
        if (!caseSensitive) {
            std::string u = Utf8Upper(ch);
            std::string l = Utf8Lower(ch);
            if (u.size() == l.size() && (ch == u || ch == l)) {
                upper = std::move(u);
                lower = std::move(l);
            }
        }
        if (upper != lower && upper.size() > 1)
            form.Groups.emplace_back(static_cast<std::uint32_t>(form.Upper.size()),
                                     static_cast<std::uint32_t>(upper.size()));
        form.Upper.insert(form.Upper.end(), upper.begin(), upper.end());
        form.Lower.insert(form.Lower.end(), lower.begin(), lower.end());
    }
    FinishForm(form);
    return form;
}

void AppendUtf16(std::vector<std::uint16_t>& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<std::uint16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

char32_t FirstCodePoint(std::string_view utf8)
{
    std::size_t i = 0;
    return Utf8Next(utf8, i);
}

// UTF-16 units of the typed text. A character of the ANSI page is folded by the page's own case
// mapping, so these forms are those of the ANSI text converted to UTF-16; other characters are folded
// by the Unicode mapping under the same rule as the UTF-8 form. Text that is not valid UTF-8 has no
// UTF-16 form.
TPatternForm<std::uint16_t> WideForm(bool caseSensitive, const std::string& typed)
{
    TPatternForm<std::uint16_t> form;
    form.Active = true;
    const TCodePageTable& ansi = AnsiTable();
    for (std::size_t i = 0; i < typed.size() && form.Active;) {
        const std::size_t start = i;
        const char32_t cp = Utf8Next(typed, i);
        if (cp >= 0xD800 && cp <= 0xDFFF) { // an invalid byte, never a character
            form.Active = false;
            break;
        }
        std::vector<std::uint16_t> typedUnits;
        std::vector<std::uint16_t> upper;
        std::vector<std::uint16_t> lower;
        const int b = ansi.FromUnicode(cp);
        if (b >= 0) {
            const auto byte = static_cast<unsigned char>(b);
            typedUnits.push_back(ansi.ToUnicode(byte));
            upper.push_back(ansi.ToUnicode(ansi.Upper(byte)));
            lower.push_back(ansi.ToUnicode(ansi.Lower(byte)));
        } else {
            AppendUtf16(typedUnits, cp);
            const std::string_view ch(typed.data() + start, i - start);
            AppendUtf16(upper, FirstCodePoint(Utf8Upper(ch)));
            AppendUtf16(lower, FirstCodePoint(Utf8Lower(ch)));
            if (upper.size() != lower.size() || (upper != typedUnits && lower != typedUnits))
                upper = lower = typedUnits;
        }
        if (caseSensitive)
            upper = lower = typedUnits;
        if (upper != lower && upper.size() > 1)
            form.Groups.emplace_back(static_cast<std::uint32_t>(form.Upper.size()),
                                     static_cast<std::uint32_t>(upper.size()));
        form.Upper.insert(form.Upper.end(), upper.begin(), upper.end());
        form.Lower.insert(form.Lower.end(), lower.begin(), lower.end());
    }
    FinishForm(form);
    return form;
}

template <typename TUnit>
bool InClass(const TPatternForm<TUnit>& form, std::size_t k, TUnit u)
{
    return u == form.Upper[k] || u == form.Lower[k];
}

template <typename TUnit>
bool GroupsHold(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units, std::size_t start)
{
    for (const auto& [first, count] : form.Groups) {
        bool upper = true;
        bool lower = true;
        for (std::size_t k = first; k < first + count; ++k) {
            const TUnit u = units.At(start + k);
            upper = upper && u == form.Upper[k];
            lower = lower && u == form.Lower[k];
        }
        if (!upper && !lower)
            return false;
    }
    return true;
}

template <typename TUnit>
bool MatchesAt(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units, std::size_t start)
{
    const std::size_t n = form.Length();
    if constexpr (sizeof(TUnit) == 1) {
        if (!form.Folded)
            return std::memcmp(units.Bytes + start, form.Upper.data(), n) == 0;
    }
    for (std::size_t k = 0; k < n; ++k)
        if (!InClass(form, k, units.At(start + k)))
            return false;
    return GroupsHold(form, units, start);
}

// Tests every start from `from` to the last one, in order.
template <typename TUnit>
std::size_t FindScalar(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units, std::size_t from)
{
    const std::size_t last = units.Count - form.Length();
    for (std::size_t i = from; i <= last; ++i)
        if (InClass(form, form.Rare1, units.At(i + form.Rare1)) &&
            InClass(form, form.Rare2, units.At(i + form.Rare2)) && MatchesAt(form, units, i))
            return i;
    return NoHit;
}

// Starts whose unit at offset `Rare` holds a given value, found by memchr on one byte of that value
// (for 16-bit units, the less common of its two bytes; hits at the wrong byte phase are passed over).
template <typename TUnit>
class TKeyStream
{
public:
    TKeyStream(const TUnits<TUnit>& units, TUnit value, std::size_t rare, std::size_t last)
        : FBytes(units.Bytes), FRare(rare), FLast(last)
    {
        if constexpr (sizeof(TUnit) == 1) {
            FKey = value;
        } else {
            const unsigned low = value & 0xFF;
            const unsigned high = value >> 8;
            FPhase = ByteCommonness(high) < ByteCommonness(low) ? 1 : 0;
            FKey = static_cast<std::uint8_t>(FPhase ? high : low);
        }
    }

    bool SameKey(const TKeyStream& other) const { return FKey == other.FKey && FPhase == other.FPhase; }

    std::size_t Next(std::size_t from) const
    {
        constexpr std::size_t stride = sizeof(TUnit);
        if (from > FLast)
            return NoHit;
        std::size_t offset = stride * (from + FRare) + FPhase;
        const std::size_t end = stride * (FLast + FRare) + FPhase + 1;
        while (offset < end) {
            const void* hit = std::memchr(FBytes + offset, FKey, end - offset);
            if (hit == nullptr)
                return NoHit;
            const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - FBytes);
            if ((at - FPhase) % stride == 0)
                return (at - FPhase) / stride - FRare;
            offset = at + 1;
        }
        return NoHit;
    }

private:
    const std::uint8_t* FBytes;
    std::size_t FRare;
    std::size_t FLast;
    std::uint8_t FKey = 0;
    std::size_t FPhase = 0;
};

template <typename TUnit>
std::size_t FindPortable(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units)
{
    const std::size_t last = units.Count - form.Length();
    const TKeyStream<TUnit> upper(units, form.Upper[form.Rare1], form.Rare1, last);
    const TKeyStream<TUnit> lower(units, form.Lower[form.Rare1], form.Rare1, last);
    const bool one = upper.SameKey(lower);
    std::size_t nextUpper = upper.Next(0);
    std::size_t nextLower = one ? NoHit : lower.Next(0);
    for (;;) {
        const std::size_t candidate = std::min(nextUpper, nextLower);
        if (candidate == NoHit)
            return NoHit;
        if (MatchesAt(form, units, candidate))
            return candidate;
        if (nextUpper == candidate)
            nextUpper = upper.Next(candidate + 1);
        if (nextLower == candidate)
            nextLower = lower.Next(candidate + 1);
    }
}

#if defined(__x86_64__)

// The vector filter's test of one position: a unit passes when (unit | Mask) == Target or unit ==
// Other. Upper and lower forms that differ in a single bit (ASCII letters, Windows-1251 and KOI8-R
// Cyrillic, most UTF-8 continuation bytes) need only the first comparison.
template <typename TUnit>
struct TFilterTest
{
    TUnit Mask;
    TUnit Target;
    TUnit Other;
    bool OneTest;
};

template <typename TUnit>
TFilterTest<TUnit> MakeFilterTest(const TPatternForm<TUnit>& form, std::size_t k)
{
    const TUnit upper = form.Upper[k];
    const TUnit lower = form.Lower[k];
    const auto diff = static_cast<TUnit>(upper ^ lower);
    if ((diff & (diff - 1)) == 0) // equal, or one bit apart
        return {diff, static_cast<TUnit>(upper | diff), static_cast<TUnit>(upper | diff), true};
    return {0, upper, lower, false};
}

// The filter starts with the two rarest positions. When their candidates keep failing (common
// letters), a third position is worth its cost: it is added for the rest of the chunk once more than
// one candidate in this many units has failed, after the first few.
constexpr std::size_t FalseCandidateSpacing = 256;
constexpr std::size_t FalseCandidateAllowance = 16;

bool TooManyFalseCandidates(std::size_t falseCandidates, std::size_t scanned)
{
    return falseCandidates > FalseCandidateAllowance + scanned / FalseCandidateSpacing;
}

// One movemask bit per byte; a 16-bit lane keeps only its low bit so that bit / 2 is its index.
template <typename TUnit>
constexpr std::uint32_t LaneBits = sizeof(TUnit) == 1 ? 0xFFFFFFFFu : 0x55555555u;

// A candidate of the vector filter, checked by one 16-byte comparison when the form allows it.
template <typename TUnit>
bool CandidateMatches(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units, std::size_t start)
{
    const std::size_t offset = sizeof(TUnit) * start;
    if (!form.Quick || offset + 16 > sizeof(TUnit) * units.Count)
        return MatchesAt(form, units, start);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units.Bytes + offset));
    const __m128i bits = _mm_loadu_si128(reinterpret_cast<const __m128i*>(form.QuickBits));
    const __m128i target = _mm_loadu_si128(reinterpret_cast<const __m128i*>(form.QuickTarget));
    const auto equal = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(v, bits), target)));
    const std::uint32_t need = (1u << (form.Length() * sizeof(TUnit))) - 1;
    return (equal & need) == need && GroupsHold(form, units, start);
}

// Where a filter loop stopped: a hit, the end of the chunk, or the start from which the three-position
// loop should take over.
struct TScanStop
{
    std::size_t Hit = NoHit;
    std::size_t Resume = NoHit;
};

// Verifies the candidates of one vector (bit b of `mask` = start base + b / unit size) in order.
template <typename TUnit>
std::size_t CheckCandidates(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units, std::size_t base,
                            std::uint32_t mask, std::size_t& falseCandidates)
{
    for (mask &= LaneBits<TUnit>; mask != 0; mask &= mask - 1) {
        const std::size_t candidate = base + static_cast<std::size_t>(__builtin_ctz(mask)) / sizeof(TUnit);
        if (CandidateMatches(form, units, candidate))
            return candidate;
        ++falseCandidates;
    }
    return NoHit;
}

template <typename TUnit>
__m128i Splat128(TUnit u)
{
    if constexpr (sizeof(TUnit) == 1)
        return _mm_set1_epi8(static_cast<char>(u));
    else
        return _mm_set1_epi16(static_cast<short>(u));
}

template <typename TUnit>
__m128i Equal128(__m128i a, __m128i b)
{
    if constexpr (sizeof(TUnit) == 1)
        return _mm_cmpeq_epi8(a, b);
    else
        return _mm_cmpeq_epi16(a, b);
}

template <typename TUnit, bool OneTest>
struct TTest128
{
    __m128i Mask, Target, Other;
    const std::uint8_t* At;

    TTest128(const TFilterTest<TUnit>& t, const std::uint8_t* at)
        : Mask(Splat128(t.Mask)), Target(Splat128(t.Target)), Other(Splat128(t.Other)), At(at)
    {
    }

    __m128i Passes(std::size_t offset) const
    {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(At + offset));
        const __m128i hit = Equal128<TUnit>(_mm_or_si128(v, Mask), Target);
        if constexpr (OneTest)
            return hit;
        else
            return _mm_or_si128(hit, Equal128<TUnit>(v, Other));
    }
};

template <typename TUnit, bool OneTest, bool Three>
TScanStop FindSse2(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units, const TFilterTest<TUnit> (&t)[3],
                   std::size_t from)
{
    constexpr std::size_t lanes = 16 / sizeof(TUnit);
    const std::size_t last = units.Count - form.Length();
    const TTest128<TUnit, OneTest> test1(t[0], units.Bytes + sizeof(TUnit) * form.Rare1);
    const TTest128<TUnit, OneTest> test2(t[1], units.Bytes + sizeof(TUnit) * form.Rare2);
    const TTest128<TUnit, OneTest> test3(t[2], units.Bytes + sizeof(TUnit) * form.Rare3);
    std::size_t falseCandidates = 0;
    std::size_t i = from;
    // Every load stays inside the chunk: start i + lanes - 1 <= last puts the tested units at most at
    // last + length - 1, the chunk's last unit.
    for (; i + lanes <= last + 1; i += lanes) {
        const std::size_t o = sizeof(TUnit) * i;
        __m128i hits = _mm_and_si128(test1.Passes(o), test2.Passes(o));
        if constexpr (Three)
            hits = _mm_and_si128(hits, test3.Passes(o));
        const auto mask = static_cast<std::uint32_t>(_mm_movemask_epi8(hits));
        if (mask == 0)
            continue;
        const std::size_t hit = CheckCandidates(form, units, i, mask, falseCandidates);
        if (hit != NoHit)
            return {hit, NoHit};
        if (!Three && TooManyFalseCandidates(falseCandidates, i - from))
            return {NoHit, i + lanes};
    }
    return {FindScalar(form, units, i), NoHit};
}

template <typename TUnit>
__attribute__((target("avx2"))) __m256i Splat256(TUnit u)
{
    if constexpr (sizeof(TUnit) == 1)
        return _mm256_set1_epi8(static_cast<char>(u));
    else
        return _mm256_set1_epi16(static_cast<short>(u));
}

template <typename TUnit>
__attribute__((target("avx2"))) __m256i Equal256(__m256i a, __m256i b)
{
    if constexpr (sizeof(TUnit) == 1)
        return _mm256_cmpeq_epi8(a, b);
    else
        return _mm256_cmpeq_epi16(a, b);
}

template <typename TUnit, bool OneTest>
struct TTest256
{
    __m256i Mask, Target, Other;
    const std::uint8_t* At;

    __attribute__((target("avx2"))) TTest256(const TFilterTest<TUnit>& t, const std::uint8_t* at)
        : Mask(Splat256(t.Mask)), Target(Splat256(t.Target)), Other(Splat256(t.Other)), At(at)
    {
    }

    __attribute__((target("avx2"))) __m256i Passes(std::size_t offset) const
    {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(At + offset));
        const __m256i hit = Equal256<TUnit>(_mm256_or_si256(v, Mask), Target);
        if constexpr (OneTest)
            return hit;
        else
            return _mm256_or_si256(hit, Equal256<TUnit>(v, Other));
    }
};

template <typename TUnit, bool OneTest, bool Three>
__attribute__((target("avx2"))) TScanStop FindAvx2(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units,
                                                   const TFilterTest<TUnit> (&t)[3], std::size_t from)
{
    constexpr std::size_t lanes = 32 / sizeof(TUnit);
    const std::size_t last = units.Count - form.Length();
    const TTest256<TUnit, OneTest> test1(t[0], units.Bytes + sizeof(TUnit) * form.Rare1);
    const TTest256<TUnit, OneTest> test2(t[1], units.Bytes + sizeof(TUnit) * form.Rare2);
    const TTest256<TUnit, OneTest> test3(t[2], units.Bytes + sizeof(TUnit) * form.Rare3);
    auto candidates = [&](std::size_t o) __attribute__((target("avx2"))) {
        const __m256i hits = _mm256_and_si256(test1.Passes(o), test2.Passes(o));
        if constexpr (Three)
            return _mm256_and_si256(hits, test3.Passes(o));
        else
            return hits;
    };
    std::size_t falseCandidates = 0;
    std::size_t i = from;
    // Two vectors per round: most rounds have no candidate, and one test covers both.
    for (; i + 2 * lanes <= last + 1; i += 2 * lanes) {
        const std::size_t o = sizeof(TUnit) * i;
        const __m256i h0 = candidates(o);
        const __m256i h1 = candidates(o + 32);
        const __m256i any = _mm256_or_si256(h0, h1);
        if (_mm256_testz_si256(any, any))
            continue;
        const auto mask0 = static_cast<std::uint32_t>(_mm256_movemask_epi8(h0));
        const auto mask1 = static_cast<std::uint32_t>(_mm256_movemask_epi8(h1));
        std::size_t hit = CheckCandidates(form, units, i, mask0, falseCandidates);
        if (hit == NoHit)
            hit = CheckCandidates(form, units, i + lanes, mask1, falseCandidates);
        if (hit != NoHit)
            return {hit, NoHit};
        if (!Three && TooManyFalseCandidates(falseCandidates, i - from))
            return {NoHit, i + 2 * lanes};
    }
    for (; i + lanes <= last + 1; i += lanes) {
        const auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(candidates(sizeof(TUnit) * i)));
        const std::size_t hit = CheckCandidates(form, units, i, mask, falseCandidates);
        if (hit != NoHit)
            return {hit, NoHit};
    }
    return {FindScalar(form, units, i), NoHit};
}

template <typename TUnit, bool OneTest, bool Three>
struct TSse2Loop
{
    static TScanStop Find(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units,
                          const TFilterTest<TUnit> (&t)[3], std::size_t from)
    {
        return FindSse2<TUnit, OneTest, Three>(form, units, t, from);
    }
};

template <typename TUnit, bool OneTest, bool Three>
struct TAvx2Loop
{
    static TScanStop Find(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units,
                          const TFilterTest<TUnit> (&t)[3], std::size_t from)
    {
        return FindAvx2<TUnit, OneTest, Three>(form, units, t, from);
    }
};

// Runs the two-position loop, then the three-position loop from where the first gave up, each in the
// variant that skips the second comparison when no tested position needs it.
template <typename TUnit, template <typename, bool, bool> class TLoop>
std::size_t FindVector(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units)
{
    const TFilterTest<TUnit> t[3] = {MakeFilterTest(form, form.Rare1), MakeFilterTest(form, form.Rare2),
                                     MakeFilterTest(form, form.Rare3)};
    const bool oneTest = t[0].OneTest && t[1].OneTest;
    const TScanStop stop = oneTest ? TLoop<TUnit, true, false>::Find(form, units, t, 0)
                                   : TLoop<TUnit, false, false>::Find(form, units, t, 0);
    if (stop.Resume == NoHit)
        return stop.Hit;
    if (oneTest && t[2].OneTest)
        return TLoop<TUnit, true, true>::Find(form, units, t, stop.Resume).Hit;
    return TLoop<TUnit, false, true>::Find(form, units, t, stop.Resume).Hit;
}

bool HasAvx2()
{
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}

#endif

// The leftmost start of an occurrence of `form` in the units, or NoHit.
template <typename TUnit>
std::size_t FindLeftmost(const TPatternForm<TUnit>& form, const TUnits<TUnit>& units, TScanMethod method)
{
    if (form.Length() == 0 || form.Length() > units.Count)
        return NoHit;
    switch (method) {
#if defined(__x86_64__)
    case smAvx2:
        return FindVector<TUnit, TAvx2Loop>(form, units);
    case smSse2:
        return FindVector<TUnit, TSse2Loop>(form, units);
#endif
    default:
        return FindPortable(form, units);
    }
}

// Positions first..end-1 around the hit's last unit p: the scans stop at a unit that is not text
// (a tab is text), at ContextReach + 1 units from p, and at the chunk's ends. The unit where a scan
// stops is not part of the context; the chunk's first unit is, when it is text within reach.
template <typename TUnit>
std::pair<std::size_t, std::size_t> ContextRange(const TUnits<TUnit>& units, std::size_t p)
{
    auto isText = [&](std::size_t i) {
        const unsigned u = units.At(i);
        return u >= 32 || u == '\r' || u == '\n' || u == '\t';
    };
    std::size_t s = p;
    while (p - s <= ContextReach && s > 0 && isText(s))
        --s;
    std::size_t e = p;
    while (e - p <= ContextReach && e < units.Count && isText(e))
        ++e;
    const std::size_t first = s == 0 && p <= ContextReach && isText(0) ? 0 : s + 1;
    return {first, std::max(first, e)};
}

} // namespace

TStringSearch::TStringSearch(TStream* stream) : FStream(stream), FBuffer(new std::uint8_t[ChunkSize])
{
}

void TStringSearch::SetCaseSensitive(bool value)
{
    if (value == FCaseSensitive)
        return;
    FCaseSensitive = value;
    BuildForms();
}

void TStringSearch::SetPattern(const std::string& utf8Text)
{
    FPattern = utf8Text;
    BuildForms();
}

void TStringSearch::BuildForms()
{
    bool lossless = true;
    const std::string ansi = Utf8ToAnsi(FPattern, &lossless);
    const std::string upper = AnsiUpperStr(ansi);
    const std::string lower = AnsiLowerStr(ansi);
    for (auto& form : FByteForms)
        form = TForm8{};
    for (int& page : FPassPages)
        page = 0;
    if (lossless && !ansi.empty()) {
        FByteForms[bpWindows] = ByteForm(FCaseSensitive, ansi, upper, lower);
        FByteForms[bpDos] = OemForm(FCaseSensitive, ansi, upper, lower);
        FByteForms[bpKoi8r] =
            ByteForm(FCaseSensitive, AnsiToKoi8Str(ansi), AnsiToKoi8Str(upper), AnsiToKoi8Str(lower));
        if (!FByteForms[bpDos].Active) {
            // The OEM page lacks a character the ANSI page has: the DOS page of the text's script.
            const int dos = ScriptPages(FPattern).second;
            if (dos && Writes(CodePageTable(dos), FPattern)) {
                FByteForms[bpDos] = TableForm(FCaseSensitive, FPattern, CodePageTable(dos));
                FPassPages[bpDos] = dos;
            }
        }
    } else if (!FPattern.empty()) {
        // The system's page cannot write the text: each pass converts it on its own, in the page of
        // the text's script where the system's cannot (Cyrillic typed on an English desktop is still
        // found in Windows-1251, 866 and KOI8-R files).
        const TPassPages pages = PassPages(FPattern);
        if (pages.Windows)
            FByteForms[bpWindows] = TableForm(FCaseSensitive, FPattern, CodePageTable(pages.Windows));
        if (pages.Dos)
            FByteForms[bpDos] = TableForm(FCaseSensitive, FPattern, CodePageTable(pages.Dos));
        if (pages.Koi8r)
            FByteForms[bpKoi8r] = TableForm(FCaseSensitive, FPattern, Koi8Table());
        FPassPages[bpWindows] = pages.Windows;
        FPassPages[bpDos] = pages.Dos;
    }
    FByteForms[bpUtf8] = Utf8Form(FCaseSensitive, FPattern);
    for (std::size_t i = 0; i < 4; ++i) {
        FSameAsEarlier[i] = 0;
        for (std::size_t j = 0; j < i; ++j)
            if (SameClasses(FByteForms[i], FByteForms[j]))
                FSameAsEarlier[i] |= 1u << j;
    }
    FWideForm = WideForm(FCaseSensitive, FPattern);
    FWideNeedsZero = false;
    for (std::size_t k = 0; k < FWideForm.Length(); ++k)
        if ((FWideForm.Upper[k] >> 8) == 0 && (FWideForm.Lower[k] >> 8) == 0)
            FWideNeedsZero = true;
}

std::vector<std::string> SkippedPassNotes(const std::string& utf8Pattern, TCodePages pages)
{
    std::vector<std::string> notes;
    if (utf8Pattern.empty())
        return notes;
    if ((pages & cpAll) == 0)
        pages = cpWindows;
    const TPassPages used = PassPages(utf8Pattern);
    auto note = [&](int system, const char* pass) {
        notes.push_back("code page " + std::to_string(system) + " cannot write the text: the " + pass +
                        " pass was skipped");
    };
    if ((pages & cpWindows) && !used.Windows)
        note(AnsiTable().Number(), "Windows");
    if ((pages & cpDos) && !used.Dos)
        note(OemTable().Number(), "DOS");
    if ((pages & cpKoi8r) && !used.Koi8r && !used.ThroughAnsi)
        note(Koi8Table().Number(), "KOI8-R");
    return notes;
}

TScanMethod TStringSearch::EffectiveMethod() const
{
#if defined(__x86_64__)
    switch (FScanMethod) {
    case smPortable:
        return smPortable;
    case smSse2:
        return smSse2;
    default:
        return HasAvx2() ? smAvx2 : smSse2;
    }
#else
    return smPortable;
#endif
}

std::string TStringSearch::FoundForm() const
{
    switch (FFoundPass) {
    case bpWindows:
        return "ANSI " + std::to_string(FPassPages[bpWindows] ? FPassPages[bpWindows] : AnsiTable().Number());
    case bpDos:
        return "OEM " + std::to_string(FPassPages[bpDos] ? FPassPages[bpDos] : OemTable().Number());
    case bpKoi8r:
        return "KOI8-R";
    case bpUtf8:
        return "UTF-8";
    case bpUtf8 + 1:
        return "UTF-16LE";
    default:
        return {};
    }
}

bool TStringSearch::Search()
{
    FFoundText.clear();
    FFoundPass = -1;
    FNotFound = true;
    if (FStream == nullptr)
        throw std::logic_error("TStringSearch::Search called with no stream");
    FStream->Seek(0);
    FFoundOffset = 0;
    FChunkStart = 0;
    if (FPattern.empty())
        return false;
    for (;;) {
        const std::size_t got = FStream->Read(FBuffer.get(), ChunkSize);
        if (got > 0 && SearchChunk(got)) {
            FNotFound = false;
            return true;
        }
        FChunkStart += got;
        if (got != ChunkSize)
            return false;
    }
}

bool TStringSearch::SearchChunk(std::size_t got)
{
    TCodePages pages = FCodePages & cpAll;
    if (pages == 0)
        pages = cpWindows;
    const TScanMethod method = EffectiveMethod();
    const char* chars = reinterpret_cast<const char*>(FBuffer.get());

    const TUnits<std::uint8_t> bytes{FBuffer.get(), got};
    std::uint32_t searched = 0;
    for (std::size_t pass = 0; pass < 4; ++pass) {
        const TForm8& form = FByteForms[pass];
        if ((pages & BytePassPage[pass]) == 0 || !form.Active || (FSameAsEarlier[pass] & searched) != 0)
            continue;
        searched |= 1u << pass;
        const std::size_t start = FindLeftmost(form, bytes, method);
        if (start == NoHit)
            continue;
        FFoundOffset = FChunkStart + start;
        FFoundPass = static_cast<int>(pass);
        const auto [first, end] = ContextRange(bytes, start + form.Length() - 1);
        const std::string_view context(chars + first, end - first);
        switch (pass) {
        case bpWindows:
            FFoundText = CodePageToUtf8(FPassPages[bpWindows] ? CodePageTable(FPassPages[bpWindows]) : AnsiTable(), context);
            break;
        case bpDos:
            FFoundText = CodePageToUtf8(FPassPages[bpDos] ? CodePageTable(FPassPages[bpDos]) : OemTable(), context);
            break;
        case bpKoi8r:
            FFoundText = CodePageToUtf8(Koi8Table(), context);
            break;
        default:
            FFoundText = Utf8TrimPartial(context);
            break;
        }
        return true;
    }

    // Most text has no zero byte at all, and finding that out is quicker than the UTF-16 pass.
    if ((pages & cpUnicode) != 0 && FWideForm.Active && !(FWideNeedsZero && !std::memchr(chars, 0, got))) {
        const TUnits<std::uint16_t> units{FBuffer.get(), got / 2};
        const std::size_t start = FindLeftmost(FWideForm, units, method);
        if (start != NoHit) {
            FFoundOffset = FChunkStart + std::uint64_t{start} * 2;
            FFoundPass = bpUtf8 + 1;
            const auto [first, end] = ContextRange(units, start + FWideForm.Length() - 1);
            std::u16string context;
            context.reserve(end - first);
            for (std::size_t i = first; i < end; ++i)
                context.push_back(static_cast<char16_t>(units.At(i)));
            FFoundText = Utf16ToUtf8(context);
            return true;
        }
    }
    return false;
}

} // namespace trovex
