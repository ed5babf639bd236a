// SPDX-License-Identifier: MIT
// Fuzz target for the PDF text extractor. Beyond "no crash and no hang" it checks that a document
// either gives text or fails with EPdfError (nothing else escapes), and that the text never exceeds
// the input plus the inflate bound: each byte is collected at most once and inflation is capped.
#include "readers/uPDFtext.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trovex;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const TPDF2Text pdf = TPDF2Text::FromBytes(bytes);
        if (pdf.Text().size() > size + PdfInflateBudget(size))
            std::abort();
    } catch (const EPdfError&) {
    }
    return 0;
}
