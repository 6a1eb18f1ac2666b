// Helpers shared by the sources of the format subsystem.
#ifndef VORN_FORMATS_INTERNAL_H
#define VORN_FORMATS_INTERNAL_H

#include <cstdint>

#include "log_tags.h"

#define VORN_FORMATS_TAG ::Vorn::kFormatsTag

namespace VornFormats {
namespace detail {

// The code as a signed 32-bit number, for "%d" in log lines.
inline int32_t asSigned(uint32_t value)
{
    return value <= 0x7FFFFFFFu ? static_cast<int32_t>(value)
                                : static_cast<int32_t>(value - 0x80000000u) - 0x7FFFFFFF - 1;
}

// x rounded up to a multiple of a (a > 0), exact in 64 bits.
inline uint64_t alignUp(uint64_t x, uint64_t a) { return (x + a - 1) / a * a; }

constexpr uint64_t kMax32 = 0xFFFFFFFFu;

}  // namespace detail
}  // namespace VornFormats

#endif
