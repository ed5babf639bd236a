// SPDX-License-Identifier: MIT
// Fuzz target for the ZIP reader: open the bytes, list, unpack every entry. Beyond "no crash and no
// read outside the input" it checks that the listing is sorted and unique without regard to case,
// that every entry is found again by its upper-case spelling, and that no member grows past what
// deflate can produce from the whole input.
#include "platform/CodePage.h"
#include "readers/UnZipLib.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

namespace
{

constexpr std::size_t MaxDeflateRatio = 1032;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string AsciiUpper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trovex;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TZipFile zip;
    try {
        zip.OpenBytes(bytes);
    } catch (const EErrorInZip&) {
        Check(size == 0); // only empty input may fail to open
        return 0;
    }
    const auto& entries = zip.Entries();
    for (std::size_t i = 1; i < entries.size(); ++i)
        Check(Utf8Lower(entries[i - 1]) < Utf8Lower(entries[i]));
    for (const std::string& entry : entries) {
        const std::string content = zip.UnzipFileToBuffer(entry);
        Check(content.size() <= size * MaxDeflateRatio + 1024);
        Check(zip.UnzipFileToBuffer(AsciiUpper(entry)) == content);
        // Read as a stream in uneven pieces (the searcher's way), the member gives the same bytes,
        // or fails where unpacking it whole gave nothing.
        std::unique_ptr<TZipMemberStream> member = zip.OpenMember(entry);
        std::string streamed;
        char piece[7919];
        for (std::size_t step = 1;; step = step * 3 % sizeof piece + 1) {
            const std::size_t got = member->Read(piece, step);
            streamed.append(piece, got);
            if (got < step)
                break;
        }
        Check(member->Failed() ? content.empty() : streamed == content);
    }
    return 0;
}
