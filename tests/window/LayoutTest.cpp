// SPDX-License-Identifier: MIT
// The window's design as every face reads it: a face creates parents before children and looks
// controls up by name, so a duplicate, an unknown parent or a control outside its parent would put
// a control where no one sees it on one face and not on the other.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "window/Layout.h"

using namespace trovex;

namespace
{

// The client a control's children are placed in: a page's is the page control's.
TLayoutRect ClientOf(const TControlLayout& parent)
{
    return parent.Kind == TControlKind::Page ? LayoutOf("PageCtrl").Rect : parent.Rect;
}

} // namespace

TEST(LayoutTest, ParentsComeFirstAndHoldTheirChildren)
{
    std::map<std::string, const TControlLayout*> seen;
    for (const TControlLayout& control : MainWindowLayout()) {
        const std::string name(control.Name);
        SCOPED_TRACE(name);
        EXPECT_TRUE(seen.emplace(name, &control).second) << "named twice";
        if (control.Parent.empty()) {
            EXPECT_LE(control.Rect.X + control.Rect.Width, DesignBounds.Width);
            EXPECT_LE(control.Rect.Y + control.Rect.Height, DesignBounds.Height);
            continue;
        }
        const auto parent = seen.find(std::string(control.Parent));
        ASSERT_NE(parent, seen.end()) << "its parent comes later or not at all";
        EXPECT_EQ(control.Kind == TControlKind::Page, parent->second->Kind == TControlKind::Pages);
        if (control.Kind == TControlKind::Page)
            continue;
        const TLayoutRect client = ClientOf(*parent->second);
        EXPECT_GE(control.Rect.X, 0);
        EXPECT_GE(control.Rect.Y, 0);
        EXPECT_GT(control.Rect.Width, 0);
        EXPECT_GT(control.Rect.Height, 0);
        EXPECT_LE(control.Rect.X + control.Rect.Width, client.Width);
        EXPECT_LE(control.Rect.Y + control.Rect.Height, client.Height);
    }
    EXPECT_THROW(LayoutOf("NoSuchControl"), std::out_of_range);
}

TEST(LayoutTest, WhatAUserReadsIsThere)
{
    const std::set<TControlKind> captioned = {TControlKind::Page, TControlKind::Button, TControlKind::Check,
                                              TControlKind::Radio};
    std::vector<std::string> pages;
    for (const TControlLayout& control : MainWindowLayout()) {
        SCOPED_TRACE(std::string(control.Name));
        if (captioned.count(control.Kind)) {
            EXPECT_FALSE(control.Caption.empty());
        }
        if (control.Kind == TControlKind::Page)
            pages.emplace_back(control.Caption);
        // Only what can be checked starts checked.
        if (control.Checked) {
            EXPECT_TRUE(control.Kind == TControlKind::Check || control.Kind == TControlKind::Radio);
        }
    }
    EXPECT_EQ(pages, (std::vector<std::string>{"Name && Location", "Advanced", "Options", "About"}));
    // The command column: only Find can be pressed before a search.
    for (const char* name : {"btnStop", "btnAddMore", "btnFindInto", "btnBack"})
        EXPECT_FALSE(LayoutOf(name).Enabled) << name;
    EXPECT_TRUE(LayoutOf("btnFind").Enabled);
}

TEST(LayoutTest, ListColumnsAndMenu)
{
    ASSERT_EQ(ListColumns().size(), 5u);
    EXPECT_EQ(ListColumns()[2].Title, "Type");
    std::set<std::string_view> names;
    ASSERT_FALSE(ListMenu().empty());
    EXPECT_FALSE(ListMenu().front().Caption.empty()) << "the default item is a command";
    for (const TMenuItemLayout& item : ListMenu()) {
        EXPECT_TRUE(names.insert(item.Name).second) << item.Name;
        if (item.Caption.empty()) {
            EXPECT_TRUE(item.Keys.empty()) << item.Name << ": a separator has no keys";
        }
    }
    EXPECT_EQ(names.count("mDelete"), 1u);
}
