// SPDX-License-Identifier: MIT
// Inflate loops over zlib with bounded, geometrically growing output.
#include "readers/ZLibEx.h"

#include <algorithm>
#include <climits>
#include <new>

#include <zlib.h>

namespace trovex
{
namespace
{

// Deflate cannot expand data by more than about 1032:1, so a declared size beyond that only
// reflects a lying header; the first buffer is never larger than the input could fill.
constexpr std::size_t MaxDeflateRatio = 1032;
constexpr std::size_t DeflateSlack = 1024;
constexpr int RawWindowBits = -15;

// Ends the zlib stream on every path out of the loop.
class TInflateGuard
{
public:
    explicit TInflateGuard(z_stream& stream) : FStream(stream) {}
    ~TInflateGuard()
    {
        if (FActive)
            inflateEnd(&FStream);
    }
    TInflateGuard(const TInflateGuard&) = delete;
    TInflateGuard& operator=(const TInflateGuard&) = delete;

    int End()
    {
        FActive = false;
        return inflateEnd(&FStream);
    }

private:
    z_stream& FStream;
    bool FActive = true;
};

// The input size rounded up to a multiple of 256: the smallest room added when the output grows.
std::size_t GrowthStep(std::size_t inputSize)
{
    constexpr std::size_t Mask = ~std::size_t{255};
    std::size_t rounded = inputSize > SIZE_MAX - 255 ? SIZE_MAX & Mask : (inputSize + 255) & Mask;
    return std::max<std::size_t>(rounded, 256);
}

std::size_t PlausibleOutput(std::size_t inputSize)
{
    if (inputSize > (SIZE_MAX - DeflateSlack) / MaxDeflateRatio)
        return SIZE_MAX;
    return inputSize * MaxDeflateRatio + DeflateSlack;
}

[[noreturn]] void Fail(int code)
{
    throw EZDecompressionError(zError(code));
}

struct TInflateJob
{
    std::string_view Input;
    int WindowBits;
    std::size_t InitialSize; // 0: one growth step
    std::size_t Limit;       // output never exceeds it
    // Raw data with a known size: the output is complete once the input is used up, as a single
    // inflate call into a buffer of the expected size would leave it.
    bool EndWhenInputUsed;
};

// Throws EZDecompressionError for a zlib failure and std::bad_alloc when memory runs out.
std::string Inflate(const TInflateJob& job, bool& truncated)
{
    truncated = false;
    const std::size_t step = GrowthStep(job.Input.size());
    std::size_t size = job.InitialSize ? job.InitialSize : step;
    size = std::min({size, job.Limit, PlausibleOutput(job.Input.size())});
    std::string out(size, '\0');

    z_stream zs{};
    int ret = inflateInit2(&zs, job.WindowBits);
    if (ret != Z_OK)
        Fail(ret);
    TInflateGuard guard(zs);

    const auto* next = reinterpret_cast<const Bytef*>(job.Input.data());
    std::size_t inputLeft = job.Input.size();
    std::size_t produced = 0;
    bool first = true;
    for (;;) {
        if (produced == out.size()) {
            if (out.size() >= job.Limit) {
                truncated = true;
                break;
            }
            // Geometric growth keeps a stream with no size hint linear in its output.
            std::size_t grow = std::max(step, out.size());
            out.resize(out.size() + std::min(grow, job.Limit - out.size()));
        }
        if (zs.avail_in == 0 && inputLeft > 0) {
            zs.next_in = const_cast<Bytef*>(next);
            zs.avail_in = static_cast<uInt>(std::min<std::size_t>(inputLeft, UINT_MAX));
            next += zs.avail_in;
            inputLeft -= zs.avail_in;
        }
        const uInt room = static_cast<uInt>(std::min<std::size_t>(out.size() - produced, UINT_MAX));
        const uInt inBefore = zs.avail_in;
        zs.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
        zs.avail_out = room;
        ret = inflate(&zs, Z_NO_FLUSH);
        produced += room - zs.avail_out;
        const bool progress = zs.avail_out != room || zs.avail_in != inBefore;
        if (ret == Z_OK && !progress)
            ret = Z_BUF_ERROR; // never spin on a call that moves nothing
        if (ret == Z_STREAM_END)
            break;
        if (ret == Z_BUF_ERROR && job.EndWhenInputUsed && !first)
            break;
        if (ret == Z_OK && job.EndWhenInputUsed && zs.avail_in == 0 && inputLeft == 0 && zs.avail_out > 0)
            break;
        if (ret != Z_OK)
            Fail(ret); // includes Z_NEED_DICT: a preset dictionary is never available here
        first = false;
    }
    ret = guard.End();
    if (ret < 0)
        Fail(ret);
    out.resize(produced);
    if (out.capacity() - produced > produced / 4)
        out.shrink_to_fit();
    return out;
}

} // namespace

std::string DecompressRawBuffer(std::string_view input, std::size_t expectedSize, std::size_t maxOutput)
{
    const std::size_t limit = expectedSize ? std::min(expectedSize, maxOutput) : maxOutput;
    try {
        bool truncated = false;
        return Inflate({input, RawWindowBits, expectedSize, limit, expectedSize != 0}, truncated);
    } catch (const EZDecompressionError&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string DecompressZlibBuffer(std::string_view input, std::size_t sizeHint, std::size_t maxOutput, bool* truncated)
{
    bool cut = false;
    std::string out;
    try {
        out = Inflate({input, MAX_WBITS, sizeHint, maxOutput, false}, cut);
    } catch (const std::bad_alloc&) {
        Fail(Z_MEM_ERROR);
    }
    if (truncated)
        *truncated = cut;
    return out;
}

} // namespace trovex
