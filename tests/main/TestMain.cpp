// SPDX-License-Identifier: MIT
// The GoogleTest main of every engine test program: fixes the code pages and the time zone the
// expectations are written for, unless the caller chose others.
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

#include "support/Portable.h"

int main(int argc, char** argv)
{
    using trovex::test::SetEnv;
    SetEnv("TROVEX_ANSI_CODEPAGE", "1251", false);
    SetEnv("TROVEX_OEM_CODEPAGE", "866", false);
    SetEnv("TZ", "UTC", false); // Windows takes its time zone from the system: the test preset sets it for wine
    ::tzset();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
