// SPDX-License-Identifier: MIT
// The stored settings over a store in memory: what a first start reads, what each kind of damaged or
// missing value does to the rest, and that what is written reads back the same.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "MemoryStore.h"
#include "window/Layout.h"
#include "window/PlacementMath.h"
#include "window/Settings.h"

using namespace trovex;
using namespace trovex::test;

namespace
{

const std::string Key(ProgramKeyName);
const std::string Placement = Key + "\\Placement";

using TStrings = std::vector<std::string>;

// Every value of a saved session, each check box at the opposite of its default.
TMemoryStore FullStore()
{
    TMemoryStore store;
    for (const TCheckSetting& s : CheckSettings)
        store.WriteInteger(Key, s.Name, s.Default ? 0 : 1);
    store.WriteInteger(Key, "TotalFiles", 200);
    store.WriteInteger(Key, "TotalFound", 5);
    for (int i = 0; i < 3; ++i) {
        store.WriteString(Key, "Mask" + std::to_string(i), "m" + std::to_string(i));
        store.WriteExpandString(Key, "Path" + std::to_string(i), "p" + std::to_string(i));
        store.WriteString(Key, "SubStr" + std::to_string(i), "s" + std::to_string(i));
    }
    return store;
}

} // namespace

// What one damaged or missing value costs: only itself, the histories after it, or the check boxes
// from it on.
TEST(SettingsTest, DamagedValuesTable)
{
    struct Case
    {
        const char* What;
        void (*Damage)(TMemoryStore&);
        std::uint32_t TotalFiles;
        TStrings Masks;
        TStrings Folders;
        TStrings Texts;
        std::size_t ChecksRestored;
    };
    const Case cases[] = {
        {"nothing damaged", [](TMemoryStore&) {}, 200, {"m0", "m1", "m2"}, {"p0", "p1", "p2"}, {"s0", "s1", "s2"}, scCount},
        {"first start", [](TMemoryStore& s) { s = TMemoryStore(); }, 0, {}, {}, {}, 0},
        {"MainMenu of another type", [](TMemoryStore& s) { s = FullStore(); s.WriteString(Key, "MainMenu", "1"); }, 200,
         {"m0", "m1", "m2"}, {"p0", "p1", "p2"}, {"s0", "s1", "s2"}, 0},
        {"a mask of another type", [](TMemoryStore& s) { s.WriteInteger(Key, "Mask2", 4); }, 200,
         {"m0", "m1", "*.txt", "*.doc", "*.rtf"}, {"p0", "p1", "/home/"}, {"s0", "s1"}, scCount},
        {"a total of another type", [](TMemoryStore& s) { s.WriteString(Key, "TotalFiles", "12"); }, 0,
         {"m0", "m1", "m2"}, {"p0", "p1", "p2"}, {"s0", "s1", "s2"}, scCount},
        {"Hints of another type", [](TMemoryStore& s) { s.WriteString(Key, "Hints", ""); }, 200,
         {"m0", "m1", "m2"}, {"p0", "p1", "p2"}, {"s0", "s1", "s2"}, scHints},
        {"an empty entry is skipped", [](TMemoryStore& s) { s.WriteString(Key, "Mask1", ""); }, 200, {"m0", "m2"},
         {"p0", "p1", "p2"}, {"s0", "s1", "s2"}, scCount},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        TMemoryStore store = FullStore();
        c.Damage(store);
        const TRestoredSettings got = ReadSettings(store, "/home/");
        EXPECT_TRUE(store.KeyExists(Key));
        EXPECT_EQ(got.TotalFiles, c.TotalFiles);
        EXPECT_EQ(got.Histories.Masks, c.Masks);
        EXPECT_EQ(got.Histories.Folders, c.Folders);
        EXPECT_EQ(got.Histories.Texts, c.Texts);
        ASSERT_EQ(got.Checks.size(), c.ChecksRestored);
        for (std::size_t i = 0; i < got.Checks.size(); ++i)
            EXPECT_EQ(got.Checks[i], !CheckSettings[i].Default) << CheckSettings[i].Name;
    }
}

// Any non-zero number reads as checked.
TEST(SettingsTest, NonZeroReadsAsChecked)
{
    for (const std::int32_t value : {1, 5, -1}) {
        TMemoryStore store;
        store.WriteInteger(Key, "MainMenu", value);
        EXPECT_EQ(ReadSettings(store, "").Checks, std::vector<bool>{true});
    }
}

// A save writes ten entries per history (empty past a list's end, folders expandable), every box and
// both totals as dwords, and reads back as it was.
TEST(SettingsTest, WriteThenReadRoundTrips)
{
    TSavedSettings saved;
    saved.TotalFiles = 4000000000u;
    saved.TotalFound = 3;
    saved.Histories.Masks = {"*.txt", "bad\xff", "c"};
    for (int i = 0; i < 12; ++i)
        saved.Histories.Folders.push_back("/f" + std::to_string(i) + "/");
    saved.Histories.Texts = {"needle"};
    for (std::size_t i = 0; i < saved.Checks.size(); ++i)
        saved.Checks[i] = i % 3 == 0;
    TMemoryStore store;
    WriteSettings(store, saved);

    EXPECT_EQ(store.ValueCount(Key), 3u * HistorySize + scCount + 2u);
    EXPECT_EQ(store.ReadString(Key, "Mask9"), std::optional<std::string>(""));
    EXPECT_EQ(store.ReadValue(Key, "Path0")->Type, rtExpandString);
    EXPECT_EQ(store.ReadValue(Key, "Mask0")->Type, rtString);
    EXPECT_EQ(store.ReadString(Key, "Path9"), std::optional<std::string>("/f9/"));

    const TRestoredSettings got = ReadSettings(store, "");
    EXPECT_EQ(got.TotalFiles, saved.TotalFiles);
    EXPECT_EQ(got.TotalFound, saved.TotalFound);
    EXPECT_EQ(got.Histories.Masks, saved.Histories.Masks);
    EXPECT_EQ(got.Histories.Folders.size(), static_cast<std::size_t>(HistorySize));
    EXPECT_EQ(got.Histories.Texts, saved.Histories.Texts);
    EXPECT_EQ(got.Checks, std::vector<bool>(saved.Checks.begin(), saved.Checks.end()));
}

// Column widths and the language live in the placement section as text; what is not a number fits
// the column to its title.
TEST(SettingsTest, ColumnWidthsAndLanguageTable)
{
    struct Case
    {
        const char* Text;
        int Width;
    };
    const Case cases[] = {{"130", 130}, {" 45 ", 45}, {"-1", -1}, {"wide", FitTitleWidth}, {"", FitTitleWidth}, {"99999999999", FitTitleWidth}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        TMemoryStore store;
        store.WriteString(Placement, "ListCol3", c.Text);
        store.WriteInteger(Placement, "ListCol4", 77);
        const TPlacementSection section(store, Placement);
        const std::array<int, ListColumnCount> widths = ReadColumnWidths(section);
        EXPECT_EQ(widths, (std::array<int, ListColumnCount>{FitTitleWidth, FitTitleWidth, c.Width, 77, FitTitleWidth}));
    }
    TMemoryStore store;
    TPlacementSection section(store, Placement);
    EXPECT_EQ(ReadLanguageName(section), "");
    WriteColumnWidths(section, {1, 2, 3, 4, 5});
    WriteLanguageName(section, "< Default >");
    EXPECT_EQ(store.ReadString(Placement, "ListCol5"), std::optional<std::string>("5"));
    EXPECT_EQ(ReadLanguageName(section), "< Default >");
}

// Faces find the stored boxes by these names: a name the design lacks would leave a box unsaved (or
// a face without it), and a default unlike the design's start would change a first start's search.
TEST(SettingsTest, StoredBoxesAreTheDesignsCheckBoxes)
{
    std::set<std::string_view> seen;
    for (const TCheckSetting& setting : CheckSettings) {
        EXPECT_TRUE(seen.insert(setting.Control).second) << setting.Control;
        ASSERT_NO_THROW(LayoutOf(setting.Control)) << setting.Control;
        EXPECT_EQ(LayoutOf(setting.Control).Kind, TControlKind::Check) << setting.Control;
        EXPECT_EQ(LayoutOf(setting.Control).Checked, setting.Default) << setting.Control;
    }
}
