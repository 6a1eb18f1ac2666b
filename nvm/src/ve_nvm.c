/*
 * Parser, checker and writer of the NVM calibration blob.
 *
 * Blob layout (little-endian, no padding):
 *   version, revision, af_count, aux_byte, vmc_bit_depth      5 x u8
 *   af_data[4]                                                4 x af_count x u16
 *   N, light_source_info0[N], light_source_info1[N]           u8, 2 x N x u8
 *   lsc_width, lsc_height                                     2 x u8
 *   if N && width && height, per light source:
 *     bit_depth, channel[4]                                   u8, 4 x w x h x (u8 | u16)
 *   if N: awb[4]                                              4 x N x u16
 *   version 2 only:
 *     pdaf_present; if set: table_count, grid_width, grid_height, aux,
 *       per table left and right grid (grid_width x grid_height x u16 each),
 *       dlom_width, dlom_height, dlom_aux, dlom (w x h x u32)
 *     tail_present; if set: value32 (u32), value16 (u16)
 *   crc                                                       u16, CRC-16/ARC of all bytes before it
 *
 * Every byte of a blob is untrusted. The parser keeps a running required
 * size that counts the fixed bytes still ahead (flags and checksum) plus
 * every section it is about to read, and grows it before each read, so a
 * blob cut short anywhere is rejected before anything past its end is
 * touched. Sizes are computed in 64 bits.
 */
#include <venvm/ve_nvm.h>

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ve_nvm_crc.h"

#define NVM_ERR "VE NVM: ERROR: NVM: "

/* Header (5), light source count (1), LSC dimensions (2), checksum (2). */
#define NVM_MIN_SIZE 10u
/* Version 2 adds the PDAF and tail flags. */
#define NVM_FLAGS_SIZE 2u

#define NVM_AWB_MIN 52u
#define NVM_AWB_MAX 971u

/* ---------------------------------------------------------------- parsing */

typedef struct nvm_reader {
    const uint8_t *data;
    uint32_t size;
    size_t pos;        /* read cursor */
    uint64_t required; /* bytes the blob must hold for what is known so far */
} nvm_reader;

static void report_short_input(void)
{
    fprintf(stderr, NVM_ERR "Not enough input data!\n");
}

static void report_no_memory(void)
{
    fprintf(stderr, NVM_ERR "Not enough memory!\n");
}

/* Accounts for `bytes` more bytes of input; false when the blob is too short. */
static int reader_grow(nvm_reader *rd, uint64_t bytes)
{
    rd->required += bytes;
    if (rd->required > rd->size) {
        report_short_input();
        return 0;
    }
    return 1;
}

/* Returns the next `count` bytes and moves past them, or null when they lie
 * outside the blob. The required size already covers every read, so this is
 * the last line of defence rather than the rule. */
static const uint8_t *reader_take(nvm_reader *rd, size_t count)
{
    if (rd->pos > rd->size || count > rd->size - rd->pos) {
        report_short_input();
        return NULL;
    }
    const uint8_t *p = rd->data + rd->pos;
    rd->pos += count;
    return p;
}

static uint16_t get_le16(const uint8_t *p)
{
    return (uint16_t)(p[0] | (p[1] << 8));
}

static uint32_t get_le32(const uint8_t *p)
{
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

static void *nvm_calloc(size_t count, size_t size)
{
    void *p = calloc(count, size);
    if (!p)
        report_no_memory();
    return p;
}

/* Reads `count` bytes into a new array stored in *dst. */
static int32_t read_bytes(nvm_reader *rd, uint8_t **dst, size_t count)
{
    const uint8_t *src = reader_take(rd, count);
    if (!src)
        return VE_NVM_ERR_ARGUMENT;
    *dst = nvm_calloc(count, 1);
    if (!*dst)
        return VE_NVM_ERR_NO_MEMORY;
    memcpy(*dst, src, count);
    return VE_NVM_OK;
}

static int32_t read_u16s(nvm_reader *rd, uint16_t **dst, size_t count)
{
    const uint8_t *src = reader_take(rd, count * 2);
    if (!src)
        return VE_NVM_ERR_ARGUMENT;
    *dst = nvm_calloc(count, sizeof(uint16_t));
    if (!*dst)
        return VE_NVM_ERR_NO_MEMORY;
    for (size_t i = 0; i < count; i++)
        (*dst)[i] = get_le16(src + 2 * i);
    return VE_NVM_OK;
}

static int32_t read_u32s(nvm_reader *rd, uint32_t **dst, size_t count)
{
    const uint8_t *src = reader_take(rd, count * 4);
    if (!src)
        return VE_NVM_ERR_ARGUMENT;
    *dst = nvm_calloc(count, sizeof(uint32_t));
    if (!*dst)
        return VE_NVM_ERR_NO_MEMORY;
    for (size_t i = 0; i < count; i++)
        (*dst)[i] = get_le32(src + 4 * i);
    return VE_NVM_OK;
}

static unsigned lsc_sample(const void *grid, int wide, size_t index)
{
    return wide ? ((const uint16_t *)grid)[index] : ((const uint8_t *)grid)[index];
}

/* The centre of a shading grid must be strictly darker than its corners. */
static int lsc_gains_valid(const void *grid, int wide, size_t width, size_t height)
{
    unsigned centre = lsc_sample(grid, wide, (height / 2) * width + width / 2);
    size_t corners[4] = {0, width - 1, (height - 1) * width, height * width - 1};
    for (int i = 0; i < 4; i++) {
        if (centre >= lsc_sample(grid, wide, corners[i]))
            return 0;
    }
    return 1;
}

static int32_t parse_af(nvm_reader *rd, ve_nvm *rec)
{
    if (rec->af_count == 0)
        return VE_NVM_OK;
    if (!reader_grow(rd, (uint64_t)rec->af_count * 8))
        return VE_NVM_ERR_ARGUMENT;
    for (int k = 0; k < 4; k++) {
        int32_t st = read_u16s(rd, &rec->af_data[k], rec->af_count);
        if (st != VE_NVM_OK)
            return st;
    }
    return VE_NVM_OK;
}

static int32_t parse_light_sources(nvm_reader *rd, ve_nvm *rec)
{
    const uint8_t *p = reader_take(rd, 1);
    if (!p)
        return VE_NVM_ERR_ARGUMENT;
    rec->light_source_count = p[0];
    size_t n = rec->light_source_count;
    if (n > 0) {
        if (!reader_grow(rd, (uint64_t)n * 2))
            return VE_NVM_ERR_ARGUMENT;
        int32_t st = read_bytes(rd, &rec->light_source_info0, n);
        if (st == VE_NVM_OK)
            st = read_bytes(rd, &rec->light_source_info1, n);
        if (st != VE_NVM_OK)
            return st;
    }
    /* The grid dimensions are stored even without light sources. */
    p = reader_take(rd, 2);
    if (!p)
        return VE_NVM_ERR_ARGUMENT;
    rec->lsc_width = p[0];
    rec->lsc_height = p[1];
    return VE_NVM_OK;
}

static int32_t parse_lsc(nvm_reader *rd, ve_nvm *rec)
{
    size_t n = rec->light_source_count;
    size_t width = rec->lsc_width;
    size_t height = rec->lsc_height;
    if (n == 0 || width == 0 || height == 0)
        return VE_NVM_OK;
    if (width < 7 || width % 2 == 0) {
        fprintf(stderr, NVM_ERR "Invalid LSC width!\n");
        return VE_NVM_ERR_LSC;
    }
    if (height < 5 || height % 2 == 0) {
        fprintf(stderr, NVM_ERR "Invalid LSC height!\n");
        return VE_NVM_ERR_LSC;
    }
    /* One bit-depth byte per light source. */
    if (!reader_grow(rd, n))
        return VE_NVM_ERR_ARGUMENT;
    rec->lsc = nvm_calloc(n, sizeof(ve_nvm_lsc));
    if (!rec->lsc)
        return VE_NVM_ERR_NO_MEMORY;
    size_t samples = width * height;
    for (size_t i = 0; i < n; i++) {
        ve_nvm_lsc *lsc = &rec->lsc[i];
        const uint8_t *p = reader_take(rd, 1);
        if (!p)
            return VE_NVM_ERR_ARGUMENT;
        lsc->bit_depth = p[0];
        int wide = lsc->bit_depth > 8;
        if (!reader_grow(rd, (uint64_t)samples * (wide ? 8 : 4)))
            return VE_NVM_ERR_ARGUMENT;
        for (int c = 0; c < 4; c++) {
            int32_t st;
            if (wide) {
                uint16_t *grid = NULL;
                st = read_u16s(rd, &grid, samples);
                lsc->channel[c] = grid;
            } else {
                uint8_t *grid = NULL;
                st = read_bytes(rd, &grid, samples);
                lsc->channel[c] = grid;
            }
            if (st != VE_NVM_OK)
                return st;
            if (!lsc_gains_valid(lsc->channel[c], wide, width, height)) {
                fprintf(stderr, NVM_ERR "Invalid LSC gains!\n");
                return VE_NVM_ERR_LSC;
            }
        }
    }
    return VE_NVM_OK;
}

static int32_t parse_awb(nvm_reader *rd, ve_nvm *rec)
{
    size_t n = rec->light_source_count;
    if (n == 0)
        return VE_NVM_OK;
    if (!reader_grow(rd, (uint64_t)n * 8))
        return VE_NVM_ERR_ARGUMENT;
    for (int k = 0; k < 4; k++) {
        int32_t st = read_u16s(rd, &rec->awb[k], n);
        if (st != VE_NVM_OK)
            return st;
    }
    for (int k = 0; k < 4; k++) {
        for (size_t i = 0; i < n; i++) {
            if (rec->awb[k][i] < NVM_AWB_MIN || rec->awb[k][i] > NVM_AWB_MAX) {
                fprintf(stderr, NVM_ERR "Invalid AWB sensitivities!\n");
                return VE_NVM_ERR_AWB;
            }
        }
    }
    return VE_NVM_OK;
}

static int32_t parse_pdaf(nvm_reader *rd, ve_nvm *rec)
{
    const uint8_t *p = reader_take(rd, 1);
    if (!p)
        return VE_NVM_ERR_ARGUMENT;
    rec->pdaf_present = p[0];
    if (!rec->pdaf_present)
        return VE_NVM_OK;

    ve_nvm_pdaf *pdaf = rec->pdaf = nvm_calloc(1, sizeof(ve_nvm_pdaf));
    if (!pdaf)
        return VE_NVM_ERR_NO_MEMORY;
    if (!reader_grow(rd, 4) || !(p = reader_take(rd, 4)))
        return VE_NVM_ERR_ARGUMENT;
    pdaf->table_count = p[0];
    pdaf->grid_width = p[1];
    pdaf->grid_height = p[2];
    pdaf->aux = p[3];
    if (pdaf->grid_width == 0 || pdaf->grid_height == 0) {
        fprintf(stderr, NVM_ERR "Invalid PDAF PS Gain table!\n");
        return VE_NVM_ERR_PDAF;
    }
    size_t gains = (size_t)pdaf->grid_width * pdaf->grid_height;
    if (!reader_grow(rd, (uint64_t)pdaf->table_count * gains * 4))
        return VE_NVM_ERR_ARGUMENT;
    if (pdaf->table_count > 0) {
        pdaf->tables = nvm_calloc(pdaf->table_count, sizeof(ve_nvm_pdaf_table));
        if (!pdaf->tables)
            return VE_NVM_ERR_NO_MEMORY;
    }
    for (size_t t = 0; t < pdaf->table_count; t++) {
        int32_t st = read_u16s(rd, &pdaf->tables[t].left, gains);
        if (st == VE_NVM_OK)
            st = read_u16s(rd, &pdaf->tables[t].right, gains);
        if (st != VE_NVM_OK)
            return st;
    }

    if (!reader_grow(rd, 3) || !(p = reader_take(rd, 3)))
        return VE_NVM_ERR_ARGUMENT;
    pdaf->dlom_width = p[0];
    pdaf->dlom_height = p[1];
    pdaf->dlom_aux = p[2];
    if (pdaf->dlom_width == 0 || pdaf->dlom_height == 0) {
        fprintf(stderr, NVM_ERR "Invalid PDAF PS Gain table!\n");
        return VE_NVM_ERR_PDAF;
    }
    size_t cells = (size_t)pdaf->dlom_width * pdaf->dlom_height;
    if (rd->required + (uint64_t)cells * 4 > rd->size && rd->required + (uint64_t)cells * 2 <= rd->size) {
        /* Two bytes per cell is a layout this library does not decode: skip it. */
        fprintf(stderr, NVM_ERR "PDAF DLOM data is missing or in not supported format\n");
        rd->required += (uint64_t)cells * 2;
        return reader_take(rd, cells * 2) ? VE_NVM_OK : VE_NVM_ERR_ARGUMENT;
    }
    if (!reader_grow(rd, (uint64_t)cells * 4))
        return VE_NVM_ERR_ARGUMENT;
    return read_u32s(rd, &pdaf->dlom, cells);
}

static int32_t parse_tail(nvm_reader *rd, ve_nvm *rec)
{
    const uint8_t *p = reader_take(rd, 1);
    if (!p)
        return VE_NVM_ERR_ARGUMENT;
    rec->tail_present = p[0];
    if (!rec->tail_present)
        return VE_NVM_OK;
    rec->tail = nvm_calloc(1, sizeof(ve_nvm_tail));
    if (!rec->tail)
        return VE_NVM_ERR_NO_MEMORY;
    if (!reader_grow(rd, 6) || !(p = reader_take(rd, 6)))
        return VE_NVM_ERR_ARGUMENT;
    rec->tail->value32 = get_le32(p);
    rec->tail->value16 = get_le16(p + 4);
    return VE_NVM_OK;
}

static int32_t parse_record(nvm_reader *rd, ve_nvm *rec)
{
    /* The blob holds at least NVM_MIN_SIZE bytes: the header is there. */
    const uint8_t *p = reader_take(rd, 5);
    if (!p)
        return VE_NVM_ERR_ARGUMENT;
    rec->version = p[0];
    rec->revision = p[1];
    rec->af_count = p[2];
    rec->aux_byte = p[3];
    rec->vmc_bit_depth = p[4];
    if (rec->version == 0 || rec->revision == 0) {
        fprintf(stderr, NVM_ERR "Version!\n");
        return VE_NVM_ERR_VERSION;
    }
    if (rec->af_count > 3) {
        fprintf(stderr, NVM_ERR "Invalid AF orientation!\n");
        return VE_NVM_ERR_AF_ORIENTATION;
    }
    /* Taken as a signed byte, 0x80 and above are negative: out of range too. */
    if (rec->vmc_bit_depth < 8 || rec->vmc_bit_depth > 16)
        fprintf(stderr, NVM_ERR "Invalid VMC register bit depth!\n");

    int v2 = rec->version == 2;
    if (v2 && !reader_grow(rd, NVM_FLAGS_SIZE))
        return VE_NVM_ERR_ARGUMENT;

    int32_t st = parse_af(rd, rec);
    if (st == VE_NVM_OK)
        st = parse_light_sources(rd, rec);
    if (st == VE_NVM_OK)
        st = parse_lsc(rd, rec);
    if (st == VE_NVM_OK)
        st = parse_awb(rd, rec);
    if (st == VE_NVM_OK && v2)
        st = parse_pdaf(rd, rec);
    if (st == VE_NVM_OK && v2)
        st = parse_tail(rd, rec);
    if (st != VE_NVM_OK)
        return st;

    size_t covered = rd->pos;
    if (!(p = reader_take(rd, 2)))
        return VE_NVM_ERR_ARGUMENT;
    rec->crc = get_le16(p);
    if (ve_nvm_crc16(rd->data, covered) != rec->crc) {
        fprintf(stderr, NVM_ERR "CRC check failed!\n");
        return VE_NVM_ERR_CRC;
    }
    return VE_NVM_OK;
}

int32_t ve_nvm_parse(const ve_nvm_blob *blob, ve_nvm **nvm)
{
    if (nvm)
        *nvm = NULL;
    if (!blob || !nvm) {
        fprintf(stderr, NVM_ERR "Invalid NVM ptr: %p\n", blob ? (const void *)nvm : (const void *)blob);
        return VE_NVM_ERR_ARGUMENT;
    }
    if (!blob->data || blob->size < NVM_MIN_SIZE) {
        fprintf(stderr, NVM_ERR "Invalid Data ptr: %p size: %u\n", (const void *)blob->data, (unsigned)blob->size);
        return VE_NVM_ERR_ARGUMENT;
    }

    ve_nvm *rec = nvm_calloc(1, sizeof(ve_nvm));
    if (!rec)
        return VE_NVM_ERR_NO_MEMORY;
    nvm_reader rd = {blob->data, blob->size, 0, NVM_MIN_SIZE};
    int32_t st = parse_record(&rd, rec);
    if (st != VE_NVM_OK) {
        ve_nvm_deinit(rec);
        return st;
    }
    *nvm = rec;
    return VE_NVM_OK;
}

void ve_nvm_deinit(ve_nvm *nvm)
{
    if (!nvm)
        return;
    for (int k = 0; k < 4; k++) {
        free(nvm->af_data[k]);
        free(nvm->awb[k]);
    }
    free(nvm->light_source_info0);
    free(nvm->light_source_info1);
    if (nvm->lsc) {
        for (size_t i = 0; i < nvm->light_source_count; i++) {
            for (int c = 0; c < 4; c++)
                free(nvm->lsc[i].channel[c]);
        }
        free(nvm->lsc);
    }
    if (nvm->pdaf) {
        if (nvm->pdaf->tables) {
            for (size_t t = 0; t < nvm->pdaf->table_count; t++) {
                free(nvm->pdaf->tables[t].left);
                free(nvm->pdaf->tables[t].right);
            }
            free(nvm->pdaf->tables);
        }
        free(nvm->pdaf->dlom);
        free(nvm->pdaf);
    }
    free(nvm->tail);
    free(nvm);
}

/* ------------------------------------------------------------ serialising */

typedef struct nvm_writer {
    uint8_t *buf;
    size_t size;
    size_t pos;
    int shortened; /* a copy did not fit */
} nvm_writer;

/* Bounds a copy of `count` bytes to the space left in the buffer. */
static size_t writer_room(nvm_writer *w, size_t count)
{
    if (!w->buf) {
        fprintf(stderr, "VE NVM: ERROR: nvm_memcpy_s: nullptr received\n\n");
        w->shortened = 1;
        return 0;
    }
    size_t left = w->size - w->pos;
    if (count > left) {
        fprintf(stderr, "VE NVM: ERROR: nvm_memcpy_s: count(%zu) > destsz(%zu), downsizing count to destsz\n\n", count,
                left);
        w->shortened = 1;
        return left;
    }
    return count;
}

/* Writes `count` values of `width` bytes (1, 2 or 4) little-endian. A null
 * source is written as zeros (the buffer starts zero-filled). */
static void put_values(nvm_writer *w, const void *src, size_t count, size_t width)
{
    size_t n = writer_room(w, count * width);
    if (src) {
        for (size_t i = 0; i < n; i++) {
            size_t index = i / width;
            uint32_t v;
            if (width == 1)
                v = ((const uint8_t *)src)[index];
            else if (width == 2)
                v = ((const uint16_t *)src)[index];
            else
                v = ((const uint32_t *)src)[index];
            w->buf[w->pos + i] = (uint8_t)(v >> (8 * (i % width)));
        }
    }
    w->pos += n;
}

static void put_u8(nvm_writer *w, uint8_t v)
{
    put_values(w, &v, 1, 1);
}

static size_t lsc_table_size(size_t samples, uint8_t bit_depth)
{
    return samples * (bit_depth > 8 ? 8 : 4);
}

/* What the writer derives from a record before writing it. */
typedef struct nvm_shape {
    int v2;                  /* PDAF or tail present: version 2 */
    size_t lights;           /* light sources */
    size_t samples;          /* LSC samples per channel */
    int has_lsc;             /* LSC tables are written */
    const ve_nvm_pdaf *pdaf; /* the PDAF section to write, or NULL */
    size_t gains;            /* PDAF gains per table half */
    size_t cells;            /* PDAF DLOM cells */
} nvm_shape;

static nvm_shape record_shape(const ve_nvm *nvm)
{
    nvm_shape shape;
    shape.v2 = nvm->pdaf_present || nvm->tail_present;
    shape.lights = nvm->light_source_count;
    shape.samples = (size_t)nvm->lsc_width * nvm->lsc_height;
    shape.has_lsc = shape.lights > 0 && shape.samples > 0 && nvm->lsc;
    shape.pdaf = nvm->pdaf_present ? nvm->pdaf : NULL;
    shape.gains = shape.pdaf ? (size_t)shape.pdaf->grid_width * shape.pdaf->grid_height : 0;
    shape.cells = shape.pdaf ? (size_t)shape.pdaf->dlom_width * shape.pdaf->dlom_height : 0;
    return shape;
}

/* The exact size of the blob of a record, checksum included. */
static uint64_t blob_size(const ve_nvm *nvm, const nvm_shape *shape)
{
    uint64_t size = shape->v2 ? NVM_MIN_SIZE + NVM_FLAGS_SIZE : NVM_MIN_SIZE;
    size += (uint64_t)shape->lights * 10 + (uint64_t)nvm->af_count * 8;
    if (shape->has_lsc) {
        size += shape->lights;
        for (size_t i = 0; i < shape->lights; i++)
            size += lsc_table_size(shape->samples, nvm->lsc[i].bit_depth);
    }
    if (shape->pdaf)
        size += ((uint64_t)shape->pdaf->table_count * shape->gains + shape->cells) * 4 + 7;
    if (nvm->tail_present)
        size += 6;
    return size;
}

static void write_header_and_af(nvm_writer *w, const ve_nvm *nvm, const nvm_shape *shape)
{
    put_u8(w, shape->v2 ? 2 : 1);
    put_u8(w, 1);
    put_u8(w, nvm->af_count);
    put_u8(w, nvm->aux_byte);
    put_u8(w, nvm->vmc_bit_depth);
    for (int k = 0; k < 4; k++)
        put_values(w, nvm->af_data[k], nvm->af_count, 2);
}

/* Light sources, LSC tables and AWB values. */
static void write_lights(nvm_writer *w, const ve_nvm *nvm, const nvm_shape *shape)
{
    size_t n = shape->lights;
    put_u8(w, nvm->light_source_count);
    put_values(w, nvm->light_source_info0, n, 1);
    put_values(w, nvm->light_source_info1, n, 1);
    /* Dimensions without tables would announce data that is not there. */
    int dims_without_tables = n > 0 && shape->samples > 0 && !nvm->lsc;
    put_u8(w, dims_without_tables ? 0 : nvm->lsc_width);
    put_u8(w, dims_without_tables ? 0 : nvm->lsc_height);
    if (shape->has_lsc) {
        for (size_t i = 0; i < n; i++) {
            const ve_nvm_lsc *lsc = &nvm->lsc[i];
            put_u8(w, lsc->bit_depth);
            for (int c = 0; c < 4; c++)
                put_values(w, lsc->channel[c], shape->samples, lsc->bit_depth > 8 ? 2 : 1);
        }
    }
    if (n > 0) {
        for (int k = 0; k < 4; k++)
            put_values(w, nvm->awb[k], n, 2);
    }
}

/* The version-2 sections: the PDAF flag and data, the tail flag and data. */
static void write_pdaf_and_tail(nvm_writer *w, const ve_nvm *nvm, const nvm_shape *shape)
{
    const ve_nvm_pdaf *pdaf = shape->pdaf;
    put_u8(w, nvm->pdaf_present);
    if (pdaf) {
        put_u8(w, pdaf->table_count);
        put_u8(w, pdaf->grid_width);
        put_u8(w, pdaf->grid_height);
        put_u8(w, pdaf->aux);
        for (size_t t = 0; t < pdaf->table_count; t++) {
            put_values(w, pdaf->tables ? pdaf->tables[t].left : NULL, shape->gains, 2);
            put_values(w, pdaf->tables ? pdaf->tables[t].right : NULL, shape->gains, 2);
        }
        put_u8(w, pdaf->dlom_width);
        put_u8(w, pdaf->dlom_height);
        put_u8(w, pdaf->dlom_aux);
        put_values(w, pdaf->dlom, shape->cells, 4);
    }
    put_u8(w, nvm->tail_present);
    if (nvm->tail_present) {
        put_values(w, &nvm->tail->value32, 1, 4);
        put_values(w, &nvm->tail->value16, 1, 2);
    }
}

static void write_checksum(nvm_writer *w)
{
    uint16_t crc = ve_nvm_crc16(w->buf, w->pos);
    put_values(w, &crc, 1, 2);
}

ve_nvm_blob *ve_nvm_binary_create(const ve_nvm *nvm)
{
    if (!nvm) {
        fprintf(stderr, NVM_ERR "Invalid NVM ptr: %p\n", (const void *)nvm);
        return NULL;
    }
    if ((nvm->pdaf_present && !nvm->pdaf) || (nvm->tail_present && !nvm->tail)) {
        report_no_memory();
        return NULL;
    }
    nvm_shape shape = record_shape(nvm);
    uint64_t size = blob_size(nvm, &shape);
    if (size > UINT32_MAX) {
        report_no_memory();
        return NULL;
    }
    ve_nvm_blob *blob = calloc(1, sizeof(ve_nvm_blob));
    uint8_t *buf = calloc((size_t)size, 1);
    if (!blob || !buf) {
        report_no_memory();
        free(buf);
        free(blob);
        return NULL;
    }

    nvm_writer w = {buf, (size_t)size, 0, 0};
    write_header_and_af(&w, nvm, &shape);
    write_lights(&w, nvm, &shape);
    if (shape.v2)
        write_pdaf_and_tail(&w, nvm, &shape);
    write_checksum(&w);

    /* The size above covers every write; a shortened copy or a gap would
     * mean a blob that does not hold the record: never hand it out. */
    if (w.shortened || w.pos != w.size) {
        free(buf);
        free(blob);
        return NULL;
    }
    blob->data = buf;
    blob->size = (uint32_t)size;
    return blob;
}

void ve_nvm_binary_delete(ve_nvm_blob *blob)
{
    if (!blob)
        return;
    free(blob->data);
    free(blob);
}
