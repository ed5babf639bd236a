// SPDX-License-Identifier: MIT
// The per-user store: its text format, round trips through real files, damaged and unreadable
// files, and the atomic replacement.
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// Text that is not a registry export never loads half-way; the store starts empty.
TEST(RegistryTest, RejectsBrokenText)
{
    const char* const cases[] = {
        "",
        "just some text\n",
        "Windows Registry Editor Version 5.00\n\"a\"=\"value before any key\"\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=\"unterminated\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=dword:123456789\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=dword:xyz\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex(2):41,00,42\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex(4):01,02\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex:01,zz\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=hex:01,\\\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=\"b\" trailing\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=wrong:1\n",
        "Windows Registry Editor Version 5.00\n[Software\\NoRoot]\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X\n",
        "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\nname=\"unquoted name\"\n",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        TRegistry reg(fs::path("/nonexistent/Trovex.reg"));
        reg.WriteString(AppKey, "Keep", "me");
        EXPECT_THROW(reg.FromText(text), ERegistryParseError);
        EXPECT_EQ(reg.ReadString(AppKey, "Keep"), "me");
    }
}

// A damaged store is kept beside as ".bad" before the new one replaces it: nothing is lost silently.
TEST(RegistryTest, DamagedFileIsKeptAsBad)
{
    TTempFolder dir;
    fs::path file = dir.Path() / "Trovex.reg";
    const std::string damaged = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\X]\n\"a\"=garbage\n";
    WriteAll(file, damaged);
    TRegistry reg(file);
    EXPECT_EQ(reg.Load(), lrDamaged);
    EXPECT_FALSE(reg.KeyExists("HKEY_CURRENT_USER\\X"));
    reg.WriteInteger(AppKey, "TotalFiles", 7);
    reg.Save();
    EXPECT_EQ(ReadAll(fs::path(file.string() + ".bad")), damaged);
    TRegistry again(file);
    EXPECT_EQ(again.Load(), lrLoaded);
    EXPECT_EQ(again.ReadInteger(AppKey, "TotalFiles"), 7);
    // A second save keeps the good file and leaves the kept copy alone.
    again.WriteInteger(AppKey, "TotalFiles", 8);
    again.Save();
    EXPECT_EQ(ReadAll(fs::path(file.string() + ".bad")), damaged);
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
