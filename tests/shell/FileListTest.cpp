// SPDX-License-Identifier: MIT
#include "shell/FileList.h"

#include "shell/DropSourceQt.h"
#include "shell/ShellUtl.h"

#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <random>

namespace trovex
{
namespace
{

// The two names of one folder that a text round trip confuses: 0xFF alone, and U+FFFD's bytes.
const std::string BadByte = "/tmp/d/bad\xff.txt";
const std::string Replacement = "/tmp/d/bad\xef\xbf\xbd.txt";

// A URI keeps each byte of the name: no name is re-encoded through text, so the two names above
// stay two URIs, and '%' itself is escaped.
TEST(FileListTest, PercentEncodingKeepsEveryByte)
{
    struct Case { std::string path; std::string encoded; };
    const Case cases[] = {
        {BadByte, "/tmp/d/bad%FF.txt"},
        {Replacement, "/tmp/d/bad%EF%BF%BD.txt"},
        {"/a/pct%20x.txt", "/a/pct%2520x.txt"},
        {"/two words/#1?&=+;,:@!$'()*.txt", "/two%20words/%231%3F%26%3D%2B%3B%2C%3A%40%21%24%27%28%29%2A.txt"},
        {"/caf\xc3\xa9/A-z_0.9~", "/caf%C3%A9/A-z_0.9~"},
        {std::string("/nul\0x\n\r\t\x7f", 10), "/nul%00x%0A%0D%09%7F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoded);
        EXPECT_EQ(PercentEncodePath(c.path), c.encoded);
        EXPECT_EQ(PercentDecode(c.encoded), c.path);
        EXPECT_EQ(FileUri(c.path), "file://" + c.encoded);
        // Qt carries the URI unchanged to the launcher and the file manager.
        EXPECT_EQ(FileUrl(c.path).toEncoded().toStdString(), "file://" + c.encoded);
    }
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(PercentDecode(PercentEncodePath(all)), all);
    // A '%' without two hex digits after it is not an escape.
    EXPECT_EQ(PercentDecode("100%"), "100%");
    EXPECT_EQ(PercentDecode("%zz%4"), "%zz%4");
    EXPECT_EQ(PercentDecode("%4a%4A"), "JJ");
}

// The three list formats of the clipboard and of a drag, from bytes, and the mime data built of them.
TEST(FileListTest, ListFormatsAndMimeDataCarryBytes)
{
    const std::vector<std::string> paths = {BadByte, "/a b/c.txt"};
    EXPECT_EQ(EncodeFileList(paths, flUriList), "file:///tmp/d/bad%FF.txt\r\nfile:///a%20b/c.txt\r\n");
    EXPECT_EQ(EncodeFileList(paths, flGnomeCopied), "copy\nfile:///tmp/d/bad%FF.txt\nfile:///a%20b/c.txt");
    EXPECT_EQ(EncodeFileList(paths, flGnomeCopied, true), "cut\nfile:///tmp/d/bad%FF.txt\nfile:///a%20b/c.txt");
    EXPECT_EQ(EncodeFileList(paths, flPlainPaths), BadByte + "\n/a b/c.txt");
    EXPECT_EQ(EncodeFileList({}, flUriList), "");

    struct Case { std::uint32_t effect; const char* head; bool kdeCut; };
    for (const Case& c : {Case{deCopy, "copy", false}, Case{deMove, "cut", true}, Case{deCopy | deMove, "copy", false}}) {
        SCOPED_TRACE(c.head);
        std::unique_ptr<QMimeData> data(MakeFileMimeData(paths, c.effect));
        EXPECT_EQ(data->data("text/uri-list").toStdString(), EncodeFileList(paths, flUriList));
        EXPECT_EQ(data->data("x-special/gnome-copied-files").toStdString(),
                  std::string(c.head) + "\nfile:///tmp/d/bad%FF.txt\nfile:///a%20b/c.txt");
        EXPECT_EQ(data->data("text/plain").toStdString(), EncodeFileList(paths, flPlainPaths));
        EXPECT_EQ(data->hasFormat("application/x-kde-cutselection"), c.kdeCut);
        // A Qt target reading the URLs gets the same bytes back.
        ASSERT_EQ(data->urls().size(), 2);
        EXPECT_EQ(data->urls()[0].toEncoded(), QByteArray("file:///tmp/d/bad%FF.txt"));
    }
}

// A path text gives back exactly its bytes, whatever they are; what is shown of it uses U+FFFD, and
// then two different names may look alike.
TEST(FileListTest, PathTextRoundTripsAnyBytes)
{
    const std::string cases[] = {
        "", "/plain/ascii", BadByte, Replacement,
        "\xc3\xa9t\xc3\xa9",            // é: valid two-byte sequences
        "\xf0\x9f\x98\x80",             // a character outside the BMP
        "\xc0\xaf",                     // overlong '/'
        "\xed\xa0\x80\xed\xb2\x80",     // surrogates spelled in UTF-8
        "\xe2\x82",                     // a sequence cut short
        "\xf4\x90\x80\x80",             // past U+10FFFF
        "\x80\xbf\xfe\xff",             // lone continuation bytes and bytes never in UTF-8
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE(PercentEncodePath(bytes));
        EXPECT_EQ(PathBytes(PathText(bytes)), bytes);
        // Shown text is proper UTF-16, with nothing of the escapes.
        EXPECT_TRUE(DisplayPath(bytes).isValidUtf16());
    }
    EXPECT_EQ(PathText("/srv/caf\xc3\xa9"), QStringLiteral("/srv/caf\u00e9"));
    EXPECT_NE(PathText(BadByte), PathText(Replacement));
    EXPECT_EQ(DisplayPath(BadByte), DisplayPath(Replacement));
    // Typed text is UTF-8.
    EXPECT_EQ(PathBytes(QStringLiteral("/srv/caf\u00e9/\U0001F600")), "/srv/caf\xc3\xa9/\xf0\x9f\x98\x80");

    std::mt19937 random(11);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 40);
    for (int i = 0; i < 2000; ++i) {
        std::string bytes;
        for (int n = length(random); n > 0; --n)
            bytes += static_cast<char>(byte(random));
        ASSERT_EQ(PathBytes(PathText(bytes)), bytes) << PercentEncodePath(bytes);
    }
}

} // namespace
} // namespace trovex
