// SPDX-License-Identifier: MIT
// Fuzz target for the language-file reader. Beyond "no crash and no hang" it checks what a
// translation promises: a key found nowhere translates to itself, the first line holding "=" (in a
// plain ASCII file) gives its own text for its key, and a translated message formats.
#include "lang/MultiLang.h"

#include <QDir>

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace trovex;
    // A folder with no language files: the reader is fed the bytes directly.
    static TMultiLang lang(QDir::tempPath() + QStringLiteral("/trovex-fuzz-no-such-folder"));
    lang.LoadLanguageBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

    // No line can hold this key: a key ends at its line's first "=" and never spans a line break.
    // (Keys match ignoring case, so a key the fuzzer spells in other letters must not count.)
    const QString absent = QStringLiteral("\x01no key\nis=this\x02");
    if (lang.Translate(absent) != absent)
        std::abort();
    (void)FormatMessage(lang.Translate(QStringLiteral("Files found: %d")), {1, 22, 333});

    std::string_view text(reinterpret_cast<const char*>(data), size);
    text = text.substr(0, text.find('\0')); // a NUL ends the text
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return 0; // the code page decides what the key is; the check below is for ASCII only
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos)
        return 0;
    const std::size_t lineStart = text.find_last_of("\r\n", eq) == std::string_view::npos
                                      ? 0
                                      : text.find_last_of("\r\n", eq) + 1;
    const std::size_t lineEnd = std::min(text.find_first_of("\r\n", eq), text.size());
    const std::string_view key = text.substr(lineStart, eq - lineStart);
    const std::string_view value = text.substr(eq + 1, lineEnd - eq - 1);
    if (lang.Translate(QString::fromLatin1(key.data(), static_cast<qsizetype>(key.size()))) !=
        QString::fromLatin1(value.data(), static_cast<qsizetype>(value.size())))
        std::abort();
    return 0;
}
