/*
 * Pixel formats as seen from C: fourcc codes, frame-format numbers, line
 * strides and the DEC400 compressed-buffer layout.
 *
 * A fourcc is four characters packed into 32 bits, the first character in
 * the most significant byte: "NV12" is 0x4E563132.
 *
 * DEC400 buffers hold each image plane followed, in the same buffer, by a
 * tile-status area with a few bits per tile. The nci_dec400_ functions
 * describe those layouts per frame-format number (ve_dax_frame_format_type);
 * fourcc_to_dax_frame_format maps a fourcc to its number.
 */
#ifndef VORN_VE_FORMATS_H
#define VORN_VE_FORMATS_H

#include <stdbool.h>
#include <stdint.h>

#include <ve_cipr/ve_api.h>

#define VE_FOURCC(a, b, c, d) \
    ((uint32_t)(((uint32_t)(uint8_t)(a) << 24) | ((uint32_t)(uint8_t)(b) << 16) | ((uint32_t)(uint8_t)(c) << 8) | \
                (uint32_t)(uint8_t)(d)))

/* Formats of the built-in table. */
#define VE_FOURCC_SR48 VE_FOURCC('S', 'R', '4', '8')
#define VE_FOURCC_BGGR VE_FOURCC('B', 'G', 'G', 'R')
#define VE_FOURCC_GBRG VE_FOURCC('G', 'B', 'R', 'G')
#define VE_FOURCC_GRBG VE_FOURCC('G', 'R', 'B', 'G')
#define VE_FOURCC_RGGB VE_FOURCC('R', 'G', 'G', 'B')
#define VE_FOURCC_BA10 VE_FOURCC('B', 'A', '1', '0')
#define VE_FOURCC_BG10 VE_FOURCC('B', 'G', '1', '0')
#define VE_FOURCC_GB10 VE_FOURCC('G', 'B', '1', '0')
#define VE_FOURCC_GR10 VE_FOURCC('G', 'R', '1', '0')
#define VE_FOURCC_RG10 VE_FOURCC('R', 'G', '1', '0')
#define VE_FOURCC_pBAA VE_FOURCC('p', 'B', 'A', 'A')
#define VE_FOURCC_pGAA VE_FOURCC('p', 'G', 'A', 'A')
#define VE_FOURCC_pgAA VE_FOURCC('p', 'g', 'A', 'A')
#define VE_FOURCC_pRAA VE_FOURCC('p', 'R', 'A', 'A')
#define VE_FOURCC_bV0G VE_FOURCC('b', 'V', '0', 'G')
#define VE_FOURCC_bV0K VE_FOURCC('b', 'V', '0', 'K')
#define VE_FOURCC_CSL0 VE_FOURCC('C', 'S', 'L', '0')
#define VE_FOURCC_CSL1 VE_FOURCC('C', 'S', 'L', '1')
#define VE_FOURCC_CSL2 VE_FOURCC('C', 'S', 'L', '2')
#define VE_FOURCC_CSL3 VE_FOURCC('C', 'S', 'L', '3')
#define VE_FOURCC_CSL4 VE_FOURCC('C', 'S', 'L', '4')
#define VE_FOURCC_CSL5 VE_FOURCC('C', 'S', 'L', '5')
#define VE_FOURCC_CSL6 VE_FOURCC('C', 'S', 'L', '6')
#define VE_FOURCC_CSL7 VE_FOURCC('C', 'S', 'L', '7')
#define VE_FOURCC_BG8C VE_FOURCC('B', 'G', '8', 'C')
#define VE_FOURCC_GB8C VE_FOURCC('G', 'B', '8', 'C')
#define VE_FOURCC_GR8C VE_FOURCC('G', 'R', '8', 'C')
#define VE_FOURCC_RG8C VE_FOURCC('R', 'G', '8', 'C')
#define VE_FOURCC_BG1C VE_FOURCC('B', 'G', '1', 'C')
#define VE_FOURCC_GB1C VE_FOURCC('G', 'B', '1', 'C')
#define VE_FOURCC_GR1C VE_FOURCC('G', 'R', '1', 'C')
#define VE_FOURCC_RG1C VE_FOURCC('R', 'G', '1', 'C')
#define VE_FOURCC_UYVY VE_FOURCC('U', 'Y', 'V', 'Y')
#define VE_FOURCC_YUY2 VE_FOURCC('Y', 'U', 'Y', '2')
#define VE_FOURCC_CS40 VE_FOURCC('C', 'S', '4', '0')
#define VE_FOURCC_CS42 VE_FOURCC('C', 'S', '4', '2')
#define VE_FOURCC_y032 VE_FOURCC('y', '0', '3', '2')
#define VE_FOURCC_V420 VE_FOURCC('V', '4', '2', '0')
#define VE_FOURCC_P412 VE_FOURCC('P', '4', '1', '2')
#define VE_FOURCC_S420 VE_FOURCC('S', '4', '2', '0')
#define VE_FOURCC_C420 VE_FOURCC('C', '4', '2', '0')
#define VE_FOURCC_IYUV VE_FOURCC('I', 'Y', 'U', 'V')
#define VE_FOURCC_CIYU VE_FOURCC('C', 'I', 'Y', 'U')
#define VE_FOURCC_P01Y VE_FOURCC('P', '0', '1', 'Y')
#define VE_FOURCC_P21Y VE_FOURCC('P', '2', '1', 'Y')
#define VE_FOURCC_YV12 VE_FOURCC('Y', 'V', '1', '2')
#define VE_FOURCC_NANA VE_FOURCC('N', 'A', 'N', 'A')
#define VE_FOURCC_M420 VE_FOURCC('M', '4', '2', '0')
#define VE_FOURCC_NV12 VE_FOURCC('N', 'V', '1', '2')
#define VE_FOURCC_CT12 VE_FOURCC('C', 'T', '1', '2')
#define VE_FOURCC_CN12 VE_FOURCC('C', 'N', '1', '2')
#define VE_FOURCC_NV21 VE_FOURCC('N', 'V', '2', '1')
#define VE_FOURCC_NV16 VE_FOURCC('N', 'V', '1', '6')
#define VE_FOURCC_TILE VE_FOURCC('T', 'I', 'L', 'E')
#define VE_FOURCC_CILE VE_FOURCC('C', 'I', 'L', 'E')
#define VE_FOURCC_P010 VE_FOURCC('P', '0', '1', '0')
#define VE_FOURCC_PC10 VE_FOURCC('P', 'C', '1', '0')
#define VE_FOURCC_P01L VE_FOURCC('P', '0', '1', 'L')
#define VE_FOURCC_P012 VE_FOURCC('P', '0', '1', '2')
#define VE_FOURCC_PC12 VE_FOURCC('P', 'C', '1', '2')
#define VE_FOURCC_PL12 VE_FOURCC('P', 'L', '1', '2')
#define VE_FOURCC_T010 VE_FOURCC('T', '0', '1', '0')
#define VE_FOURCC_T01L VE_FOURCC('T', '0', '1', 'L')
#define VE_FOURCC_C012 VE_FOURCC('C', '0', '1', '2')
#define VE_FOURCC_T012 VE_FOURCC('T', '0', '1', '2')
#define VE_FOURCC_TL12 VE_FOURCC('T', 'L', '1', '2')
#define VE_FOURCC_C010 VE_FOURCC('C', '0', '1', '0')
#define VE_FOURCC_P016 VE_FOURCC('P', '0', '1', '6')
#define VE_FOURCC_PAFn VE_FOURCC('P', 'A', 'F', 'n')
#define VE_FOURCC_PAFi VE_FOURCC('P', 'A', 'F', 'i')
#define VE_FOURCC_PF8i VE_FOURCC('P', 'F', '8', 'i')
#define VE_FOURCC_PF1i VE_FOURCC('P', 'F', '1', 'i')
#define VE_FOURCC_PF2i VE_FOURCC('P', 'F', '2', 'i')
#define VE_FOURCC_PF4i VE_FOURCC('P', 'F', '4', 'i')
#define VE_FOURCC_PF6i VE_FOURCC('P', 'F', '6', 'i')
#define VE_FOURCC_PF8n VE_FOURCC('P', 'F', '8', 'n')
#define VE_FOURCC_PF1n VE_FOURCC('P', 'F', '1', 'n')
#define VE_FOURCC_PF2n VE_FOURCC('P', 'F', '2', 'n')
#define VE_FOURCC_PF4n VE_FOURCC('P', 'F', '4', 'n')
#define VE_FOURCC_PF6n VE_FOURCC('P', 'F', '6', 'n')
#define VE_FOURCC_CSYI VE_FOURCC('C', 'S', 'Y', 'I')
#define VE_FOURCC_IR16 VE_FOURCC('I', 'R', '1', '6')
#define VE_FOURCC_Y008 VE_FOURCC('Y', '0', '0', '8')
#define VE_FOURCC_RESI VE_FOURCC('R', 'E', 'S', 'I')
#define VE_FOURCC_MOVE VE_FOURCC('M', 'O', 'V', 'E')

/* Further codes known to the frame-format mapping. */
#define VE_FOURCC_CSYP VE_FOURCC('C', 'S', 'Y', 'P')
#define VE_FOURCC_CSYC VE_FOURCC('C', 'S', 'Y', 'C')
#define VE_FOURCC_pgCC VE_FOURCC('p', 'g', 'C', 'C')
#define VE_FOURCC_pRCC VE_FOURCC('p', 'R', 'C', 'C')
#define VE_FOURCC_pBCC VE_FOURCC('p', 'B', 'C', 'C')
#define VE_FOURCC_pGCC VE_FOURCC('p', 'G', 'C', 'C')
#define VE_FOURCC_BA12 VE_FOURCC('B', 'A', '1', '2')
#define VE_FOURCC_CSBA VE_FOURCC('C', 'S', 'B', 'A')
#define VE_FOURCC_GR08 VE_FOURCC('G', 'R', '0', '8')
#define VE_FOURCC_BIN8 VE_FOURCC('B', 'I', 'N', '8')
#define VE_FOURCC_y036 VE_FOURCC('y', '0', '3', '6')
/* Vector raw: bV0E..bV0L unpacked, bV0M..bV0T packed (consecutive codes). */
#define VE_FOURCC_bV0E VE_FOURCC('b', 'V', '0', 'E')
#define VE_FOURCC_bV0L VE_FOURCC('b', 'V', '0', 'L')
#define VE_FOURCC_bV0M VE_FOURCC('b', 'V', '0', 'M')
#define VE_FOURCC_bV0T VE_FOURCC('b', 'V', '0', 'T')

/* Frame-format numbers (memory layouts) used by the DEC400 functions. */
typedef enum ve_dax_frame_format_type {
    VE_DAX_FRAME_FORMAT_YUV420_PLANAR = 3, /* planar 4:2:0 and relatives */
    VE_DAX_FRAME_FORMAT_YV12 = 4,
    VE_DAX_FRAME_FORMAT_NV12 = 5,       /* semi-planar 8-bit */
    VE_DAX_FRAME_FORMAT_NV12_TILED = 7, /* tiled semi-planar 8-bit */
    VE_DAX_FRAME_FORMAT_NV21 = 8,
    VE_DAX_FRAME_FORMAT_NV16 = 11,
    VE_DAX_FRAME_FORMAT_YUY2 = 14,
    VE_DAX_FRAME_FORMAT_CSYP = 16,
    VE_DAX_FRAME_FORMAT_RAW_GRBG = 20,
    VE_DAX_FRAME_FORMAT_RAW_RGGB = 21,
    VE_DAX_FRAME_FORMAT_RAW_BGGR = 22,
    VE_DAX_FRAME_FORMAT_RAW_GBRG = 23,
    VE_DAX_FRAME_FORMAT_M420 = 24,
    VE_DAX_FRAME_FORMAT_RAW = 25,
    VE_DAX_FRAME_FORMAT_BIN8 = 28,
    VE_DAX_FRAME_FORMAT_RAW_LINE_INTERLEAVED = 42,
    VE_DAX_FRAME_FORMAT_RAW_VECTOR = 43,
    VE_DAX_FRAME_FORMAT_Y032 = 47,
    VE_DAX_FRAME_FORMAT_P01L = 49,
    VE_DAX_FRAME_FORMAT_P010 = 50, /* semi-planar 10-bit */
    VE_DAX_FRAME_FORMAT_PL12 = 51,
    VE_DAX_FRAME_FORMAT_P012 = 52, /* semi-planar 12-bit */
    VE_DAX_FRAME_FORMAT_P010_TILED = 54,
    VE_DAX_FRAME_FORMAT_P012_TILED = 56,
    VE_DAX_FRAME_FORMAT_PDAF_NON_INTERLEAVED = 61,
    VE_DAX_FRAME_FORMAT_PDAF_INTERLEAVED = 62,
    VE_DAX_FRAME_FORMAT_IR16 = 63
} ve_dax_frame_format_type;

VE_EXTERN_C_BEGIN

/* Line stride in bytes of a frame width pixels wide. 0 when the stride does
 * not fit in 32 bits. */
VE_API uint32_t getBpl(uint32_t fourcc, uint32_t width);

/* Whether the format with this fourcc is a DEC400-compressed layout; false
 * for codes outside the format table. Brings the format table up first. */
VE_API bool isCompressedFormat(uint32_t fourcc);
VE_API bool ve_cipf_is_compressed_format(uint32_t fourcc);

/* Frame-format number, raw flag and packed flag of a fourcc; every output may
 * be null. err_argument (nothing written) for codes it does not know. */
VE_API int32_t fourcc_to_dax_frame_format(uint32_t fourcc, uint32_t *format, bool *is_raw, bool *packed);

/* Properties of frame formats (f) under DEC400 compression. */
VE_API bool nci_dec400_psys_cmprs_validate_format(uint32_t f, bool flag);
VE_API bool nci_dec400_psys_cmprs_validate_bit_depth(uint32_t f, uint32_t depth);
VE_API uint32_t nci_dec400_psys_cmprs_get_bit_depth(uint32_t f, bool unused);
/* Returns the stride alignment in bytes; a (if given) receives the alignment
 * factor and b (if given) 0. */
VE_API uint32_t nci_dec400_cmprs_get_stride_alignment(uint32_t f, uint32_t depth, bool flag, uint32_t *a, uint32_t *b);
/* Tile size in bytes of plane 0, 1 or 2; 0 where the layout has none. */
VE_API uint32_t nci_dec400_cmpr_get_tile_size(uint32_t f, uint32_t depth, uint32_t plane, bool flag);
VE_API uint32_t nci_dec400_cmpr_get_num_planes(uint32_t f);
VE_API uint32_t nci_dec400_cmpr_get_chroma_height_div(uint32_t f);
VE_API uint32_t nci_dec400_cmpr_get_chroma_stride_div(uint32_t f);
VE_API bool nci_dec400_cmprs_is_tiled(uint32_t f);
VE_API uint32_t nci_dec400_isys_cmprs_get_stride_alignment(uint32_t pin, uint32_t isys_format, uint32_t mipi_type,
                                                           bool *flag);

/* Image size plus tile-status size of one plane; both outputs may be null.
 * A tile size of 0 has no tile-status layout: everything is 0. */
VE_API uint32_t nci_dec400_cmprs_calc_plane_buf_size(uint32_t stride, uint32_t height, uint32_t tile_size, bool tiled,
                                                     uint32_t *image_size, uint32_t *ts_size);

/* Total bytes of a compressed frame: the image planes, extra_mem, then one
 * tile-status area per plane, each at a 4096-byte boundary. ts_offsets and
 * ts_sizes (three entries each, may be null) receive the tile-status areas.
 * Combinations without a tile size, and layouts that would end beyond the
 * 32-bit range, give 0 with all offsets and sizes 0. */
VE_API uint32_t nci_dec400_cmprs_calc_buf_size(uint32_t f, uint32_t depth, bool flag, uint32_t stride, uint32_t height,
                                               uint32_t extra_mem, uint32_t ts_offsets[3], uint32_t ts_sizes[3]);

VE_EXTERN_C_END

#endif
