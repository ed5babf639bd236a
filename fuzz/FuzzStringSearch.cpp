// SPDX-License-Identifier: MIT
// Fuzz target for the content matcher: the fast search, with the scan method the input picks, must
// report the same hit and the same context as the plain Horspool loop kept with the tests.
// Input: byte 0 = flags (bit 0 case-sensitive, bits 1-5 code-page set, bit 6 push the content to the
// end of the first chunk), byte 1 = pattern length (bits 0-4) and scan method (bits 5-6), then the
// pattern (UTF-8, valid or not), then the content.
#include "../tests/search/ReferenceSearch.h"
#include "platform/CodePage.h"
#include "platform/Stream.h"
#include "search/StringSearch.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace
{

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// So that the fuzzer reaches the 65,536-byte boundary without growing huge inputs.
constexpr std::size_t ChunkEdgePad = 65536 - 24;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trovex;
    static const bool init = (InitCodePages(1251, 866), true);
    (void)init;
    if (size < 2)
        return 0;
    const bool caseSensitive = (data[0] & 1) != 0;
    const TCodePages pages = (data[0] >> 1) & 31;
    const bool pad = (data[0] & 0x40) != 0;
    const std::size_t patternLength = std::min<std::size_t>(data[1] & 31, size - 2);
    const auto method = static_cast<TScanMethod>((data[1] >> 5) & 3);
    const std::string pattern(reinterpret_cast<const char*>(data + 2), patternLength);
    std::string content(pad ? ChunkEdgePad : 0, ' ');
    content.append(reinterpret_cast<const char*>(data + 2 + patternLength), size - 2 - patternLength);

    const reference::TResult expected = reference::TReferenceSearch(pattern, caseSensitive, pages).Search(content);
    TMemoryStream stream(content);
    TStringSearch search(&stream);
    search.SetCaseSensitive(caseSensitive);
    search.SetCodePages(pages);
    search.SetPattern(pattern);
    search.SetScanMethod(method);
    const bool found = search.Search();
    Check(found == expected.Found);
    Check(found != search.NotFound());
    Check(search.FoundText() == expected.Context);
    return 0;
}
