// SPDX-License-Identifier: MIT
// Fuzz target for the list file of --in-list. Beyond "no crash and no hang" it checks that no
// entry is empty, that a NUL-separated list holds no NUL inside an entry and a line list no line
// end, and that writing the entries back NUL-separated (as -0 does) reads back as the same list.
#include "cli/PathList.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trovex;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> list = ParsePathList(bytes);
    const bool nul = bytes.find('\0') != std::string_view::npos;
    std::string written;
    for (const std::string& path : list) {
        if (path.empty() || path.find('\0') != std::string::npos)
            std::abort();
        if (!nul && path.find('\n') != std::string::npos)
            std::abort();
        written += path;
        written.push_back('\0');
    }
    if (!list.empty() && ParsePathList(written) != list)
        std::abort();
    return 0;
}
