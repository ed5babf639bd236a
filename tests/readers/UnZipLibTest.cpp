// SPDX-License-Identifier: MIT
#include "readers/UnZipLib.h"

#include "platform/CodePage.h"
#include "support/Portable.h"
#include "support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include <sys/stat.h>

namespace trovex
{
namespace
{

namespace fs = std::filesystem;

// A fresh folder under the test temp dir, removed with its files.
class TTempDir
{
public:
    TTempDir()
    {
        FPath = trovex::test::MakeTempFolder("unziptest-");
    }
    ~TTempDir() { fs::remove_all(FPath); }
    std::string File(const std::string& name, const std::string& bytes) const
    {
        std::string path = (FPath / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string Path(const std::string& name) const { return (FPath / name).string(); }

private:
    fs::path FPath;
};

// Every member as listed, with its content.
std::map<std::string, std::string> Unpack(const TZipFile& zip)
{
    std::map<std::string, std::string> out;
    for (const std::string& e : zip.Entries())
        out[e] = zip.UnzipFileToBuffer(e);
    return out;
}

// Whole archives written to disk and read back through Open: the listing rules of the reader.
TEST(UnZipLibTest, ArchivesListAndUnpack)
{
    InitCodePages(1251, 866);
    const std::string text(3000, 'q');
    std::string twoHundred = "Dir/" + std::string(196, 'L');
    const std::string utf8Cut = std::string(125, 'a') + "\xC3\xA9"; // 127 bytes, the cut falls inside é
    TZipBuilder full = TZipBuilder().Stored("one.txt", "1").Deflated("two.txt", "22").Stored("three.txt", "333");
    std::string truncated = full.Bytes();
    truncated.resize(truncated.find("three.txt") + 10 + 1); // inside the last member's data

    struct Case { const char* what; std::string bytes; std::map<std::string, std::string> members; };
    const Case cases[] = {
        {"not a zip with a .zip name", "just some text, not PK at all", {}},
        {"self-extractor: the scan starts at byte 0", TZipBuilder().Prefix("MZ\x90").Stored("a.txt", "a").Bytes(), {}},
        {"case duplicates: the first wins",
         TZipBuilder().Stored("Docs/Report.TXT", "first").Stored("docs/report.txt", "second").Bytes(),
         {{"docs/report.txt", "first"}}},
        {"directory member", TZipBuilder().Stored("Docs/", "").Bytes(), {{"docs/", ""}}},
        {"200-byte name cut to 126", TZipBuilder().Stored(twoHundred, "x").Bytes(),
         {{"dir/" + std::string(122, 'l'), "x"}}},
        {"methods 12 and 14 list with no content",
         TZipBuilder().Add(TZipMember("a.bz2", "BZh", 12)).Add(TZipMember("b.lzma", "LZ", 14)).Bytes(),
         {{"a.bz2", ""}, {"b.lzma", ""}}},
        {"smaller recorded size",
         TZipBuilder().Add(TZipMember("s.txt", text, 8).WithUncompressedSize(10)).Bytes(),
         {{"s.txt", text.substr(0, 10)}}},
        {"a deflated member with a data descriptor is read, and the members after it",
         TZipBuilder()
             .Stored("a.txt", "a")
             .Add(TZipMember("dd.txt", text, 8).WithDataDescriptor())
             .Stored("z.txt", "z")
             .Bytes(),
         {{"a.txt", "a"}, {"dd.txt", text}, {"z.txt", "z"}}},
        {"truncated last member", truncated, {{"one.txt", "1"}, {"two.txt", "22"}}},
        {"compressed size past the end never wraps",
         TZipBuilder().Stored("a.txt", "a").Add(TZipMember("b.txt", "b").WithCompressedSize(0xFFFFFFF0)).Bytes(),
         {{"a.txt", "a"}}},
        {"name longer than the file", TZipBuilder().Add(TZipMember("n").WithNameLength(60000)).Bytes(), {}},
        {"OEM name", TZipBuilder().Stored("\x8F\xE0\xA8\xA2\xA5\xE2.TXT", "oem").Bytes(),
         {{"\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82.txt", "oem"}}}, // привет.txt
        {"UTF-8 name taken as it is",
         TZipBuilder().Add(TZipMember("\xC3\x89t\xC3\xA9/Caf\xC3\xA9.TXT", "u").WithFlags(0x0800)).Bytes(),
         {{"\xC3\xA9t\xC3\xA9/caf\xC3\xA9.txt", "u"}}},
        {"UTF-8 name never cut inside a character",
         TZipBuilder().Add(TZipMember(utf8Cut, "c").WithFlags(0x0800)).Bytes(),
         {{std::string(125, 'a'), "c"}}},
        {"non-ASCII case duplicates",
         TZipBuilder().Stored("\x84\x8E\x8C", "upper").Stored("\xA4\xAE\xAC", "lower").Bytes(),
         {{"\xD0\xB4\xD0\xBE\xD0\xBC", "upper"}}}, // ДОМ then дом: the first wins
        {"name up to a zero byte", TZipBuilder().Stored(std::string("ab\0cd", 5), "z").Bytes(), {{"ab", "z"}}},
        {"DOS separators", TZipBuilder().Stored("Dir\\Sub\\F.txt", "s").Bytes(), {{"dir/sub/f.txt", "s"}}},
        {"damaged deflate data gives empty content",
         TZipBuilder().Add(TZipMember("bad", "xyz", 8).WithData("\xFF\xFF\xFF\xFF")).Bytes(), {{"bad", ""}}},
        // Size 0 in the local header means "not known here" (streaming archivers write it later).
        {"deflated member recorded with size 0 is inflated whole",
         TZipBuilder().Add(TZipMember("e", text, 8).WithUncompressedSize(0)).Bytes(), {{"e", text}}},
        {"size 0 and data that ends early gives empty content",
         TZipBuilder().Add(TZipMember("e", text, 8).WithUncompressedSize(0)
                               .WithData(RawDeflate(text).substr(0, RawDeflate(text).size() / 2))).Bytes(),
         {{"e", ""}}},
        {"extra field skipped",
         TZipBuilder().Add(TZipMember("x.txt", "data").WithExtra(std::string("UT\x05\x00\x01XXXX", 9)))
             .Stored("y.txt", "y").Bytes(), {{"x.txt", "data"}, {"y.txt", "y"}}},
    };
    TTempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TZipFile zip;
        zip.Open(dir.File("case.zip", c.bytes));
        EXPECT_EQ(Unpack(zip), c.members);
    }
}

// Entries come sorted without regard to case, and lookups ignore case as well.
TEST(UnZipLibTest, EntriesSortedAndFoundWithoutCase)
{
    InitCodePages(1251, 866);
    TZipFile zip;
    const std::string bytes = TZipBuilder()
                                  .Stored("b.txt", "b")
                                  .Add(TZipMember("\xC3\x89.txt", "E").WithFlags(0x0800))
                                  .Stored("A.txt", "a")
                                  .Add(TZipMember("\xC3\xA0.txt", "a-grave").WithFlags(0x0800))
                                  .Stored("_x", "_")
                                  .Bytes();
    zip.OpenBytes(bytes);
    const std::vector<std::string> expected = {"_x", "a.txt", "b.txt", "\xC3\xA0.txt", "\xC3\xA9.txt"};
    EXPECT_EQ(zip.Entries(), expected);
    EXPECT_EQ(zip.UnzipFileToBuffer("A.TXT"), "a");
    EXPECT_EQ(zip.UnzipFileToBuffer("\xC3\xA9.TXT"), "E"); // é finds É
}

TEST(UnZipLibTest, ErrorTexts)
{
    TTempDir dir;
    const std::string missing = dir.Path("missing.zip");
    const std::string folder = dir.Path("folder.zip");
    const std::string fifo = dir.Path("fifo.zip");
    fs::create_directory(folder);
    struct Case { std::string path; std::string message; };
    std::vector<Case> cases = {
        {missing, "Couldn't open: " + missing},
        {folder, "Couldn't open: " + folder},
        {dir.File("empty.zip", ""), "CreateFileMapping failed"},
    };
    if (trovex::test::MakeFifo(fifo))
        cases.push_back({fifo, "Couldn't open: " + fifo}); // and it does not block
    else
        EXPECT_TRUE(trovex::test::OnWindows) << "no FIFO made";
    for (const Case& c : cases) {
        TZipFile zip;
        try {
            zip.Open(c.path);
            ADD_FAILURE() << c.path;
        } catch (const EErrorInZip& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_TRUE(zip.Entries().empty());
    }
    TZipFile zip;
    zip.Open(dir.File("ok.zip", TZipBuilder().Stored("a", "a").Bytes()));
    try {
        zip.UnzipFileToBuffer("b");
        ADD_FAILURE() << "no exception";
    } catch (const EErrorInZip& e) {
        EXPECT_STREQ(e.what(), "File not found (in UnzipFileToBuffer)");
    }
    // Reopening releases the first archive.
    zip.Open(dir.File("ok2.zip", TZipBuilder().Stored("c", "c").Bytes()));
    EXPECT_EQ(zip.Entries(), std::vector<std::string>{"c"});
    EXPECT_THROW(zip.UnzipFileToBuffer("a"), EErrorInZip);
}

// Bytes placed right before a page that cannot be read: any read past them would crash.
class TGuardedBytes
{
public:
    explicit TGuardedBytes(std::size_t size)
    {
        FPage = trovex::test::PageSize();
        FLength = (size + FPage - 1) / FPage * FPage + FPage;
        FBase = trovex::test::PageAlloc(FLength);
        trovex::test::PageProtect(FBase + FLength - FPage, FPage, false);
        FData = FBase + FLength - FPage - size;
    }
    ~TGuardedBytes() { trovex::test::PageFree(FBase, FLength); }
    char* Data() const { return FData; }
    std::size_t Page() const { return FPage; }
    char* Base() const { return FBase; }

private:
    char* FBase;
    char* FData;
    std::size_t FLength;
    std::size_t FPage;
};

// Every truncation of a real archive lists a prefix of its members and reads nothing past the end.
TEST(UnZipLibTest, EveryTruncationStaysInsideTheBytes)
{
    const std::string full = TZipBuilder()
                                 .Stored("a.txt", "alpha")
                                 .Deflated("b.txt", std::string(500, 'b'))
                                 .Add(TZipMember("c.txt", "gamma").WithExtra("ex"))
                                 .Bytes();
    const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt"};
    std::size_t previous = 0;
    for (std::size_t n = 1; n <= full.size(); ++n) {
        TGuardedBytes bytes(n);
        std::memcpy(bytes.Data(), full.data(), n);
        TZipFile zip;
        zip.OpenBytes(std::string_view(bytes.Data(), n));
        const auto members = Unpack(zip);
        ASSERT_LE(members.size(), names.size());
        ASSERT_GE(members.size(), previous) << n;
        for (std::size_t i = 0; i < members.size(); ++i)
            EXPECT_TRUE(members.count(names[i])) << n;
        previous = members.size();
    }
    EXPECT_EQ(previous, names.size());
}

// Listing reads the headers only: the pages holding nothing but member data are unreadable here.
TEST(UnZipLibTest, ListingReadsOnlyHeaders)
{
    const std::size_t page = trovex::test::PageSize();
    TZipBuilder builder;
    for (int i = 0; i < 20; ++i)
        builder.Stored("m" + std::to_string(i), std::string(4 * page, static_cast<char>('a' + i)));
    const std::string archive = builder.WithoutCentralDirectory().Bytes();
    TGuardedBytes bytes(archive.size());
    std::memcpy(bytes.Data(), archive.data(), archive.size());
    // Protect every page that lies wholly inside some member's data.
    std::vector<std::pair<char*, std::size_t>> hidden;
    for (std::size_t at = 0; (at = archive.find("PK\x03\x04", at)) != std::string::npos; at += 4) {
        const std::size_t dataStart = at + ZipLocalHeaderSize + static_cast<unsigned char>(archive[at + 26]);
        const std::size_t dataEnd = dataStart + 4 * page;
        auto first = reinterpret_cast<std::uintptr_t>(bytes.Data() + dataStart);
        auto last = reinterpret_cast<std::uintptr_t>(bytes.Data() + dataEnd);
        first = (first + page - 1) / page * page;
        last = last / page * page;
        if (last > first) {
            ASSERT_TRUE(trovex::test::PageProtect(reinterpret_cast<char*>(first), last - first, false));
            hidden.emplace_back(reinterpret_cast<char*>(first), last - first);
        }
    }
    ASSERT_EQ(hidden.size(), 20u);
    TZipFile zip;
    zip.OpenBytes(std::string_view(bytes.Data(), archive.size()));
    EXPECT_EQ(zip.Entries().size(), 20u);
    for (auto& [at, length] : hidden)
        trovex::test::PageProtect(at, length, true);
    EXPECT_EQ(zip.UnzipFileToBuffer("m7"), std::string(4 * page, 'h'));
}

// Another program shrinks the archive after it was opened: what was listed stays listed, the data
// that is gone reads as absent (a mapping would raise SIGBUS here and end the process).
TEST(UnZipLibTest, ArchiveCutShortAfterOpening)
{
    const std::string big(300000, 'b');
    const std::string bytes = TZipBuilder()
                                  .Stored("a.txt", "alpha")
                                  .Stored("big.bin", big)
                                  .Deflated("packed.txt", std::string(200000, 'p') + "needle")
                                  .Stored("z.txt", "zeta")
                                  .Bytes();
    const std::size_t bigData = bytes.find(big);
    struct Case { const char* what; std::size_t keep; std::map<std::string, std::string> members; };
    const Case cases[] = {
        {"cut inside a stored member", bigData + 1000,
         {{"a.txt", "alpha"}, {"big.bin", big.substr(0, 1000)}, {"packed.txt", ""}, {"z.txt", ""}}},
        {"cut right after the first member", bigData - ZipLocalHeaderSize - 7,
         {{"a.txt", "alpha"}, {"big.bin", ""}, {"packed.txt", ""}, {"z.txt", ""}}},
        {"cut to nothing", 0, {{"a.txt", ""}, {"big.bin", ""}, {"packed.txt", ""}, {"z.txt", ""}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTempDir dir;
        const std::string path = dir.File("cut.zip", bytes);
        TZipFile zip;
        zip.Open(path);
        ASSERT_EQ(zip.Entries().size(), 4u);
        std::filesystem::resize_file(path, c.keep);
        EXPECT_EQ(Unpack(zip), c.members);
        // The member streams see the same: a deflated member whose data is gone is empty.
        std::unique_ptr<TZipMemberStream> packed = zip.OpenMember("packed.txt");
        char buffer[64];
        EXPECT_EQ(packed->Read(buffer, sizeof buffer), 0u);
    }
}

// Listing a 10,000-member archive against unpacking every member; the figures go to the test log.
TEST(UnZipLibTest, TenThousandMembersListFast)
{
    TZipBuilder builder;
    std::string body;
    for (int i = 0; i < 200; ++i)
        body += "row " + std::to_string(i) + " of some member text\n";
    for (int i = 0; i < 10000; ++i)
        builder.Deflated("folder" + std::to_string(i % 10) + "/member" + std::to_string(i) + ".txt", body);
    TTempDir dir;
    const std::string path = dir.File("big.zip", builder.Bytes());
    using Clock = std::chrono::steady_clock;
    TZipFile zip;
    const auto t0 = Clock::now();
    zip.Open(path);
    const auto t1 = Clock::now();
    std::size_t total = 0;
    for (const std::string& e : zip.Entries())
        total += zip.UnzipFileToBuffer(e).size();
    const auto t2 = Clock::now();
    ASSERT_EQ(zip.Entries().size(), 10000u);
    EXPECT_EQ(total, 10000 * body.size());
    const double list = std::chrono::duration<double, std::milli>(t1 - t0).count();
    const double unpack = std::chrono::duration<double, std::milli>(t2 - t1).count();
    std::printf("archive %ju bytes: list %.2f ms, unpack all %.2f ms\n",
                static_cast<std::uintmax_t>(fs::file_size(path)), list, unpack);
    RecordProperty("ListMs", std::to_string(list));
    RecordProperty("UnpackAllMs", std::to_string(unpack));
}

// With TROVEX_SEED_DIR set, writes the fuzz seeds to <dir>/FuzzUnZip/; either way each seed opens.
TEST(UnZipLibTest, SeedCorpus)
{
    const char* seedDir = std::getenv("TROVEX_SEED_DIR");
    for (const auto& [name, bytes] : ZipSeeds()) {
        TZipFile zip;
        zip.OpenBytes(bytes);
        for (const std::string& e : zip.Entries())
            zip.UnzipFileToBuffer(e);
        EXPECT_EQ(zip.Entries().empty(), name == "self-extractor.zip") << name;
        if (seedDir) {
            fs::create_directories(fs::path(seedDir) / "FuzzUnZip");
            std::ofstream(fs::path(seedDir) / "FuzzUnZip" / name, std::ios::binary) << bytes;
        }
    }
}

} // namespace
} // namespace trovex
