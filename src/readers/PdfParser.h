// SPDX-License-Identifier: MIT
// The object layer of a PDF document: values, the cross-reference sections (tables and streams,
// incremental updates, hybrid files), object streams, stream filters and decryption, with a repair
// pass that finds "N G obj" by scanning when the sections are missing or wrong. Objects are read
// from the file at their offsets, never the whole file at once.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "readers/PdfSecurity.h"
#include "readers/uPDFtext.h"

namespace trovex::pdf
{

struct TObject;
using TArray = std::vector<TObject>;
using TDict = std::vector<std::pair<std::string, TObject>>;

struct TRef
{
    std::uint32_t Num = 0;
    std::uint16_t Gen = 0;
    bool operator<(const TRef& o) const { return Num != o.Num ? Num < o.Num : Gen < o.Gen; }
    bool operator==(const TRef& o) const { return Num == o.Num && Gen == o.Gen; }
};

/// One value. A stream is its dictionary with the place of its data in the file.
struct TObject
{
    enum TKind : std::uint8_t { Null, Bool, Int, Real, String, Name, Array, Dict, Ref, Stream, Keyword };
    TKind Kind = Null;
    bool B = false;
    std::int64_t I = 0;
    double R = 0;
    std::string S; ///< a string's bytes, a name without its slash, a keyword
    std::shared_ptr<TArray> A;
    std::shared_ptr<TDict> D; ///< also a stream's dictionary
    TRef Reference;           ///< a reference; for a stream (and what holds it), the object it is
    std::uint64_t DataOffset = 0; ///< a stream's data in the file
    std::shared_ptr<std::string> Inline; ///< a stream's raw data held in memory (object streams' own)

    bool IsNull() const { return Kind == Null; }
    bool IsNumber() const { return Kind == Int || Kind == Real; }
    double Number() const { return Kind == Int ? static_cast<double>(I) : Kind == Real ? R : 0.0; }
    bool IsName(std::string_view name) const { return Kind == Name && S == name; }
    /// The value of `key` in a dictionary or a stream's dictionary; a null object when absent.
    const TObject& Get(std::string_view key) const;
    std::size_t Size() const { return Kind == Array && A ? A->size() : 0; }
    const TObject& At(std::size_t i) const;
};

/// The document's bytes, read at offsets.
class TPdfSource
{
public:
    virtual ~TPdfSource() = default;
    virtual std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t count) const = 0;
    virtual std::uint64_t Size() const = 0;
    /// The start of the next stretch that is not a hole, at or after `offset` (sparse files).
    virtual std::uint64_t NextData(std::uint64_t offset) const { return offset; }
    /// The bytes at `offset` without a copy, when the document is held in memory (fewer than `count`
    /// at its end); empty when it is not.
    virtual std::string_view Peek(std::uint64_t /*offset*/, std::size_t /*count*/) const { return {}; }
};

/// The cross-reference of a document, its objects and streams. Throws EPdfError when no document
/// structure can be read at all; a single object that cannot be read is a null object.
class TPdfFile
{
public:
    TPdfFile(const TPdfSource& source, const std::atomic<bool>* cancel);

    /// The object itself, references followed (at most a few levels); null for a missing object.
    TObject Resolve(const TObject& o);
    TObject Object(TRef ref);
    /// False only when `o` refers to an object whose bytes hold none of `names` (each a name with
    /// its slash, ending where a name ends): such an object need not be parsed to be passed over.
    bool MayHold(const TObject& o, std::initializer_list<std::string_view> names);
    const TObject& Trailer() const { return FTrailer; }
    /// A stream's data with its filters undone, at most `limit` bytes (cut says when it had more).
    /// Image data and unknown filters give nothing. Throws EPdfError only for a terminate request.
    std::string StreamData(const TObject& stream, std::size_t limit, bool* cut = nullptr);
    /// Decrypts a string read from a document object (a no-op for documents not encrypted).
    std::string DecryptString(const std::string& s, TRef owner) const;
    /// True when the document is encrypted and cannot be opened without a password.
    bool Locked() const { return FLocked; }
    bool Repaired() const { return FRepaired; }

private:
    struct TEntry
    {
        std::uint8_t Type = 0; // 0 free, 1 at an offset, 2 in an object stream
        std::uint64_t Offset = 0; // type 1: the offset; type 2: the object stream's number
        std::uint32_t Index = 0;  // type 2: the index inside it
        std::uint16_t Gen = 0;
    };

    bool ReadXrefChain(std::uint64_t start);
    bool ReadXrefSection(std::uint64_t offset, std::vector<std::uint64_t>& more);
    void Repair();
    void SetUpEncryption();
    TObject ParseAt(std::uint64_t offset, TRef* ref);
    struct TObjStm;
    std::shared_ptr<TObjStm> ObjectStream(std::uint32_t streamNum);
    TObject FromObjectStream(std::uint32_t streamNum, std::uint32_t index, std::uint32_t num);
    /// A stream's raw data: a view of the document where it is held in memory, else read into `storage`.
    std::string_view RawStream(const TObject& stream, std::string& storage);
    void DecryptStrings(TObject& o, TRef owner) const;
    void CheckCancel() const;

    const TPdfSource& FSource;
    const std::atomic<bool>* FCancel;
    std::unordered_map<std::uint32_t, TEntry> FXref;
    TObject FTrailer;
    std::optional<TPdfDecryptor> FDecryptor;
    TRef FEncryptRef{0, 0};
    bool FLocked = false;
    bool FRepaired = false;
    std::unordered_map<std::uint32_t, TObject> FCache;
    struct TObjStm
    {
        std::uint64_t Used = 0; // when it was last read from, for keeping the most used
        std::string Data;
        std::vector<std::pair<std::uint32_t, std::uint64_t>> Offsets;
        std::uint64_t First = 0;
    };
    std::map<std::uint32_t, std::shared_ptr<TObjStm>> FObjStms;
    std::size_t FObjStmBytes = 0; // their data, all told
    std::uint64_t FObjStmClock = 0;
    int FResolving = 0;
    bool FRawCut = false; // the last stream's raw data was longer than is read
    std::vector<char> FParseBuffer;
};

/// Parses values from bytes held in memory: the content streams and CMaps are read with it too.
class TLexer
{
public:
    explicit TLexer(std::string_view data, std::size_t pos = 0) : FData(data), FPos(pos) {}
    /// The next value or keyword; Kind Null with Ended() at the end. Arrays and dictionaries are
    /// read whole (to a nesting depth limit); "R" after two integers makes a reference.
    TObject Next(int depth = 0);
    bool Ended() const { return FPos >= FData.size(); }
    std::size_t Pos() const { return FPos; }
    void Seek(std::size_t pos) { FPos = pos; }
    void SkipSpace();
    std::string_view Data() const { return FData; }

    /// A literal string, a hex string or a name that starts at data[pos], decoded into `out`; `pos`
    /// ends past it. The content-stream reader reads its operands with them too.
    static void ReadLiteral(std::string_view data, std::size_t& pos, std::string& out);
    static void ReadHex(std::string_view data, std::size_t& pos, std::string& out);
    static void ReadName(std::string_view data, std::size_t& pos, std::string& out);

private:
    TObject ParseNumber();
    std::string ParseLiteral();
    std::string ParseHex();
    std::string ParseNameText();
    void SkipNested();

    std::string_view FData;
    std::size_t FPos;
};

/// A document's number as an int, held to int's range: a damaged file's numbers can be anything.
inline int ToInt(double v)
{
    return v >= 2147483647.0 ? INT_MAX : v <= -2147483648.0 ? INT_MIN : v == v ? static_cast<int>(v) : 0;
}

bool IsPdfSpace(char c);
bool IsPdfDelimiter(char c);

/// A zlib stream inflated, at most `limit` bytes (`cut` says when it held more); a damaged stream
/// gives what comes before the damage. Where the build has a faster whole-stream inflater it is
/// tried first and gives the same bytes; `zlibOnly` leaves it out (to compare the two).
std::string Inflate(std::string_view in, std::size_t limit, bool& cut, bool zlibOnly = false);

/// UTF-16BE bytes as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16BeToUtf8(std::string_view bytes);
/// A document text string (PDFDocEncoding, UTF-16 with its byte-order mark, or UTF-8 with one) as UTF-8.
std::string TextStringToUtf8(std::string_view s);

} // namespace trovex::pdf
