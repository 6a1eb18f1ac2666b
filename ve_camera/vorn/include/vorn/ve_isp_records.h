/*
 * Records handed to the ISP-parameter component: per program group an array
 * of run kernels, each with its resolution change and the resolution history
 * of the image as it reaches the kernel (measured against the source's full
 * pixel array).
 *
 * Plain records with natural alignment, usable from C and C++; no functions.
 * Every pointer in them points into memory owned by the object that produced
 * the record, valid until its next initialisation or its destruction; the
 * caller never frees it. Sizes and offsets in the comments are those of
 * 64-bit targets.
 */
#ifndef VORN_VE_ISP_RECORDS_H
#define VORN_VE_ISP_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The declarations keep the aligned layout of the record comments. */
/* clang-format off */
/* Values of ve_isp_tol_run_kernels.enable. */
#define VE_ISP_TOL_KERNEL_BYPASS   0
#define VE_ISP_TOL_KERNEL_ENABLED  1
#define VE_ISP_TOL_KERNEL_DISABLED 2

/* Pixels removed at each edge. */
typedef struct ve_rectangle { int32_t left, top, right, bottom; } ve_rectangle;   /* 16 bytes, align 4 */

/* A kernel's resolution change, or the history of the image up to a kernel:
   then input_* is the source's size, input_crop the total crop so far in
   source pixels, output_* the size reaching the kernel and output_crop the
   source history's own. */
typedef struct ve_isp_tol_resolution_info {  /* 48 bytes, align 4 */
    int32_t input_width;                     /*  0 */
    int32_t input_height;                    /*  4 */
    ve_rectangle input_crop;                 /*  8 */
    int32_t output_width;                    /* 24 */
    int32_t output_height;                   /* 28 */
    ve_rectangle output_crop;                /* 32 */
} ve_isp_tol_resolution_info;

/* Bits per pixel of a kernel's input and output. */
typedef struct ve_isp_tol_bpp_info { uint32_t input_bpp, output_bpp; } ve_isp_tol_bpp_info;  /* 8 bytes */

/* One kernel of a list. */
typedef struct ve_isp_tol_run_kernels {      /* 80 bytes, align 8 */
    uint32_t stream_id;                      /*  0: "stream_id" of the kernel's program group */
    uint32_t kernel_uuid;                    /*  4: the kernel's "pal_uuid" */
    int32_t enable;                          /*  8: VE_ISP_TOL_KERNEL_* */
    ve_isp_tol_resolution_info *resolution_info;    /* 16: null when the kernel changes no resolution */
    ve_isp_tol_resolution_info *resolution_history; /* 24: the image as it reaches the kernel */
    uint32_t metadata[4];                    /* 32: from the kernel's "metadata" text */
    ve_isp_tol_bpp_info bpp_info;            /* 48: input_bpp 48, output_bpp 52 */
    uint32_t resolution_info_count;          /* 56: records behind resolution_info; 0 for one or none */
    uint64_t reserved[2];                    /* 64: always zero */
} ve_isp_tol_run_kernels;

/* The kernel list of one program group or execution context. */
typedef struct ve_isp_tol_program_group {    /* 24 bytes, align 8 */
    uint32_t kernel_count;                   /*  0 */
    ve_isp_tol_run_kernels *run_kernels;     /*  8 */
    int32_t tuning_mode;                     /* 16 */
} ve_isp_tol_program_group;

/* Minimal-bounding-region limits of one stream, row by row. */
#define VE_VIEW_MBR_ROWS 7
#define VE_VIEW_MBR_COLUMNS 8
typedef struct ve_view_mbr_limits { float limits[VE_VIEW_MBR_ROWS][VE_VIEW_MBR_COLUMNS]; } ve_view_mbr_limits_t; /* 224, align 4 */

#ifdef __cplusplus
}  /* extern "C" */
#define VE_ISP_RECORDS_ASSERT(condition, message) static_assert(condition, message)
#else
#define VE_ISP_RECORDS_ASSERT(condition, message) _Static_assert(condition, message)
#endif
/* clang-format on */

/* The layout is an interface: a component built against another copy of
   this header must read the same bytes. */
VE_ISP_RECORDS_ASSERT(sizeof(ve_rectangle) == 16, "ve_rectangle size");
VE_ISP_RECORDS_ASSERT(sizeof(ve_isp_tol_resolution_info) == 48, "ve_isp_tol_resolution_info size");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_resolution_info, input_crop) == 8, "input_crop offset");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_resolution_info, output_width) == 24, "output_width offset");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_resolution_info, output_crop) == 32, "output_crop offset");
VE_ISP_RECORDS_ASSERT(sizeof(ve_isp_tol_bpp_info) == 8, "ve_isp_tol_bpp_info size");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_run_kernels, enable) == 8, "enable offset");
VE_ISP_RECORDS_ASSERT(sizeof(ve_view_mbr_limits_t) == 224, "ve_view_mbr_limits_t size");
#if UINTPTR_MAX == UINT64_MAX
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_run_kernels, resolution_info) == 16, "resolution_info offset");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_run_kernels, resolution_history) == 24, "resolution_history offset");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_run_kernels, metadata) == 32, "metadata offset");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_run_kernels, bpp_info) == 48, "bpp_info offset");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_run_kernels, resolution_info_count) == 56, "resolution_info_count offset");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_run_kernels, reserved) == 64, "reserved offset");
VE_ISP_RECORDS_ASSERT(sizeof(ve_isp_tol_run_kernels) == 80, "ve_isp_tol_run_kernels size");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_program_group, run_kernels) == 8, "run_kernels offset");
VE_ISP_RECORDS_ASSERT(offsetof(ve_isp_tol_program_group, tuning_mode) == 16, "tuning_mode offset");
VE_ISP_RECORDS_ASSERT(sizeof(ve_isp_tol_program_group) == 24, "ve_isp_tol_program_group size");
#endif

#undef VE_ISP_RECORDS_ASSERT

#endif
