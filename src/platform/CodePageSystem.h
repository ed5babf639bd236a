// SPDX-License-Identifier: MIT
// What the code-page tables take from the system: ICU on POSIX systems, the Windows API on Windows.
// The portable corrections and the tables themselves live in CodePage.cpp.
#pragma once

#include <cstdint>

namespace trovex::system
{

/// The Unicode of each byte of single-byte page `number`, U+FFFD where the page leaves a byte
/// undefined. Throws std::invalid_argument for an unknown page or one that is not single-byte.
void LoadCodePage(int number, char16_t (&toUnicode)[256]);

/// Simple (one character to one character) case mappings.
char32_t SimpleUpper(char32_t c);
char32_t SimpleLower(char32_t c);

/// The ANSI and OEM pages the system itself names for the user (Windows: the user locale's
/// defaults); false when the system has no such notion and the locale rules decide.
bool SystemCodePages(int& ansi, int& oem);

} // namespace trovex::system
