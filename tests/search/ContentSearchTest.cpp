// SPDX-License-Identifier: MIT
// The engine's content test end to end: plain files in several code pages, ZIP members and PDF
// text, through real files in a temporary tree.
#include "search/FindFile.h"

#include <map>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/PdfBuilder.h"
#include "support/TempTree.h"
#include "support/ZipBuilder.h"

using namespace trovex;
using trovex::test::TTempTree;

namespace
{

using L = std::vector<std::string>;

struct TCriteria
{
    std::string Mask = "*.*";
    std::string Containing;
    std::string Excluding;
    bool CaseSensitive = false;
    TCodePages CodePages = cpWindows;
    bool InZip = false;
};

// name -> FoundText of every file the run reported.
std::map<std::string, std::string> Search(const TTempTree& tree, const TCriteria& c, std::string* error = nullptr)
{
    TFindFile engine;
    engine.SetMask(c.Mask);
    engine.SetFolder(tree.Root());
    engine.ContainingText = c.Containing;
    engine.ExcludedText = c.Excluding;
    engine.CaseSensitive = c.CaseSensitive;
    engine.CodePages = c.CodePages;
    engine.InZip = c.InZip;
    std::map<std::string, std::string> found;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) {
        found[trovex::test::Slashed(info.FileName.substr(tree.Root().size()))] = info.FoundText;
    };
    engine.RunHere();
    if (error)
        *error = engine.ErrorMessage();
    return found;
}

L Names(const std::map<std::string, std::string>& found)
{
    L names;
    for (const auto& [name, text] : found)
        names.push_back(name);
    return names;
}

std::string Cp1251(std::initializer_list<int> bytes)
{
    std::string s;
    for (int b : bytes)
        s.push_back(static_cast<char>(b));
    return s;
}

} // namespace

TEST(ContentSearchTest, ContainAndExcludeVerdicts)
{
    TTempTree tree;
    tree.AddFile("both.txt", "alpha and omega");
    tree.AddFile("contain.txt", "line one\nalpha here\nline three");
    tree.AddFile("exclude.txt", "only omega");
    tree.AddFile("neither.txt", "nothing");
    tree.AddFolder("alpha-folder");

    struct Case { const char* containing; const char* excluding; L found; };
    const Case cases[] = {
        {"alpha", "", L{"both.txt", "contain.txt"}},
        {"alpha", "omega", L{"contain.txt"}},
        {"", "omega", L{"contain.txt", "neither.txt"}}, // folders never pass a text criterion
        {"ALPHA", "", L{"both.txt", "contain.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.containing) + " / " + c.excluding);
        TCriteria criteria;
        criteria.Mask = "*";
        criteria.Containing = c.containing;
        criteria.Excluding = c.excluding;
        auto found = Search(tree, criteria);
        EXPECT_EQ(Names(found), c.found);
    }
    TCriteria criteria;
    criteria.Containing = "alpha";
    criteria.Excluding = "omega";
    EXPECT_EQ(Search(tree, criteria)["contain.txt"], "line one\nalpha here\nline three"); // from the first byte
    criteria.Containing.clear();
    EXPECT_EQ(Search(tree, criteria)["neither.txt"], ""); // the empty contain text
}

// The name shortcut: a name holding the text is reported unread, even with the excluded text in it.
TEST(ContentSearchTest, NameHoldingTheTextIsReportedUnread)
{
    TTempTree tree;
    tree.AddFile("Alpha-notes.txt", "omega only");
    TCriteria criteria;
    criteria.Containing = "alpha";
    criteria.Excluding = "omega";
    auto found = Search(tree, criteria);
    EXPECT_EQ(Names(found), (L{"Alpha-notes.txt"}));
    EXPECT_EQ(found["Alpha-notes.txt"], "alpha"); // the contain text stands in for a context
}

// Files that cannot be read (here: devices, FIFOs, dangling links) are passed over silently and
// never block the walk.
TEST(ContentSearchTest, UnreadableEntriesArePassedOver)
{
    TROVEX_SKIP_ON_WINDOWS("no FIFOs, no symbolic links by symlink(), no /dev/zero");
    TTempTree tree;
    tree.AddFile("good.txt", "needle");
    tree.AddLink("dangling.txt", tree.Path("gone"));
    tree.AddLink("device.txt", "/dev/zero");
    const std::string fifo = tree.Path("pipe.txt");
    ASSERT_TRUE(trovex::test::MakeFifo(fifo));
    TCriteria criteria;
    criteria.Containing = "needle";
    std::string error;
    auto found = Search(tree, criteria, &error);
    EXPECT_EQ(Names(found), (L{"good.txt"}));
    EXPECT_EQ(error, "");
}

// One typed text, found in each code page only when that page is asked for, with the context
// converted back to UTF-8.
TEST(ContentSearchTest, CodePagesDecideWhereCyrillicIsFound)
{
    TTempTree tree;
    // "Щегол" in four encodings, each in its own file, with a context around it.
    tree.AddFile("cp1251.txt", "<" + Cp1251({0xD9, 0xE5, 0xE3, 0xEE, 0xEB}) + ">");
    tree.AddFile("cp866.txt", "<" + Cp1251({0x99, 0xA5, 0xA3, 0xAE, 0xAB}) + ">");
    tree.AddFile("koi8.txt", "<" + Cp1251({0xFD, 0xC5, 0xC7, 0xCF, 0xCC}) + ">");
    tree.AddFile("utf8.txt", "<Щегол>");
    tree.AddFile("utf16.txt", std::string("<\0)\x04\x35\x04\x33\x04\x3E\x04\x3B\x04>\0", 14));

    struct Case { const char* pattern; TCodePages pages; bool caseSensitive; L found; };
    const Case cases[] = {
        {"щегол", cpWindows, false, L{"cp1251.txt"}},
        {"щегол", cpDos, false, L{"cp866.txt"}},
        {"щегол", cpKoi8r, false, L{"koi8.txt"}},
        {"щегол", cpUtf8, false, L{"utf8.txt"}},
        {"щегол", cpUnicode, false, L{"utf16.txt"}},
        {"щегол", cpKoi8r, true, L{}}, // case counts: the file has a capital Щ
        {"Щегол", cpKoi8r, true, L{"koi8.txt"}},
        {"щегол", cpAll, false, L{"cp1251.txt", "cp866.txt", "koi8.txt", "utf16.txt", "utf8.txt"}},
        {"щегол", 0, false, L{"cp1251.txt"}}, // no page chosen means Windows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " pages " + std::to_string(c.pages));
        TCriteria criteria;
        criteria.Containing = c.pattern;
        criteria.CodePages = c.pages;
        criteria.CaseSensitive = c.caseSensitive;
        auto found = Search(tree, criteria);
        EXPECT_EQ(Names(found), c.found);
        for (const auto& [name, context] : found)
            EXPECT_EQ(context, "<Щегол>") << name; // the file's first byte or unit is context too
    }
}

// A word only inside a ZIP member or only inside a PDF's compressed page: the archive or the
// document itself is reported.
TEST(ContentSearchTest, FindsTextInsideArchivesAndDocuments)
{
    TTempTree tree;
    TZipBuilder()
        .Stored("readme.txt", "nothing to see")
        .Deflated("Docs/Inner.TXT", "the Vorpalzine is here")
        .WriteTo(tree.Path("bundle.zip"));
    TZipBuilder().Deflated("other.txt", "plain").WriteTo(tree.Path("other.zip"));
    tree.AddFile("fake.zip", "not an archive but mentions Vorpalzine");
    tree.AddFile("doc.pdf", TPdfBuilder().FlateStream(PageContent("Glimmerfax page")).Bytes());
    tree.AddFile("broken.pdf", TPdfBuilder().FlateStream("", "\n", "this is not zlib data").Bytes());

    TCriteria criteria;
    criteria.Mask = "*.txt";
    criteria.Containing = "vorpalzine";
    criteria.InZip = true;
    auto found = Search(tree, criteria);
    EXPECT_EQ(Names(found), (L{"bundle.zip"}));
    EXPECT_EQ(found["bundle.zip"], "the Vorpalzine is here"); // the context comes from the member

    criteria.Containing.clear(); // members fitting the masks are enough
    EXPECT_EQ(Names(Search(tree, criteria)), (L{"bundle.zip", "other.zip"}));

    criteria.Mask = "*.*"; // the last mask "*.*" never opens archives
    criteria.Containing = "vorpalzine";
    EXPECT_EQ(Names(Search(tree, criteria)), (L{"fake.zip"}));

    criteria.Mask = "*.txt";
    criteria.InZip = false;
    EXPECT_EQ(Names(Search(tree, criteria)), (L{}));

    criteria.Mask = "*.pdf";
    criteria.Containing = "GLIMMERFAX";
    auto pdfs = Search(tree, criteria);
    EXPECT_EQ(Names(pdfs), (L{"doc.pdf"}));
    EXPECT_EQ(pdfs["doc.pdf"], "Glimmerfax page");
}

// A member's name fits a mask whatever the case of its letters, as a file's name does: masks are
// lower-cased with all letters, so a name typed exactly as the archive holds it must be found. It is
// the member's own name that fits, not its folder's: a search by name stops listing an archive at
// the first member that fits, and a folder inside it that looks like a fit must not stop it.
TEST(ContentSearchTest, ArchiveMemberNamesFitMasks)
{
    TTempTree tree;
    TZipBuilder().Add(TZipMember("Dir/\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt", "hit").WithFlags(0x0800))
        .WriteTo(tree.Path("utf8.zip")); // Привет.txt, UTF-8 name
    TZipBuilder().Stored("\x84\x8E\x8C\\\x8F\xA8\xE1\xEC\xAC\xAE.TXT", "hit").WriteTo(tree.Path("oem.zip")); // ДОМ\Письмо.TXT
    TZipBuilder().Add(TZipMember("\xC3\x89" "COLE.txt", "hit").WithFlags(0x0800)).WriteTo(tree.Path("latin.zip")); // ÉCOLE.txt
    TZipBuilder().Stored("plain.txt", "hit").WriteTo(tree.Path("ascii.zip"));
    TZipBuilder().Stored("notes.txt/readme", "hit").Stored("a.log", "hit").Stored("notes.md", "hit")
        .WriteTo(tree.Path("folders.zip"));

    struct Case { const char* mask; L found; };
    const Case cases[] = {
        {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt", L{"utf8.zip"}}, // Привет.txt as stored
        {"\xD0\xBF\xD1\x80*", L{"utf8.zip"}},                                    // пр*
        {"\xD0\x9F\xD0\x98\xD0\xA1\xD0\xAC\xD0\x9C\xD0\x9E.*", L{"oem.zip"}},    // ПИСЬМО.*
        {"\xC3\xA9" "cole.txt", L{"latin.zip"}},                                 // école.txt
        {"\xD0\xB4\xD0\xBE\xD0\xBC*", L{}}, // дом*: the folder's name is not the member's
        {"PLAIN.TXT", L{"ascii.zip"}},
        {"notes*", L{"folders.zip"}}, // notes.md, not the folder notes.txt met first
        {"*.txt", L{"ascii.zip", "latin.zip", "oem.zip", "utf8.zip"}},
        {"readme", L{"folders.zip"}},
        {"*.doc;*.log", L{"folders.zip"}},
        {"*.doc;*.rtf", L{}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mask);
        TCriteria criteria;
        criteria.Mask = c.mask;
        criteria.InZip = true;
        EXPECT_EQ(Names(Search(tree, criteria)), c.found);
        criteria.Containing = "hit";
        EXPECT_EQ(Names(Search(tree, criteria)), c.found);
    }
}

// In list mode a file that cannot be read ends the whole run with an error.
TEST(ContentSearchTest, ListRunEndsAtAReadError)
{
    TTempTree tree;
    const std::string a = tree.AddFile("a.txt", "needle");
    // A PDF whose text cannot be had is a file that cannot be read (a link to nothing merely does not match).
    const std::string bad = tree.AddFile("b.pdf", "%PDF-1.4\n1 0 obj\nstream\nabc\nendstream\n");
    const std::string c = tree.AddFile("c.txt", "needle");
    TFindFile engine;
    engine.SetMask("*.txt;*.pdf");
    engine.ContainingText = "needle";
    L found;
    int done = 0;
    engine.OnFound = [&](TFindFile&, const TFindFileInfo& info) { found.push_back(info.FileName); };
    engine.OnSearchDone = [&](TFindFile&) { ++done; };
    engine.StartInList({a, bad, c});
    engine.WaitFor();
    EXPECT_EQ(found, (L{a}));
    EXPECT_EQ(done, 1);
    EXPECT_EQ(engine.ErrorClass(), "EPdfError");
}

// Many files in one folder are tested ahead of the walk on a second thread; the verdicts, their
// order and the contexts must be exactly those of testing one file after the other.
TEST(ContentSearchTest, VerdictsOfAFullFolderKeepTheirOrder)
{
    TTempTree tree;
    L expected;
    std::map<std::string, std::string> contexts;
    for (int i = 0; i < 300; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f%03d.txt", i);
        switch (i % 5) {
        case 0: { // contains the text, after a line of growing length
            const std::string content = std::string(i, 'x') + "\nkey " + std::to_string(i) + " needle";
            tree.AddFile(name, content);
            expected.push_back(name);
            // 55 positions before the hit's last byte, the file's first byte among them
            contexts[name] = content.substr(content.size() > 56 ? content.size() - 56 : 0);
            break;
        }
        case 1: // contains both texts
            tree.AddFile(name, "needle and veto");
            break;
        case 2: // unreadable
            tree.AddUnreadable(name);
            break;
        case 3: // large, with the text in a later chunk; some large enough for the second core
            tree.AddFile(name, std::string(i % 50 == 3 ? 600000 : 70000, 'y') + "needle");
            expected.push_back(name);
            contexts[name] = std::string(50, 'y') + "needle";
            break;
        default: // nothing
            tree.AddFile(name, "hay");
        }
    }
    TFindFile engine;
    engine.SetMask("*.txt");
    engine.SetFolder(tree.Root());
    engine.ContainingText = "needle";
    engine.ExcludedText = "veto";
    L found;
    int pauses = 0;
    engine.OnFound = [&](TFindFile& e, const TFindFileInfo& info) {
        found.push_back(info.Name);
        EXPECT_EQ(info.FoundText, contexts[info.Name]) << info.Name;
        if (found.size() % 40 == 0)
            e.Pause();
    };
    engine.Start();
    while (!engine.Finished()) {
        engine.Queue().WaitAndDrain(std::chrono::milliseconds(5));
        if (engine.Paused()) {
            ++pauses;
            engine.Continue();
        }
    }
    engine.WaitFor();
    EXPECT_EQ(found, expected);
    EXPECT_EQ(pauses, 3);
}
