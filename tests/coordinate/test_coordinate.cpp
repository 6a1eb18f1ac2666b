// Tests of libvecoord. Expected values are worked out by hand in the comments.
#include <vecoord/ve_coordinate.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

constexpr int32_t kMin = INT32_MIN;
constexpr int32_t kMax = INT32_MAX;

// Systems are {top, left, bottom, right}.
const ve_coordinate_system k100 = {0, 0, 100, 100};
const ve_coordinate_system k50 = {0, 0, 50, 50};

ve_coordinate conv(const ve_coordinate_system &s, const ve_coordinate_system &d, int32_t x, int32_t y, int32_t mode)
{
    return ve_coordinate_convert(&s, &d, ve_coordinate{x, y}, mode);
}

#define EXPECT_POINT(p, ex, ey) \
    do { \
        ve_coordinate p_ = (p); \
        EXPECT_EQ(p_.x, (ex)); \
        EXPECT_EQ(p_.y, (ey)); \
    } while (0)

TEST(CoordinateConvert, RoundingModes)
{
    // (3,3): 150/100 = 1; (150+99)/100 = 2; (150+50)/100 = 2.
    EXPECT_POINT(conv(k100, k50, 3, 3, VE_COORDINATE_ROUND_TRUNCATE), 1, 1);
    EXPECT_POINT(conv(k100, k50, 3, 3, VE_COORDINATE_ROUND_UP), 2, 2);
    EXPECT_POINT(conv(k100, k50, 3, 3, VE_COORDINATE_ROUND_NEAREST), 2, 2);
    // (1,1): 50/100 = 0; 149/100 = 1; 100/100 = 1. Unknown modes truncate.
    EXPECT_POINT(conv(k100, k50, 1, 1, 0), 0, 0);
    EXPECT_POINT(conv(k100, k50, 1, 1, 1), 1, 1);
    EXPECT_POINT(conv(k100, k50, 1, 1, 2), 1, 1);
    EXPECT_POINT(conv(k100, k50, 1, 1, 3), 0, 0);
    EXPECT_POINT(conv(k100, k50, 1, 1, -1), 0, 0);
    // Odd divisor 3, half 1: x=2 -> 4/3 = 1, 6/3 = 2, 5/3 = 1.
    const ve_coordinate_system s3 = {0, 0, 3, 3}, d2 = {0, 0, 2, 2};
    EXPECT_POINT(conv(s3, d2, 2, 1, 0), 1, 0);
    EXPECT_POINT(conv(s3, d2, 2, 1, 1), 2, 1);
    EXPECT_POINT(conv(s3, d2, 2, 1, 2), 1, 1);
    // Offsets: src w 200 h 100 at (20,10), dst w 400 h 50 at (100,-5); point (25,13):
    // x: 5*400/200 = 10 -> 110 in every mode; y: 150/100 = 1, 249/100 = 2, 200/100 = 2.
    const ve_coordinate_system so = {10, 20, 110, 220}, dso = {-5, 100, 45, 500};
    EXPECT_POINT(conv(so, dso, 25, 13, 0), 110, -4);
    EXPECT_POINT(conv(so, dso, 25, 13, 1), 110, -3);
    EXPECT_POINT(conv(so, dso, 25, 13, 2), 110, -3);
    // Left of / above the origin the quotient truncates toward zero:
    // x=-3: -150/100 = -1, -51/100 = 0, -100/100 = -1; y=-1: -50/100 = 0, 49/100 = 0, 0.
    EXPECT_POINT(conv(k100, k50, -3, -1, 0), -1, 0);
    EXPECT_POINT(conv(k100, k50, -3, -1, 1), 0, 0);
    EXPECT_POINT(conv(k100, k50, -3, -1, 2), -1, 0);
}

TEST(CoordinateConvert, InvalidSystems)
{
    const ve_coordinate_system bad[] = {
        {0, 10, 50, 10},           // right == left
        {0, 0, 0, 50},             // bottom == top
        {0, 50, 50, 0},            // negative width
        {0, -5, 10, kMax},         // width 2^31 + 4 does not fit in 32 bits
        {0, kMin, 10, kMax},       // width 2^32 - 1
        {0, kMax, 10, kMin + 10},  // right below left; the 32-bit difference wraps to 11
        {kMax, 0, kMin + 10, 10},  // the same for the height
    };
    for (const auto &b : bad) {
        EXPECT_POINT(conv(k100, b, 3, 3, 1), kMin, kMin);
        EXPECT_POINT(conv(b, k100, 3, 3, 1), kMin, kMin);
    }
    EXPECT_POINT(ve_coordinate_convert(nullptr, &k50, ve_coordinate{3, 3}, 0), kMin, kMin);
    EXPECT_POINT(ve_coordinate_convert(&k100, nullptr, ve_coordinate{3, 3}, 0), kMin, kMin);
    // The widest valid system: width INT32_MAX, half 1073741823. To k50, x=1 (offset 2):
    // (2*50 + 1073741823) / INT32_MAX = 0. From k50, x=1: 2147483647/50 = 42949672, plus left -1.
    const ve_coordinate_system wide = {0, -1, 1, kMax - 1};
    EXPECT_POINT(conv(wide, k50, 1, 0, 2), 0, 0);
    EXPECT_POINT(conv(k50, wide, 1, 0, 0), 42949671, 0);
}

TEST(CoordinateConvert, WrapsModulo32Bits)
{
    // Product wrap: src w 2, dst w 65536. x=65536: 2^32 wraps to 0. x=32768: 2^31 wraps to INT32_MIN;
    // /2 = -1073741824; (INT32_MIN + 1)/2 = -1073741823 rounding up and to nearest (half of 2 is 1).
    const ve_coordinate_system s2 = {0, 0, 2, 2}, d64k = {0, 0, 1, 65536};
    EXPECT_POINT(conv(s2, d64k, 65536, 0, 0), 0, 0);
    EXPECT_POINT(conv(s2, d64k, 32768, 0, 0), -1073741824, 0);
    EXPECT_POINT(conv(s2, d64k, 32768, 0, 1), -1073741823, 0);
    EXPECT_POINT(conv(s2, d64k, 32768, 0, 2), -1073741823, 0);
    // Rounding-offset wrap: src w 16, dst w INT32_MAX, x=1: nx = INT32_MAX; /16 = 134217727;
    // + 15 wraps to -2147483634, /16 = -134217727; + 8 wraps to -2147483641, /16 = -134217727.
    const ve_coordinate_system s16 = {0, 0, 16, 16}, dmax = {0, 0, 1, kMax};
    EXPECT_POINT(conv(s16, dmax, 1, 0, 0), 134217727, 0);
    EXPECT_POINT(conv(s16, dmax, 1, 0, 1), -134217727, 0);
    EXPECT_POINT(conv(s16, dmax, 1, 0, 2), -134217727, 0);
    // Final sum wrap: dst.left 2147483638, x' = 11 -> 2147483649 wraps to -2147483647.
    const ve_coordinate_system s9 = {0, 0, 9, 9}, dhi = {0, kMax - 9, 9, kMax};
    EXPECT_POINT(conv(s9, dhi, 11, 0, 0), -2147483647, 0);
    // Offset wrap: x - src.left = INT32_MAX - INT32_MIN wraps to -1; -1*4/4 = -1.
    const ve_coordinate_system slo = {0, kMin, 4, kMin + 4}, d4 = {0, 0, 4, 4};
    EXPECT_POINT(conv(slo, d4, kMax, 0, 0), -1, 0);
    // Extreme inputs never trap (checked under UBSan): the divisor is always a width in 1..INT32_MAX.
    const int32_t v[] = {kMin, kMin + 1, -1, 0, 1, kMax - 1, kMax};
    for (int32_t a : v)
        for (int32_t b : v)
            for (int32_t p : v)
                for (int32_t mode = 0; mode < 3; mode++) {
                    const ve_coordinate_system s = {a, a, b, b}, d = {b, a, p, kMax};
                    (void)conv(s, d, p, a, mode);
                    (void)conv(d, s, b, p, mode);
                }
}

TEST(CoordinateRect, ConvertsAndCopies)
{
    // (3,1)-(99,97): left (150+99)/100 = 2, top 149/100 = 1, right 4950/100 = 49, bottom 4850/100 = 48.
    ve_coordinate_rect r = {3, 1, 99, 97}, out = {};
    ve_coordinate_convert_rect(&k100, &r, &k50, &out);
    EXPECT_EQ(out.left, 2);
    EXPECT_EQ(out.top, 1);
    EXPECT_EQ(out.right, 49);
    EXPECT_EQ(out.bottom, 48);
    // In place.
    ve_coordinate_convert_rect(&k100, &r, &k50, &r);
    EXPECT_EQ(0, std::memcmp(&r, &out, sizeof r));
    // Equal systems (distinct objects, even invalid ones) copy bit for bit, inverted rectangles too.
    const ve_coordinate_system copies[][2] = {{k100, k100}, {{5, 5, 5, 5}, {5, 5, 5, 5}}};
    const ve_coordinate_rect inverted = {kMax, 90, kMin, -7};
    for (const auto &c : copies) {
        ve_coordinate_rect o = {1, 2, 3, 4};
        ve_coordinate_convert_rect(&c[0], &inverted, &c[1], &o);
        EXPECT_EQ(0, std::memcmp(&o, &inverted, sizeof o));
    }
    // Invalid or null systems fill all four fields with INT32_MIN.
    // Systems differing in any one field are not equal: {5,5,5,5} against each variant converts.
    const ve_coordinate_system bad = {0, 0, 0, 10}, b5 = {5, 5, 5, 5};
    const ve_coordinate_system v[] = {{6, 5, 5, 5}, {5, 6, 5, 5}, {5, 5, 6, 5}, {5, 5, 5, 6}};
    const ve_coordinate_system *pairs[][2] = {{&bad, &k50}, {&k100, &bad}, {nullptr, &k50}, {nullptr, nullptr},
                                              {&b5, &v[0]}, {&b5, &v[1]},  {&b5, &v[2]},    {&v[3], &b5}};
    for (const auto &p : pairs) {
        ve_coordinate_rect o = {1, 2, 3, 4};
        ve_coordinate_convert_rect(p[0], &inverted, p[1], &o);
        EXPECT_TRUE(o.left == kMin && o.top == kMin && o.right == kMin && o.bottom == kMin);
    }
    // Null rectangles: nothing is written.
    ve_coordinate_rect keep = {1, 2, 3, 4};
    ve_coordinate_convert_rect(&k100, nullptr, &k50, &keep);
    EXPECT_EQ(keep.left, 1);
    EXPECT_EQ(keep.bottom, 4);
    ve_coordinate_convert_rect(&k100, &keep, &k50, nullptr);
}

struct Pt {
    size_t off;
    int32_t x, y, ex, ey;
};

void put(unsigned char *f, size_t off, int32_t x, int32_t y)
{
    std::memcpy(f + off, &x, 4);
    std::memcpy(f + off + 4, &y, 4);
}
int32_t get(const unsigned char *f, size_t off)
{
    int32_t v;
    std::memcpy(&v, f + off, 4);
    return v;
}

TEST(CoordinateFaces, ConvertsFivePointsAndNothingElse)
{
    // Two faces, k100 -> k50. Top-left rounds up, bottom-right truncates, landmarks round to nearest.
    const Pt pts[2][5] = {
        {{0, 3, 1, 2, 1}, {8, 99, 97, 49, 48}, {56, 5, 7, 3, 4}, {64, 1, 2, 1, 1}, {76, -3, 9, -1, 5}},
        {{0, 1, 1, 1, 1}, {8, 1, 1, 0, 0}, {56, 1, 1, 1, 1}, {64, 100, 0, 50, 0}, {76, 0, -1, 0, 0}},
    };
    // Three records, one byte off alignment, filled with a pattern; only two are listed.
    std::vector<unsigned char> buf(1 + 3 * VE_COORDINATE_FACE_SIZE);
    for (size_t i = 0; i < buf.size(); i++)
        buf[i] = (unsigned char)(i * 37 + 11);
    unsigned char *faces = buf.data() + 1;
    for (int f = 0; f < 2; f++)
        for (const Pt &p : pts[f])
            put(faces + f * VE_COORDINATE_FACE_SIZE, p.off, p.x, p.y);
    std::vector<unsigned char> want = buf;
    for (int f = 0; f < 2; f++)
        for (const Pt &p : pts[f])
            put(want.data() + 1 + f * VE_COORDINATE_FACE_SIZE, p.off, p.ex, p.ey);

    std::vector<unsigned char> orig = buf;
    ve_coordinate_face_list list = {0, faces};
    for (int32_t n : {0, -1, kMin}) {
        list.count = n;
        ve_coordinate_convert_wuvo_faces(&list, &k100, &k50);
        EXPECT_EQ(buf, orig) << n;
    }
    list.count = 2;
    ve_coordinate_convert_wuvo_faces(&list, &k100, &k50);
    EXPECT_EQ(buf, want);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(list.faces, faces);

    // An invalid system turns the five points into INT32_MIN, still touching nothing else.
    list.count = 1;
    ve_coordinate_convert_wuvo_faces(&list, nullptr, &k50);
    for (const Pt &p : pts[0]) {
        EXPECT_EQ(get(faces, p.off), kMin);
        EXPECT_EQ(get(faces, p.off + 4), kMin);
        put(faces, p.off, p.ex, p.ey);
    }
    EXPECT_EQ(buf, want);

    // Null list or null records with a positive count: nothing happens.
    ve_coordinate_convert_wuvo_faces(nullptr, &k100, &k50);
    ve_coordinate_face_list none = {5, nullptr};
    ve_coordinate_convert_wuvo_faces(&none, &k100, &k50);
    EXPECT_EQ(none.count, 5);
}

}  // namespace
