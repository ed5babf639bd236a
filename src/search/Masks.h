// SPDX-License-Identifier: MIT
// File-name masks: splitting the "Named:" text into masks, normalising runs of wildcards, and
// compiled masks that test one UTF-8 name. Syntax, with names already lower-cased by the caller:
//   *.txt      any name ending in ".txt"            a?c     'abc', 'aXc' (one character)
//   [a-c]*     names starting with a, b or c        [!a-c]* names not starting with them
//   *.*        every name: with an extension or none  *       every name, the empty one too
//   readme.*   'readme', 'readme.txt'               a.*     'a', 'a.b', but not 'ab'
// A mask ending in ".*" also fits what the mask without that ".*" fits: a name without a dot has
// an empty extension, as in Windows' own listing, so "All files" finds 'Makefile' and 'README'.
// A multi-byte UTF-8 character is one character everywhere; sets hold code points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

/// An invalid mask; the message is "'<mask>' is an invalid mask at (<1-based position>)".
class EMaskException : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

/// A mask compiled into states. At most MaxSkipStates states may follow a "*".
class TMask
{
public:
    static constexpr int MaxSkipStates = 30;

    /// Compiles `mask`; throws EMaskException when it is invalid.
    explicit TMask(std::string_view mask);
    /// True when the states consume the whole name. Letters a-z compare as A-Z; all else exactly.
    bool Fits(std::string_view name) const;

private:
    enum TKind : std::uint8_t { skLiteral, skAny, skSet, skEnd };
    struct TState
    {
        explicit TState(TKind kind) : Kind(kind) {}
        TKind Kind;
        bool Skip = false;
        bool Negate = false;
        char32_t Literal = 0;
        std::vector<std::pair<char32_t, char32_t>> Ranges;
    };
    bool Matches(const TState& state, char32_t c) const;
    bool Run(const char32_t* chars, std::size_t n, std::size_t endState) const;

    std::vector<TState> FStates;
    // The index of the "." state of a final ".*", tried as the end of the name when the whole
    // mask does not fit; SIZE_MAX when the mask does not end in ".*".
    std::size_t FOptionalDot = SIZE_MAX;
};

/// Collapses every run of wildcards that holds a "*" into one "*"; runs of "?" alone stay.
std::string NormalizeMask(std::string_view text);
/// Splits a mask text at space , / : ; and backslash into normalised, lower-cased masks. An empty
/// text or exactly "*.*" gives the single mask "*.*"; a text of separators only gives none.
std::vector<std::string> SplitMasks(std::string_view text);
/// Compiles `mask` and tests `name` with it; throws EMaskException for an invalid mask.
bool NameFitsMask(std::string_view name, std::string_view mask);

} // namespace trovex
