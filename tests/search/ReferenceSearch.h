// SPDX-License-Identifier: MIT
// The yardstick for TStringSearch: the content search written the plain way, one Horspool loop per
// encoded form over 65,536-byte chunks, with its own construction of the forms. Slow and obvious on
// purpose; the tests and the fuzz target demand that the fast matcher agrees with it exactly.
#pragma once

#include "platform/CodePage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovex::reference
{

struct TResult
{
    bool Found = false;
    std::string Context;
};

// Per position the unit may be A[k] or B[k]. Groups: (first, count) of characters whose units must all
// come from A or all from B.
template <typename TUnit>
struct TRefForm
{
    bool Usable = false;
    std::vector<TUnit> A;
    std::vector<TUnit> B;
    std::vector<std::pair<std::size_t, std::size_t>> Groups;
};

class TReferenceSearch
{
public:
    static constexpr std::size_t Chunk = 65536;

    TReferenceSearch(const std::string& pattern, bool caseSensitive, TCodePages pages)
        : FPages((pages & cpAll) != 0 ? pages & cpAll : cpWindows), FEmpty(pattern.empty())
    {
        bool lossless = true;
        const std::string ansi = Utf8ToAnsi(pattern, &lossless);
        const std::string upper = AnsiUpperStr(ansi);
        const std::string lower = AnsiLowerStr(ansi);
        FEightBit = lossless && !ansi.empty();
        FAscii = true;
        for (char c : pattern)
            FAscii = FAscii && static_cast<unsigned char>(c) < 0x80;
        if (FEightBit) {
            FWindows = Pair(caseSensitive, ansi, upper, lower);
            const std::string oem = AnsiToOemStr(ansi);
            const std::string oemUpper = AnsiToOemStr(upper);
            const std::string oemLower = AnsiToOemStr(lower);
            FDos = Pair(caseSensitive, oem, oemUpper, oemLower);
            // A character the OEM page lacks became '?': that case form cannot match.
            for (std::size_t k = 0; k < ansi.size(); ++k) {
                const bool lostA = caseSensitive ? Lost(ansi[k], oem[k]) : Lost(upper[k], oemUpper[k]);
                const bool lostB = caseSensitive ? lostA : Lost(lower[k], oemLower[k]);
                if (lostA && lostB)
                    FDos.Usable = false;
                else if (lostA)
                    FDos.A[k] = FDos.B[k];
                else if (lostB)
                    FDos.B[k] = FDos.A[k];
            }
            FKoi = Pair(caseSensitive, AnsiToKoi8Str(ansi), AnsiToKoi8Str(upper), AnsiToKoi8Str(lower));
            if (!FDos.Usable && ScriptPage(pattern, true) && Encodes(CodePageTable(ScriptPage(pattern, true)), pattern)) {
                FDos = InPage(pattern, caseSensitive, CodePageTable(ScriptPage(pattern, true)));
                FDosPage = ScriptPage(pattern, true);
            }
        } else if (!pattern.empty()) {
            // Each pass on its own: the system's page, else the page of the text's script.
            const int windows = ScriptPage(pattern, false);
            if (windows && Encodes(CodePageTable(windows), pattern)) {
                FWindows = InPage(pattern, caseSensitive, CodePageTable(windows));
                FWindowsPage = windows;
                FEightBit = true;
            }
            const int dos = Encodes(OemTable(), pattern) ? OemTable().Number() : ScriptPage(pattern, true);
            if (dos && Encodes(CodePageTable(dos), pattern)) {
                FDos = InPage(pattern, caseSensitive, CodePageTable(dos));
                FDosPage = dos;
                FEightBit = true;
            }
            if (Encodes(Koi8Table(), pattern)) {
                FKoi = InPage(pattern, caseSensitive, Koi8Table());
                FEightBit = true;
            }
        }
        BuildUtf8(pattern, caseSensitive);
        BuildWide(pattern, caseSensitive, lossless, ansi, upper, lower);
    }

    TResult Search(std::string_view content) const
    {
        TResult result;
        if (FEmpty)
            return result;
        std::size_t offset = 0;
        for (;;) {
            const std::size_t got = std::min(Chunk, content.size() - offset);
            const std::string_view chunk = content.substr(offset, got);
            offset += got;
            if (got > 0 && SearchChunk(chunk, result))
                return result;
            if (got != Chunk)
                return result;
        }
    }

private:
    static bool Lost(char from, char to) { return to == DefaultChar && from != DefaultChar; }

    static std::vector<char32_t> CodePoints(const std::string& utf8)
    {
        std::vector<char32_t> out;
        for (std::size_t i = 0; i < utf8.size();)
            out.push_back(Utf8Next(utf8, i));
        return out;
    }

    static bool Encodes(const TCodePageTable& table, const std::string& utf8)
    {
        for (const char32_t c : CodePoints(utf8))
            if (table.FromUnicode(c) < 0)
                return false;
        return true;
    }

    // The Windows (or DOS) page of the first letter outside ASCII that names a script.
    static int ScriptPage(const std::string& utf8, bool dos)
    {
        struct TRange { char32_t From, To; int Windows, Dos; };
        static const TRange ranges[] = {
            {0x0400, 0x04FF, 1251, 866}, {0x0370, 0x03FF, 1253, 737}, {0x0590, 0x05FF, 1255, 862},
            {0x0600, 0x06FF, 1256, 720}, {0x0E00, 0x0E7F, 874, 874},  {0x011E, 0x011F, 1254, 857},
            {0x015E, 0x015F, 1254, 857}, {0x0130, 0x0131, 1254, 857}, {0x01A0, 0x01A1, 1258, 0},
            {0x01AF, 0x01B0, 1258, 0},   {0x1EA0, 0x1EF9, 1258, 0},
        };
        static const char32_t baltic[] = {0x0100, 0x0101, 0x0112, 0x0113, 0x0116, 0x0117, 0x0122, 0x0123, 0x012A,
                                          0x012B, 0x012E, 0x012F, 0x0136, 0x0137, 0x013B, 0x013C, 0x0145, 0x0146,
                                          0x014C, 0x014D, 0x0156, 0x0157, 0x016A, 0x016B, 0x0172, 0x0173};
        for (const char32_t c : CodePoints(utf8)) {
            if (c < 0x80)
                continue;
            for (const TRange& r : ranges)
                if (c >= r.From && c <= r.To)
                    return dos ? r.Dos : r.Windows;
            for (const char32_t b : baltic)
                if (c == b)
                    return dos ? 775 : 1257;
            if (c >= 0x0100 && c <= 0x017F)
                return dos ? 852 : 1250;
        }
        return 0;
    }

    static TRefForm<std::uint8_t> InPage(const std::string& utf8, bool caseSensitive, const TCodePageTable& table)
    {
        TRefForm<std::uint8_t> f;
        f.Usable = true;
        for (const char32_t c : CodePoints(utf8)) {
            const auto b = static_cast<unsigned char>(table.FromUnicode(c));
            f.A.push_back(caseSensitive ? b : table.Upper(b));
            f.B.push_back(caseSensitive ? b : table.Lower(b));
        }
        return f;
    }

    static TRefForm<std::uint8_t> Pair(bool caseSensitive, const std::string& typed, const std::string& upper,
                                       const std::string& lower)
    {
        TRefForm<std::uint8_t> f;
        f.Usable = true;
        for (std::size_t k = 0; k < typed.size(); ++k) {
            f.A.push_back(static_cast<std::uint8_t>(caseSensitive ? typed[k] : upper[k]));
            f.B.push_back(static_cast<std::uint8_t>(caseSensitive ? typed[k] : lower[k]));
        }
        return f;
    }

    void BuildUtf8(const std::string& pattern, bool caseSensitive)
    {
        FUtf8.Usable = !pattern.empty();
        std::size_t i = 0;
        while (i < pattern.size()) {
            const std::size_t len = Utf8CharLen(pattern, i);
            std::string typed = pattern.substr(i, len);
            std::string a = caseSensitive ? typed : Utf8Upper(typed);
            std::string b = caseSensitive ? typed : Utf8Lower(typed);
            if (a.size() != b.size() || (a != typed && b != typed))
                a = b = typed;
            if (a.size() > 1 && a != b)
                FUtf8.Groups.emplace_back(FUtf8.A.size(), a.size());
            for (std::size_t k = 0; k < a.size(); ++k) {
                FUtf8.A.push_back(static_cast<std::uint8_t>(a[k]));
                FUtf8.B.push_back(static_cast<std::uint8_t>(b[k]));
            }
            i += len;
        }
    }

    void BuildWide(const std::string& pattern, bool caseSensitive, bool lossless, const std::string& ansi,
                   const std::string& upper, const std::string& lower)
    {
        if (pattern.empty())
            return;
        if (lossless) {
            // Through the ANSI code page, one unit per byte.
            const std::u16string typed = AnsiToWide(ansi);
            const std::u16string a = AnsiToWide(upper);
            const std::u16string b = AnsiToWide(lower);
            FWide.Usable = true;
            for (std::size_t k = 0; k < typed.size(); ++k) {
                FWide.A.push_back(caseSensitive ? typed[k] : a[k]);
                FWide.B.push_back(caseSensitive ? typed[k] : b[k]);
            }
            return;
        }
        std::size_t i = 0;
        FWide.Usable = true;
        while (i < pattern.size()) {
            const std::size_t len = Utf8CharLen(pattern, i);
            const std::string ch = pattern.substr(i, len);
            i += len;
            std::size_t at = 0;
            const char32_t cp = Utf8Next(ch, at);
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                FWide.Usable = false;
                return;
            }
            std::u16string typed = Utf8ToUtf16(ch);
            std::u16string a = typed;
            std::u16string b = typed;
            const int byte = AnsiTable().FromUnicode(cp);
            if (byte >= 0) {
                a = AnsiToWide(AnsiUpperStr(std::string(1, static_cast<char>(byte))));
                b = AnsiToWide(AnsiLowerStr(std::string(1, static_cast<char>(byte))));
            } else {
                a = Utf8ToUtf16(Utf8Upper(ch));
                b = Utf8ToUtf16(Utf8Lower(ch));
                if (a.size() != b.size() || (a != typed && b != typed))
                    a = b = typed;
            }
            if (caseSensitive)
                a = b = typed;
            if (a.size() > 1 && a != b)
                FWide.Groups.emplace_back(FWide.A.size(), a.size());
            FWide.A.insert(FWide.A.end(), a.begin(), a.end());
            FWide.B.insert(FWide.B.end(), b.begin(), b.end());
        }
    }

    template <typename TUnit>
    static TUnit UnitAt(std::string_view chunk, std::size_t i)
    {
        if constexpr (sizeof(TUnit) == 1)
            return static_cast<std::uint8_t>(chunk[i]);
        else
            return static_cast<TUnit>(static_cast<std::uint8_t>(chunk[2 * i]) |
                                      (static_cast<std::uint8_t>(chunk[2 * i + 1]) << 8));
    }

    // The Horspool loop: compare from the window's end leftwards; on a mismatch shift by the table
    // entry of the unit at the window's end. Returns the position of the hit's last unit, or -1.
    template <typename TUnit>
    static long Horspool(const TRefForm<TUnit>& f, std::string_view chunk, std::size_t count)
    {
        const long n = static_cast<long>(f.A.size());
        std::vector<std::int32_t> shift(sizeof(TUnit) == 1 ? 256 : 65536, static_cast<std::int32_t>(n));
        for (long k = 0; k <= n - 2; ++k) {
            shift[f.A[k]] = static_cast<std::int32_t>(n - 1 - k);
            shift[f.B[k]] = static_cast<std::int32_t>(n - 1 - k);
        }
        long pos = n - 1;
        long j = 0;
        while (pos < static_cast<long>(count)) {
            const TUnit u = UnitAt<TUnit>(chunk, pos - j);
            if (u == f.A[n - 1 - j] || u == f.B[n - 1 - j]) {
                ++j;
                if (j == n) {
                    if (GroupsHold(f, chunk, pos - n + 1))
                        return pos;
                    pos += shift[UnitAt<TUnit>(chunk, pos)];
                    j = 0;
                }
            } else {
                pos += shift[UnitAt<TUnit>(chunk, pos)];
                j = 0;
            }
        }
        return -1;
    }

    template <typename TUnit>
    static bool GroupsHold(const TRefForm<TUnit>& f, std::string_view chunk, long start)
    {
        for (const auto& [first, count] : f.Groups) {
            bool a = true;
            bool b = true;
            for (std::size_t k = first; k < first + count; ++k) {
                const TUnit u = UnitAt<TUnit>(chunk, start + k);
                a = a && u == f.A[k];
                b = b && u == f.B[k];
            }
            if (!a && !b)
                return false;
        }
        return true;
    }

    template <typename TUnit>
    static std::pair<long, long> Context(std::string_view chunk, std::size_t count, long p)
    {
        auto text = [&](long i) {
            const unsigned u = UnitAt<TUnit>(chunk, i);
            return u >= 32 || u == 13 || u == 10 || u == 9;
        };
        long s = p;
        while (p - s < 56 && s >= 0 && text(s))
            s = s - 1; // may end at -1: the chunk's first unit is context too
        long e = p;
        while (e - p < 56 && e < static_cast<long>(count) && text(e))
            e = e + 1;
        return {s + 1, e - 1};
    }

    bool BytePass(const TRefForm<std::uint8_t>& f, std::string_view chunk, TResult& result, int page) const
    {
        if (!f.Usable || f.A.empty())
            return false;
        const long p = Horspool(f, chunk, chunk.size());
        if (p < 0)
            return false;
        const auto [first, last] = Context<std::uint8_t>(chunk, chunk.size(), p);
        const std::string_view bytes = first <= last ? chunk.substr(first, last - first + 1) : std::string_view();
        if (page == cpWindows)
            result.Context = CodePageToUtf8(FWindowsPage ? CodePageTable(FWindowsPage) : AnsiTable(), bytes);
        else if (page == cpDos)
            result.Context = CodePageToUtf8(FDosPage ? CodePageTable(FDosPage) : OemTable(), bytes);
        else if (page == cpKoi8r)
            result.Context = CodePageToUtf8(Koi8Table(), bytes);
        else
            result.Context = Utf8TrimPartial(bytes);
        result.Found = true;
        return true;
    }

    bool SearchChunk(std::string_view chunk, TResult& result) const
    {
        if ((FPages & cpWindows) && FEightBit && BytePass(FWindows, chunk, result, cpWindows))
            return true;
        if ((FPages & cpDos) && FEightBit && BytePass(FDos, chunk, result, cpDos))
            return true;
        if ((FPages & cpKoi8r) && FEightBit && BytePass(FKoi, chunk, result, cpKoi8r))
            return true;
        const bool windowsSearchedSameBytes = FAscii && (FPages & cpWindows) && FEightBit;
        if ((FPages & cpUtf8) && !windowsSearchedSameBytes && BytePass(FUtf8, chunk, result, cpUtf8))
            return true;
        if ((FPages & cpUnicode) && FWide.Usable && !FWide.A.empty()) {
            const std::size_t count = chunk.size() / 2;
            const long p = Horspool(FWide, chunk, count);
            if (p >= 0) {
                const auto [first, last] = Context<std::uint16_t>(chunk, count, p);
                std::u16string units;
                for (long i = first; i <= last; ++i)
                    units.push_back(static_cast<char16_t>(UnitAt<std::uint16_t>(chunk, i)));
                result.Context = Utf16ToUtf8(units);
                result.Found = true;
                return true;
            }
        }
        return false;
    }

    TCodePages FPages;
    bool FEmpty;
    bool FEightBit = false;
    bool FAscii = false;
    int FWindowsPage = 0; // the page of a pass that is not the system's
    int FDosPage = 0;
    TRefForm<std::uint8_t> FWindows;
    TRefForm<std::uint8_t> FDos;
    TRefForm<std::uint8_t> FKoi;
    TRefForm<std::uint8_t> FUtf8;
    TRefForm<std::uint16_t> FWide;
};

} // namespace trovex::reference
