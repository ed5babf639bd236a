// SPDX-License-Identifier: MIT
// Moving files to the freedesktop trash by their exact bytes: the home trash under
// $XDG_DATA_HOME/Trash for files on its file system, the top folder's .Trash/$uid or .Trash-$uid
// for files on other mounts. The record ("info/<name>.trashinfo") is written first, with Path=
// percent-encoded as the freedesktop trash format asks, then the file is renamed into "files/"; a move
// that fails removes its record again. No Qt: names are bytes, as the system gives them.
#pragma once

#include <string>

namespace trovex
{

struct TTrashResult
{
    bool Moved = false;
    std::string PathInTrash; ///< where the file went, when moved
    std::string Error;       ///< why not, when not moved (the system's text)
};

/// The home trash folder: $XDG_DATA_HOME/Trash, with ~/.local/share for an unset or relative
/// variable. Read from the environment at each call.
std::string HomeTrashFolder();

/// Moves the file, folder or link `path` (absolute; a trailing '/' is ignored, a link is moved, not
/// what it points at) into the trash of its file system. Never throws; a path that is gone, the root,
/// the trash itself or something inside it, and a file system without a usable trash, are failures.
TTrashResult MoveToTrash(const std::string& path);

} // namespace trovex
