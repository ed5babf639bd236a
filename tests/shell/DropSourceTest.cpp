// SPDX-License-Identifier: MIT
#include "shell/DropSource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trovex
{
namespace
{

using TBytes = std::vector<std::uint8_t>;

TBytes Bytes(std::string_view s)
{
    return TBytes(s.begin(), s.end());
}

TFormatEtc Request(std::uint16_t format, std::uint32_t aspect = DvAspectContent, std::uint32_t tymed = TymedHGlobal)
{
    return TFormatEtc{format, aspect, -1, tymed};
}

// Records what a clipboard operation puts, in order.
class TRecordingSink : public TClipboardSink
{
public:
    bool OpenResult = true;
    int Opens = 0;
    int Closes = 0;
    std::vector<std::pair<std::uint16_t, TBytes>> Puts;

    bool Open() override
    {
        ++Opens;
        return OpenResult;
    }
    void Put(std::uint16_t format, TBytes block) override { Puts.emplace_back(format, std::move(block)); }
    void Close() override { ++Closes; }
};

// The example of two files gives exactly the 41 bytes of header, paths, NULs and final NUL.
TEST(DropSourceTest, HDropOfTwoFilesIsFortyOneBytes)
{
    const TBytes expected = {
        20, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0,  0, 0, 0, 0, // DROPFILES
        'C', ':', '\\', 'a', '.', 't', 'x', 't', 0,
        'C', ':', '\\', 'b', '\\', 'c', '.', 't', 'x', 't', 0,
        0,
    };
    const TBytes block = BuildHDrop({"C:\\a.txt", "C:\\b\\c.txt"});
    EXPECT_EQ(block.size(), 41u);
    EXPECT_EQ(block, expected);
}

// Name maps: 8-bit names are copied as bytes; the wide map packs each name by its UTF-16 length, so a
// two-byte UTF-8 letter takes one unit there.
TEST(DropSourceTest, NameMapAndEffectLayouts)
{
    const std::vector<std::string> names = {"a.txt", "\xC3\xA9"}; // "é"
    EXPECT_EQ(BuildFileNameMap(names), Bytes(std::string("a.txt\0\xC3\xA9\0\0", 10)));
    const TBytes wide = {'a', 0, '.', 0, 't', 0, 'x', 0, 't', 0, 0, 0, 0xE9, 0, 0, 0, 0, 0};
    EXPECT_EQ(BuildFileNameMapW(names), wide);
    EXPECT_EQ(BuildPreferredDropEffect(0x01020304), (TBytes{4, 3, 2, 1}));
}

// A block read back gives the same paths; damaged blocks give nothing instead of reading past the end.
TEST(DropSourceTest, ParseHDropTable)
{
    const std::vector<std::string> files = {"/home/u/a b.txt", "/tmp/\xD0\xB6.pdf"};
    EXPECT_EQ(ParseHDrop(BuildHDrop(files)), files);

    TBytes truncated = BuildHDrop(files);
    truncated.pop_back(); // final NUL gone
    TBytes farOffset = BuildHDrop(files);
    farOffset[0] = 200;
    TBytes wide = BuildHDrop(files);
    wide[16] = 1;
    const TBytes shortHeader(12, 0);
    for (const TBytes& bad : {truncated, farOffset, wide, shortHeader})
        EXPECT_FALSE(ParseHDrop(bad).has_value());
    EXPECT_FALSE(ParsePreferredDropEffect(TBytes{1, 0, 0}).has_value());
}

// The window's source offers exactly five formats, in registration order, for content in global memory.
TEST(DropSourceTest, EnumeratesFiveFormatsInOrder)
{
    TDropFileSource source;
    std::unique_ptr<TEnumFormatEtc> formats;
    ASSERT_EQ(source.EnumFormatEtc(ddGet, formats), hrOk);
    ASSERT_TRUE(formats);
    TFormatEtc got[8];
    std::uint32_t fetched = 99;
    EXPECT_EQ(formats->Next(8, got, &fetched), hrFalse);
    ASSERT_EQ(fetched, 5u);
    EXPECT_EQ(got[0].Format, CfHDrop);
    const std::string names[] = {"Shell IDList Array", "Preferred DropEffect", "FileNameMap", "FileNameMapW"};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(DragFormatName(got[i + 1].Format), names[i]);
    for (std::uint32_t i = 0; i < fetched; ++i) {
        EXPECT_EQ(got[i].Aspect, DvAspectContent);
        EXPECT_EQ(got[i].Index, -1);
        EXPECT_EQ(got[i].Tymed, TymedHGlobal);
    }
}

// Skip past the end stops at the end; Clone keeps the position and then moves on its own.
TEST(DropSourceTest, EnumeratorSkipResetClone)
{
    TDropFileSource source;
    std::unique_ptr<TEnumFormatEtc> formats;
    source.EnumFormatEtc(ddGet, formats);
    TFormatEtc got[5];
    std::uint32_t fetched = 0;

    EXPECT_EQ(formats->Skip(3), hrOk);
    std::unique_ptr<TEnumFormatEtc> clone;
    EXPECT_EQ(formats->Clone(clone), hrOk);
    EXPECT_EQ(formats->Skip(3), hrFalse); // only two were left
    EXPECT_EQ(formats->Next(1, got, &fetched), hrFalse);
    EXPECT_EQ(fetched, 0u);

    EXPECT_EQ(clone->Next(5, got, &fetched), hrFalse);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(got[0].Format, source.FileNameMapFormat());
    EXPECT_EQ(got[1].Format, source.FileNameMapWFormat());

    EXPECT_EQ(formats->Reset(), hrOk);
    EXPECT_EQ(formats->Next(1, got, &fetched), hrOk);
    EXPECT_EQ(got[0].Format, CfHDrop);

    std::unique_ptr<TEnumFormatEtc> none = std::move(clone);
    EXPECT_EQ(source.EnumFormatEtc(ddSet, none), hrNotImpl);
    EXPECT_FALSE(none);
    EXPECT_EQ(source.EnumFormatEtc(3, none), hrInvalidArg);
}

// RenderData answers each request by format, aspect, medium and the state of the lists.
TEST(DropSourceTest, RenderDataTable)
{
    TDropFileSource probe;
    const std::uint16_t map = probe.FileNameMapFormat();
    const std::uint16_t mapW = probe.FileNameMapWFormat();
    const std::uint16_t effect = probe.PreferredDropEffectFormat();
    const std::uint16_t idList = probe.ShellIdListFormat();
    const std::vector<std::string> two = {"C:\\a.txt", "C:\\b\\c.txt"};

    struct Case
    {
        const char* what;
        TFormatEtc request;
        std::vector<std::string> files;
        std::vector<std::string> mapped;
        THResult result;
        std::size_t size;
    };
    const Case cases[] = {
        {"file list", Request(CfHDrop), two, {}, hrOk, 41},
        {"file list, several media", Request(CfHDrop, DvAspectContent, TymedHGlobal | 4), two, {}, hrOk, 41},
        {"no files", Request(CfHDrop), {}, {}, hrUnexpected, 0},
        {"name map never filled", Request(map), two, {}, hrDvFormatEtc, 0},
        {"name map filled", Request(map), two, {"x", "yz"}, hrOk, 6},
        {"wide map filled", Request(mapW), two, {"x", "yz"}, hrOk, 12},
        {"wide map count differs", Request(mapW), two, {"x"}, hrDvFormatEtc, 0},
        {"preferred effect", Request(effect), two, {}, hrOk, 4},
        {"thumbnail aspect", Request(CfHDrop, 2), two, {}, hrDvFormatEtc, 0},
        {"stream medium only", Request(CfHDrop, DvAspectContent, 4), two, {}, hrDvFormatEtc, 0},
        {"format not offered", Request(1), two, {}, hrDvFormatEtc, 0},
        {"item lists without a shell", Request(idList), two, {}, hrOutOfMemory, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDropFileSource source;
        source.SetFiles(c.files);
        source.SetMappedNames(c.mapped);
        TStgMedium medium{TymedHGlobal, {1, 2, 3}}; // stale content must not survive
        EXPECT_EQ(source.GetData(c.request, medium), c.result);
        EXPECT_EQ(medium.Data.size(), c.size);
        EXPECT_EQ(medium.Tymed, c.result == hrOk ? TymedHGlobal : 0u);
    }
}

// QueryGetData looks at the table only: it accepts the name map even though rendering it would fail.
TEST(DropSourceTest, QueryGetDataTable)
{
    TDropFileSource source;
    struct Case
    {
        const char* what;
        TFormatEtc request;
        THResult result;
    };
    const Case cases[] = {
        {"file list", Request(CfHDrop), hrOk},
        {"medium bits overlap", Request(CfHDrop, DvAspectContent, 4 | TymedHGlobal), hrOk},
        {"name map, lists empty", Request(source.FileNameMapFormat()), hrOk},
        {"other aspect", Request(CfHDrop, 4), hrFail},
        {"no common medium", Request(CfHDrop, DvAspectContent, 4), hrFail},
        {"unknown format", Request(RegisterDragFormat("Some Other Format")), hrFail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(source.QueryGetData(c.request), c.result);
    }
}

// The table holds twenty descriptions; the twenty-first is neither listed nor answered.
TEST(DropSourceTest, TwentyFirstFormatIsIgnored)
{
    TDropFileSource source; // five already
    for (int i = 0; i < 16; ++i)
        source.AddDataFormat(Request(RegisterDragFormat("Extra " + std::to_string(i))));
    EXPECT_EQ(source.FormatCount(), MaxDataFormats);
    EXPECT_EQ(source.Format(19).Format, RegisterDragFormat("Extra 14"));
    EXPECT_EQ(source.QueryGetData(Request(RegisterDragFormat("Extra 15"))), hrFail);

    std::unique_ptr<TEnumFormatEtc> formats;
    source.EnumFormatEtc(ddGet, formats);
    TFormatEtc got[MaxDataFormats + 1];
    std::uint32_t fetched = 0;
    EXPECT_EQ(formats->Next(MaxDataFormats + 1, got, &fetched), hrFalse);
    EXPECT_EQ(fetched, static_cast<std::uint32_t>(MaxDataFormats));
}

// Releasing the button drops only with an effect the source allows; a move-only target cancels a
// copy-only drag, as does a target that accepts nothing or an OnDrop handler that objects.
TEST(DropSourceTest, QueryContinueDragTable)
{
    struct Case
    {
        const char* what;
        bool escape;
        std::uint32_t keys;
        std::uint32_t effect;
        TDragTypes types;
        bool veto;
        THResult result;
        int dropsSeen;
    };
    const Case cases[] = {
        {"escape", true, MkLButton, deCopy, {dtCopy}, false, hrDragDropCancel, 0},
        {"left button held", false, MkLButton, deMove, {dtCopy}, false, hrOk, 0},
        {"right button held", false, MkRButton, deNone, {dtCopy}, false, hrOk, 0},
        {"copy target", false, 0, deCopy, {dtCopy}, false, hrDragDropDrop, 1},
        {"move-only target", false, 0, deMove, {dtCopy}, false, hrDragDropCancel, 0},
        {"target accepts nothing", false, 0, deNone, {dtCopy}, false, hrDragDropCancel, 0},
        {"copy preferred over move", false, 0, deCopy | deMove, {dtCopy}, false, hrDragDropDrop, 1},
        {"move allowed", false, 0, deMove, {dtCopy, dtMove}, false, hrDragDropDrop, 1},
        {"link not allowed", false, 0, deLink, {dtCopy, dtMove}, false, hrDragDropCancel, 0},
        {"handler objects", false, 0, deCopy, {dtCopy}, true, hrDragDropCancel, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDropFileSource source;
        source.SetDragtypes(c.types);
        int drops = 0;
        source.OnDrop = [&](TDropSource&, TDragType type, bool& go) {
            ++drops;
            EXPECT_TRUE(c.types.Contains(type));
            if (c.veto)
                go = false;
        };
        source.GiveFeedback(c.effect);
        EXPECT_EQ(source.QueryContinueDrag(c.escape, c.keys), c.result);
        EXPECT_EQ(drops, c.dropsSeen);
    }
}

TEST(DropSourceTest, DragOutcomeTable)
{
    struct Case
    {
        THResult result;
        std::uint32_t finalEffect;
        std::uint32_t allowed;
        TDragOutcome outcome;
    };
    const Case cases[] = {
        {hrDragDropDrop, deCopy, deCopy, doCopied},
        {hrDragDropDrop, deMove, deCopy | deMove, doMoved},
        {hrDragDropDrop, deLink, deCopy | deLink, doLinked},
        {hrDragDropDrop, deMove, deCopy, doCancelled}, // the target claimed an effect not offered
        {hrDragDropDrop, deCopy | deMove, deMove, doMoved},
        {hrDragDropDrop, deNone, deCopy, doCancelled},
        {hrDragDropCancel, deCopy, deCopy, doCancelled},
        {hrOutOfMemory, deNone, deCopy, doOutOfMemory},
        {hrUnexpected, deCopy, deCopy, doUnknown},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.result << " final " << c.finalEffect);
        EXPECT_EQ(DragOutcomeOf(c.result, c.finalEffect, c.allowed), c.outcome);
    }
}

// A cut leaves exactly the file list and the effect 2 on the clipboard; without files nothing is put
// and the clipboard is still closed again.
TEST(DropSourceTest, ClipboardPutsFileListAndEffect)
{
    TDropFileSource source;
    source.SetFiles({"C:\\a.txt", "C:\\b\\c.txt"});
    TRecordingSink sink;
    EXPECT_TRUE(source.ClipboardCut(sink));
    EXPECT_EQ(sink.Opens, 1);
    EXPECT_EQ(sink.Closes, 1);
    ASSERT_EQ(sink.Puts.size(), 2u);
    EXPECT_EQ(sink.Puts[0].first, CfHDrop);
    EXPECT_EQ(sink.Puts[0].second.size(), 41u);
    EXPECT_EQ(sink.Puts[1].first, source.PreferredDropEffectFormat());
    EXPECT_EQ(sink.Puts[1].second, (TBytes{2, 0, 0, 0}));
    EXPECT_EQ(source.CurrentEffect(), static_cast<std::uint32_t>(deMove));

    TRecordingSink copySink;
    EXPECT_TRUE(source.ClipboardCopy(copySink));
    ASSERT_EQ(copySink.Puts.size(), 2u);
    EXPECT_EQ(copySink.Puts[1].second, (TBytes{1, 0, 0, 0}));

    TDropFileSource empty;
    TRecordingSink emptySink;
    EXPECT_FALSE(empty.ClipboardCopy(emptySink));
    EXPECT_TRUE(emptySink.Puts.empty());
    EXPECT_EQ(emptySink.Closes, 1);

    TRecordingSink locked;
    locked.OpenResult = false;
    EXPECT_FALSE(source.ClipboardCopy(locked));
    EXPECT_TRUE(locked.Puts.empty());
}

// With a shell that resolves names, the item lists describe the files relative to the first file's
// folder; a selection spanning two folders, or a name the shell cannot resolve, gives no block.
TEST(DropSourceTest, ShellIdListThroughResolver)
{
    std::vector<std::pair<std::string, std::string>> asked;
    auto resolver = [&](const std::string& folder, const std::string& name) -> std::optional<TItemIdList> {
        asked.emplace_back(folder, name);
        if (name == "missing.txt")
            return std::nullopt;
        TItemIdList list = {static_cast<std::uint8_t>(2 + name.size()), 0};
        list.insert(list.end(), name.begin(), name.end());
        list.insert(list.end(), 2, 0);
        return list;
    };
    TDropFileSource source;
    source.ShellItemResolver = resolver;
    source.SetFiles({"C:\\d\\a", "C:\\d\\bc"});
    TStgMedium medium;
    ASSERT_EQ(source.GetData(Request(source.ShellIdListFormat()), medium), hrOk);
    const TBytes expected = {
        2, 0, 0, 0,  16, 0, 0, 0,  20, 0, 0, 0,  25, 0, 0, 0,
        2, 0, 0, 0,                 // the folder: an item with no bytes of its own, then the zero
        3, 0, 'a', 0, 0,
        4, 0, 'b', 'c', 0, 0,
    };
    EXPECT_EQ(medium.Data, expected);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front().first, "C:\\d\\");

    for (const std::vector<std::string>& files :
         {std::vector<std::string>{"C:\\d\\a", "C:\\e\\b"}, std::vector<std::string>{"C:\\d\\a", "C:\\d\\missing.txt"}}) {
        source.SetFiles(files);
        EXPECT_EQ(source.GetData(Request(source.ShellIdListFormat()), medium), hrOutOfMemory);
        EXPECT_TRUE(medium.Data.empty());
    }
}

} // namespace
} // namespace trovex
