// SPDX-License-Identifier: MIT
// The language texts without widgets: translating by default text, the language list built from the
// files beside the program, selecting a language, and the placeholders of messages.
#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "support/TempTree.h"
#include "window/LanguageTexts.h"

using namespace trovex;
using namespace trovex::test;

// One line translates a default text wherever it occurs; spaces count, letter case does not.
TEST(LanguageTextsTest, TranslateTable)
{
    TLanguageTexts texts("");
    texts.LoadLanguageBytes("Named:=\xD0\x98\xD0\xBC\xD1\x8F:\r\n"
                            "Stop=First\n"
                            "stop=Second\r"
                            "Look in: =never\n"
                            "no equals sign\n"
                            "\xD0\x9F\xD0\xA3\xD0\xA1\xD0\xAC=cyrillic\n"
                            "Blank=\n"
                            "a=b=c\n");
    struct Case
    {
        const char* Text;
        const char* Translation;
    };
    const Case cases[] = {
        {"Named:", "\xD0\x98\xD0\xBC\xD1\x8F:"},
        {"STOP", "First"},                     // the first line of a text wins, whatever its case
        {"Look in:", "Look in:"},              // a space before "=" belongs to the text
        {"\xD0\xBF\xD1\x83\xD1\x81\xD1\x8C", "cyrillic"}, // letter case of other scripts too
        {"Blank", ""},
        {"a", "b=c"},
        {"no equals sign", "no equals sign"},
        {"unknown", "unknown"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(texts.Translate(c.Text), c.Translation);
    }
}

// A NUL ends the file; bytes that are not UTF-8 are read in the ANSI code page.
TEST(LanguageTextsTest, FileBytesTable)
{
    InitCodePages(1251, 866);
    struct Case
    {
        std::string Bytes;
        const char* Text;
        const char* Translation;
    };
    const Case cases[] = {
        {std::string("A=1\0B=2", 7), "B", "B"},
        {"\xEF\xBB\xBF" "A=1", "A", "1"},
        {"A=\xC8\xEC\xFF", "A", "\xD0\x98\xD0\xBC\xD1\x8F"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        TLanguageTexts texts("");
        texts.LoadLanguageBytes(c.Bytes);
        EXPECT_EQ(texts.Translate(c.Text), c.Translation);
    }
}

// Names come from the file names, first letter upper-cased, sorted after "< Default >"; selecting one
// loads it, "< Default >" or a vanished file falls back, an unknown name changes nothing.
TEST(LanguageTextsTest, LanguagesFromFilesAndSelection)
{
    TTempTree tree;
    tree.AddFile("russian.lng", "Stop=\xD0\xA1\xD1\x82\xD0\xBE\xD0\xBF");
    tree.AddFile("Deutsch.LNG", "Stop=Halt");
    tree.AddFile("x.lng.lng", "");
    tree.AddFile(".lng", "");
    tree.AddFile("notes.txt", "");
    tree.AddFolder("folder.lng");
    TLanguageTexts texts(tree.Root());
    EXPECT_EQ(texts.Languages(), (std::vector<std::string>{"< Default >", "Deutsch", "Russian", "X"}));
    EXPECT_EQ(texts.LanguageFiles().size(), 3u);

    struct Step
    {
        const char* Name;
        TLanguageChange Change;
        const char* Stop;
    };
    const Step steps[] = {
        {"deutsch", lcLoaded, "Halt"},
        {"", lcNone, "Halt"},
        {"Klingon", lcNone, "Halt"},
        {"< Default >", lcDefault, "Stop"},
        {"Russian", lcLoaded, "\xD0\xA1\xD1\x82\xD0\xBE\xD0\xBF"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.Name);
        EXPECT_EQ(texts.SelectLanguage(s.Name), s.Change);
        EXPECT_EQ(texts.Translate("Stop"), s.Stop);
    }
    EXPECT_EQ(texts.LanguageName(), "Russian");
}

// Default texts are kept by key, case-insensitively; the first text recorded for a key stays.
TEST(LanguageTextsTest, DefaultTextsByKey)
{
    TLanguageTexts texts("");
    texts.Record("FindFormbtnStop", "Stop");
    texts.Record("FINDFORMBTNSTOP", "Other");
    texts.Record("FindFormListView0", "File name");
    texts.LoadLanguageBytes("Stop=Halt");
    EXPECT_EQ(texts.DefaultText("findformbtnstop"), "Stop");
    EXPECT_EQ(texts.Translated("FindFormbtnStop"), "Halt");
    EXPECT_EQ(texts.DefaultText("missing"), "");
    EXPECT_EQ(texts.DefaultTexts(), (std::vector<std::string>{"FindFormbtnStop=Stop", "FindFormListView0=File name"}));
}

// Placeholders are filled in order; a faulty translation shows oddly instead of failing.
TEST(LanguageTextsTest, FormatMessageTable)
{
    struct Case
    {
        const char* Format;
        const char* Text;
    };
    const Case cases[] = {
        {"Total files processed: %d  and found: %d", "Total files processed: 200  and found: 5"},
        {"%d%%", "200%"},
        {"%d %d %d", "200 5 %d"},
        {"%s %d", "%s 200"},
        {"100%", "100%"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatMessage(c.Format, {200, 5}), c.Text);
}
