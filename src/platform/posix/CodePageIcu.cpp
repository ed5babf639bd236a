// SPDX-License-Identifier: MIT
// Code pages and case mappings from ICU.
#include "platform/CodePageSystem.h"

#include <stdexcept>
#include <string>

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace trovex::system
{
namespace
{

constexpr int Koi8rCodePage = 20866;

std::string IcuName(int number)
{
    if (number == Koi8rCodePage)
        return "KOI8-R";
    if (number == 874 || (number >= 1250 && number <= 1258))
        return "windows-" + std::to_string(number);
    // Pages Windows knows by these numbers that hold more than one byte a character: named so the
    // refusal says what Windows says of them.
    if (number == 65001)
        return "UTF-8";
    if (number == 932 || number == 936 || number == 949 || number == 950)
        return "windows-" + std::to_string(number);
    return "ibm-" + std::to_string(number);
}

} // namespace

void LoadCodePage(int number, char16_t (&toUnicode)[256])
{
    // The UTF-16 and UTF-32 pages are no code pages a byte conversion knows on Windows either.
    if (number == 1200 || number == 1201 || number == 12000 || number == 12001)
        throw std::invalid_argument("Unknown code page " + std::to_string(number));
    UErrorCode status = U_ZERO_ERROR;
    UConverter* conv = ucnv_open(IcuName(number).c_str(), &status);
    if (U_FAILURE(status) || !conv)
        throw std::invalid_argument("Unknown code page " + std::to_string(number));
    if (ucnv_getMaxCharSize(conv) != 1) {
        ucnv_close(conv);
        throw std::invalid_argument("Code page " + std::to_string(number) + " is not a single-byte page");
    }
    // Undefined bytes must come out as U+FFFD, not as ICU's substitution character.
    ucnv_setToUCallBack(conv, UCNV_TO_U_CALLBACK_SUBSTITUTE, nullptr, nullptr, nullptr, &status);
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        UChar out[4] = {0xFFFD};
        status = U_ZERO_ERROR;
        ucnv_reset(conv);
        int32_t n = ucnv_toUChars(conv, out, 4, &in, 1, &status);
        toUnicode[b] = (U_SUCCESS(status) && n == 1 && out[0] != 0x1A) ? out[0] : 0xFFFD;
    }
    ucnv_close(conv);
}

char32_t SimpleUpper(char32_t c)
{
    return static_cast<char32_t>(u_toupper(static_cast<UChar32>(c)));
}

char32_t SimpleLower(char32_t c)
{
    return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
}

bool SystemCodePages(int&, int&)
{
    return false;
}

} // namespace trovex::system

namespace trovex
{

std::string Utf8ComposeNfc(std::string_view s)
{
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return std::string(s);
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
    const icu::UnicodeString composed = nfc->normalize(text, status);
    if (U_FAILURE(status))
        return std::string(s);
    std::string out;
    composed.toUTF8String(out);
    return out;
}

} // namespace trovex
