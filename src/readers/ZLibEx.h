// SPDX-License-Identifier: MIT
// Inflate over zlib: raw deflate data (ZIP members) and zlib-format data (PDF Flate streams).
// Output grows as the data actually arrives and never past a caller's bound, so a header that
// lies about sizes or a small input that expands enormously cannot take the memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace trovex
{

class EZLibError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A zlib-format stream that does not inflate; the message is zlib's text for the result code
/// ("data error", "buffer error", "need dictionary", ...).
class EZDecompressionError : public EZLibError
{
public:
    using EZLibError::EZLibError;
};

constexpr std::size_t NoOutputLimit = SIZE_MAX;

/// Inflates raw deflate data (no header, no checksum). With expectedSize != 0 the output is the
/// first min(expectedSize, maxOutput) bytes of what the data inflates to (a short or truncated
/// stream gives what it has); with 0 the whole stream is inflated up to maxOutput, and a stream that
/// ends early is a failure. Never throws: any failure (zlib error, no memory) gives an empty result.
std::string DecompressRawBuffer(std::string_view input, std::size_t expectedSize = 0,
                                std::size_t maxOutput = NoOutputLimit);

/// Inflates zlib-format data up to its end. sizeHint only sizes the first buffer. Output stops at
/// maxOutput bytes without error; *truncated (when given) tells whether that happened.
/// Throws EZDecompressionError for a damaged or truncated stream, one that needs a preset
/// dictionary, or when memory runs out.
std::string DecompressZlibBuffer(std::string_view input, std::size_t sizeHint = 0,
                                 std::size_t maxOutput = NoOutputLimit, bool* truncated = nullptr);

} // namespace trovex
