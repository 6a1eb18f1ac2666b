// Number texts turned into little-endian binary buffers.
#include <vorn/graph_camera_util.h>

#include <cstdint>

#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "no_memory.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
}  // namespace

uint8_t *GraphCameraUtil::numString2binary(const std::string &text, uint32_t *size)
try {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return nullptr;
    size_t position = text.find_first_not_of('0');
    if (position == std::string::npos)
        position = text.size();
    const bool hexadecimal = position < text.size() && (text[position] == 'x' || text[position] == 'X');

    size_t first = hexadecimal ? position + 1 : position;
    size_t last = first;
    uint64_t decimal = 0;
    if (hexadecimal) {
        while (last < text.size() && hexDigit(text[last]) >= 0)
            ++last;
    } else {
        for (; last < text.size() && text[last] >= '0' && text[last] <= '9'; ++last) {
            decimal = decimal * 10 + static_cast<uint64_t>(text[last] - '0');
            if (decimal > UINT32_MAX) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Number %s does not fit in 32 bits", text.c_str());
                return nullptr;
            }
        }
    }
    const size_t digits = last - first;
    const size_t bytes = hexadecimal ? digits / 2 + 1 : digits * 27214 / 65536 + 1;
    if (bytes > UINT32_MAX)
        return nullptr;

    auto *buffer = static_cast<uint8_t *>(ve_cipr_calloc(bytes, 1, "numString2binary", __FILE__, __LINE__));
    if (buffer == nullptr)
        return nullptr;
    if (size != nullptr)
        *size = static_cast<uint32_t>(bytes);

    if (hexadecimal) {
        // Last digit first: low half of a byte, then its high half.
        for (size_t i = 0; i < digits; ++i) {
            const auto nibble = static_cast<uint8_t>(hexDigit(text[last - 1 - i]));
            buffer[i / 2] = static_cast<uint8_t>(buffer[i / 2] | (i % 2 == 0 ? nibble : nibble << 4));
        }
    } else {
        for (size_t i = 0; i < bytes; ++i) {
            buffer[i] = static_cast<uint8_t>(decimal & 0xffu);
            decimal >>= 8;
        }
    }
    return buffer;
} catch (const std::bad_alloc &) {
    return noMemory("numString2binary", nullptr);
}

void GraphCameraUtil::releaseBinary(uint8_t *buffer) { ve_cipr_free(buffer, "releaseBinary"); }

}  // namespace Vorn
