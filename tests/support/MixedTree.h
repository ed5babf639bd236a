// SPDX-License-Identifier: MIT
// A generated tree of the kinds a real disk holds: many folders at several depths, one large folder,
// files of mixed sizes with a needle in some of them (in several encodings, across chunk borders),
// PDF documents and ZIP archives (some damaged), links to files and folders, a link back to an
// ancestor, dangling links, FIFOs, names that are not UTF-8 and empty folders.
#pragma once

#include <string>

#include "support/TempTree.h"

namespace trovex::test
{

/// The needle planted in contents; some names hold it too.
inline constexpr const char* MixedNeedle = "Quixel";
/// A word planted in some of the files that hold the needle, to be excluded.
inline constexpr const char* MixedExcluded = "Zorbl";

/// Fills `tree` deterministically from `seed`; `folders` is about how many folders it gets.
void BuildMixedTree(TTempTree& tree, unsigned seed, int folders);

} // namespace trovex::test
