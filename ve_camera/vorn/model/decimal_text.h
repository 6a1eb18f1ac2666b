// Base-10 conversion of number texts in attributes and kernel values.
#ifndef VORN_MODEL_DECIMAL_TEXT_H
#define VORN_MODEL_DECIMAL_TEXT_H

#include <cstdint>

namespace Vorn {

// Converts the leading number of [begin, end): leading white space and a sign
// are accepted and reading stops at the first non-digit. False, with value
// untouched, for a text without digits or a number outside 32 bits.
inline bool decimalToInt32(const char *begin, const char *end, int32_t &value)
{
    const char *p = begin;
    while (p != end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    int64_t magnitude = 0;
    bool digits = false;
    for (; p != end && *p >= '0' && *p <= '9'; ++p) {
        digits = true;
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > static_cast<int64_t>(INT32_MAX) + 1)
            return false;
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (!digits || signedValue > INT32_MAX)
        return false;
    value = static_cast<int32_t>(signedValue);
    return true;
}

}  // namespace Vorn

#endif
