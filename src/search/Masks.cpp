// SPDX-License-Identifier: MIT
#include "search/Masks.h"

#include <memory>

#include "platform/CodePage.h"

namespace trovex
{
namespace
{

char32_t AsciiUpper(char32_t c)
{
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

[[noreturn]] void InvalidMask(std::string_view mask, std::size_t index)
{
    throw EMaskException("'" + std::string(mask) + "' is an invalid mask at (" + std::to_string(index + 1) + ")");
}

// Decodes a name once per test into code points, ASCII letters upper-cased, into `out`, which has
// room for name.size() of them (a code point takes at least one byte). Returns how many there are.
std::size_t DecodeName(std::string_view name, char32_t* out)
{
    std::size_t n = 0;
    for (std::size_t i = 0; i < name.size();) {
        auto b = static_cast<unsigned char>(name[i]);
        if (b < 0x80) {
            out[n++] = AsciiUpper(b);
            ++i;
        } else {
            out[n++] = Utf8Next(name, i);
        }
    }
    return n;
}

} // namespace

TMask::TMask(std::string_view mask)
{
    bool skip = false;
    int skipStates = 0;
    auto add = [&](TState state, std::size_t at) {
        state.Skip = skip;
        if (skip && ++skipStates > MaxSkipStates)
            InvalidMask(mask, at);
        skip = false;
        FStates.push_back(std::move(state));
    };
    std::size_t i = 0;
    while (i < mask.size()) {
        std::size_t at = i;
        char c = mask[i];
        if (c == '*') {
            skip = true;
            ++i;
        } else if (c == '?') {
            ++i;
            if (!skip) // "*?" means the same as "*"
                add(TState(skAny), at);
        } else if (c == '[') {
            ++i;
            TState set(skSet);
            if (i < mask.size() && mask[i] == '!') {
                set.Negate = true;
                ++i;
            }
            bool havePrevious = false;
            char32_t previous = 0;
            for (;;) {
                if (i >= mask.size())
                    InvalidMask(mask, i);
                if (mask[i] == ']')
                    break;
                if (mask[i] == '-') {
                    if (!havePrevious)
                        InvalidMask(mask, i);
                    ++i;
                    if (i >= mask.size())
                        InvalidMask(mask, i);
                    char32_t last = AsciiUpper(Utf8Next(mask, i));
                    if (last >= previous)
                        set.Ranges.emplace_back(previous, last);
                    previous = last;
                    continue;
                }
                previous = AsciiUpper(Utf8Next(mask, i));
                havePrevious = true;
                set.Ranges.emplace_back(previous, previous);
            }
            if (set.Ranges.empty())
                InvalidMask(mask, i);
            ++i; // the closing "]"
            add(std::move(set), at);
        } else {
            TState literal(skLiteral);
            literal.Literal = AsciiUpper(Utf8Next(mask, i));
            add(std::move(literal), at);
        }
    }
    TState end(skEnd);
    end.Skip = skip; // a trailing "*" matches any remainder, without counting toward the limit
    FStates.push_back(std::move(end));
    // A final ".*" is a literal dot followed by a skipping end (a set always ends in "]").
    const std::size_t n = FStates.size();
    if (n >= 2 && mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*" && FStates[n - 2].Kind == skLiteral &&
        FStates[n - 2].Literal == U'.' && FStates[n - 1].Skip)
        FOptionalDot = n - 2;
}

bool TMask::Matches(const TState& state, char32_t c) const
{
    switch (state.Kind) {
    case skLiteral:
        return c == state.Literal;
    case skAny:
        return true;
    case skSet: {
        bool in = false;
        for (const auto& [from, to] : state.Ranges)
            if (c >= from && c <= to) {
                in = true;
                break;
            }
        return in != state.Negate;
    }
    case skEnd:
        return false;
    }
    return false;
}

bool TMask::Fits(std::string_view name) const
{
    // A name is decoded into the thread's own room, which needs no destructor: under MinGW's
    // emulated thread-local storage, a thread-local object's destructor may run after the storage
    // it lives in is gone, and a worker then crashes as it ends. A longer name takes the heap.
    constexpr std::size_t Room = 1024;
    thread_local char32_t room[Room];
    std::unique_ptr<char32_t[]> longer;
    char32_t* chars = room;
    if (name.size() > Room) {
        longer = std::make_unique<char32_t[]>(name.size());
        chars = longer.get();
    }
    const std::size_t n = DecodeName(name, chars);
    return Run(chars, n, FStates.size() - 1) || (FOptionalDot != SIZE_MAX && Run(chars, n, FOptionalDot));
}

// Matches the states before `endState`, then treats `endState` as the end of the name: the real
// end state, or the dot of a final ".*" (which then takes that dot's skip flag, so "*.*" without
// its ".*" is "*", and "a.*" is "a").
bool TMask::Run(const char32_t* chars, std::size_t n, std::size_t endState) const
{
    // Classic glob matching with one retry point: every state but the end consumes exactly one
    // character, so retrying from the most recent skip state covers every length of every "*".
    std::size_t s = 0, p = 0;
    std::size_t retryState = SIZE_MAX, retryPos = 0;
    for (;;) {
        const TState& st = FStates[s];
        if (st.Skip) {
            retryState = s;
            retryPos = p;
        }
        if (s == endState) {
            if (st.Skip || p == n)
                return true;
        } else if (p < n && Matches(st, chars[p])) {
            ++s;
            ++p;
            continue;
        }
        if (retryState == SIZE_MAX || retryPos >= n)
            return false;
        s = retryState;
        p = retryPos + 1;
    }
}

std::string NormalizeMask(std::string_view text)
{
    std::string out;
    bool star = false;
    std::size_t questions = 0;
    for (char c : text) {
        if (c == '*') {
            star = true;
            questions = 0;
        } else if (c == '?') {
            ++questions;
        } else {
            if (star)
                out.push_back('*');
            else
                out.append(questions, '?');
            out.push_back(c);
            star = false;
            questions = 0;
        }
    }
    if (star)
        out.push_back('*');
    else
        out.append(questions, '?');
    return out;
}

std::vector<std::string> SplitMasks(std::string_view text)
{
    std::vector<std::string> masks;
    if (text.empty() || text == "*.*") {
        masks.emplace_back("*.*");
        return masks;
    }
    std::string piece;
    auto flush = [&] {
        if (!piece.empty())
            masks.push_back(Utf8Lower(NormalizeMask(piece)));
        piece.clear();
    };
    for (char c : text) {
        if (c == ' ' || c == ',' || c == '/' || c == ':' || c == ';' || c == '\\')
            flush();
        else
            piece.push_back(c);
    }
    flush();
    return masks;
}

bool NameFitsMask(std::string_view name, std::string_view mask)
{
    return TMask(mask).Fits(name);
}

} // namespace trovex
