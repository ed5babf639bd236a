// SPDX-License-Identifier: MIT
// File URIs and file lists from raw path bytes, and the lossless text form of a path.
#include "shell/FileList.h"
#include "platform/CodePage.h"

namespace trovex
{

namespace
{

constexpr char HexDigits[] = "0123456789ABCDEF";
// Lone low surrogates carry the bytes 0x80..0xFF that are not part of valid UTF-8.
constexpr char16_t EscapeBase = 0xDC00;

bool KeptInUri(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '/';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The length of the valid UTF-8 sequence at `i` (1 for ASCII), 0 when the bytes there are not one:
// overlong forms, surrogates and code points past U+10FFFF are not valid.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i, char32_t& codePoint)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        codePoint = b0;
        return 1;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2, cp = b0 & 0x1F, minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3, cp = b0 & 0x0F, minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4, cp = b0 & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    codePoint = cp;
    return length;
}

enum TUndecodable : std::uint8_t
{
    udSurrogate,   // U+DC00 + byte, which PathBytes turns back into the byte
    udReplacement, // U+FFFD
    udHexText,     // the text \xFF
};

QString DecodePath(std::string_view bytes, TUndecodable undecodable)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t cp = 0;
        const std::size_t length = Utf8SequenceAt(bytes, i, cp);
        if (length == 0) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            if (undecodable == udSurrogate)
                out += QChar(static_cast<char16_t>(EscapeBase + byte));
            else if (undecodable == udReplacement)
                out += QChar(QChar::ReplacementCharacter);
            else
                out += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, u'0');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

} // namespace

std::string PercentEncodePath(std::string_view path)
{
    std::string out;
    out.reserve(path.size());
    for (char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (KeptInUri(c)) {
            out += ch;
        } else {
            out += '%';
            out += HexDigits[c >> 4];
            out += HexDigits[c & 0x0F];
        }
    }
    return out;
}

std::string PercentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string FileUri(std::string_view path)
{
    return "file://" + PercentEncodePath(path);
}

std::string EncodeFileList(const std::vector<std::string>& paths, TFileListFormat format, bool cut)
{
    std::string out;
    switch (format) {
    case flUriList:
        for (const std::string& path : paths)
            out += FileUri(path) + "\r\n";
        break;
    case flGnomeCopied:
        out = cut ? "cut" : "copy";
        for (const std::string& path : paths)
            out += '\n' + FileUri(path);
        break;
    case flPlainPaths:
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (i > 0)
                out += '\n';
            out += paths[i];
        }
        break;
    }
    return out;
}

QString PathText(std::string_view bytes)
{
    return DecodePath(bytes, udSurrogate);
}

QString DisplayPath(std::string_view bytes)
{
    return DecodePath(bytes, udReplacement);
}

QString MessagePath(std::string_view bytes)
{
    return DecodePath(bytes, udHexText);
}

std::string PathBytes(const QString& text)
{
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u >= EscapeBase + 0x80 && u <= EscapeBase + 0xFF) {
            out += static_cast<char>(u - EscapeBase);
        } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            Utf8Append(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            Utf8Append(out, QChar::ReplacementCharacter); // a stray half of a pair names no character
        } else {
            Utf8Append(out, u);
        }
    }
    return out;
}

} // namespace trovex
