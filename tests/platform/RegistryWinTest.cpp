// SPDX-License-Identifier: MIT
// The settings store on the registry of the test's wine prefix: every value type written by Save
// and read back by Load, by the registry's own calls and by reg.exe's export; damaged values left
// out alone and left in place; removals carried out; nothing written outside the store's key.
#include "platform/Registry.h"
#include "platform/win32/Wide.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include <windows.h>

#include "support/Portable.h"

using namespace trovex;
using trovex::win32::Wide;

namespace
{

// A key of its own for each test, removed when the test ends, so runs never see each other.
class TTestKey
{
public:
    TTestKey()
    {
        static int counter = 0;
        FPath = "Software\\Brenvik\\TrovexTest-" + std::to_string(trovex::test::ProcessId()) + "-" + std::to_string(++counter);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, Wide(FPath).c_str());
    }
    ~TTestKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, Wide(FPath).c_str()); }
    const std::string& Path() const { return FPath; }
    std::string Sub(const std::string& name) const { return FPath + "\\" + name; }

private:
    std::string FPath;
};

struct TRawValue
{
    bool Found = false;
    DWORD Type = 0;
    std::vector<BYTE> Data;
};

// What the registry holds, asked of the registry itself.
TRawValue QueryRaw(const std::string& key, const std::string& name)
{
    TRawValue raw;
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return raw;
    DWORD size = 0;
    if (::RegQueryValueExW(h, Wide(name).c_str(), nullptr, &raw.Type, nullptr, &size) == ERROR_SUCCESS) {
        raw.Data.resize(size);
        raw.Found = ::RegQueryValueExW(h, Wide(name).c_str(), nullptr, &raw.Type, raw.Data.data(), &size) == ERROR_SUCCESS;
        raw.Data.resize(size);
    }
    ::RegCloseKey(h);
    return raw;
}

void SetRaw(const std::string& key, const std::string& name, DWORD type, std::vector<BYTE> data)
{
    HKEY h = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExW(h, Wide(name).c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    ::RegCloseKey(h);
}

bool KeyExists(const std::string& key)
{
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(key).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(h);
    return true;
}

std::vector<BYTE> Utf16Z(const std::wstring& text)
{
    const auto* p = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(p, p + (text.size() + 1) * sizeof(wchar_t));
}

std::string RegExe()
{
    wchar_t dir[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
    return trovex::win32::Narrow(std::wstring(dir, n)) + "\\reg.exe";
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(std::filesystem::path(Wide(path)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// One value of each type the program's store can hold, with the texts that break a careless
// conversion: beyond the ANSI page, beyond the BMP, an unpaired surrogate as Windows names may
// carry, control characters, and an environment reference that must stay unexpanded.
struct TValueCase
{
    const char* Name;
    TRegType Type;
    std::string Text;
    std::uint32_t DWord;
    std::vector<std::uint8_t> Data;
};

std::vector<TValueCase> ValueCases()
{
    return {
        {"Mask0", rtString, "*.txt", 0, {}},
        {"", rtString, "default value", 0, {}},
        {"SubStr0", rtString, "Привет 中文 😀", 0, {}},
        {"SubStr1", rtString, "line\r\nbreak\ttab", 0, {}},
        {"Mask1", rtString, "", 0, {}},
        {"Lone", rtString, "a\xED\xA0\x80z", 0, {}}, // U+D800 alone, in its three-byte form
        {"Path0", rtExpandString, "%TEMP%\\Ελληνικά", 0, {}},
        {"MainMenu", rtDWord, "", 1, {}},
        {"TotalFiles", rtDWord, "", 0xFFFFFFFFu, {}},
        {"Blob", rtBinary, "", 0, {0x00, 0xFF, 0x10}},
        {"Multi", rtMultiString, "", 0, {'a', 0, 'b', 0, 0, 0}},
        {"Big", rtQWord, "", 0, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"Nämé ✓", rtDWord, "", 42, {}},
    };
}

void Fill(TRegistry& store, const std::string& key)
{
    for (const TValueCase& c : ValueCases()) {
        TRegValue v;
        v.Name = c.Name;
        v.Type = c.Type;
        v.Text = c.Text;
        v.DWord = c.DWord;
        v.Data = c.Data;
        store.SetValue(key, v);
    }
}

void ExpectValues(const TRegistry& store, const std::string& key)
{
    for (const TValueCase& c : ValueCases()) {
        SCOPED_TRACE(std::string("value '") + c.Name + "'");
        const TRegValue* v = store.FindValue(key, c.Name);
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(v->Type, c.Type);
        if (v->IsString())
            EXPECT_EQ(v->Text, c.Text);
        else if (c.Type == rtDWord)
            EXPECT_EQ(v->DWord, c.DWord);
        else
            EXPECT_EQ(v->Data, c.Data);
    }
}

} // namespace

// Save then Load gives every value back with its type and bytes, in the key and in its subkey.
TEST(RegistryWinTest, EveryValueTypeRoundTripsThroughTheRegistry)
{
    TTestKey key;
    {
        TRegistry out(key.Path());
        EXPECT_EQ(out.Load(), lrMissing);
        Fill(out, key.Path());
        Fill(out, key.Sub("Placement"));
        out.Save();
    }
    TRegistry in(key.Path());
    ASSERT_EQ(in.Load(), lrLoaded);
    ExpectValues(in, key.Path());
    ExpectValues(in, key.Sub("placement")); // the registry's names ignore case, and so does the store
    EXPECT_EQ(in.ReadInteger(key.Path(), "TotalFiles"), -1);
    EXPECT_EQ(in.ReadString(key.Path(), "Path0"), "%TEMP%\\Ελληνικά");
}

// What Save put there is what the registry's own calls read: the Windows type, the wide text with
// one terminating NUL, a DWORD in four little-endian bytes.
TEST(RegistryWinTest, SavedValuesHaveTheRegistrysOwnTypesAndBytes)
{
    TTestKey key;
    TRegistry out(key.Path());
    out.Load();
    Fill(out, key.Path());
    out.Save();

    struct Case { const char* name; DWORD type; std::vector<BYTE> data; };
    const Case cases[] = {
        {"Mask0", REG_SZ, Utf16Z(L"*.txt")},
        {"SubStr0", REG_SZ, Utf16Z(L"\u041f\u0440\u0438\u0432\u0435\u0442 \u4e2d\u6587 \U0001F600")},
        {"Lone", REG_SZ, Utf16Z(std::wstring{L'a', static_cast<wchar_t>(0xD800), L'z'})},
        {"Path0", REG_EXPAND_SZ, Utf16Z(L"%TEMP%\\\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac")},
        {"Mask1", REG_SZ, Utf16Z(L"")},
        {"TotalFiles", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
        {"MainMenu", REG_DWORD, {1, 0, 0, 0}},
        {"Blob", REG_BINARY, {0x00, 0xFF, 0x10}},
        {"Big", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TRawValue raw = QueryRaw(key.Path(), c.name);
        ASSERT_TRUE(raw.Found);
        EXPECT_EQ(raw.Type, c.type);
        EXPECT_EQ(raw.Data, c.data);
    }
}

// reg.exe, the registry's own tool, exports what Save wrote the way the store's text reads it, and
// imports the store's text the way Load reads it back: the store agrees with a reader and a writer
// that are not ours (escaped line breaks, a lone surrogate, a name beyond ASCII).
TEST(RegistryWinTest, RegExeExportAndImportAgreeWithTheStore)
{
    TTestKey key;
    const std::string folder = trovex::test::MakeTempFolder("regexe");
    const std::string exported = folder + "\\export.reg";
    {
        TRegistry out(key.Path());
        out.Load();
        Fill(out, key.Path());
        Fill(out, key.Sub("Placement"));
        out.Save();
    }
    ASSERT_EQ(trovex::test::RunProcess(RegExe(), {"export", "HKCU\\" + key.Path(), exported, "/y"}, "",
                                       folder + "\\out.txt", folder + "\\err.txt"),
              0)
        << ReadFile(folder + "\\err.txt");
    TRegistry parsed(key.Path());
    parsed.FromText(ReadFile(exported));
    ExpectValues(parsed, key.Path());
    ExpectValues(parsed, key.Sub("Placement"));

    // The other way: the store's own text, in the UTF-16 the registry editor's files have, imported
    // by reg.exe into a second key and loaded from there.
    TTestKey second;
    TRegistry written(second.Path());
    Fill(written, second.Path());
    Fill(written, second.Sub("Placement"));
    const std::wstring text = Wide(written.ToText());
    const std::string imported = folder + "\\import.reg";
    {
        std::ofstream f(std::filesystem::path(Wide(imported)), std::ios::binary);
        f.write("\xFF\xFE", 2);
        f.write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size() * sizeof(wchar_t)));
    }
    ASSERT_EQ(trovex::test::RunProcess(RegExe(), {"import", imported}, "", folder + "\\out2.txt", folder + "\\err2.txt"), 0)
        << ReadFile(folder + "\\err2.txt");
    TRegistry loaded(second.Path());
    ASSERT_EQ(loaded.Load(), lrLoaded);
    ExpectValues(loaded, second.Path());
    ExpectValues(loaded, second.Sub("Placement"));
}

// A value of the wrong type fails its own read only, as in the Linux file; a value that cannot be
// read as its type at all is left out alone, and the registry keeps it untouched after a Save.
TEST(RegistryWinTest, DamagedValuesCostOnlyThemselves)
{
    TTestKey key;
    SetRaw(key.Path(), "Mask0", REG_SZ, Utf16Z(L"*.pas"));
    SetRaw(key.Path(), "Mask1", REG_DWORD, {7, 0, 0, 0});      // wrong type for a history entry
    SetRaw(key.Path(), "MainMenu", REG_SZ, Utf16Z(L"1"));      // wrong type for a check box
    SetRaw(key.Path(), "ShellMenu", REG_DWORD, {1, 0, 0});     // a DWORD of three bytes
    SetRaw(key.Path(), "SubStr0", REG_SZ, {'a', 0, 'b'});      // a string of an odd length
    SetRaw(key.Path(), "TotalFound", REG_DWORD, {5, 0, 0, 0});

    TRegistry store(key.Path());
    EXPECT_EQ(store.Load(), lrRepaired);
    EXPECT_EQ(store.ReadString(key.Path(), "Mask0"), "*.pas");
    EXPECT_THROW(store.ReadString(key.Path(), "Mask1"), ERegistryError);
    EXPECT_THROW(store.ReadInteger(key.Path(), "MainMenu"), ERegistryError);
    EXPECT_EQ(store.ReadInteger(key.Path(), "ShellMenu"), std::nullopt);
    EXPECT_EQ(store.ReadString(key.Path(), "SubStr0"), std::nullopt);
    EXPECT_EQ(store.ReadInteger(key.Path(), "TotalFound"), 5);

    store.WriteInteger(key.Path(), "TotalFound", 6);
    store.Save();
    EXPECT_EQ(QueryRaw(key.Path(), "ShellMenu").Data, (std::vector<BYTE>{1, 0, 0}));
    EXPECT_EQ(QueryRaw(key.Path(), "SubStr0").Data, (std::vector<BYTE>{'a', 0, 'b'}));
    EXPECT_EQ(QueryRaw(key.Path(), "TotalFound").Data, (std::vector<BYTE>{6, 0, 0, 0}));
}

// DeleteKey and DeleteValue reach the registry at Save, also for a value the store left out.
TEST(RegistryWinTest, RemovalsAreCarriedOutBySave)
{
    TTestKey key;
    SetRaw(key.Sub("Placement"), "NormPos", REG_SZ, Utf16Z(L"1,2,3,4"));
    SetRaw(key.Path(), "Keep", REG_SZ, Utf16Z(L"kept"));
    SetRaw(key.Path(), "Gone", REG_SZ, Utf16Z(L"gone"));
    SetRaw(key.Path(), "Broken", REG_DWORD, {1});

    TRegistry store(key.Path());
    store.Load();
    store.DeleteKey(key.Sub("Placement"));
    EXPECT_TRUE(store.DeleteValue(key.Path(), "Gone"));
    EXPECT_FALSE(store.DeleteValue(key.Path(), "Broken"));
    store.Save();

    EXPECT_FALSE(KeyExists(key.Sub("Placement")));
    EXPECT_FALSE(QueryRaw(key.Path(), "Gone").Found);
    EXPECT_FALSE(QueryRaw(key.Path(), "Broken").Found);
    EXPECT_TRUE(QueryRaw(key.Path(), "Keep").Found);

    // The whole key, as uninstall removes it.
    TRegistry again(key.Path());
    again.Load();
    again.DeleteKey(key.Path());
    again.Save();
    EXPECT_FALSE(KeyExists(key.Path()));
}

// A store never writes or deletes outside its own key, even when asked to; it says so and writes
// nothing at all.
TEST(RegistryWinTest, KeysOutsideTheStoreAreRefused)
{
    TTestKey key;
    TTestKey other;
    SetRaw(other.Path(), "Keep", REG_SZ, Utf16Z(L"kept"));
    struct Case { const char* what; std::function<void(TRegistry&)> act; };
    const Case cases[] = {
        {"write", [&](TRegistry& s) { s.WriteString(other.Path(), "New", "x"); }},
        {"delete key", [&](TRegistry& s) { s.DeleteKey(other.Path()); }},
        {"delete value", [&](TRegistry& s) { s.DeleteValue(other.Path(), "Keep"); }},
        {"a sibling that shares the prefix", [&](TRegistry& s) { s.WriteString(key.Path() + "2", "New", "x"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TRegistry store(key.Path());
        store.Load();
        store.WriteString(key.Path(), "Mine", "y");
        c.act(store);
        EXPECT_THROW(store.Save(), ERegistryError);
        EXPECT_FALSE(KeyExists(key.Path()));
        EXPECT_TRUE(QueryRaw(other.Path(), "Keep").Found);
        EXPECT_FALSE(QueryRaw(other.Path(), "New").Found);
        EXPECT_FALSE(KeyExists(key.Path() + "2"));
    }
}
