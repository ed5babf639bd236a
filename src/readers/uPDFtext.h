// SPDX-License-Identifier: MIT
// Text of a PDF document for the content search: the characters of every literal string "(...)"
// in the lines outside streams and in the inflated Flate streams, escapes decoded, as bytes in the
// ANSI code page. Hexadecimal strings, other filters and font encodings are not decoded.
//   (a\(b\)c) -> a(b)c    (x\101y) -> xAy    (a\nb) -> a CR LF b    (\1234) -> S4    (a(b)c) -> ab
#pragma once

#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace trovex
{

class TFileStream;

/// A document whose text cannot be taken out (see TPDF2Text).
class EPdfError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// All Flate streams of one document together inflate to at most this many bytes: 64 times the
/// file's size, at least 16 MiB, at most 256 MiB. A stream reaching the bound keeps what it gave;
/// later streams give nothing.
constexpr std::size_t PdfInflateRatio = 64;
constexpr std::size_t PdfMinInflateBudget = std::size_t{16} << 20;
constexpr std::size_t PdfMaxInflateBudget = std::size_t{256} << 20;
std::size_t PdfInflateBudget(std::size_t fileSize);
/// The extracted text of one document is bounded the same way: text past the bound is dropped.
inline std::size_t PdfTextBudget(std::size_t fileSize)
{
    return PdfInflateBudget(fileSize);
}

/// The extractor of one document; all work is done by the constructor.
class TPDF2Text
{
public:
    /// Reads and extracts the file at `path`. Throws EReadError when the file cannot be opened or
    /// read (or is no regular file), and EPdfError when the document fails: a line "stream" with no
    /// earlier line holding "<<", or Flate streams of which none inflates (a damaged stream among
    /// good ones is skipped silently). The file is read a window at a time, never held whole, so
    /// memory is the text plus a few buffers whatever the file's size. Throws ETerminated as soon
    /// as `cancel` (may be null) is set.
    explicit TPDF2Text(const std::string& path, const std::atomic<bool>* cancel = nullptr);
    /// The same over a file the caller has opened; `path` names it.
    TPDF2Text(const TFileStream& file, const std::string& path, const std::atomic<bool>* cancel = nullptr);

    /// The same over bytes held by the caller (only read during the call). Throws EPdfError.
    static TPDF2Text FromBytes(std::string_view bytes);

    const std::string& FileName() const { return FFileName; }
    /// The extracted bytes.
    const std::string& Text() const { return FText; }
    /// Hands the text over, leaving the extractor empty.
    std::string TakeText() { return std::move(FText); }

private:
    struct TBytesTag
    {
    };
    TPDF2Text(TBytesTag, std::string_view bytes);

    std::string FFileName;
    std::string FText;
};

} // namespace trovex
