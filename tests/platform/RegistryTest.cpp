// SPDX-License-Identifier: MIT
// The per-user store: its text format, round trips through real files, damaged and unreadable
// files, and the atomic replacement.
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace trovex;
namespace fs = std::filesystem;

namespace
{

constexpr const char* AppKey = "Software\\Brenvik\\Trovex";

class TTempFolder
{
public:
    TTempFolder()
    {
        std::string pattern = (fs::path(::testing::TempDir()) / "regtest-XXXXXX").string();
        FPath = mkdtemp(pattern.data());
    }
    ~TTempFolder()
    {
        std::error_code ec;
        fs::remove_all(FPath, ec);
    }
    const fs::path& Path() const { return FPath; }

private:
    fs::path FPath;
};

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

} // namespace

// Every kind of value the program stores comes back unchanged from a real file.
TEST(RegistryTest, ValuesSurviveSaveAndLoad)
{
    struct Case { const char* name; TRegType type; const char* text; std::int32_t number; };
    const Case cases[] = {
        {"Mask0", rtString, "*.txt; *.doc", 0},
        {"Quoted", rtString, "say \"hi\" \\ back\\slash\\", 0},
        {"Empty", rtString, "", 0},
        {"Cyrillic", rtString, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", 0},
        {"TwoLines", rtString, "first\nsecond\ttab", 0},
        {"Path0", rtExpandString, "%TEMP%/x y/", 0},
        {"Path1", rtExpandString, "", 0},
        {"", rtString, "default value", 0},
        {"One", rtDWord, nullptr, 1},
        {"Zero", rtDWord, nullptr, 0},
        {"Minus", rtDWord, nullptr, -1},
        {"Max", rtDWord, nullptr, 2147483647},
        {"Min", rtDWord, nullptr, -2147483647 - 1},
    };
    TTempFolder dir;
    fs::path file = dir.Path() / "sub" / "Trovex.reg";
    TRegistry out(file);
    for (const Case& c : cases) {
        if (c.type == rtDWord)
            out.WriteInteger(AppKey, c.name, c.number);
        else if (c.type == rtExpandString)
            out.WriteExpandString(AppKey, c.name, c.text);
        else
            out.WriteString(AppKey, c.name, c.text);
    }
    out.WriteString(std::string(AppKey) + "\\Placement", "NormPos", "1,2,3,4");
    out.Save();

    TRegistry in(file);
    ASSERT_EQ(in.Load(), lrLoaded);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TRegValue* v = in.FindValue(AppKey, c.name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->Type, c.type);
        if (c.type == rtDWord)
            EXPECT_EQ(in.ReadInteger(AppKey, c.name), c.number);
        else
            EXPECT_EQ(in.ReadString(AppKey, c.name), std::string(c.text));
    }
    EXPECT_EQ(in.ReadString("\\Software\\Brenvik\\Trovex\\Placement", "NormPos"), "1,2,3,4");
    EXPECT_EQ(in.ValueNames(AppKey).front(), "Mask0");
    EXPECT_EQ(in.ToText(), out.ToText());
}

// The file reads as the registry editor writes it, so a person can inspect and edit it.
TEST(RegistryTest, WritesTheExportFormat)
{
    TRegistry reg(fs::path("/nonexistent/Trovex.reg"));
    reg.WriteString(AppKey, "Mask0", "a\"b\\c");
    reg.WriteExpandString(AppKey, "Path0", "/a");
    reg.WriteInteger(AppKey, "TotalFiles", 200);
    reg.CreateKey(std::string(AppKey) + "\\Placement");
    EXPECT_EQ(reg.ToText(), "Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_CURRENT_USER\\Software\\Brenvik\\Trovex]\n"
                            "\"Mask0\"=\"a\\\"b\\\\c\"\n"
                            "\"Path0\"=hex(2):2f,00,61,00,00,00\n"
                            "\"TotalFiles\"=dword:000000c8\n\n"
                            "[HKEY_CURRENT_USER\\Software\\Brenvik\\Trovex\\Placement]\n\n");
}

// Files written by hand or by the registry editor itself are understood.
TEST(RegistryTest, ReadsHandWrittenVariants)
{
    TRegistry reg(fs::path("/nonexistent/Trovex.reg"));
    reg.FromText("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                 "\r\n"
                 "; a comment\r\n"
                 "[HKEY_CURRENT_USER\\Software\\Brenvik\\Trovex]\r\n"
                 "\"Path0\"=hex(2):25,00,54,00,45,00,4d,00,50,00,\\\r\n"
                 "  25,00,00,00\r\n"
                 "\"Icons\"=dword:1\r\n"
                 "\"Blob\"=hex:01, 02,ff\r\n"
                 "\"Gone\"=\"x\"\r\n"
                 "\"Gone\"=-\r\n"
                 "\"Twice\"=\"first\"\r\n"
                 "\"twice\"=\"second\"\r\n"
                 "@=\"dflt\"\r\n"
                 "[HKEY_CURRENT_USER\\Software\\Brenvik\\Old]\r\n"
                 "\"a\"=\"b\"\r\n"
                 "[-HKEY_CURRENT_USER\\Software\\Brenvik\\Old]\r\n");
    EXPECT_EQ(reg.ReadString(AppKey, "Path0"), "%TEMP%");
    EXPECT_EQ(reg.FindValue(AppKey, "path0")->Type, rtExpandString);
    EXPECT_EQ(reg.ReadInteger("software\\brenvik\\TROVEX", "ICONS"), 1);
    EXPECT_EQ(reg.FindValue(AppKey, "Blob")->Data, (std::vector<std::uint8_t>{1, 2, 255}));
    EXPECT_EQ(reg.FindValue(AppKey, "Gone"), nullptr);
    EXPECT_EQ(reg.ReadString(AppKey, "Twice"), "second");
    EXPECT_EQ(reg.ReadString(AppKey, ""), "dflt");
    EXPECT_FALSE(reg.KeyExists("Software\\Brenvik\\Old"));
    EXPECT_TRUE(reg.KeyExists("Software\\Brenvik"));
}

// Reading with the wrong type is an error the caller can tell from a missing value.
TEST(RegistryTest, TypedReadsTellMissingFromWrongType)
{
    TRegistry reg(fs::path("/nonexistent/Trovex.reg"));
    reg.WriteInteger(AppKey, "Mask2", 5);
    reg.WriteString(AppKey, "MainMenu", "1");
    EXPECT_EQ(reg.ReadString(AppKey, "Mask3"), std::nullopt);
    EXPECT_EQ(reg.ReadInteger(AppKey, "Nothing"), std::nullopt);
    EXPECT_EQ(reg.ReadString("Software\\Nowhere", "Mask0"), std::nullopt);
    EXPECT_THROW(reg.ReadString(AppKey, "Mask2"), ERegistryError);
    EXPECT_THROW(reg.ReadInteger(AppKey, "MainMenu"), ERegistryError);
}

// Removing a key takes its subkeys, never a sibling whose name merely starts the same.
TEST(RegistryTest, DeleteKeyKeepsSiblings)
{
    TRegistry reg(fs::path("/nonexistent/Trovex.reg"));
    reg.WriteString("Software\\Brenvik\\Trovex\\Placement", "a", "1");
    reg.WriteString("Software\\Brenvik\\Trovex2", "b", "2");
    reg.WriteString("Software\\Brenvik\\Trovex", "c", "3");
    EXPECT_TRUE(reg.KeyExists("Software\\Brenvik"));
    reg.DeleteKey("software\\brenvik\\trovex");
    EXPECT_FALSE(reg.KeyExists(AppKey));
    EXPECT_FALSE(reg.KeyExists("Software\\Brenvik\\Trovex\\Placement"));
    EXPECT_EQ(reg.ReadString("Software\\Brenvik\\Trovex2", "b"), "2");
}

// Text that is not a registry export at all never loads; the store stays as it was.
TEST(RegistryTest, RejectsTextThatIsNoExport)
{
    const char* const cases[] = {"", "just some text\n", "\n; only a comment\n", "[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\"\n"};
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        TRegistry reg(fs::path("/nonexistent/Trovex.reg"));
        reg.WriteString(AppKey, "Keep", "me");
        EXPECT_THROW(reg.FromText(text), ERegistryParseError);
        EXPECT_EQ(reg.ReadString(AppKey, "Keep"), "me");
    }
}

// One line that cannot be read costs only itself (a key line: that key's values), never the
// histories, options and placement around it; the file as it was is kept beside before the store
// is written again.
TEST(RegistryTest, UnreadableLineIsDroppedAlone)
{
    struct Case { const char* line; bool keyLine; };
    const Case cases[] = {
        {"\"KOI8\"=dword:zz", false},
        {"\"KOI8\"=dword:123456789", false},
        {"\"KOI8\"=\"unterminated", false},
        {"\"KOI8\"=\"b\" trailing", false},
        {"\"KOI8\"=hex(2):41,00,42", false},
        {"\"KOI8\"=hex(4):01,02", false},
        {"\"KOI8\"=hex:01,zz", false},
        {"\"KOI8\"=hex(zz):01", false},
        {"\"KOI8\"=wrong:1", false},
        {"\"KOI8\"", false},
        {"KOI8=\"unquoted name\"", false},
        {"[Software\\NoRoot]", true},
        {"[HKEY_CURRENT_USER\\Unclosed", true},
    };
    TTempFolder dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    const fs::path file = TRegistry::DefaultPath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        fs::remove_all(file.parent_path());
        const std::string text = std::string("Windows Registry Editor Version 5.00\n\n"
                                             "[HKEY_CURRENT_USER\\Software\\Brenvik\\Trovex]\n"
                                             "\"Mask0\"=\"*.txt\"\n") +
                                 c.line +
                                 "\n\"Icons\"=dword:00000001\n\n"
                                 "[HKEY_CURRENT_USER\\Software\\Brenvik\\Trovex\\Placement]\n"
                                 "\"NormPos\"=\"1,2,3,4\"\n";
        WriteAll(file, text);
        TRegistry reg;
        EXPECT_EQ(reg.Load(), lrRepaired);
        EXPECT_EQ(reg.ReadString(AppKey, "Mask0"), "*.txt");
        EXPECT_EQ(reg.FindValue(AppKey, "KOI8"), nullptr);
        EXPECT_EQ(reg.ReadInteger(AppKey, "Icons"), c.keyLine ? std::nullopt : std::optional<std::int32_t>(1));
        EXPECT_EQ(reg.ReadString(std::string(AppKey) + "\\Placement", "NormPos"), "1,2,3,4");
        reg.Save();
        EXPECT_EQ(ReadAll(file.string() + ".bad"), text);
        TRegistry again;
        EXPECT_EQ(again.Load(), lrLoaded);
        EXPECT_EQ(again.ReadString(AppKey, "Mask0"), "*.txt");
    }
    unsetenv("XDG_CONFIG_HOME");
}

// A second damaged store is kept under the next free name: the first kept copy stays as it was.
TEST(RegistryTest, EveryDamagedStoreIsKept)
{
    TTempFolder dir;
    const fs::path file = dir.Path() / "Trovex.reg";
    std::vector<std::string> damaged;
    for (int i = 0; i < 3; ++i) {
        damaged.push_back("not a store, number " + std::to_string(i) + "\n");
        WriteAll(file, damaged.back());
        TRegistry reg(file);
        ASSERT_EQ(reg.Load(), lrDamaged);
        reg.WriteInteger(AppKey, "TotalFiles", i);
        reg.Save();
    }
    EXPECT_EQ(ReadAll(file.string() + ".bad"), damaged[0]);
    EXPECT_EQ(ReadAll(file.string() + ".bad.1"), damaged[1]);
    EXPECT_EQ(ReadAll(file.string() + ".bad.2"), damaged[2]);
    TRegistry last(file);
    EXPECT_EQ(last.Load(), lrLoaded);
    EXPECT_EQ(last.ReadInteger(AppKey, "TotalFiles"), 2);
}

// What sits at the store's name and is no regular file is neither read (a FIFO would block, a
// link to /dev/zero never ends) nor replaced; neither is a file far larger than any store.
TEST(RegistryTest, OnlyRegularFilesAreRead)
{
    TTempFolder dir;
    const fs::path fifo = dir.Path() / "fifo.reg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const fs::path zero = dir.Path() / "zero.reg";
    fs::create_symlink("/dev/zero", zero);
    const fs::path toFifo = dir.Path() / "to-fifo.reg";
    fs::create_symlink(fifo, toFifo);
    const fs::path huge = dir.Path() / "huge.reg";
    WriteAll(huge, std::string(TRegistry::Header) + "\n");
    fs::resize_file(huge, TRegistry::MaxFileSize + 1);
    for (const fs::path& file : {fifo, zero, toFifo, huge}) {
        SCOPED_TRACE(file.string());
        TRegistry reg(file);
        EXPECT_EQ(reg.Load(), lrUnreadable);
        reg.WriteInteger(AppKey, "TotalFiles", 1);
        EXPECT_THROW(reg.Save(), ERegistryError);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_TRUE(fs::is_symlink(zero));
    EXPECT_TRUE(fs::is_symlink(toFifo));
    EXPECT_EQ(fs::file_size(huge), TRegistry::MaxFileSize + 1);
}

// A store that is a link (into a dotfiles folder, say) is written where it points; the link stays.
TEST(RegistryTest, LinkedStoreIsWrittenThroughTheLink)
{
    TTempFolder dir;
    const fs::path real = dir.Path() / "dotfiles" / "Trovex.reg";
    const fs::path link = dir.Path() / "config" / "Brenvik" / "Trovex.reg";
    fs::create_directories(link.parent_path());
    fs::create_symlink(fs::path("../../dotfiles/Trovex.reg"), link);
    for (const std::string damaged : {"", "garbage\n"}) {
        SCOPED_TRACE(damaged);
        fs::remove_all(real.parent_path());
        if (!damaged.empty())
            WriteAll(real, damaged);
        else
            fs::create_directories(real.parent_path());
        TRegistry reg(link);
        EXPECT_EQ(reg.Load(), damaged.empty() ? lrMissing : lrDamaged);
        reg.WriteString(AppKey, "Mask0", "*.pas");
        reg.Save();
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_NE(ReadAll(real).find("\"Mask0\"=\"*.pas\""), std::string::npos);
        if (!damaged.empty()) {
            EXPECT_EQ(ReadAll(real.string() + ".bad"), damaged);
        }
        TRegistry again(link);
        EXPECT_EQ(again.Load(), lrLoaded);
        EXPECT_EQ(again.ReadString(AppKey, "Mask0"), "*.pas");
    }
}

// Strings are bytes: a folder name that is not UTF-8, a NUL inside a value, and every odd corner of
// the encoding come back exactly, through a real file that itself stays valid UTF-8.
TEST(RegistryTest, StringsRoundTripByteForByte)
{
    using namespace std::string_literals;
    const std::string cases[] = {
        "/home/u/bad\xff.txt/"s,
        "/home/u/bad\xef\xbf\xbd.txt/"s,
        "a\0b"s,
        "\0"s,
        "\0\0tail"s,
        "ends with NUL\0"s,
        "\xed\xa0\x80 encoded surrogate"s,
        "\xf0\x9f\x98\x80 four bytes \xf0\x9f"s,
        "\xc0\xaf overlong, \xf4\x90\x80\x80 too high, \x80 lone"s,
        "\xdc\x80"s,
        "plain"s,
        ""s,
    };
    TTempFolder dir;
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    TRegistry out;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        out.WriteExpandString(AppKey, "Path" + std::to_string(i), cases[i]);
        out.WriteString(AppKey, "Mask" + std::to_string(i), cases[i]);
    }
    // Value names too, those of a hand-edited store included: a line break written as itself
    // would cut the value's line in two.
    const std::string names[] = {"line\nbreak"s, "carriage\rreturn"s, "nul\0inside"s, "quote\" and back\\slash"s};
    for (const std::string& name : names)
        out.WriteString(AppKey, name, "named " + name);
    out.Save();
    const std::string text = ReadAll(TRegistry::DefaultPath());
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_EQ(text.find('\xff'), std::string::npos);
    TRegistry in;
    ASSERT_EQ(in.Load(), lrLoaded);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(in.ReadString(AppKey, "Path" + std::to_string(i)), cases[i]);
        EXPECT_EQ(in.ReadString(AppKey, "Mask" + std::to_string(i)), cases[i]);
    }
    EXPECT_EQ(in.DroppedLines(), 0u);
    for (const std::string& name : names)
        EXPECT_EQ(in.ReadString(AppKey, name), "named " + name);
    EXPECT_EQ(in.ToText(), text);
    unsetenv("XDG_CONFIG_HOME");
}

// Whatever cannot be read is never overwritten by an empty store.
TEST(RegistryTest, UnreadableStoreIsLeftAlone)
{
    TTempFolder dir;
    fs::path file = dir.Path() / "Trovex.reg";
    fs::create_directories(file / "inside");
    TRegistry reg(file);
    EXPECT_EQ(reg.Load(), lrUnreadable);
    reg.WriteInteger(AppKey, "TotalFiles", 1);
    EXPECT_THROW(reg.Save(), ERegistryError);
    EXPECT_TRUE(fs::is_directory(file / "inside"));
}

// The replacement is atomic: no temporary file stays behind, and a failed write keeps the old file.
TEST(RegistryTest, SaveReplacesAtomically)
{
    TTempFolder dir;
    fs::path file = dir.Path() / "Brenvik" / "Trovex.reg";
    TRegistry reg(file);
    EXPECT_EQ(reg.Load(), lrMissing);
    reg.WriteString(AppKey, "Mask0", "*.txt");
    reg.Save();
    reg.WriteString(AppKey, "Mask0", "*.doc");
    reg.Save();
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(file.parent_path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"Trovex.reg"});
    EXPECT_NE(ReadAll(file).find("\"Mask0\"=\"*.doc\""), std::string::npos);

    // The folder is a file: nothing can be written, the error says so.
    fs::path blocked = dir.Path() / "plain";
    WriteAll(blocked, "x");
    TRegistry other(blocked / "Trovex.reg");
    other.WriteString(AppKey, "Mask0", "*.txt");
    EXPECT_THROW(other.Save(), ERegistryError);
    EXPECT_EQ(ReadAll(blocked), "x");
}

// The store follows XDG_CONFIG_HOME when it is absolute, else ~/.config.
TEST(RegistryTest, DefaultPathFollowsXdgConfigHome)
{
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    std::string keep = saved ? saved : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(TRegistry::DefaultPath(), fs::path("/tmp/cfg/Brenvik/Trovex.reg"));
    setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(TRegistry::DefaultPath(), fs::path(std::getenv("HOME")) / ".config/Brenvik/Trovex.reg");
    if (saved)
        setenv("XDG_CONFIG_HOME", keep.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
