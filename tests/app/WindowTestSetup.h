// SPDX-License-Identifier: MIT
// What every window test sets up the same way: one style and the same code pages whatever the
// machine, launches recorded rather than made, and each test's per-user folders in a home of its own.
#pragma once

#include <QApplication>
#include <QDir>
#include <QStandardPaths>
#include <QString>
#include <QStyleFactory>

#include "platform/CodePage.h"
#include "shell/Seams.h"

namespace trovex::test
{

inline void PrepareWindowTests()
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    InitCodePages();
    TLauncher::SetRecording(true);
}

/// Settings, state, data and temporary files go below `home`.
inline void UseUserFoldersIn(const QString& home)
{
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "TMPDIR"}) {
        const QString dir = home + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(dir);
        qputenv(name, dir.toUtf8());
    }
}

} // namespace trovex::test
