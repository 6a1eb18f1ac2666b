/*
 * Coordinate conversion between rectangular coordinate systems.
 *
 * The conversion is defined in signed 32-bit arithmetic whose differences,
 * products and sums wrap modulo 2^32. Signed overflow is undefined in C, so
 * every wrapping step is done in uint32_t and turned back into int32_t by
 * two's complement; only the division is signed, and its divisor is always
 * a width or height in 1 .. INT32_MAX, so it truncates toward zero and can
 * never trap.
 */
#include "vecoord/ve_coordinate.h"

#include <stddef.h>
#include <string.h>

_Static_assert(sizeof(ve_coordinate) == 8, "a point is one 8-byte record");
_Static_assert(sizeof(ve_coordinate_rect) == 16, "a rectangle is two points");
_Static_assert(sizeof(ve_coordinate_system) == 16, "a system is four int32");

/* Two's-complement reading of a 32-bit pattern, without implementation-defined conversion. */
static int32_t to_signed(uint32_t u)
{
    if (u <= (uint32_t)INT32_MAX)
        return (int32_t)u;
    return (int32_t)(u - 0x80000000u) + INT32_MIN;
}

static int32_t wrap_add(int32_t a, int32_t b)
{
    return to_signed((uint32_t)a + (uint32_t)b);
}

static int32_t wrap_sub(int32_t a, int32_t b)
{
    return to_signed((uint32_t)a - (uint32_t)b);
}

static int32_t wrap_mul(int32_t a, int32_t b)
{
    return to_signed((uint32_t)a * (uint32_t)b);
}

/*
 * Extent from low to high, or 0 when it is not a usable size. The difference
 * is taken exactly: an extent above INT32_MAX (whose 32-bit difference would
 * be negative) and a high edge below the low one (whose 32-bit difference may
 * wrap back to a positive number) are both unusable.
 */
static int32_t extent(int32_t low, int32_t high)
{
    int64_t d = (int64_t)high - (int64_t)low;
    if (d <= 0 || d > INT32_MAX)
        return 0;
    return (int32_t)d;
}

typedef struct size2 {
    int32_t w;
    int32_t h;
} size2;

/* Width and height of a valid system; false for a null or invalid one. */
static int system_size(const ve_coordinate_system *s, size2 *out)
{
    if (s == NULL)
        return 0;
    out->w = extent(s->left, s->right);
    out->h = extent(s->top, s->bottom);
    return out->w > 0 && out->h > 0;
}

/* (offset * dst_len + rounding) / src_len, wrapping; src_len > 0. */
static int32_t scale(int32_t offset, int32_t src_len, int32_t dst_len, int32_t rounding)
{
    int32_t n = wrap_mul(offset, dst_len);
    if (rounding == VE_COORDINATE_ROUND_UP)
        n = wrap_add(n, src_len - 1);
    else if (rounding == VE_COORDINATE_ROUND_NEAREST)
        n = wrap_add(n, (int32_t)((uint32_t)src_len >> 1));
    return n / src_len;
}

static ve_coordinate convert_sized(const ve_coordinate_system *src, size2 ss, const ve_coordinate_system *dst, size2 ds,
                                   ve_coordinate p, int32_t rounding)
{
    ve_coordinate r;
    r.x = wrap_add(dst->left, scale(wrap_sub(p.x, src->left), ss.w, ds.w, rounding));
    r.y = wrap_add(dst->top, scale(wrap_sub(p.y, src->top), ss.h, ds.h, rounding));
    return r;
}

VE_COORD_API ve_coordinate ve_coordinate_convert(const ve_coordinate_system *src, const ve_coordinate_system *dst,
                                                 ve_coordinate point, int32_t rounding)
{
    size2 ss, ds;
    if (!system_size(dst, &ds) || !system_size(src, &ss)) {
        ve_coordinate invalid = {VE_COORDINATE_INVALID, VE_COORDINATE_INVALID};
        return invalid;
    }
    return convert_sized(src, ss, dst, ds, point, rounding);
}

static int same_system(const ve_coordinate_system *a, const ve_coordinate_system *b)
{
    return a != NULL && b != NULL && a->top == b->top && a->left == b->left && a->bottom == b->bottom &&
           a->right == b->right;
}

VE_COORD_API void ve_coordinate_convert_rect(const ve_coordinate_system *src, const ve_coordinate_rect *src_rect,
                                             const ve_coordinate_system *dst, ve_coordinate_rect *dst_rect)
{
    if (src_rect == NULL || dst_rect == NULL)
        return;
    ve_coordinate_rect in = *src_rect; /* src_rect and dst_rect may alias */
    if (same_system(src, dst)) {
        *dst_rect = in;
        return;
    }
    ve_coordinate tl = {in.left, in.top};
    ve_coordinate br = {in.right, in.bottom};
    tl = ve_coordinate_convert(src, dst, tl, VE_COORDINATE_ROUND_UP);
    br = ve_coordinate_convert(src, dst, br, VE_COORDINATE_ROUND_TRUNCATE);
    dst_rect->left = tl.x;
    dst_rect->top = tl.y;
    dst_rect->right = br.x;
    dst_rect->bottom = br.y;
}

static const struct {
    size_t offset;
    int32_t rounding;
} face_points[] = {
    {VE_COORDINATE_FACE_TOP_LEFT_OFFSET, VE_COORDINATE_ROUND_UP},
    {VE_COORDINATE_FACE_BOTTOM_RIGHT_OFFSET, VE_COORDINATE_ROUND_TRUNCATE},
    {VE_COORDINATE_FACE_LANDMARK0_OFFSET, VE_COORDINATE_ROUND_NEAREST},
    {VE_COORDINATE_FACE_LANDMARK1_OFFSET, VE_COORDINATE_ROUND_NEAREST},
    {VE_COORDINATE_FACE_LANDMARK2_OFFSET, VE_COORDINATE_ROUND_NEAREST},
};

VE_COORD_API void ve_coordinate_convert_wuvo_faces(ve_coordinate_face_list *faces, const ve_coordinate_system *src,
                                                   const ve_coordinate_system *dst)
{
    if (faces == NULL || faces->count <= 0 || faces->faces == NULL)
        return;
    unsigned char *base = (unsigned char *)faces->faces;
    size_t count = (size_t)faces->count;
    for (size_t i = 0; i < count; i++) {
        unsigned char *face = base + i * VE_COORDINATE_FACE_SIZE;
        for (size_t k = 0; k < sizeof face_points / sizeof face_points[0]; k++) {
            ve_coordinate p;
            memcpy(&p, face + face_points[k].offset, sizeof p);
            p = ve_coordinate_convert(src, dst, p, face_points[k].rounding);
            memcpy(face + face_points[k].offset, &p, sizeof p);
        }
    }
}
