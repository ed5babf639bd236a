// SPDX-License-Identifier: MIT
// A regular file mapped read-only, for readers that jump around in a file (ZIP headers).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trovex
{

class TFileMapping
{
public:
    enum TResult
    {
        fmOk,
        fmCannotOpen, ///< missing, unreadable, or not a regular file (never opened in a way that blocks)
        fmEmpty,      ///< an empty file has nothing to map
        fmMapFailed,
    };

    TFileMapping() = default;
    ~TFileMapping() { Close(); }
    TFileMapping(const TFileMapping&) = delete;
    TFileMapping& operator=(const TFileMapping&) = delete;

    /// Maps `path`, releasing any file mapped before. On POSIX systems the reader must not outlive a
    /// file that shrinks under it; Windows refuses to shorten a mapped file.
    TResult Open(const std::string& path);
    void Close();
    std::string_view Data() const { return {static_cast<const char*>(FView), FSize}; }
    /// Tells the system that these bytes will be read from start to end soon.
    void WillRead(std::size_t offset, std::size_t count) const;

private:
    void* FView = nullptr;
    std::size_t FSize = 0;
#ifdef _WIN32
    void* FMapping = nullptr;
#endif
};

} // namespace trovex
