// SPDX-License-Identifier: MIT
// The controls that follow an option check box, held against the window's design: every name is a
// control or menu item there, the design's start states agree with the rules, and the report fields
// the report box governs are the ones a report reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <string_view>

#include "window/Layout.h"
#include "window/ListCommands.h"
#include "window/Options.h"

using namespace trovex;

namespace
{

bool InMenu(std::string_view name)
{
    const auto menu = ListMenu();
    return std::any_of(menu.begin(), menu.end(), [name](const TMenuItemLayout& item) { return item.Name == name; });
}

bool InDesign(std::string_view name)
{
    const auto layout = MainWindowLayout();
    return std::any_of(layout.begin(), layout.end(), [name](const TControlLayout& c) { return c.Name == name; });
}

bool Governing(std::string_view name)
{
    const auto options = GoverningOptions();
    return std::find(options.begin(), options.end(), name) != options.end();
}

} // namespace

// A misspelt name would leave a control that never follows its option, silently, in every face.
TEST(OptionsTest, EveryNameIsACheckBoxOrControlOfTheDesign)
{
    ASSERT_FALSE(GoverningOptions().empty());
    for (std::string_view option : GoverningOptions()) {
        ASSERT_TRUE(InDesign(option)) << option;
        EXPECT_EQ(LayoutOf(option).Kind, TControlKind::Check) << option;
        const auto dependents = OptionDependents(option, true);
        EXPECT_FALSE(dependents.empty()) << option;
        for (const TControlState& state : dependents) {
            EXPECT_TRUE(InDesign(state.Name) || InMenu(state.Name)) << option << " -> " << state.Name;
            EXPECT_NE(state.Name, option);
        }
    }
}

// Ticking and unticking a box must swap every dependent's state, never leave one behind.
TEST(OptionsTest, UntickingReversesEveryDependent)
{
    for (std::string_view option : GoverningOptions()) {
        const auto on = OptionDependents(option, true);
        const auto off = OptionDependents(option, false);
        ASSERT_EQ(on.size(), off.size()) << option;
        for (std::size_t i = 0; i < on.size(); ++i) {
            EXPECT_EQ(on[i].Name, off[i].Name) << option;
            EXPECT_NE(on[i].Enabled, off[i].Enabled) << option << " -> " << on[i].Name;
        }
    }
}

// A face that applies the rules only on a click shows the design's start states until then; they
// must be what the rules give for the boxes' start states.
TEST(OptionsTest, DesignStartStatesAgreeWithTheRules)
{
    for (std::string_view option : GoverningOptions()) {
        for (const TControlState& state : OptionDependents(option, LayoutOf(option).Checked)) {
            if (InDesign(state.Name)) {
                EXPECT_EQ(LayoutOf(state.Name).Enabled, state.Enabled) << option << " -> " << state.Name;
            }
        }
    }
}

// Only the boxes a face is told about govern anything; a control with dependents but left out of
// GoverningOptions would start out of line after settings are read.
TEST(OptionsTest, GoverningOptionsAreExactlyThoseWithDependents)
{
    for (const TControlLayout& control : MainWindowLayout()) {
        const bool governs = !OptionDependents(control.Name, true).empty() || !OptionDependents(control.Name, false).empty();
        EXPECT_EQ(governs, Governing(control.Name)) << control.Name;
    }
    EXPECT_TRUE(OptionDependents("NoSuchControl", true).empty());
}

// Everything drawn inside the date group follows the date box, or a picker stays usable while dates are off.
TEST(OptionsTest, DateBoxGovernsEverythingInTheDateGroup)
{
    std::set<std::string_view> followers;
    for (const TControlState& state : OptionDependents("CheckDate", true))
        followers.insert(state.Name);
    for (const TControlLayout& control : MainWindowLayout()) {
        if (control.Parent == "DatesGBox") {
            EXPECT_TRUE(followers.contains(control.Name)) << control.Name;
        }
    }
}

// Each box a report reads its fields from is disabled with the report box, and nothing it reads is missing.
TEST(OptionsTest, ReportBoxGovernsEveryFieldAReportReads)
{
    std::set<std::string_view> followers;
    for (const TControlState& state : OptionDependents("CheckReport", true))
        followers.insert(state.Name);
    std::set<std::string> asked;
    ReportFieldsOf([&](std::string_view control) {
        asked.emplace(control);
        return false;
    });
    EXPECT_FALSE(asked.empty());
    for (const std::string& control : asked) {
        EXPECT_TRUE(InDesign(control)) << control;
        EXPECT_TRUE(followers.contains(control)) << control;
    }
    EXPECT_TRUE(followers.contains("mReport"));
    EXPECT_TRUE(followers.contains("mReportOpen"));
}
