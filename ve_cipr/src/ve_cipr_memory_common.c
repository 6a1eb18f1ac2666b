/* Memory buffer objects: caller-supplied or lazily allocated memory, regions
 * of a root buffer, device-layer operations, and the flag word that says
 * which memory a buffer has and who owns it. */
#include <ve_cipr/ve_cipr_buffer.h>

#include <stddef.h>
#include <string.h>

#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_log_common.h>
#include <ve_cipr/ve_status.h>

#define LOG_TAG "MEMORY_COMMON[XOS]"
#define LOG_ENTRY() ve_log_common_debug(VE_LOG_ENTRY, LOG_TAG, "E:%s", __func__)

static bool has_flag(uint64_t flags, uint64_t flag)
{
    return (flags & flag) != 0;
}

static bool is_region(const ve_cipr_buffer *buffer)
{
    return buffer->memory.anchor != buffer;
}

/* Whether size bytes at offset lie inside a store of store_size bytes,
 * without the 32-bit wrap of offset + size. */
static bool fits_in(uint32_t store_size, uint32_t offset, uint32_t size)
{
    return offset <= store_size && size <= store_size - offset;
}

/* ---- Flag validation ---------------------------------------------------- */

/* Step 1: each accessor flag is set exactly when its accessor is present. */
static bool accessors_match_flags(const ve_cipr_memory *memory, const char *caller)
{
    bool ok = true;
    const bool cpu_flag = has_flag(memory->flags, VE_CIPR_MEMORY_CPU_PTR);
    if (cpu_flag != (memory->cpu_ptr != NULL)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: VE_CIPR_MEMORY_CPU_PTR (%s) ptr = %p", caller,
                            cpu_flag ? "set" : "not set", memory->cpu_ptr);
        ok = false;
    }
    const bool handle_flag = has_flag(memory->flags, VE_CIPR_MEMORY_HANDLE);
    if (handle_flag != (memory->handle != 0)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: VE_CIPR_MEMORY_HANDLE (%s) handle = %llu", caller,
                            handle_flag ? "set" : "not set", (unsigned long long)memory->handle);
        ok = false;
    }
    return ok;
}

/* Step 2: memory is reachable by the CPU only or by hardware only, not both. */
static bool reachability_consistent(uint64_t flags, const char *caller)
{
    if (has_flag(flags, VE_CIPR_MEMORY_CPU_ONLY) && has_flag(flags, VE_CIPR_MEMORY_HW_ONLY)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG,
                            "%s: Both VE_CIPR_MEMORY_CPU_ONLY and VE_CIPR_MEMORY_HW_ONLY are set at same time, "
                            "which is the invalid case.",
                            caller);
        return false;
    }
    return true;
}

/* Step 3: memory not allocated yet has no accessor. */
static bool unallocated_has_no_accessor(uint64_t flags, const char *caller)
{
    if (has_flag(flags, VE_CIPR_MEMORY_CPU_PTR) || has_flag(flags, VE_CIPR_MEMORY_HANDLE)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: memory accessor set before allocation", caller);
        return false;
    }
    return true;
}

/* Step 4: allocated memory has acknowledged its allocation and copy, and
 * has an accessor or is hardware-only. */
static bool allocated_is_complete(uint64_t flags, const char *caller)
{
    bool ok = true;
    if (has_flag(flags, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG,
                            "%s: VE_CIPR_MEMORY_ALLOCATE_CPU_PTR needs to be unset to acknowledge allocation done!",
                            caller);
        ok = false;
    }
    if (has_flag(flags, VE_CIPR_MEMORY_COPY_FROM_USER)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG,
                            "%s: VE_CIPR_MEMORY_COPY_FROM_USER needs to be unset to acknowledge copy done!", caller);
        ok = false;
    }
    if (!has_flag(flags, VE_CIPR_MEMORY_CPU_PTR | VE_CIPR_MEMORY_HANDLE | VE_CIPR_MEMORY_HW_ONLY)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: missing memory accessor or HW_ONLY flag for allocated memory",
                            caller);
        ok = false;
    }
    return ok;
}

static int32_t validate_memory_flags(const ve_cipr_memory *memory)
{
    static const char *const name = "ve_cipr_buffer_validate_flags";
    if (memory == NULL)
        return err_argument;
    const uint64_t flags = memory->flags;
    const bool accessors_ok = accessors_match_flags(memory, name);
    if (!reachability_consistent(flags, name))
        return err_general;
    bool ok;
    if (!has_flag(flags, VE_CIPR_MEMORY_ALLOCATED | VE_CIPR_MEMORY_USER_PROVIDED))
        ok = unallocated_has_no_accessor(flags, name) && accessors_ok;
    else
        ok = allocated_is_complete(flags, name) && accessors_ok;
    return ok ? err_none : err_general;
}

/* ---- Default operations ------------------------------------------------- */

static void default_destroy(ve_cipr_buffer *buffer)
{
    LOG_ENTRY();
    ve_cipr_memory *memory = &buffer->memory;
    const uint64_t owned = VE_CIPR_MEMORY_CPU_PTR | VE_CIPR_MEMORY_ALLOCATED;
    if ((memory->flags & owned) != owned)
        return;
    ve_cipr_free(memory->cpu_ptr, __func__);
    memory->cpu_ptr = NULL;
    memory->flags &= ~owned;
}

/* Fills new memory from the caller's memory the buffer was created with. */
static int32_t copy_from_user(const ve_cipr_memory *memory, void *dest, const char *caller)
{
    if (memory->cpu_ptr != NULL) {
        memcpy(dest, memory->cpu_ptr, memory->size);
        return err_none;
    }
    if (has_flag(memory->flags, VE_CIPR_MEMORY_HANDLE))
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: copy from handle to host only memory notimplemented", caller);
    else
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: no user memory to copy from", caller);
    return err_general;
}

static int32_t default_allocate(ve_cipr_buffer *buffer)
{
    LOG_ENTRY();
    ve_cipr_memory *memory = &buffer->memory;
    if ((memory->flags & VE_CIPR_MEMORY_DEVICE_MASK) != 0 && buffer->device_id == 0) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: device memory flags specified, migrate first!", __func__);
        return err_argument;
    }
    const bool copy = has_flag(memory->flags, VE_CIPR_MEMORY_COPY_FROM_USER);
    if (memory->cpu_ptr != NULL && !copy) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: already allocated", __func__);
        return err_argument;
    }

    void *ptr = ve_cipr_malloc(memory->size, __func__, __FILE__, __LINE__);
    if (ptr == NULL)
        return err_nomemory;
    if (copy) {
        int32_t status = copy_from_user(memory, ptr, __func__);
        if (status != err_none) {
            ve_cipr_free(ptr, __func__);
            return status;
        }
        memory->flags &= ~VE_CIPR_MEMORY_COPY_FROM_USER;
    }
    /* The caller's pointer (copied from above) is replaced by the layer's. */
    memory->cpu_ptr = ptr;
    memory->flags &= ~VE_CIPR_MEMORY_ALLOCATE_CPU_PTR;
    memory->flags |= VE_CIPR_MEMORY_CPU_PTR | VE_CIPR_MEMORY_ALLOCATED;
    buffer->destroy = default_destroy;
    return err_none;
}

static int32_t default_get_memory(ve_cipr_buffer *buffer, ve_cipr_memory *memory)
{
    LOG_ENTRY();
    if (has_flag(buffer->memory.flags, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR)) {
        if (buffer->memory.cpu_ptr != NULL) {
            ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: ALLOCATE_CPU_PTR not handled but pointer exists!",
                                __func__);
            return err_internal;
        }
        int32_t status = buffer->allocate != NULL ? buffer->allocate(buffer) : default_allocate(buffer);
        if (status != err_none)
            return status;
    }
    memory->size = buffer->memory.size;
    memory->cpu_ptr = buffer->memory.cpu_ptr;
    memory->handle = buffer->memory.handle;
    memory->flags = buffer->memory.flags;
    memory->anchor = buffer;
    return err_none;
}

/* ---- Creation ----------------------------------------------------------- */

/* The caller's memory must cover the buffer; more is used only in part. */
static bool user_memory_covers(uint32_t size, const ve_cipr_memory *user, const char *caller)
{
    if (user->size > size)
        ve_log_common_debug(VE_LOG_WARNING, LOG_TAG,
                            "%s: requested bytes to allocate less than provided user memory in argument, truncating",
                            caller);
    if (user->size < size) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG,
                            "%s: requested bytes to allocate more than provided user memory in argument", caller);
        return false;
    }
    return true;
}

static bool adopt_user_pointer(ve_cipr_buffer *buffer, uint64_t flags, const ve_cipr_memory *user, const char *caller)
{
    if (user->cpu_ptr == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: user did not provide pointer with VE_CIPR_MEMORY_CPU_PTR",
                            caller);
        return false;
    }
    if (has_flag(user->flags, VE_CIPR_MEMORY_HANDLE)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: VE_CIPR_MEMORY_CPU_PTR conflict with VE_CIPR_MEMORY_HANDLE",
                            caller);
        return false;
    }
    if (has_flag(flags, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR) && !has_flag(flags, VE_CIPR_MEMORY_COPY_FROM_USER)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG,
                            "%s: VE_CIPR_MEMORY_CPU_PTR conflict with VE_CIPR_MEMORY_ALLOCATE_CPU_PTR", caller);
        return false;
    }
    buffer->memory.cpu_ptr = user->cpu_ptr;
    buffer->memory.flags = VE_CIPR_MEMORY_CPU_PTR | VE_CIPR_MEMORY_USER_PROVIDED;
    return true;
}

static bool adopt_user_handle(ve_cipr_buffer *buffer, uint64_t flags, const ve_cipr_memory *user, const char *caller)
{
    if (user->handle == 0) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: user did not provide handle with VE_CIPR_MEMORY_HANDLE",
                            caller);
        return false;
    }
    if (has_flag(flags, VE_CIPR_MEMORY_COPY_FROM_USER)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG,
                            "%s: VE_CIPR_MEMORY_COPY_FROM_USER conflict!  Copy from user handle not implemented.",
                            caller);
        return false;
    }
    if (has_flag(flags, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG,
                            "%s: VE_CIPR_MEMORY_HANDLE conflict with VE_CIPR_MEMORY_ALLOCATE_CPU_PTR", caller);
        return false;
    }
    buffer->memory.handle = user->handle;
    buffer->memory.flags = VE_CIPR_MEMORY_HANDLE | VE_CIPR_MEMORY_USER_PROVIDED;
    return true;
}

static bool adopt_user_memory(ve_cipr_buffer *buffer, uint64_t flags, const ve_cipr_memory *user, const char *caller)
{
    if (!user_memory_covers(buffer->memory.size, user, caller))
        return false;
    bool adopted;
    if (has_flag(user->flags, VE_CIPR_MEMORY_CPU_PTR)) {
        adopted = adopt_user_pointer(buffer, flags, user, caller);
    } else if (has_flag(user->flags, VE_CIPR_MEMORY_HANDLE)) {
        adopted = adopt_user_handle(buffer, flags, user, caller);
    } else {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: Invalid user memory given as argument!", caller);
        adopted = false;
    }
    if (adopted && user->anchor != NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: inheriting object from another not supported!", caller);
        adopted = false;
    }
    return adopted;
}

ve_cipr_buffer *ve_cipr_buffer_create(uint32_t size, uint64_t flags, const ve_cipr_memory *user_memory)
{
    LOG_ENTRY();
    if (size == 0) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: buffer of 0 bytes requested", __func__);
        return NULL;
    }
    /* Copying needs a source: without the caller's memory there is none. */
    if (user_memory == NULL && has_flag(flags, VE_CIPR_MEMORY_COPY_FROM_USER)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: Invalid user memory given as argument!", __func__);
        return NULL;
    }
    ve_cipr_buffer *buffer = ve_cipr_calloc(1, sizeof *buffer, __func__, __FILE__, __LINE__);
    if (buffer == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "could not allocate buf");
        return NULL;
    }
    buffer->memory.size = size;
    buffer->memory.anchor = buffer;
    if (user_memory != NULL && !adopt_user_memory(buffer, flags, user_memory, __func__)) {
        ve_cipr_free(buffer, __func__);
        return NULL;
    }
    buffer->memory.flags |= flags;
    buffer->allocate = default_allocate;
    buffer->get_memory = default_get_memory;
    if (validate_memory_flags(&buffer->memory) != err_none) {
        ve_cipr_free(buffer, __func__);
        return NULL;
    }
    return buffer;
}

ve_cipr_buffer *ve_cipr_buffer_create_region(ve_cipr_buffer *parent, uint32_t offset, uint32_t size)
{
    LOG_ENTRY();
    if (parent == NULL || size == 0) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: region of %u bytes of buffer %p requested", __func__,
                            (unsigned)size, (void *)parent);
        return NULL;
    }
    if (!fits_in(parent->memory.size, offset, size)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG,
                            "%s: parent buffer size %d not enough for region requested (offset %d, size %d)", __func__,
                            (int)parent->memory.size, (int)offset, (int)size);
        return NULL;
    }
    if (is_region(parent)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: nested regions are illecal", __func__);
        return NULL;
    }
    ve_cipr_buffer *region = ve_cipr_calloc(1, sizeof *region, __func__, __FILE__, __LINE__);
    if (region == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "could not allocate buf");
        return NULL;
    }
    region->memory.size = size;
    region->memory.flags = parent->memory.flags;
    region->memory.anchor = parent;
    region->region_offset = offset;
    if (ve_list_append(&parent->regions, region) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: failed to append to parent buffer regions", __func__);
        ve_cipr_free(region, __func__);
        return NULL;
    }
    return region;
}

/* ---- Queries ------------------------------------------------------------ */

bool ve_cipr_buffer_is_region(const ve_cipr_buffer *buffer)
{
    LOG_ENTRY();
    return buffer != NULL && is_region(buffer);
}

ve_cipr_buffer *ve_cipr_buffer_get_parent(const ve_cipr_buffer *buffer)
{
    LOG_ENTRY();
    if (buffer == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: NULL pointer given!", __func__);
        return NULL;
    }
    if (!is_region(buffer)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: not a child object", __func__);
        return NULL;
    }
    if (buffer->memory.anchor == NULL)
        ve_log_common_debug(VE_LOG_WARNING, LOG_TAG, "%s: parent already released", __func__);
    return buffer->memory.anchor;
}

uint8_t ve_cipr_buffer_get_device_id(const ve_cipr_buffer *buffer)
{
    LOG_ENTRY();
    return buffer != NULL ? buffer->device_id : 0;
}

/* ---- Allocation and memory ---------------------------------------------- */

int32_t ve_cipr_buffer_allocate(ve_cipr_buffer *buffer)
{
    LOG_ENTRY();
    if (buffer == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: NULL pointer given!", __func__);
        return err_argument;
    }
    if (buffer->allocate == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: no allocate operation (a region is allocated with its parent)",
                            __func__);
        return err_internal;
    }
    int32_t status = buffer->allocate(buffer);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: allocation failed", __func__);
        return status;
    }
    status = validate_memory_flags(&buffer->memory);
    if (status != err_none)
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: bitfield validation after allocate failed", __func__);
    return status;
}

/* A region's part of its parent's memory. */
static int32_t narrow_to_region(const ve_cipr_buffer *region, ve_cipr_memory *memory, const char *caller)
{
    if (!fits_in(memory->size, region->region_offset, region->memory.size)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: memory region doesn't fit in parent store!", caller);
        return err_internal;
    }
    if (memory->cpu_ptr != NULL)
        memory->cpu_ptr = (char *)memory->cpu_ptr + region->region_offset;
    memory->size = region->memory.size;
    memory->anchor = (ve_cipr_buffer *)region;
    return err_none;
}

int32_t ve_cipr_buffer_get_memory(ve_cipr_buffer *buffer, ve_cipr_memory *memory)
{
    LOG_ENTRY();
    if (buffer == NULL || memory == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: NULL pointer given!", __func__);
        return err_argument;
    }
    ve_cipr_buffer *owner = buffer;
    if (is_region(buffer)) {
        owner = buffer->memory.anchor;
        if (owner == NULL) {
            ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: parent already released", __func__);
            return err_internal;
        }
    }
    if (owner->get_memory == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: no get memory operation", __func__);
        return err_internal;
    }
    ve_cipr_memory result;
    memset(&result, 0, sizeof result);
    int32_t status = owner->get_memory(owner, &result);
    if (status != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: operation failed", __func__);
        return status;
    }
    if (validate_memory_flags(&result) != err_none) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: bitfield validation failed for memory returned", __func__);
        return err_general;
    }
    if (owner != buffer) {
        status = narrow_to_region(buffer, &result, __func__);
        if (status != err_none)
            return status;
    }
    *memory = result;
    return err_none;
}

int32_t ve_cipr_memory_device_migrate_buffer(const ve_cipr_memory_migration *migration, ve_cipr_buffer *buffer)
{
    LOG_ENTRY();
    if (migration == NULL || buffer == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: NULL pointer given!", __func__);
        return err_argument;
    }
    if (is_region(buffer)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: buffer regions cannot be independently migrated", __func__);
        return err_argument;
    }
    if (migration->allocate == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: migration without allocate operation", __func__);
        return err_argument;
    }
    /* The layer's own memory would be lost to the device operations. */
    if (has_flag(buffer->memory.flags, VE_CIPR_MEMORY_ALLOCATED)) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: memory already allocated, cannot migrate", __func__);
        return err_argument;
    }
    buffer->allocate = migration->allocate;
    if (migration->get_memory != NULL)
        buffer->get_memory = migration->get_memory;
    if (migration->destroy != NULL)
        buffer->destroy = migration->destroy;
    return buffer->allocate(buffer);
}

/* ---- Destruction -------------------------------------------------------- */

static void detach_from_parent(ve_cipr_buffer *region, const char *caller)
{
    ve_cipr_buffer *parent = region->memory.anchor;
    if (parent == NULL) {
        ve_log_common_debug(VE_LOG_WARNING, LOG_TAG, "%s: parent already released", caller);
        return;
    }
    if (!ve_list_remove(&parent->regions, region))
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: region parent reference missing", caller);
}

/* Regions outliving their parent keep no reference to it. */
static void release_regions(ve_cipr_buffer *buffer, const char *caller)
{
    if (buffer->regions == NULL)
        return;
    ve_log_common_debug(VE_LOG_WARNING, LOG_TAG, "%s: parent buffer destroy leaves stale regions", caller);
    while (buffer->regions != NULL) {
        ve_list *element = buffer->regions;
        ((ve_cipr_buffer *)element->data)->memory.anchor = NULL;
        buffer->regions = element->next;
        ve_list_destroy(element);
    }
}

void ve_cipr_buffer_destroy(ve_cipr_buffer *buffer)
{
    LOG_ENTRY();
    if (buffer == NULL) {
        ve_log_common_debug(VE_LOG_ERROR, LOG_TAG, "%s: NULL pointer given!", __func__);
        return;
    }
    if (is_region(buffer))
        detach_from_parent(buffer, __func__);
    else
        release_regions(buffer, __func__);
    if (buffer->destroy != NULL)
        buffer->destroy(buffer);
    ve_cipr_free(buffer, __func__);
}
