// SPDX-License-Identifier: MIT
#include "support/ZipBuilder.h"

#include <fstream>
#include <initializer_list>
#include <stdexcept>

#include <zlib.h>

namespace trovex
{
namespace
{

void Put16(std::string& out, std::uint32_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, std::uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Put64(std::string& out, std::uint64_t v)
{
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}

constexpr std::uint32_t Zip64Marker = 0xFFFFFFFF;

// The ZIP64 extra block (id 1) with the given 64-bit fields.
std::string Zip64Extra(std::initializer_list<std::uint64_t> fields)
{
    std::string extra;
    Put16(extra, 0x0001);
    Put16(extra, static_cast<std::uint32_t>(fields.size() * 8));
    for (std::uint64_t f : fields)
        Put64(extra, f);
    return extra;
}

std::string Deflate(std::string_view data, int level, int windowBits, std::string_view dictionary = {})
{
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    if (!dictionary.empty())
        deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(dictionary.data()),
                             static_cast<uInt>(dictionary.size()));
    std::string out(deflateBound(&zs, data.size()), '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    int ret = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    if (ret != Z_STREAM_END)
        throw std::runtime_error("deflate");
    return out;
}

std::uint32_t Crc(std::string_view data)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

} // namespace

std::string RawDeflate(std::string_view data, int level)
{
    return Deflate(data, level, -15);
}

std::string ZlibDeflate(std::string_view data, int level)
{
    return Deflate(data, level, 15);
}

std::string ZlibDeflateWithDictionary(std::string_view data, std::string_view dictionary)
{
    return Deflate(data, 9, 15, dictionary);
}

std::string RawDeflateZeros(std::uint64_t zeros, std::string_view tail)
{
    // After a full flush the compressor starts afresh on a byte boundary, so every flushed segment
    // of zeros comes out as the same bytes: one segment is compressed and repeated.
    constexpr std::size_t Segment = std::size_t{1} << 24;
    const std::string block(Segment, '\0');
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    auto run = [&zs](std::string_view in, int flush) {
        std::string out;
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        zs.avail_in = static_cast<uInt>(in.size());
        char buffer[65536];
        do {
            zs.next_out = reinterpret_cast<Bytef*>(buffer);
            zs.avail_out = sizeof buffer;
            deflate(&zs, flush);
            out.append(buffer, sizeof buffer - zs.avail_out);
        } while (zs.avail_out == 0 || zs.avail_in > 0);
        return out;
    };
    std::string result;
    if (zeros >= Segment) {
        const std::string segment = run(block, Z_FULL_FLUSH);
        result.reserve(segment.size() * (zeros / Segment) + tail.size() + 64);
        for (std::uint64_t i = 0; i < zeros / Segment; ++i)
            result += segment;
    }
    std::string last(static_cast<std::size_t>(zeros % Segment), '\0');
    last.append(tail);
    result += run(last, Z_FINISH);
    deflateEnd(&zs);
    return result;
}

TZipBuilder& TZipBuilder::Add(TZipMember member)
{
    FMembers.push_back(std::move(member));
    return *this;
}

TZipBuilder& TZipBuilder::Stored(std::string name, std::string content)
{
    return Add(TZipMember(std::move(name), std::move(content)));
}

TZipBuilder& TZipBuilder::Deflated(std::string name, std::string content)
{
    return Add(TZipMember(std::move(name), std::move(content), 8));
}

TZipBuilder& TZipBuilder::Prefix(std::string bytes)
{
    FPrefix = std::move(bytes);
    return *this;
}

TZipBuilder& TZipBuilder::WithoutCentralDirectory()
{
    FCentralDirectory = false;
    return *this;
}

TZipBuilder& TZipBuilder::Zip64()
{
    FZip64 = true;
    return *this;
}

std::string TZipBuilder::Bytes() const
{
    std::string out = FPrefix;
    std::string central;
    for (const TZipMember& m : FMembers) {
        const std::string data = m.Data ? *m.Data : m.Method == 8 ? RawDeflate(m.Content) : m.Content;
        const std::uint32_t crc = Crc(m.Content);
        const std::uint16_t flags = static_cast<std::uint16_t>(m.Flags | (m.DataDescriptor ? 0x0008 : 0));
        const std::uint32_t compressed = m.CompressedSize.value_or(m.DataDescriptor ? 0 : data.size());
        const std::uint32_t uncompressed = m.UncompressedSize.value_or(m.DataDescriptor ? 0 : m.Content.size());
        const auto offset = static_cast<std::uint32_t>(out.size());
        const std::string localExtra =
            FZip64 ? Zip64Extra({m.Content.size(), data.size()}) + m.Extra : m.Extra;

        out += "PK\x03\x04";
        Put16(out, FZip64 ? 45 : 20); // version needed to extract
        Put16(out, flags);
        Put16(out, m.Method);
        Put16(out, 0x6000); // 12:00
        Put16(out, 0x5821); // 2024-01-01
        Put32(out, m.DataDescriptor ? 0 : crc);
        Put32(out, FZip64 ? Zip64Marker : compressed);
        Put32(out, FZip64 ? Zip64Marker : uncompressed);
        Put16(out, m.NameLength.value_or(static_cast<std::uint16_t>(m.Name.size())));
        Put16(out, static_cast<std::uint32_t>(localExtra.size()));
        out += m.Name;
        out += localExtra;
        out += data;
        if (m.DataDescriptor) {
            out += "PK\x07\x08";
            Put32(out, crc);
            Put32(out, static_cast<std::uint32_t>(data.size()));
            Put32(out, static_cast<std::uint32_t>(m.Content.size()));
        }

        const std::string centralExtra = FZip64 ? Zip64Extra({m.Content.size(), data.size(), offset}) : "";
        central += "PK\x01\x02";
        Put16(central, FZip64 ? 45 : 20); // version made by
        Put16(central, FZip64 ? 45 : 20);
        Put16(central, flags);
        Put16(central, m.Method);
        Put16(central, 0x6000);
        Put16(central, 0x5821);
        Put32(central, crc);
        Put32(central, FZip64 ? Zip64Marker : static_cast<std::uint32_t>(data.size()));
        Put32(central, FZip64 ? Zip64Marker : static_cast<std::uint32_t>(m.Content.size()));
        Put16(central, static_cast<std::uint32_t>(m.Name.size()));
        Put16(central, static_cast<std::uint32_t>(centralExtra.size()));
        Put16(central, 0); // comment
        Put16(central, 0); // disk
        Put16(central, 0); // internal attributes
        Put32(central, 0); // external attributes
        Put32(central, FZip64 ? Zip64Marker : offset);
        central += m.Name;
        central += centralExtra;
    }
    if (FCentralDirectory) {
        const auto centralOffset = static_cast<std::uint32_t>(out.size());
        out += central;
        if (FZip64) {
            const std::uint64_t recordOffset = out.size();
            out += "PK\x06\x06";
            Put64(out, 44); // size of the rest of the record
            Put16(out, 45);
            Put16(out, 45);
            Put32(out, 0);
            Put32(out, 0);
            Put64(out, FMembers.size());
            Put64(out, FMembers.size());
            Put64(out, central.size());
            Put64(out, centralOffset);
            out += "PK\x06\x07";
            Put32(out, 0);
            Put64(out, recordOffset);
            Put32(out, 1);
        }
        out += "PK\x05\x06";
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, FZip64 ? 0xFFFF : static_cast<std::uint32_t>(FMembers.size()));
        Put16(out, FZip64 ? 0xFFFF : static_cast<std::uint32_t>(FMembers.size()));
        Put32(out, FZip64 ? Zip64Marker : static_cast<std::uint32_t>(central.size()));
        Put32(out, FZip64 ? Zip64Marker : centralOffset);
        Put16(out, 0);
    }
    return out;
}

void TZipBuilder::WriteTo(const std::string& path) const
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = Bytes();
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file.flush())
        throw std::runtime_error("cannot write " + path);
}

std::vector<std::pair<std::string, std::string>> ZipSeeds()
{
    std::vector<std::pair<std::string, std::string>> seeds;
    seeds.emplace_back("stored-and-deflated.zip", TZipBuilder()
                                                      .Stored("Docs/Readme.TXT", "plain text")
                                                      .Deflated("docs/data.bin", std::string(300, 'z') + "needle")
                                                      .Stored("Docs/", "")
                                                      .Bytes());
    seeds.emplace_back("case-duplicates.zip",
                       TZipBuilder().Stored("A.txt", "first").Deflated("a.TXT", "second").Bytes());
    seeds.emplace_back("utf8-and-oem-names.zip",
                       TZipBuilder()
                           .Add(TZipMember("\xD0\x96/\xC3\xA9.txt", "utf8").WithFlags(0x0800))
                           .Stored("\x8F\xE0\xA8.txt", "oem")
                           .Bytes());
    seeds.emplace_back("other-methods.zip", TZipBuilder()
                                                .Add(TZipMember("m12.bin", "bzip2?", 12))
                                                .Add(TZipMember("m14.bin", "lzma?", 14))
                                                .Bytes());
    seeds.emplace_back("data-descriptor.zip", TZipBuilder()
                                                  .Stored("before.txt", "x")
                                                  .Add(TZipMember("dd.txt", "desc", 8).WithDataDescriptor())
                                                  .Stored("after.txt", "y")
                                                  .Bytes());
    // 1 MiB of zeros recorded as 4 KiB: the recorded size is the bound.
    TZipMember bomb("zeros", std::string(1 << 20, '\0'), 8);
    seeds.emplace_back("bomb.zip", TZipBuilder().Add(bomb.WithUncompressedSize(4096)).Bytes());
    seeds.emplace_back("long-name.zip", TZipBuilder().Stored(std::string(200, 'N'), "long").Bytes());
    seeds.emplace_back("self-extractor.zip", TZipBuilder().Prefix("MZ stub").Stored("x.txt", "x").Bytes());
    return seeds;
}

} // namespace trovex
