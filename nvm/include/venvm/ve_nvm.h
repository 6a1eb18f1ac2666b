/*
 * libvenvm: the calibration blob stored in a camera module's non-volatile
 * memory (autofocus calibration, lens-shading tables per light source,
 * white-balance sensitivities, phase-detection autofocus gain tables).
 *
 * ve_nvm_parse() checks a blob and turns it into a ve_nvm record;
 * ve_nvm_binary_create() serialises a record back into a blob. A record and
 * every array it points to are owned by the record and released together by
 * ve_nvm_deinit(). Multi-byte values of the blob are little-endian; the
 * arrays of a record hold host-order values.
 *
 * The library keeps no state: calls on different records may run on any
 * threads. Diagnostics go to standard error.
 */
#ifndef VENVM_VE_NVM_H
#define VENVM_VE_NVM_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define VE_NVM_API __attribute__((visibility("default")))
#else
#define VE_NVM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status values of ve_nvm_parse(). 7 and 8 are never returned. */
enum ve_nvm_status {
    VE_NVM_OK = 0,
    VE_NVM_ERR_NO_MEMORY = 1,      /* an allocation failed */
    VE_NVM_ERR_ARGUMENT = 2,       /* null argument, or the blob is too short */
    VE_NVM_ERR_AF_ORIENTATION = 3, /* more than 3 autofocus orientation entries */
    VE_NVM_ERR_LSC = 4,            /* lens-shading dimensions or gains */
    VE_NVM_ERR_AWB = 5,            /* white-balance sensitivity out of range */
    VE_NVM_ERR_CRC = 6,            /* stored checksum does not match */
    VE_NVM_ERR_VERSION = 9,        /* version or revision is 0 */
    VE_NVM_ERR_PDAF = 10           /* PDAF gain table or DLOM dimension is 0 */
};

/* A blob: `size` bytes at `data`. */
typedef struct ve_nvm_blob {
    uint8_t *data;
    uint32_t size;
} ve_nvm_blob;

/* Lens-shading table of one light source. Each channel is a grid of
 * lsc_width x lsc_height samples, row by row: uint8_t samples when
 * bit_depth is 8 or less, uint16_t samples otherwise. */
typedef struct ve_nvm_lsc {
    uint8_t bit_depth;
    void *channel[4];
} ve_nvm_lsc;

/* One PDAF gain table: grid_width x grid_height gains per side. */
typedef struct ve_nvm_pdaf_table {
    uint16_t *left;
    uint16_t *right;
} ve_nvm_pdaf_table;

typedef struct ve_nvm_pdaf {
    uint8_t table_count;
    uint8_t grid_width;
    uint8_t grid_height;
    uint8_t aux;
    ve_nvm_pdaf_table *tables; /* table_count entries */
    uint8_t dlom_width;
    uint8_t dlom_height;
    uint8_t dlom_aux;
    uint32_t *dlom; /* dlom_width x dlom_height values, or null */
} ve_nvm_pdaf;

typedef struct ve_nvm_tail {
    uint32_t value32;
    uint16_t value16;
} ve_nvm_tail;

typedef struct ve_nvm {
    uint8_t version; /* 2 enables the PDAF and tail sections */
    uint8_t revision;
    uint8_t af_count;            /* autofocus orientation entries, 0 to 3 */
    uint8_t aux_byte;            /* copied through unchanged */
    uint8_t vmc_bit_depth;       /* focus-actuator register bit depth, 8 to 16 */
    uint16_t *af_data[4];        /* af_count values each */
    uint8_t light_source_count;  /* N */
    uint8_t *light_source_info0; /* N bytes */
    uint8_t *light_source_info1; /* N bytes */
    uint8_t lsc_width;
    uint8_t lsc_height;
    ve_nvm_lsc *lsc;  /* N tables, or null when absent */
    uint16_t *awb[4]; /* N values each */
    uint8_t pdaf_present;
    ve_nvm_pdaf *pdaf; /* null when absent */
    uint8_t tail_present;
    ve_nvm_tail *tail; /* null when absent */
    uint16_t crc;      /* checksum read from the blob */
} ve_nvm;

/* Parses `blob`. Sets *nvm to null first; on success stores a new record in
 * *nvm and returns VE_NVM_OK, otherwise returns a ve_nvm_status and leaves
 * *nvm null. */
VE_NVM_API int32_t ve_nvm_parse(const ve_nvm_blob *blob, ve_nvm **nvm);

/* Frees a record from ve_nvm_parse() with everything it points to; null is
 * ignored. */
VE_NVM_API void ve_nvm_deinit(ve_nvm *nvm);

/* Serialises `nvm` into a new blob, or returns null. */
VE_NVM_API ve_nvm_blob *ve_nvm_binary_create(const ve_nvm *nvm);

/* Frees a blob from ve_nvm_binary_create(); null is ignored. */
VE_NVM_API void ve_nvm_binary_delete(ve_nvm_blob *blob);

#ifdef __cplusplus
}
#endif

#endif /* VENVM_VE_NVM_H */
