/*
 * Fuzz target of the memory buffer objects.
 *
 * Input: a sequence of at most 64 operations, one opcode byte each followed
 * by its argument bytes (missing bytes read as zero):
 *   0 create    size index, flag byte, descriptor byte
 *   1 region    slot, offset index, size index
 *   2 allocate  slot
 *   3 memory    slot
 *   4 migrate   slot, operations byte
 *   5 destroy   slot
 *   6 failure   n: the n-th next allocation and all after it fail (n = 255: none)
 *   7 queries   slot
 * Buffers live in 8 slots; a new buffer takes the first free one.
 *
 * Checked: every byte of memory handed out is written (ASan reports any byte
 * outside a buffer); handed-out memory has the buffer's size and anchor; a
 * region's parent is null or a live root; after everything is destroyed the
 * allocation counters balance.
 */
#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_cipr_buffer.h>
#include <ve_cipr/ve_status.h>

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#define SLOTS 8
#define MAX_OPERATIONS 64
/* Roots larger than this are only divided and destroyed, never backed by
 * memory, so that sizes near the 32-bit limit can be fuzzed. */
#define MAX_BACKED_SIZE 65536u
#define DEVICE_OWNED UINT64_C(0x20000)

typedef struct reader {
    const uint8_t *p;
    size_t n;
} reader;

static uint8_t next_byte(reader *r)
{
    if (r->n == 0)
        return 0;
    r->n--;
    return *r->p++;
}

typedef struct slot {
    ve_cipr_buffer *buffer;
    int backed; /* root: size within MAX_BACKED_SIZE; region: its parent's */
    uint32_t size;
} slot;

static slot slots[SLOTS];
static void *caller_blocks[SLOTS * MAX_OPERATIONS];
static size_t caller_block_count;

static const uint32_t sizes[] = {1, 2,           15,          16,          17, 32, 100, 4096, MAX_BACKED_SIZE,
                                 0, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu, 7,  64, 33};
static const uint64_t flag_bits[] = {
    VE_CIPR_MEMORY_CPU_PTR, VE_CIPR_MEMORY_HANDLE,   VE_CIPR_MEMORY_ALLOCATE_CPU_PTR, VE_CIPR_MEMORY_COPY_FROM_USER,
    VE_CIPR_MEMORY_HW_ONLY, VE_CIPR_MEMORY_CPU_ONLY, VE_CIPR_MEMORY_ALLOCATED,        UINT64_C(0x10000),
};

static uint32_t size_at(uint8_t index) { return sizes[index % (sizeof sizes / sizeof sizes[0])]; }

/* ---- A device layer with memory of its own ------------------------------ */

static int32_t device_allocate(ve_cipr_buffer *buffer)
{
    buffer->device_id = 1;
    if (buffer->memory.cpu_ptr == NULL) {
        void *ptr = ve_cipr_malloc(buffer->memory.size, __func__, __FILE__, __LINE__);
        if (ptr == NULL)
            return err_nomemory;
        buffer->memory.cpu_ptr = ptr;
        buffer->memory.flags |= VE_CIPR_MEMORY_CPU_PTR | DEVICE_OWNED;
    }
    buffer->memory.flags &= ~(VE_CIPR_MEMORY_ALLOCATE_CPU_PTR | VE_CIPR_MEMORY_COPY_FROM_USER);
    buffer->memory.flags |= VE_CIPR_MEMORY_USER_PROVIDED;
    return err_none;
}

static int32_t device_fail(ve_cipr_buffer *buffer)
{
    (void)buffer;
    return err_general;
}

static int32_t device_get_memory(ve_cipr_buffer *buffer, ve_cipr_memory *memory)
{
    *memory = buffer->memory;
    memory->anchor = buffer;
    return err_none;
}

static void device_destroy(ve_cipr_buffer *buffer)
{
    if ((buffer->memory.flags & DEVICE_OWNED) != 0)
        ve_cipr_free(buffer->memory.cpu_ptr, __func__);
}

/* ---- Operations --------------------------------------------------------- */

static slot *slot_at(uint8_t index) { return &slots[index % SLOTS]; }

static slot *free_slot(void)
{
    for (int i = 0; i < SLOTS; ++i)
        if (slots[i].buffer == NULL)
            return &slots[i];
    return NULL;
}

static uint64_t flags_of(uint8_t byte)
{
    uint64_t flags = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (byte & (1u << bit))
            flags |= flag_bits[bit];
    return flags;
}

/* Descriptor byte: bits 0-1 kind (none, pointer, handle, neither), bit 2
 * descriptor one byte short, bit 3 anchored, bit 4 null pointer or handle,
 * bits 5-7 extra bytes. */
static ve_cipr_memory *user_memory(uint8_t byte, uint32_t size, ve_cipr_memory *memory)
{
    const unsigned kind = byte & 3u;
    if (kind == 0 || size > MAX_BACKED_SIZE)
        return NULL;
    memset(memory, 0, sizeof *memory);
    memory->size = size + (byte >> 5) - ((byte & 4u) && size > 0 ? 1u : 0u);
    if (kind == 1) {
        memory->flags = VE_CIPR_MEMORY_CPU_PTR;
        if (!(byte & 16u) && memory->size > 0) {
            void *block = malloc(memory->size);
            if (block == NULL)
                return NULL;
            memset(block, 0x5A, memory->size);
            caller_blocks[caller_block_count++] = block;
            memory->cpu_ptr = block;
        }
    } else if (kind == 2) {
        memory->flags = VE_CIPR_MEMORY_HANDLE;
        memory->handle = (byte & 16u) ? 0 : 0x1234;
    }
    if (byte & 8u)
        memory->anchor = slots[0].buffer;
    return memory;
}

static void op_create(reader *r)
{
    const uint32_t size = size_at(next_byte(r));
    const uint64_t flags = flags_of(next_byte(r));
    const uint8_t descriptor = next_byte(r);
    slot *s = free_slot();
    if (s == NULL)
        return;
    ve_cipr_memory memory;
    s->buffer = ve_cipr_buffer_create(size, flags, user_memory(descriptor, size, &memory));
    s->backed = size <= MAX_BACKED_SIZE;
    s->size = size;
    if (s->buffer != NULL && ve_cipr_buffer_is_region(s->buffer))
        abort();
}

static void op_region(reader *r)
{
    slot *parent = slot_at(next_byte(r));
    const uint8_t offset_byte = next_byte(r);
    const uint32_t size = size_at(next_byte(r));
    /* Offsets from the table, or just inside / at the end of the parent. */
    uint32_t offset = size_at(offset_byte);
    if (offset_byte & 0x80u)
        offset = parent->size - (offset_byte & 1u);
    slot *s = free_slot();
    if (s == NULL)
        return;
    s->buffer = ve_cipr_buffer_create_region(parent->buffer, offset, size);
    if (s->buffer == NULL)
        return;
    /* Accepted regions lie inside their parent. */
    if (offset > parent->size || size > parent->size - offset || !ve_cipr_buffer_is_region(s->buffer))
        abort();
    s->backed = parent->backed;
    s->size = size;
}

static void op_allocate(reader *r)
{
    slot *s = slot_at(next_byte(r));
    if (s->backed || s->buffer == NULL)
        ve_cipr_buffer_allocate(s->buffer);
}

static void op_memory(reader *r)
{
    slot *s = slot_at(next_byte(r));
    if (!s->backed && s->buffer != NULL)
        return;
    ve_cipr_memory memory;
    if (ve_cipr_buffer_get_memory(s->buffer, &memory) != err_none)
        return;
    if (memory.size != s->size || memory.anchor != s->buffer)
        abort();
    /* Every byte handed out belongs to the buffer. */
    if (memory.cpu_ptr != NULL)
        memset(memory.cpu_ptr, 0xA5, memory.size);
}

static void op_migrate(reader *r)
{
    slot *s = slot_at(next_byte(r));
    const uint8_t byte = next_byte(r);
    if (!s->backed && s->buffer != NULL)
        return;
    /* Device memory always comes with the destroy operation that frees it. */
    ve_cipr_memory_migration migration = {NULL, NULL, NULL};
    switch (byte & 3u) {
    case 1:
        migration.allocate = device_allocate;
        migration.destroy = device_destroy;
        break;
    case 2:
        migration.allocate = device_fail;
        break;
    default:
        break;
    }
    if (byte & 4u)
        migration.get_memory = device_get_memory;
    ve_cipr_memory_device_migrate_buffer((byte & 8u) ? NULL : &migration, s->buffer);
}

static void op_destroy(reader *r)
{
    slot *s = slot_at(next_byte(r));
    ve_cipr_buffer_destroy(s->buffer);
    s->buffer = NULL;
}

static void op_failure(reader *r)
{
    const uint8_t n = next_byte(r);
    g_alloc_error = n == 255 ? 0xFFFFFFFFu : g_alloc_counter + n;
}

static void op_queries(reader *r)
{
    slot *s = slot_at(next_byte(r));
    ve_cipr_buffer_get_device_id(s->buffer);
    if (!ve_cipr_buffer_is_region(s->buffer))
        return;
    ve_cipr_buffer *parent = ve_cipr_buffer_get_parent(s->buffer);
    if (parent == NULL)
        return;
    for (int i = 0; i < SLOTS; ++i)
        if (slots[i].buffer == parent && !ve_cipr_buffer_is_region(parent))
            return;
    abort();
}

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    reader r = {data, size};
    const uint32_t allocs = g_alloc_counter;
    const uint32_t frees = g_free_counter;
    memset(slots, 0, sizeof slots);
    caller_block_count = 0;

    for (int i = 0; i < MAX_OPERATIONS && r.n > 0; ++i) {
        switch (next_byte(&r) % 8u) {
        case 0:
            op_create(&r);
            break;
        case 1:
            op_region(&r);
            break;
        case 2:
            op_allocate(&r);
            break;
        case 3:
            op_memory(&r);
            break;
        case 4:
            op_migrate(&r);
            break;
        case 5:
            op_destroy(&r);
            break;
        case 6:
            op_failure(&r);
            break;
        default:
            op_queries(&r);
            break;
        }
    }

    g_alloc_error = 0xFFFFFFFFu;
    for (int i = 0; i < SLOTS; ++i)
        ve_cipr_buffer_destroy(slots[i].buffer);
    for (size_t i = 0; i < caller_block_count; ++i)
        free(caller_blocks[i]);
    if (g_alloc_counter - allocs != g_free_counter - frees)
        abort();
    return 0;
}
