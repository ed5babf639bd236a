// SPDX-License-Identifier: MIT
// The result list's files as OLE data for a drag out of the window and for the clipboard: CF_HDROP
// with wide names (so every Windows name arrives whole, whatever the receiver's code page) and
// "Preferred DropEffect". Copy is the only effect offered. A file the shell would read as another
// (ShellPathRefusal) makes the whole drag or copy refused: a receiver never gets a wrong file.
// User-interface thread only; OLE must be initialised on it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shell/DropSource.h"

namespace trovex::win32
{

/// The CF_HDROP block of `files`: the 20-byte DROPFILES header with its wide flag set, each path
/// in UTF-16 followed by a NUL, then one more NUL. The paths go in as the shell reads them
/// (backslashes, no extended-length prefix).
std::vector<std::uint8_t> BuildHDropW(const std::vector<std::string>& files);

class TDropFileSource
{
public:
    TDropFileSource();
    ~TDropFileSource();
    TDropFileSource(const TDropFileSource&) = delete;
    TDropFileSource& operator=(const TDropFileSource&) = delete;

    /// Full paths of the files, in list order; filled just before a drag or copy.
    const std::vector<std::string>& Files() const { return FFiles; }
    void SetFiles(std::vector<std::string> files) { FFiles = std::move(files); }

    /// The effect the drop target last reported, or that of the last clipboard operation.
    std::uint32_t CurrentEffect() const;
    /// Why the last RunDrag, ClipboardCopy or ClipboardCut did nothing: "<path>: <reason>" of the
    /// first file refused, or what failed; empty after a success.
    const std::string& LastError() const { return FLastError; }

    /// Runs a drag of Files() (DoDragDrop, copy allowed); returns when it ends. doCancelled without
    /// files or when a file is refused (LastError says which).
    TDragOutcome RunDrag();
    /// Puts Files() on the clipboard, replacing what it held, as CF_HDROP plus "Preferred
    /// DropEffect" (copy, or move for a cut). False without files, when a file is refused, or when
    /// the clipboard stayed busy; the clipboard is then left as it was.
    bool ClipboardCopy(HWND owner = nullptr) { return ClipboardTransfer(owner, deCopy); }
    bool ClipboardCut(HWND owner = nullptr) { return ClipboardTransfer(owner, deMove); }

private:
    class TOleObject;
    bool CheckFiles();
    bool ClipboardTransfer(HWND owner, std::uint32_t effect);

    std::vector<std::string> FFiles;
    std::string FLastError;
    TOleObject* FObject; // reference-counted; this component holds one reference
};

} // namespace trovex::win32
