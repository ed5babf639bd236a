// SPDX-License-Identifier: MIT
// Fuzz target for the PDF text layer (objects, cross-references, filters, fonts, content streams).
// Beyond "no crash and no hang" it checks what the search relies on: only EPdfError or EReadError
// escapes (no cancel flag is given, so never ETerminated); the text is valid UTF-8 and within
// TextLimit; the page of each offset never goes back (the text outside the pages, page 0, comes
// last); and reading again after a Seek gives the same text from there on.
#include "platform/CodePage.h"
#include "platform/Stream.h"
#include "readers/PdfTextLayer.h"
#include "readers/uPDFtext.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace
{

bool ValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = trovex::Utf8CharLen(s, i);
        if (n == 1 && static_cast<unsigned char>(s[i]) >= 0x80)
            return false;
        i += n;
    }
    return true;
}

// Page 0 (outside the pages) comes after every page.
std::uint64_t PageOrder(int page)
{
    return page == 0 ? UINT64_MAX : static_cast<std::uint64_t>(page);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trovex;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        TPdfTextStream stream(bytes);
        // Odd-sized reads, so pieces and pages are crossed in the middle.
        std::string text;
        char buffer[1000];
        std::uint64_t lastOrder = 0;
        while (const std::size_t n = stream.Read(buffer, sizeof buffer - (text.size() % 7))) {
            for (const std::uint64_t at : {text.size(), text.size() + n - 1}) {
                const int page = stream.PageAt(at);
                if (page < 0 || PageOrder(page) < lastOrder)
                    std::abort();
                lastOrder = PageOrder(page);
            }
            text.append(buffer, n);
            if (text.size() > TPdfTextStream::TextLimit)
                std::abort();
        }
        if (!ValidUtf8(text))
            std::abort();
        if (stream.Locked() && !text.empty())
            std::abort();
        if (!text.empty()) {
            const std::uint64_t middle = text.size() / 2;
            stream.Seek(middle);
            std::string rest;
            while (const std::size_t n = stream.Read(buffer, sizeof buffer))
                rest.append(buffer, n);
            if (rest != std::string_view(text).substr(middle))
                std::abort();
        }
    } catch (const EPdfError&) {
    } catch (const EReadError&) {
    }
    return 0;
}
