// SPDX-License-Identifier: MIT
// Fuzz target for the document reader, over the same bytes read as each kind of document. Beyond
// "no crash and no hang" it checks that nothing but the reader's own ending escapes, that a second
// pass from the start gives the same text (the searcher rewinds for each search), and that the
// text stays within the inflate bound plus the line feeds that begin the text and end each part.
#include "readers/uDocText.h"
#include "readers/uPDFtext.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{

std::string ReadAll(trovex::TDocTextStream& stream)
{
    std::string text;
    char buffer[65536];
    stream.Seek(0);
    for (;;) {
        const std::size_t got = stream.Read(buffer, sizeof buffer);
        text.append(buffer, got);
        if (got < sizeof buffer)
            return text;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trovex;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    for (TDocKind kind : {dkWordProcessing, dkSpreadsheet, dkPresentation, dkOpenDocument}) {
        TDocTextStream stream(std::make_unique<TMemoryStream>(bytes), bytes.size(), kind);
        const std::string first = ReadAll(stream);
        const bool damaged = stream.Damaged();
        const std::size_t parts = stream.PartNames().size();
        if (first.size() > PdfInflateBudget(size) + parts + 1)
            std::abort();
        if (ReadAll(stream) != first || stream.Damaged() != damaged)
            std::abort();
    }
    return 0;
}
