// SPDX-License-Identifier: MIT
// The GoogleTest main of every engine test program: fixes the code pages and the time zone the
// expectations are written for, unless the caller chose others.
#include <cstdlib>
#include <ctime>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::setenv("TROVEX_ANSI_CODEPAGE", "1251", 0);
    ::setenv("TROVEX_OEM_CODEPAGE", "866", 0);
    ::setenv("TZ", "UTC", 0);
    ::tzset();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
