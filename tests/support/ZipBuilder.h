// SPDX-License-Identifier: MIT
// Builds ZIP archives byte by byte for tests and fuzz seeds: local headers written field by field,
// stored or deflated (zlib) data, and any field overridden so a test can say which one is wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trovex
{

/// Raw deflate data (no header), as ZIP method 8 stores it.
std::string RawDeflate(std::string_view data, int level = 9);
/// Raw deflate data of `zeros` NUL bytes followed by `tail`, made without holding the zeros: a
/// member of gigabytes costs a few megabytes.
std::string RawDeflateZeros(std::uint64_t zeros, std::string_view tail);
/// zlib-format data, as a PDF Flate stream holds it.
std::string ZlibDeflate(std::string_view data, int level = 9);
/// zlib-format data that asks for a preset dictionary.
std::string ZlibDeflateWithDictionary(std::string_view data, std::string_view dictionary);

/// One member; the With* setters change what the builder writes, so a test names the wrong field.
struct TZipMember
{
    explicit TZipMember(std::string name, std::string content = {}, std::uint16_t method = 0)
        : Name(std::move(name)), Content(std::move(content)), Method(method)
    {
    }
    TZipMember& WithFlags(std::uint16_t flags) { Flags = flags; return *this; }
    TZipMember& WithExtra(std::string extra) { Extra = std::move(extra); return *this; }
    /// Flag bit 3, zero sizes and CRC in the header, a descriptor after the data.
    TZipMember& WithDataDescriptor() { DataDescriptor = true; return *this; }
    /// Member data written instead of the stored or deflated content.
    TZipMember& WithData(std::string data) { Data = std::move(data); return *this; }
    TZipMember& WithCompressedSize(std::uint32_t size) { CompressedSize = size; return *this; }
    TZipMember& WithUncompressedSize(std::uint32_t size) { UncompressedSize = size; return *this; }
    TZipMember& WithNameLength(std::uint16_t length) { NameLength = length; return *this; }

    std::string Name;
    std::string Content;      // what the member unpacks to
    std::uint16_t Method = 0; // 0 stored, 8 deflated; others store Content as it is
    std::uint16_t Flags = 0;
    std::string Extra;
    bool DataDescriptor = false;
    std::optional<std::string> Data;
    std::optional<std::uint32_t> CompressedSize;
    std::optional<std::uint32_t> UncompressedSize;
    std::optional<std::uint16_t> NameLength;
};

class TZipBuilder
{
public:
    TZipBuilder& Add(TZipMember member);
    TZipBuilder& Stored(std::string name, std::string content);
    TZipBuilder& Deflated(std::string name, std::string content);
    /// Bytes placed before the first member (a self-extractor's program).
    TZipBuilder& Prefix(std::string bytes);
    TZipBuilder& WithoutCentralDirectory();
    /// Every size and offset in ZIP64 records (the 32-bit fields all ones), as streaming writers
    /// that cannot know the sizes in advance do.
    TZipBuilder& Zip64();

    /// The archive: prefix, local headers with data, then the central directory and its end record.
    std::string Bytes() const;
    /// Writes Bytes() to a new file.
    void WriteTo(const std::string& path) const;

private:
    std::string FPrefix;
    std::vector<TZipMember> FMembers;
    bool FCentralDirectory = true;
    bool FZip64 = false;
};

/// Small archives that exercise the reader's paths; each pair is a file name and its bytes.
std::vector<std::pair<std::string, std::string>> ZipSeeds();

} // namespace trovex
