// SPDX-License-Identifier: MIT
#include "support/MixedTree.h"

#include <random>

#include "support/PdfBuilder.h"
#include "support/ZipBuilder.h"

namespace trovex::test
{
namespace
{

std::string Utf16(std::string_view ascii)
{
    std::string out;
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

std::string Filler(std::mt19937& random, std::size_t size)
{
    static const char alphabet[] = "abcdefghijklmnopqrstuvwxyz      \n";
    std::string text(size, ' ');
    for (char& c : text)
        c = alphabet[random() % (sizeof alphabet - 1)];
    return text;
}

} // namespace

void BuildMixedTree(TTempTree& tree, unsigned seed, int folders)
{
    std::mt19937 random(seed);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::string needle = MixedNeedle;
    std::vector<std::string> made{""};
    for (int f = 0; f < folders; ++f) {
        // A new folder below one made before: deep chains and wide levels both occur.
        const std::string parent = made[static_cast<std::size_t>(pick(static_cast<int>(made.size())))];
        if (parent.size() > 60)
            continue;
        const std::string folder = parent + (pick(2) ? "Dir" : "sub") + std::to_string(f) + (pick(4) ? "" : ".d") + "/";
        tree.AddFolder(folder);
        made.push_back(folder);
        const int files = pick(4) == 0 ? 0 : 1 + pick(12);
        for (int i = 0; i < files; ++i) {
            const std::string base = folder + "f" + std::to_string(i);
            switch (pick(10)) {
            case 0: { // a large file, the needle near its end or across a 64 KiB border
                std::string text = Filler(random, 65536 * (1 + static_cast<std::size_t>(pick(3))) + 100);
                if (pick(2))
                    text.replace(65536 - 3, needle.size(), needle);
                tree.AddFile(base + ".txt", text);
                break;
            }
            case 1:
                tree.AddFile(base + ".pdf", TPdfBuilder()
                                                .Object("<< /Type /Catalog >>")
                                                .FlateStream(PageContent(pick(2) ? "page " + needle : "page plain"))
                                                .Bytes());
                break;
            case 2: { // deflated and stored members; the needle in one of them, or none
                TZipBuilder zip;
                zip.Deflated("docs/a.txt", Filler(random, 300));
                if (pick(2))
                    zip.Stored("b.TXT", "member " + needle + " text");
                zip.Deflated("c.log", pick(2) ? needle : "nothing");
                zip.WriteTo(tree.Path(base + ".zip"));
                break;
            }
            case 3: // damaged: a truncated archive, a PDF whose stream does not inflate
                tree.AddFile(base + ".zip", TZipBuilder().Deflated("x.txt", needle).Bytes().substr(0, 25));
                tree.AddFile(base + "b.pdf", TPdfBuilder().FlateStream("", "\n", "x\x9C garbage " + needle).Bytes());
                break;
            case 4:
                tree.AddFile(base + ".dat", Utf16("wide " + needle + " text"));
                break;
            case 5:
                tree.AddFile(base + ".txt", Filler(random, 200) + needle + " " + MixedExcluded);
                break;
            case 6:
                tree.AddFile(base + (pick(2) ? ".TXT" : ""), std::string());
                break;
            case 7:
                tree.AddFile(folder + "name" + needle + std::to_string(i) + ".txt", "no text inside");
                break;
            default:
                tree.AddFile(base + ".txt", Filler(random, static_cast<std::size_t>(pick(4000))) +
                                                (pick(3) == 0 ? needle : std::string("plain")));
            }
        }
        // Links, FIFOs and names that are no UTF-8 exist only on POSIX systems.
        switch (OnWindows ? 7 : pick(8)) {
        case 0: tree.AddLink(folder + "tofile.txt", "f0.txt"); break;
        case 1: tree.AddLink(folder + "dangling.txt", "gone/nowhere"); break;
        case 2: tree.AddLink(folder + "up", ".."); break; // a loop, if links were followed
        case 3: MakeFifo(tree.Path(folder + "pipe.txt")); break;
        case 4: tree.AddFile(folder + "bad\xff\xfe-" + needle + ".txt", needle); break;
        default: break;
        }
    }
    for (int i = 0; i < 12; ++i)
        tree.AddFile("r" + std::to_string(i) + ".txt", i % 2 ? "root " + needle : std::string("root"));
    // One folder far larger than a batch, with mixed content.
    for (int i = 0; i < 700; ++i)
        tree.AddFile("wide/w" + std::to_string(i) + (i % 7 == 0 ? ".dat" : ".txt"),
                     i % 5 == 0 ? Filler(random, 100) + needle : Filler(random, 100));
}

} // namespace trovex::test
