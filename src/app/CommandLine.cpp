// SPDX-License-Identifier: MIT
// Reading the first command-line argument; see CommandLine.h.
#include "app/CommandLine.h"

#include "shell/FileList.h"

namespace trovex
{

TCommandLine ParseCommandLine(const QStringList& arguments)
{
    TCommandLine result;
    if (arguments.isEmpty() || arguments[0].size() < 2)
        return result;
    switch (arguments[0][1].toUpper().unicode()) {
    case u'F':
        result.Action = saFolder;
        if (arguments.size() > 1)
            result.Folder = arguments[1];
        break;
    case u'I':
        result.Action = saInstall;
        break;
    case u'U':
        result.Action = saUninstall;
        break;
    default:
        break;
    }
    return result;
}

QStringList CommandLineArguments(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(PathText(argv[i]));
    return arguments;
}

} // namespace trovex
