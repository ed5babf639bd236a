// SPDX-License-Identifier: MIT
// The shell's type (description and icon slot) of a result row with "Show icons". The type of a
// folder or regular file follows from its name alone and is cheap to ask again; any other kind of
// entry is asked of the file system as it is now.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/ResultModel.h"

class QMimeType;

namespace trovex
{

/// The row's type from what the row already knows: true for a folder or a regular file (the name
/// decides), false for anything else (a device, a FIFO, a link to nothing), which needs the file.
bool TypeFollowsFromName(std::uint32_t attributes);

/// The description of `type` in the user's language (QLocale()), as QMimeType::comment() gives
/// it, in a tenth of its time.
QString MimeComment(const QMimeType& type);

/// The type and icon slot of the row whose file is `path` (bytes) with `attributes`. Rows whose
/// name decides share one lookup per name pattern; the others touch the file system. An empty name
/// when the system knows no type. User-interface thread only (the icon list is the window's).
TResultModel::TShellType ShellTypeOfRow(std::string_view path, std::uint32_t attributes);

} // namespace trovex
