// SPDX-License-Identifier: MIT
// File-name masks: splitting the "Named:" text into masks, normalising runs of wildcards, and
// compiled masks that test one UTF-8 name. Syntax, with names already lower-cased by the caller:
//   *.txt      any name ending in ".txt"            a?c     'abc', 'aXc' (one character)
//   [a-c]*     names starting with a, b or c        [!a-c]* names not starting with them
//   *.*        names that contain a dot             *       every name, the empty one too
// A multi-byte UTF-8 character is one character everywhere; sets hold code points.
#pragma once

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

    std::vector<TState> FStates;
};

/// Collapses every run of wildcards that holds a "*" into one "*"; runs of "?" alone stay.
std::string NormalizeMask(std::string_view text);
/// Splits a mask text at space , / : ; and backslash into normalised, lower-cased masks. An empty
/// text or exactly "*.*" gives the single mask "*.*"; a text of separators only gives none.
std::vector<std::string> SplitMasks(std::string_view text);
/// Compiles `mask` and tests `name` with it; throws EMaskException for an invalid mask.
bool NameFitsMask(std::string_view name, std::string_view mask);

} // namespace trovex
