// SPDX-License-Identifier: MIT
// Masks: any text compiles or fails with EMaskException, never anything else; and for masks made
// of literals, "*" and "?" only, the compiled matcher agrees with a plain recursive one.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "search/Masks.h"

namespace
{

bool Reference(const std::string& mask, const std::string& name)
{
    // Dynamic programming over (mask position, name position): no exponential blow-up here either.
    const std::size_t m = mask.size(), n = name.size();
    std::vector<std::vector<char>> ok(m + 1, std::vector<char>(n + 1, 0));
    ok[m][n] = 1;
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    for (std::size_t i = m; i-- > 0;)
        for (std::size_t j = n + 1; j-- > 0;) {
            if (mask[i] == '*')
                ok[i][j] = ok[i + 1][j] || (j < n && ok[i][j + 1]);
            else if (j < n)
                ok[i][j] = (mask[i] == '?' || up(mask[i]) == up(name[j])) && ok[i + 1][j + 1];
        }
    return ok[0][0];
}

// A final ".*" also stands for no extension at all.
bool ReferenceWithEmptyExtension(const std::string& mask, const std::string& name)
{
    return Reference(mask, name) || (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
                                     Reference(mask.substr(0, mask.size() - 2), name));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\n');
    const std::string mask = input.substr(0, split);
    const std::string name = split == std::string::npos ? std::string() : input.substr(split + 1);
    bool fits = false;
    try {
        fits = trovex::NameFitsMask(name, mask);
    } catch (const trovex::EMaskException&) {
        return 0;
    }
    for (const std::string& piece : trovex::SplitMasks(mask)) {
        try {
            (void)trovex::TMask(piece).Fits(name);
        } catch (const trovex::EMaskException&) {
        }
    }
    bool simple = !mask.empty() && mask.size() < 64 && name.size() < 64;
    for (char c : mask + name)
        simple = simple && static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F && c != '[';
    // "*?" reads as "*" in compiled masks; normalised masks never hold that pair.
    if (simple && trovex::NormalizeMask(mask) == mask && fits != ReferenceWithEmptyExtension(mask, name))
        std::abort();
    return 0;
}
