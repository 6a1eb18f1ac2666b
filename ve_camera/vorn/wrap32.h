// 32-bit arithmetic that wraps like the hardware's registers, computed
// without signed overflow and without a trapping division.
#ifndef VORN_KOR_WRAP32_H
#define VORN_KOR_WRAP32_H

#include <cstdint>

namespace Vorn {
namespace wrap32 {

// The low 32 bits of value, as a signed number.
inline int32_t truncate(int64_t value)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}
inline int32_t add(int32_t a, int32_t b) { return truncate(static_cast<int64_t>(a) + b); }
inline int32_t sub(int32_t a, int32_t b) { return truncate(static_cast<int64_t>(a) - b); }
inline int32_t mul(int32_t a, int32_t b) { return truncate(static_cast<int64_t>(a) * b); }
// Truncating division; INT32_MIN / -1 wraps to INT32_MIN. divisor must not be 0.
inline int32_t div(int32_t a, int32_t divisor) { return truncate(static_cast<int64_t>(a) / divisor); }
// Arithmetic shift right.
inline int32_t shr(int32_t a, unsigned bits) { return a >= 0 ? a >> bits : -1 - ((-1 - a) >> bits); }

}  // namespace wrap32
}  // namespace Vorn

#endif
