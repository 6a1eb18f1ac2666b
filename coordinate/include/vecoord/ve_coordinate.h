/*
 * libvecoord: conversion of points, rectangles and face-detection results
 * from one rectangular coordinate system to another (for example from sensor
 * pixels to a statistics grid or to the preview frame).
 *
 * The functions keep no state, allocate nothing and log nothing; they are
 * safe to call from any thread.
 */
#ifndef VECOORD_VE_COORDINATE_H
#define VECOORD_VE_COORDINATE_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define VE_COORD_API __attribute__((visibility("default")))
#else
#define VE_COORD_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * A rectangular coordinate system. Its width is right - left and its height
 * bottom - top; it is valid only when both are greater than 0 and fit in a
 * signed 32-bit integer (see ve_coordinate_convert). A null system is an
 * invalid system.
 */
typedef struct ve_coordinate_system {
    int32_t top;
    int32_t left;
    int32_t bottom;
    int32_t right;
} ve_coordinate_system;

/* A point, passed and returned by value as one 8-byte record. */
typedef struct ve_coordinate {
    int32_t x;
    int32_t y;
} ve_coordinate;

/* A rectangle: the top-left point (left, top), then the bottom-right point. */
typedef struct ve_coordinate_rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
} ve_coordinate_rect;

/* Rounding modes of ve_coordinate_convert; any other value truncates. */
#define VE_COORDINATE_ROUND_TRUNCATE 0
#define VE_COORDINATE_ROUND_UP 1
#define VE_COORDINATE_ROUND_NEAREST 2

/* Both coordinates of a point converted from or to an invalid system. */
#define VE_COORDINATE_INVALID INT32_MIN

/*
 * Face records are raw 100-byte records. Five 8-byte points (x then y, host
 * byte order, no alignment assumed) are converted in place; every other byte
 * is left untouched.
 */
#define VE_COORDINATE_FACE_SIZE 100
#define VE_COORDINATE_FACE_TOP_LEFT_OFFSET 0     /* face rectangle, rounded up */
#define VE_COORDINATE_FACE_BOTTOM_RIGHT_OFFSET 8 /* face rectangle, truncated */
#define VE_COORDINATE_FACE_LANDMARK0_OFFSET 56   /* landmarks, rounded to nearest */
#define VE_COORDINATE_FACE_LANDMARK1_OFFSET 64
#define VE_COORDINATE_FACE_LANDMARK2_OFFSET 76

/* count face records of VE_COORDINATE_FACE_SIZE bytes each, back to back. */
typedef struct ve_coordinate_face_list {
    int32_t count;
    void *faces;
} ve_coordinate_face_list;

/*
 * Maps point from src to dst:
 *   x' = dst.left + (x - src.left) * dst_width / src_width
 *   y' = dst.top  + (y - src.top) * dst_height / src_height
 * in signed 32-bit arithmetic: the differences, products, the rounding
 * offsets and the final sums wrap modulo 2^32 (two's complement) and the
 * quotient truncates toward zero. VE_COORDINATE_ROUND_UP adds divisor - 1
 * before dividing, VE_COORDINATE_ROUND_NEAREST adds half the divisor.
 * Returns (VE_COORDINATE_INVALID, VE_COORDINATE_INVALID) if either system is
 * null or invalid.
 */
VE_COORD_API ve_coordinate ve_coordinate_convert(const ve_coordinate_system *src, const ve_coordinate_system *dst,
                                                 ve_coordinate point, int32_t rounding);

/*
 * Converts src_rect into *dst_rect. Systems equal in all four fields copy the
 * rectangle unchanged; otherwise the top-left point is rounded up and the
 * bottom-right point truncated, so that the result stays inside the converted
 * area. A null or invalid system gives VE_COORDINATE_INVALID in all four
 * fields. Nothing is written if src_rect or dst_rect is null; the two may be
 * the same rectangle.
 */
VE_COORD_API void ve_coordinate_convert_rect(const ve_coordinate_system *src, const ve_coordinate_rect *src_rect,
                                             const ve_coordinate_system *dst, ve_coordinate_rect *dst_rect);

/*
 * Converts the five points of each of the faces->count face records in
 * place, in order. Does nothing if faces is null, its count is 0 or negative,
 * or its faces pointer is null.
 */
VE_COORD_API void ve_coordinate_convert_wuvo_faces(ve_coordinate_face_list *faces, const ve_coordinate_system *src,
                                                   const ve_coordinate_system *dst);

#ifdef __cplusplus
}
#endif

#endif
