// SPDX-License-Identifier: MIT
// Placement arithmetic: position texts, show commands, frames, and where a rectangle lands on the screens.
#include <gtest/gtest.h>

#include "MemoryStore.h"
#include "window/PlacementMath.h"

using namespace trovex;
using namespace trovex::test;

// Position texts split at commas and blanks; a word that is no number keeps its default; a number
// beyond 32 bits makes the whole text unusable.
TEST(PlacementMathTest, PositionWordsTable)
{
    const TPositionWords defaults{1, 2, 3, 4};
    struct Case
    {
        const char* Text;
        std::optional<TPositionWords> Words;
    };
    const Case cases[] = {
        {"10,20,30,40", TPositionWords{10, 20, 30, 40}},
        {"10 20  30 40", TPositionWords{10, 20, 30, 40}},
        {" -5, +6 ,x,8,9", TPositionWords{-5, 6, 3, 8}},
        {"7", TPositionWords{7, 2, 3, 4}},
        {"", defaults},
        {"1,2,99999999999,4", std::nullopt},
        {"2147483647,-2147483648", TPositionWords{2147483647, -2147483648LL, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(PositionWords(c.Text, defaults), c.Words);
    }
    EXPECT_EQ(PositionText(-8, -8, 0, -31), "-8,-8,0,-31");
    EXPECT_EQ(ScreenValueName("NormPos", 1024, 768), "NormPos(1024x768)");
}

// Show commands saved and restored.
TEST(PlacementMathTest, ShowCommandsTable)
{
    struct Case
    {
        int ShowCmd;
        TPlacementState State;
    };
    const Case cases[] = {{0, psNormal}, {1, psNormal}, {2, psMinimized}, {3, psMaximized}, {5, psNormal},
                          {6, psMinimized}, {7, psMinimized}, {9, psNormal}, {42, psNormal}};
    for (const Case& c : cases)
        EXPECT_EQ(StateOfShowCmd(c.ShowCmd), c.State) << c.ShowCmd;
    EXPECT_EQ(ShowCmdOf(false, false), swNormal);
    EXPECT_EQ(ShowCmdOf(false, true), swMaximized);
    EXPECT_EQ(ShowCmdOf(true, true), swMinimized);
    EXPECT_EQ((FrameOfMinMax({-8, -8, -4, -30})), (std::array<int, 4>{4, 30, 8, 8}));
    EXPECT_EQ((FrameOfMinMax({5, -900, 0, 0})), (std::array<int, 4>{0, 0, 0, 200}));
}

// A rectangle lands on the screen it overlaps most, whole, at least the minimum, at most the screen.
TEST(PlacementMathTest, FitOnScreensTable)
{
    const std::vector<TScreenRect> screens{{0, 0, 1920, 1040}, {1920, 0, 1280, 1024}};
    const TScreenRect fallback{0, 0, 1920, 1040};
    struct Case
    {
        const char* What;
        std::int64_t Left, Top, Right, Bottom;
        TScreenRect Want;
    };
    const Case cases[] = {
        {"inside stays", 100, 100, 600, 500, {100, 100, 500, 400}},
        {"mostly on the second screen moves onto it", 1800, 50, 2400, 450, {1920, 50, 600, 400}},
        {"off every screen goes to the fallback", 5000, 5000, 5500, 5400, {1420, 640, 500, 400}},
        {"above the top comes down", 100, -300, 600, 100, {100, 0, 500, 400}},
        {"larger than the screen shrinks", -10, -10, 3000, 3000, {0, 0, 1920, 1040}},
        {"smaller than the minimum grows", 10, 10, 20, 20, {10, 10, 200, 150}},
        {"damaged values stay within the screen", -9000000000LL, 0, 9000000000LL, 100, {0, 0, 1920, 150}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        EXPECT_EQ(FitOnScreens(c.Left, c.Top, c.Right, c.Bottom, 200, 150, screens, fallback), c.Want);
    }
}

// Values of the section are text or dwords; anything else reads as the default.
TEST(PlacementMathTest, SectionValuesTable)
{
    const std::string key = "Software\\Brenvik\\Trovex\\Placement";
    TMemoryStore store;
    store.WriteString(key, "Text", " 42 ");
    store.WriteInteger(key, "Dword", 7);
    store.WriteString(key, "Word", "big");
    store.WriteExpandString(key, "Expand", "-3");
    store.WriteString(key, "NormPos", "1,2,3,4");
    store.WriteString(key, "NormPos(800x600)", "5,6,7,8");
    store.WriteString(key, "MinMaxPos(800x600)", "");
    store.WriteString(key, "MinMaxPos", "9,9,9,9");
    const TPlacementSection section(store, key);
    struct Case
    {
        const char* Name;
        int Value;
    };
    const Case cases[] = {{"Text", 42}, {"Dword", 7}, {"Word", -2}, {"Expand", -3}, {"Missing", -2}};
    for (const Case& c : cases)
        EXPECT_EQ(section.ReadInteger(c.Name, -2), c.Value) << c.Name;
    EXPECT_EQ(section.ReadString("Dword"), std::nullopt);
    EXPECT_EQ(section.ReadPosition("NormPos", 800, 600), "5,6,7,8");
    EXPECT_EQ(section.ReadPosition("NormPos", 1024, 768), "1,2,3,4");
    EXPECT_EQ(section.ReadPosition("MinMaxPos", 800, 600), "9,9,9,9"); // an empty screen value falls through
}
