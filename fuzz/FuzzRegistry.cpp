// SPDX-License-Identifier: MIT
// The per-user store's reader and writer: any text either is refused as a whole or reads (dropping
// what it cannot read); what the writer makes of it reads back without a dropped line and is
// written again to the same text. The input's bytes, NULs and bytes that are not UTF-8 included,
// also go in as a string and an expandable string and must come back byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Registry.h"

namespace
{

constexpr const char* Key = "Software\\Brenvik\\Trovex";

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "FuzzRegistry: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path nowhere("/nonexistent/Trovex.reg");

    trovex::TRegistry first(nowhere);
    try {
        first.FromText(input);
    } catch (const trovex::ERegistryParseError&) {
        first = trovex::TRegistry(nowhere); // refused as a whole: the strings below still go in
    }
    const std::string text = first.ToText();
    trovex::TRegistry second(nowhere);
    try {
        second.FromText(text);
    } catch (const trovex::ERegistryParseError&) {
        Fail("the writer's own text was refused");
    }
    if (second.DroppedLines() != 0)
        Fail("the writer's own text lost a line");
    if (second.ToText() != text)
        Fail("the second text differs from the first");

    second.WriteString(Key, "Mask0", input);
    second.WriteExpandString(Key, "Path0", input);
    trovex::TRegistry third(nowhere);
    third.FromText(second.ToText());
    if (third.ReadString(Key, "Mask0") != input || third.ReadString(Key, "Path0") != input)
        Fail("a string did not round-trip");
    return 0;
}
