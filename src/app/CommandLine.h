// SPDX-License-Identifier: MIT
// The program's command line: only the second character of the first argument counts, so "-F",
// "/F", "xF" and "-f" are alike. F takes the folder from the second argument; I installs, then
// starts; U uninstalls and ends. Anything else starts normally.
#pragma once

#include <QString>
#include <QStringList>

namespace trovex
{

enum TStartAction : char
{
    saNone = 0,
    saFolder = 'F',
    saInstall = 'I',
    saUninstall = 'U',
};

struct TCommandLine
{
    TStartAction Action = saNone;
    QString Folder; ///< the second argument for saFolder, unchanged; empty otherwise
};

/// `arguments` without the program's own name, as the system split them.
TCommandLine ParseCommandLine(const QStringList& arguments);

/// argv[1..argc-1] as path texts (PathText): a folder whose name is not UTF-8 keeps its bytes.
QStringList CommandLineArguments(int argc, char** argv);

} // namespace trovex
