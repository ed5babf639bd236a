// SPDX-License-Identifier: MIT
// Builds small PDF documents for tests and fuzz seeds: numbered objects, content streams deflated
// with zlib or left plain, and raw lines where a test needs a malformed layout.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace trovex
{

class TPdfBuilder
{
public:
    /// Any bytes, written as they are (a line needs its own line end).
    TPdfBuilder& Raw(std::string bytes);
    /// An object whose body is a dictionary or other direct value.
    TPdfBuilder& Object(std::string body);
    /// A content stream object: "<< /Length n /Filter /FlateDecode >>", "stream", the deflated
    /// content, `beforeEnd`, "endstream". `data` replaces the deflated bytes when not empty.
    TPdfBuilder& FlateStream(const std::string& content, const std::string& beforeEnd = "\n",
                             const std::string& data = {});
    /// An uncompressed content stream.
    TPdfBuilder& PlainStream(const std::string& content);

    /// Header, the objects, and a trailer pointing at the last object as /Info.
    std::string Bytes() const;

private:
    int FNext = 1;
    std::string FBody;
};

/// "BT /F1 12 Tf 72 712 Td (text) Tj ET": a page content showing `text`.
std::string PageContent(const std::string& text);

/// Small documents that exercise the extractor's paths; each pair is a file name and its bytes.
std::vector<std::pair<std::string, std::string>> PdfSeeds();

} // namespace trovex
