/*
 * Fuzz target of libvecoord.
 *
 * Input: flags (1 byte), source and destination systems (16 bytes each),
 * point (8), rounding mode (4), rectangle (16), face count (1 byte, 0..4),
 * then face record bytes; missing bytes read as zero. Fields are taken in
 * host byte order. Flags: 1 destination = source, 2 small values, 4 null
 * source, 8 null destination, 16 negative face count.
 *
 * Checked: invalid systems give INT32_MIN; where no step wraps, the result
 * equals the exact quotient truncated toward zero; equal systems copy a
 * rectangle exactly, other rectangles match point conversion; the face call
 * changes nothing but the five points, and those match point conversion.
 */
#include <vecoord/ve_coordinate.h>

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define MAX_FACES 4

static const struct {
    size_t offset;
    int32_t rounding;
} points[] = {
    {VE_COORDINATE_FACE_TOP_LEFT_OFFSET, VE_COORDINATE_ROUND_UP},
    {VE_COORDINATE_FACE_BOTTOM_RIGHT_OFFSET, VE_COORDINATE_ROUND_TRUNCATE},
    {VE_COORDINATE_FACE_LANDMARK0_OFFSET, VE_COORDINATE_ROUND_NEAREST},
    {VE_COORDINATE_FACE_LANDMARK1_OFFSET, VE_COORDINATE_ROUND_NEAREST},
    {VE_COORDINATE_FACE_LANDMARK2_OFFSET, VE_COORDINATE_ROUND_NEAREST},
};

typedef struct reader {
    const uint8_t *p;
    size_t n;
} reader;

static void take(reader *r, void *out, size_t size)
{
    size_t k = r->n < size ? r->n : size;
    memset(out, 0, size);
    memcpy(out, r->p, k);
    r->p += k;
    r->n -= k;
}

static int fits(int64_t v)
{
    return v >= INT32_MIN && v <= INT32_MAX;
}

/* Exact extent, 0 when not a usable size. */
static int64_t extent(int32_t low, int32_t high)
{
    int64_t d = (int64_t)high - low;
    return d > 0 && d <= INT32_MAX ? d : 0;
}

/*
 * One axis, exactly. Returns 1 and stores the result when no intermediate
 * step leaves the 32-bit range, 0 otherwise.
 */
static int exact_axis(int32_t v, int32_t slow, int64_t sl, int32_t dlow, int64_t dl, int32_t mode, int32_t *out)
{
    int64_t off = (int64_t)v - slow;
    if (!fits(off))
        return 0;
    int64_t n = off * dl;
    if (!fits(n))
        return 0;
    if (mode == VE_COORDINATE_ROUND_UP)
        n += sl - 1;
    else if (mode == VE_COORDINATE_ROUND_NEAREST)
        n += sl / 2;
    if (!fits(n))
        return 0;
    int64_t q = n / sl; /* C truncates toward zero */
    int64_t r = dlow + q;
    if (!fits(r))
        return 0;
    *out = (int32_t)r;
    return 1;
}

static void check_point(const ve_coordinate_system *s, const ve_coordinate_system *d, ve_coordinate p, int32_t mode,
                        ve_coordinate got)
{
    int64_t sw = s ? extent(s->left, s->right) : 0, sh = s ? extent(s->top, s->bottom) : 0;
    int64_t dw = d ? extent(d->left, d->right) : 0, dh = d ? extent(d->top, d->bottom) : 0;
    if (!sw || !sh || !dw || !dh) {
        if (got.x != INT32_MIN || got.y != INT32_MIN)
            abort();
        return;
    }
    int32_t v;
    if (exact_axis(p.x, s->left, sw, d->left, dw, mode, &v) && v != got.x)
        abort();
    if (exact_axis(p.y, s->top, sh, d->top, dh, mode, &v) && v != got.y)
        abort();
}

static int same(const ve_coordinate_system *a, const ve_coordinate_system *b)
{
    return a && b && a->top == b->top && a->left == b->left && a->bottom == b->bottom && a->right == b->right;
}

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    reader r = {data, size};
    uint8_t flags, count;
    ve_coordinate_system src, dst;
    ve_coordinate pt;
    int32_t mode;
    ve_coordinate_rect rect;

    take(&r, &flags, 1);
    take(&r, &src, sizeof src);
    take(&r, &dst, sizeof dst);
    take(&r, &pt, sizeof pt);
    take(&r, &mode, sizeof mode);
    take(&r, &rect, sizeof rect);
    take(&r, &count, 1);
    if (flags & 1)
        dst = src;
    if (flags & 2) { /* small systems, where conversions rarely wrap */
        src.top = (int8_t)src.top, src.left = (int8_t)src.left;
        src.bottom = (int8_t)src.bottom, src.right = (int8_t)src.right;
        dst.top = (int8_t)dst.top, dst.left = (int8_t)dst.left;
        dst.bottom = (int8_t)dst.bottom, dst.right = (int8_t)dst.right;
        pt.x = (int16_t)pt.x, pt.y = (int16_t)pt.y;
    }
    const ve_coordinate_system *ps = (flags & 4) ? NULL : &src;
    const ve_coordinate_system *pd = (flags & 8) ? NULL : &dst;

    check_point(ps, pd, pt, mode, ve_coordinate_convert(ps, pd, pt, mode));

    ve_coordinate_rect out;
    memset(&out, 0x5a, sizeof out);
    ve_coordinate_convert_rect(ps, &rect, pd, &out);
    if (same(ps, pd)) {
        if (memcmp(&out, &rect, sizeof out) != 0)
            abort();
    } else {
        ve_coordinate tl = {rect.left, rect.top}, br = {rect.right, rect.bottom};
        tl = ve_coordinate_convert(ps, pd, tl, VE_COORDINATE_ROUND_UP);
        br = ve_coordinate_convert(ps, pd, br, VE_COORDINATE_ROUND_TRUNCATE);
        if (out.left != tl.x || out.top != tl.y || out.right != br.x || out.bottom != br.y)
            abort();
    }
    ve_coordinate_rect inplace = rect;
    ve_coordinate_convert_rect(ps, &inplace, pd, &inplace);
    if (memcmp(&inplace, &out, sizeof out) != 0)
        abort();

    /* Faces: one spare byte in front to break alignment, one spare record behind. */
    static uint8_t buf[1 + (MAX_FACES + 1) * VE_COORDINATE_FACE_SIZE];
    static uint8_t before[sizeof buf];
    int32_t n = count % (MAX_FACES + 1);
    if (flags & 16)
        n = -n;
    take(&r, buf, sizeof buf);
    memcpy(before, buf, sizeof buf);
    ve_coordinate_face_list list = {n, buf + 1};
    ve_coordinate_convert_wuvo_faces(&list, ps, pd);
    if (list.count != n || list.faces != buf + 1)
        abort();
    for (int32_t f = 0; f < n; f++) {
        uint8_t *face = buf + 1 + (size_t)f * VE_COORDINATE_FACE_SIZE;
        uint8_t *old = before + 1 + (size_t)f * VE_COORDINATE_FACE_SIZE;
        for (size_t k = 0; k < sizeof points / sizeof points[0]; k++) {
            ve_coordinate p, want;
            memcpy(&p, old + points[k].offset, sizeof p);
            want = ve_coordinate_convert(ps, pd, p, points[k].rounding);
            if (memcmp(face + points[k].offset, &want, sizeof want) != 0)
                abort();
            /* restore, so that the comparison below sees only the other bytes */
            memcpy(face + points[k].offset, old + points[k].offset, sizeof p);
        }
    }
    if (memcmp(buf, before, sizeof buf) != 0)
        abort();

    ve_coordinate_face_list nulls = {n > 0 ? n : 1, NULL};
    ve_coordinate_convert_wuvo_faces(&nulls, ps, pd);
    ve_coordinate_convert_wuvo_faces(NULL, ps, pd);
    ve_coordinate_convert_rect(ps, NULL, pd, &out);
    ve_coordinate_convert_rect(ps, &rect, pd, NULL);
    return 0;
}
