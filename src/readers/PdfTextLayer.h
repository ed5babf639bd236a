// SPDX-License-Identifier: MIT
// The text of a PDF document as a person sees it, for the content search: the pages in order,
// their content streams and the forms they draw read through the fonts' maps (ToUnicode CMaps,
// encodings with their differences, Type0 fonts with Identity or Unicode CMaps, Type3 fonts), gaps
// and moves that a reader sees as spaces and line ends made into them; then what a person sees
// outside the pages (document information, bookmarks, annotation contents, form-field values).
// The text is UTF-8 and is made a page at a time as it is read, so memory follows one page, not
// the document. A document whose structure cannot be read at all is read as before: the literal
// strings of the whole file.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Stream.h"

namespace trovex
{

namespace pdf
{
class TPdfFile;
class TPdfSource;
class TPageReader;
} // namespace pdf

/// The document's text, read as a stream; Seek(0) starts it again.
class TPdfTextStream final : public TStream
{
public:
    /// All of a document's text, at most this much; a document with more is Cut().
    static constexpr std::uint64_t TextLimit = std::uint64_t{1} << 30;

    /// Reads the document in `file` (which the stream owns); `path` names it in messages. Throws
    /// EReadError when the file cannot be read, ETerminated when `cancel` is set meanwhile.
    TPdfTextStream(std::unique_ptr<TFileStream> file, const std::string& path, const std::atomic<bool>* cancel);
    /// The same over bytes the caller keeps alive while the stream is used.
    TPdfTextStream(std::string_view bytes, const std::atomic<bool>* cancel = nullptr);
    ~TPdfTextStream() override;
    TPdfTextStream(const TPdfTextStream&) = delete;
    TPdfTextStream& operator=(const TPdfTextStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    void Seek(std::uint64_t offset) override;

    /// The page (from 1) the text at `offset` comes from; 0 for text outside the pages.
    int PageAt(std::uint64_t offset) const;
    /// True when the document needs a password, or none of it could be read: a file without text.
    bool Damaged() const { return FDamaged; }
    /// True when the document needs a password to be opened.
    bool Locked() const { return FLocked; }
    /// True when the text stopped at TextLimit, or a part of the document was too large to read whole.
    bool Cut() const { return FCut; }
    /// True when the document's structure could not be read and its literal strings were taken instead.
    bool Fallback() const { return FFallback; }

    /// The whole text at once (for tests and tools).
    std::string ReadAll();

private:
    void Start();
    bool NextPiece();
    bool FallbackScan();
    bool NextRawPiece();

    std::unique_ptr<TFileStream> FFile;
    std::string_view FBytes;
    std::string FPath;
    const std::atomic<bool>* FCancel;
    std::unique_ptr<pdf::TPdfSource> FSource;
    std::unique_ptr<pdf::TPdfFile> FDocument;
    std::unique_ptr<pdf::TPageReader> FPages;
    std::string FRaw;        // the literal strings' bytes, when the structure could not be read
    std::size_t FRawAt = 0;
    std::string FPiece;      // the text being handed out
    std::size_t FPieceAt = 0;
    std::uint64_t FPosition = 0; // of the next byte handed out
    struct TMark
    {
        std::uint64_t Offset;
        int Page;
    };
    std::vector<TMark> FMarks; // where each page's text starts
    bool FEnded = false;
    bool FDamaged = false;
    bool FLocked = false;
    bool FCut = false;
    bool FFallback = false;
};

} // namespace trovex
