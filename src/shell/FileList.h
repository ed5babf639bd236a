// SPDX-License-Identifier: MIT
// The one encoder of file lists the desktop reads: file URIs with the path's raw bytes
// percent-encoded (a name that is not UTF-8 stays that name: "bad\xff.txt" is bad%FF.txt), the
// text/uri-list, x-special/gnome-copied-files and plain-path lists built from them, and the
// lossless text form of a path for editable fields. The byte functions use no Qt.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trovex
{

/// `path` with every byte percent-encoded (upper-case hex) except the unreserved characters
/// A-Z a-z 0-9 - . _ ~ and '/', as file URIs and the trash's Path= key want it.
std::string PercentEncodePath(std::string_view path);
/// Undoes PercentEncodePath (and any other percent-encoding): every "%XX" becomes its byte; a '%'
/// not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text);

/// "file://" + PercentEncodePath(path). `path` is absolute.
std::string FileUri(std::string_view path);

enum TFileListFormat : std::uint8_t
{
    flUriList,         ///< text/uri-list: one URI a line, each line ended by CR LF
    flGnomeCopied,     ///< x-special/gnome-copied-files: "copy" or "cut", then one URI a line
    flPlainPaths,      ///< text/plain: the paths' bytes, one a line
};

/// The list of `paths` in `format`; `cut` chooses "cut" over "copy" for flGnomeCopied.
std::string EncodeFileList(const std::vector<std::string>& paths, TFileListFormat format, bool cut = false);

/// The text of a path for a field the person may edit: valid UTF-8 is decoded, and every byte
/// that is not part of valid UTF-8 becomes the lone surrogate U+DC80..U+DCFF, so that PathBytes
/// gives back exactly the same bytes. Typed text never holds such surrogates.
QString PathText(std::string_view bytes);
/// The bytes of a path text: U+DC80..U+DCFF become their bytes again, everything else UTF-8.
std::string PathBytes(const QString& text);
/// The path for showing only: bytes that are not valid UTF-8 become U+FFFD.
QString DisplayPath(std::string_view bytes);
/// A path (or a text holding one) for a message: bytes that are not valid UTF-8 are written as
/// \xFF, so two names that differ only in such bytes read differently.
QString MessagePath(std::string_view bytes);

} // namespace trovex
