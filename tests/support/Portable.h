// SPDX-License-Identifier: MIT
// What the tests need from the system they run on, for POSIX systems and Windows alike: the
// environment, temporary folders, guarded memory pages, FIFOs and child processes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "platform/PathDelim.h"

#ifdef _WIN32
/// Skips a test whose subject Windows does not have (FIFOs, symbolic links made by symlink(),
/// case-sensitive names), saying which.
#define TROVEX_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << "not on Windows: " << (reason)
#define TROVEX_ONLY_ON_WINDOWS() (void)0
#else
#define TROVEX_SKIP_ON_WINDOWS(reason) (void)0
#define TROVEX_ONLY_ON_WINDOWS() GTEST_SKIP() << "Windows only"
#endif

namespace trovex::test
{

#ifdef _WIN32
constexpr bool OnWindows = true;
#else
constexpr bool OnWindows = false;
#endif

/// True in a build under the address or thread sanitizer, whose own reservations and quarantine
/// make address-space limits and resident sizes meaningless.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool SanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool SanitizedBuild = true;
#else
constexpr bool SanitizedBuild = false;
#endif
#else
constexpr bool SanitizedBuild = false;
#endif

/// A path written with '/' in the separator of the system: "a/b" is "a\b" on Windows.
std::string Native(std::string_view path);
/// The other way: the system's separators written as '/', so one expectation serves every system.
std::string Slashed(std::string_view path);

void SetEnv(const char* name, const char* value, bool overwrite = true);
void UnsetEnv(const char* name);
long ProcessId();

/// A new folder named `prefix` plus a unique suffix under the test temp folder; no trailing separator.
std::string MakeTempFolder(std::string_view prefix);

std::size_t PageSize();
/// Readable, writable pages; `size` a multiple of PageSize().
char* PageAlloc(std::size_t size);
void PageFree(char* pages, std::size_t size);
/// Makes whole pages unreadable, or readable and writable again.
bool PageProtect(char* pages, std::size_t size, bool readable);

/// Sets a file's modification time (and access time) to the 100-ns tick; a link's own time.
bool SetFileTimes(const std::string& path, long long unixSeconds, long nanoseconds);
/// Sets the hidden attribute on Windows, where a leading dot does not hide a name; true elsewhere.
bool SetHidden(const std::string& path);
/// Opens `path` so that nobody else can read it until UnlockFile; on POSIX systems a dangling
/// symbolic link is made there instead. Either way the entry is listed but cannot be read.
void* MakeUnreadable(const std::string& path);
void ReleaseUnreadable(void* handle);

/// A FIFO at `path`; false where the system has none.
bool MakeFifo(const std::string& path);

/// Runs `program` with `args` in `cwd` (when not empty), its output and errors written to the two
/// files; returns its exit status, -1 when it could not run or did not exit.
int RunProcess(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
               const std::string& outPath, const std::string& errPath);

} // namespace trovex::test
