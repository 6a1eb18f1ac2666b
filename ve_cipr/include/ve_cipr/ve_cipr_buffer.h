/*
 * Memory buffer objects: a buffer of a given size whose memory is either
 * supplied by the caller (a CPU pointer or a device handle) or allocated by
 * this layer when first needed, which can be divided into regions (never
 * regions of regions), and whose state is a flag word checked after every
 * operation.
 *
 * A device layer takes over a buffer's operations with
 * ve_cipr_memory_device_migrate_buffer(); its operations may set the public
 * record's memory, flags and device id. Other clients use the functions only.
 * Every function logs its entry and its failures under "MEMORY_COMMON[XOS]".
 */
#ifndef VE_CIPR_VE_CIPR_BUFFER_H
#define VE_CIPR_VE_CIPR_BUFFER_H

#include <stdbool.h>
#include <stdint.h>

#include <ve_cipr/ve_api.h>
#include <ve_tools/ve_list.h>

VE_EXTERN_C_BEGIN

/* The declarations keep the aligned layout of the record comments. */
/* clang-format off */

#define VE_CIPR_MEMORY_CPU_PTR          UINT64_C(0x1)       /* cpu_ptr is valid */
#define VE_CIPR_MEMORY_HANDLE           UINT64_C(0x2)       /* handle is valid */
#define VE_CIPR_MEMORY_ALLOCATE_CPU_PTR UINT64_C(0x4)       /* allocate CPU memory on first access */
#define VE_CIPR_MEMORY_COPY_FROM_USER   UINT64_C(0x8)       /* copy the caller's memory into the allocation */
#define VE_CIPR_MEMORY_HW_ONLY          UINT64_C(0x10)      /* reachable by hardware only */
#define VE_CIPR_MEMORY_CPU_ONLY         UINT64_C(0x400)     /* reachable by the CPU only */
#define VE_CIPR_MEMORY_ALLOCATED        UINT64_C(0x2000)    /* set by the layer: memory allocated by this layer */
#define VE_CIPR_MEMORY_USER_PROVIDED    UINT64_C(0x4000)    /* set by the layer: memory supplied by the caller */
#define VE_CIPR_MEMORY_DEVICE_MASK      (~UINT64_C(0xFFFF)) /* 0x10000 and above: device-memory flags */

typedef struct ve_cipr_buffer ve_cipr_buffer;

typedef struct ve_cipr_memory {          /* 40 bytes */
    uint32_t size;                       /*  0 */
    void *cpu_ptr;                       /*  8 */
    uint64_t handle;                     /* 16 */
    uint64_t flags;                      /* 24 */
    ve_cipr_buffer *anchor;              /* 32: root: itself; region: its parent (null once the parent is destroyed) */
} ve_cipr_memory;

typedef int32_t (*ve_cipr_buffer_allocate_op)(ve_cipr_buffer *buffer);
typedef int32_t (*ve_cipr_buffer_get_memory_op)(ve_cipr_buffer *buffer, ve_cipr_memory *memory);
typedef void    (*ve_cipr_buffer_destroy_op)(ve_cipr_buffer *buffer);

struct ve_cipr_buffer {                      /* 88 bytes, allocated zeroed through ve_cipr_calloc */
    ve_cipr_memory memory;                   /*  0 */
    uint8_t device_id;                       /* 40: 0 until a device layer sets it */
    ve_cipr_buffer_allocate_op allocate;     /* 48: null in a region */
    ve_cipr_buffer_get_memory_op get_memory; /* 56: null in a region */
    ve_cipr_buffer_destroy_op destroy;       /* 64 */
    uint32_t region_offset;                  /* 72 */
    ve_list *regions;                        /* 80: a root's regions (data: ve_cipr_buffer *) */
};

typedef struct ve_cipr_memory_migration {    /* 24 bytes; null entries keep the buffer's own */
    ve_cipr_buffer_allocate_op allocate;     /*  0: required */
    ve_cipr_buffer_get_memory_op get_memory; /*  8 */
    ve_cipr_buffer_destroy_op destroy;       /* 16 */
} ve_cipr_memory_migration;

/* A buffer of size bytes (not 0). user_memory, when given, supplies its memory
 * (a CPU pointer or a handle, at least size bytes); flags are ORed in. Null on
 * any failure. */
VE_API ve_cipr_buffer *ve_cipr_buffer_create(uint32_t size, uint64_t flags, const ve_cipr_memory *user_memory);

/* size bytes (not 0) at offset of a root buffer; null when they do not lie
 * inside it. A region lives until it is destroyed itself, also after its
 * parent: then it can only be destroyed. */
VE_API ve_cipr_buffer *ve_cipr_buffer_create_region(ve_cipr_buffer *parent, uint32_t offset, uint32_t size);

VE_API bool ve_cipr_buffer_is_region(const ve_cipr_buffer *buffer);
VE_API ve_cipr_buffer *ve_cipr_buffer_get_parent(const ve_cipr_buffer *buffer);

/* Runs the buffer's allocate operation, then checks the flags. */
VE_API int32_t ve_cipr_buffer_allocate(ve_cipr_buffer *buffer);

/* The buffer's memory, allocated first when the buffer asks for it; for a
 * region, its part of the parent's memory. *memory is written on success only. */
VE_API int32_t ve_cipr_buffer_get_memory(ve_cipr_buffer *buffer, ve_cipr_memory *memory);

VE_API uint8_t ve_cipr_buffer_get_device_id(const ve_cipr_buffer *buffer);

/* Hands a root buffer whose memory this layer has not allocated to a device
 * layer: its non-null operations replace the buffer's, then its allocate
 * operation runs and its status is returned. */
VE_API int32_t ve_cipr_memory_device_migrate_buffer(const ve_cipr_memory_migration *migration,
                                                    ve_cipr_buffer *buffer);

/* Releases a buffer or a region, and the memory this layer allocated for it. */
VE_API void ve_cipr_buffer_destroy(ve_cipr_buffer *buffer);

/* clang-format on */

VE_EXTERN_C_END

#endif
