// SPDX-License-Identifier: MIT
#include "support/PdfBuilder.h"

#include "support/ZipBuilder.h"

namespace trovex
{

TPdfBuilder& TPdfBuilder::Raw(std::string bytes)
{
    FBody += bytes;
    return *this;
}

TPdfBuilder& TPdfBuilder::Object(std::string body)
{
    FBody += std::to_string(FNext++) + " 0 obj\n" + body + "\nendobj\n";
    return *this;
}

TPdfBuilder& TPdfBuilder::FlateStream(const std::string& content, const std::string& beforeEnd,
                                      const std::string& data)
{
    const std::string bytes = data.empty() ? ZlibDeflate(content) : data;
    FBody += std::to_string(FNext++) + " 0 obj\n<< /Length " + std::to_string(bytes.size()) +
             " /Filter /FlateDecode >>\nstream\n" + bytes + beforeEnd + "endstream\nendobj\n";
    return *this;
}

TPdfBuilder& TPdfBuilder::PlainStream(const std::string& content)
{
    FBody += std::to_string(FNext++) + " 0 obj\n<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
             content + "\nendstream\nendobj\n";
    return *this;
}

std::string TPdfBuilder::Bytes() const
{
    return "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n" + FBody + "trailer\n<< /Size " + std::to_string(FNext) + " /Info " +
           std::to_string(FNext - 1) + " 0 R >>\n%%EOF\n";
}

std::string PageContent(const std::string& text)
{
    return "BT /F1 12 Tf 72 712 Td (" + text + ") Tj ET\n";
}

std::vector<std::pair<std::string, std::string>> PdfSeeds()
{
    std::vector<std::pair<std::string, std::string>> seeds;
    seeds.emplace_back("flate-page.pdf", TPdfBuilder()
                                             .Object("<< /Type /Catalog /Pages 2 0 R >>")
                                             .FlateStream(PageContent("Hello \\(world\\) \\101\\n"))
                                             .Object("<< /Title (Seed title) >>")
                                             .Bytes());
    seeds.emplace_back("plain-and-damaged.pdf", TPdfBuilder()
                                                    .PlainStream(PageContent("plain"))
                                                    .FlateStream("", "\n", "x\x9C garbage")
                                                    .FlateStream(PageContent("after"), "\r\n")
                                                    .Bytes());
    seeds.emplace_back("stream-on-dictionary-line.pdf",
                       TPdfBuilder()
                           .Raw("1 0 obj\n<< /Filter /FlateDecode >> stream\n" + ZlibDeflate(PageContent("hidden")) +
                                "\nendstream\nendobj\n")
                           .Object("<< /Title (t) >>")
                           .Bytes());
    seeds.emplace_back("no-streams.pdf", TPdfBuilder().Object("<< /Title (a(b)c \\1234) >>").Bytes());
    seeds.emplace_back("zero-in-output.pdf",
                       TPdfBuilder().FlateStream(PageContent("kept") + std::string(1, '\0') + "(cut)").Bytes());
    return seeds;
}

} // namespace trovex
