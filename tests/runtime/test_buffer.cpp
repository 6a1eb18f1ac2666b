// Memory buffer objects: creation, regions, allocation, device migration and
// destruction, with their messages and the allocation counters.
#include <ve_cipr/ve_cipr_buffer.h>  // first: the header stands alone in C++

#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using vorn_test::LogCapture;

namespace {
const std::string kTag = "MEMORY_COMMON[XOS]";

// Allocations and frees since construction balance.
struct Counters {
    uint32_t allocs = g_alloc_counter;
    uint32_t frees = g_free_counter;
    bool balanced() const { return g_alloc_counter - allocs == g_free_counter - frees; }
};

bool hasError(const LogCapture &log, const std::string &text) { return log.has(VE_LOG_ERROR, kTag, text); }
bool hasWarning(const LogCapture &log, const std::string &text) { return log.has(VE_LOG_WARNING, kTag, text); }

ve_cipr_memory userMemory(uint32_t size, void *ptr, uint64_t handle, uint64_t flags)
{
    return ve_cipr_memory{size, ptr, handle, flags, nullptr};
}

// A device layer: memory of its own, marked by a device flag.
constexpr uint64_t kDeviceMemory = UINT64_C(0x10000);
int32_t deviceAllocate(ve_cipr_buffer *b)
{
    b->device_id = 7;
    b->memory.cpu_ptr = VE_CIPR_MALLOC(b->memory.size);
    if (b->memory.cpu_ptr == nullptr)
        return err_nomemory;
    b->memory.flags = (b->memory.flags & ~VE_CIPR_MEMORY_ALLOCATE_CPU_PTR) | VE_CIPR_MEMORY_CPU_PTR |
                      VE_CIPR_MEMORY_USER_PROVIDED | kDeviceMemory;
    return err_none;
}
void deviceDestroy(ve_cipr_buffer *b) { VE_CIPR_FREE(b->memory.cpu_ptr); }
int32_t deviceShrunkMemory(ve_cipr_buffer *b, ve_cipr_memory *m)
{
    *m = b->memory;
    m->size = 8;
    return err_none;
}
int32_t deviceBadFlags(ve_cipr_buffer *b, ve_cipr_memory *m)
{
    *m = b->memory;
    m->flags &= ~VE_CIPR_MEMORY_CPU_PTR;
    return err_none;
}
int32_t deviceFails(ve_cipr_buffer *) { return err_data; }
int32_t deviceLeavesAllocateSet(ve_cipr_buffer *b)
{
    b->memory.flags |= VE_CIPR_MEMORY_ALLOCATE_CPU_PTR;
    return err_none;
}
int32_t deviceFailsMemory(ve_cipr_buffer *, ve_cipr_memory *) { return err_data; }
}  // namespace

TEST(Buffer, LazyAllocationAndRegionsOfIt)
{
    Counters counters;
    LogCapture log;
    ve_cipr_buffer *buffer = ve_cipr_buffer_create(32, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->memory.cpu_ptr, nullptr);
    ve_cipr_buffer *region = ve_cipr_buffer_create_region(buffer, 16, 16);
    ASSERT_NE(region, nullptr);
    EXPECT_TRUE(ve_cipr_buffer_is_region(region) && !ve_cipr_buffer_is_region(buffer));
    EXPECT_EQ(ve_cipr_buffer_get_parent(region), buffer);
    EXPECT_EQ(ve_cipr_buffer_get_parent(buffer), nullptr);
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_get_parent: not a child object"));

    // The region's memory is reached through the parent, which allocates once.
    const uint32_t allocs = g_alloc_counter;
    ve_cipr_memory part{}, whole{};
    ASSERT_EQ(ve_cipr_buffer_get_memory(region, &part), err_none);
    ASSERT_EQ(ve_cipr_buffer_get_memory(buffer, &whole), err_none);
    EXPECT_EQ(g_alloc_counter, allocs + 1);
    ASSERT_NE(whole.cpu_ptr, nullptr);
    EXPECT_TRUE(whole.size == 32 && whole.anchor == buffer);
    EXPECT_EQ(whole.flags, VE_CIPR_MEMORY_CPU_PTR | VE_CIPR_MEMORY_ALLOCATED);
    EXPECT_EQ(part.cpu_ptr, static_cast<char *>(whole.cpu_ptr) + 16);
    EXPECT_TRUE(part.size == 16 && part.anchor == region);
    std::memset(whole.cpu_ptr, 1, whole.size);
    EXPECT_EQ(ve_cipr_buffer_allocate(buffer), err_argument);
    EXPECT_TRUE(hasError(log, "default_allocate: already allocated"));
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_allocate: allocation failed"));
    EXPECT_EQ(ve_cipr_buffer_allocate(region), err_internal);  // allocated with its parent
    EXPECT_EQ(ve_cipr_buffer_get_device_id(buffer), 0u);

    ve_cipr_buffer_destroy(region);
    EXPECT_EQ(buffer->regions, nullptr);
    ve_cipr_buffer_destroy(buffer);
    EXPECT_TRUE(counters.balanced());
    for (const char *name : {"ve_cipr_buffer_create", "ve_cipr_buffer_create_region", "ve_cipr_buffer_is_region",
                             "ve_cipr_buffer_get_parent", "ve_cipr_buffer_get_memory", "ve_cipr_buffer_allocate",
                             "ve_cipr_buffer_get_device_id", "ve_cipr_buffer_destroy"})
        EXPECT_TRUE(log.has(VE_LOG_ENTRY, kTag, std::string("E:") + name)) << name;
}

TEST(Buffer, RegionsLieInsideTheirParentWithoutWrap)
{
    Counters counters;
    LogCapture log;
    ve_cipr_buffer *buffer = ve_cipr_buffer_create(32, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR, nullptr);
    ASSERT_NE(buffer, nullptr);
    const uint32_t refused[][2] = {{17, 16}, {32, 1}, {0, 33}, {0xFFFFFFF0u, 0x20}, {0x10, 0xFFFFFFF8u}};
    for (const auto &r : refused) {
        EXPECT_EQ(ve_cipr_buffer_create_region(buffer, r[0], r[1]), nullptr) << r[0] << "+" << r[1];
    }
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_create_region: parent buffer size 32 not enough for region requested "
                              "(offset 17, size 16)"))
        << log.dump();
    EXPECT_EQ(ve_cipr_buffer_create_region(buffer, 0, 0), nullptr);
    EXPECT_EQ(ve_cipr_buffer_create_region(nullptr, 0, 1), nullptr);

    ve_cipr_buffer *all = ve_cipr_buffer_create_region(buffer, 0, 32);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(ve_cipr_buffer_create_region(all, 0, 1), nullptr);
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_create_region: nested regions are illecal"));

    // A device whose memory is smaller than the buffer: the region is refused
    // at access too.
    ve_cipr_memory_migration shrink{deviceAllocate, deviceShrunkMemory, deviceDestroy};
    ASSERT_EQ(ve_cipr_memory_device_migrate_buffer(&shrink, buffer), err_none);
    ve_cipr_memory memory{};
    EXPECT_EQ(ve_cipr_buffer_get_memory(all, &memory), err_internal);
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_get_memory: memory region doesn't fit in parent store!"));
    EXPECT_EQ(memory.cpu_ptr, nullptr);  // untouched on failure

    ve_cipr_buffer_destroy(all);
    ve_cipr_buffer_destroy(buffer);
    EXPECT_TRUE(counters.balanced());
}

TEST(Buffer, CallerMemoryIsAdoptedAsItIs)
{
    Counters counters;
    LogCapture log;
    char bytes[64];
    ve_cipr_memory ptr = userMemory(64, bytes, 0, VE_CIPR_MEMORY_CPU_PTR);
    ve_cipr_buffer *buffer = ve_cipr_buffer_create(48, VE_CIPR_MEMORY_CPU_ONLY, &ptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_TRUE(hasWarning(log, "ve_cipr_buffer_create: requested bytes to allocate less than provided user memory "
                                "in argument, truncating"));
    ve_cipr_memory memory{};
    ASSERT_EQ(ve_cipr_buffer_get_memory(buffer, &memory), err_none);
    EXPECT_TRUE(memory.cpu_ptr == bytes && memory.size == 48);
    EXPECT_EQ(memory.flags, VE_CIPR_MEMORY_CPU_PTR | VE_CIPR_MEMORY_USER_PROVIDED | VE_CIPR_MEMORY_CPU_ONLY);
    ve_cipr_buffer_destroy(buffer);  // the caller's memory stays the caller's (ASan)

    // A caller claiming the layer allocated its memory does not get it freed.
    buffer = ve_cipr_buffer_create(64, VE_CIPR_MEMORY_ALLOCATED, &ptr);
    ASSERT_NE(buffer, nullptr);
    ve_cipr_buffer_destroy(buffer);

    ve_cipr_memory handle = userMemory(64, nullptr, 42, VE_CIPR_MEMORY_HANDLE);
    buffer = ve_cipr_buffer_create(64, VE_CIPR_MEMORY_HW_ONLY, &handle);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(ve_cipr_buffer_get_memory(buffer, &memory), err_none);
    EXPECT_TRUE(memory.handle == 42 && memory.cpu_ptr == nullptr);
    ve_cipr_buffer_destroy(buffer);
    EXPECT_TRUE(counters.balanced());
}

TEST(Buffer, CreateRefusesBadMemoryAndFlags)
{
    Counters counters;
    LogCapture log;
    char bytes[64];
    const ve_cipr_memory ptr = userMemory(64, bytes, 0, VE_CIPR_MEMORY_CPU_PTR);
    const ve_cipr_memory handle = userMemory(64, nullptr, 42, VE_CIPR_MEMORY_HANDLE);
    ve_cipr_memory anchored = ptr;
    anchored.anchor = reinterpret_cast<ve_cipr_buffer *>(bytes);
    const ve_cipr_memory shortPtr = userMemory(16, bytes, 0, VE_CIPR_MEMORY_CPU_PTR);
    const ve_cipr_memory nullPtr = userMemory(64, nullptr, 0, VE_CIPR_MEMORY_CPU_PTR);
    const ve_cipr_memory both = userMemory(64, bytes, 5, VE_CIPR_MEMORY_CPU_PTR | VE_CIPR_MEMORY_HANDLE);
    const ve_cipr_memory nullHandle = userMemory(64, nullptr, 0, VE_CIPR_MEMORY_HANDLE);
    const ve_cipr_memory neither = userMemory(64, bytes, 5, 0);
    const uint64_t allocate = VE_CIPR_MEMORY_ALLOCATE_CPU_PTR, copy = VE_CIPR_MEMORY_COPY_FROM_USER;
    const std::string create = "ve_cipr_buffer_create: ", validate = "ve_cipr_buffer_validate_flags: ";
    struct Refusal {
        const ve_cipr_memory *user;
        uint64_t flags;
        std::string message;
    } refusals[] = {
        {&shortPtr, 0, create + "requested bytes to allocate more than provided user memory in argument"},
        {&nullPtr, 0, create + "user did not provide pointer with VE_CIPR_MEMORY_CPU_PTR"},
        {&both, 0, create + "VE_CIPR_MEMORY_CPU_PTR conflict with VE_CIPR_MEMORY_HANDLE"},
        {&ptr, allocate, create + "VE_CIPR_MEMORY_CPU_PTR conflict with VE_CIPR_MEMORY_ALLOCATE_CPU_PTR"},
        {&handle, copy, create + "VE_CIPR_MEMORY_COPY_FROM_USER conflict!  Copy from user handle not implemented."},
        {&handle, allocate, create + "VE_CIPR_MEMORY_HANDLE conflict with VE_CIPR_MEMORY_ALLOCATE_CPU_PTR"},
        {&nullHandle, 0, create + "user did not provide handle with VE_CIPR_MEMORY_HANDLE"},
        {&neither, 0, create + "Invalid user memory given as argument!"},
        {&anchored, 0, create + "inheriting object from another not supported!"},
        // Copying needs the caller's memory to copy from.
        {nullptr, allocate | copy, create + "Invalid user memory given as argument!"},
        // A caller pointer with allocate and copy still fails the flag check.
        {&ptr, allocate | copy,
         validate + "VE_CIPR_MEMORY_ALLOCATE_CPU_PTR needs to be unset to acknowledge allocation done!"},
        {&ptr, allocate | copy, validate + "VE_CIPR_MEMORY_COPY_FROM_USER needs to be unset to acknowledge copy done!"},
        {nullptr, VE_CIPR_MEMORY_CPU_ONLY | VE_CIPR_MEMORY_HW_ONLY,
         validate + "Both VE_CIPR_MEMORY_CPU_ONLY and VE_CIPR_MEMORY_HW_ONLY are set at same time, which is the "
                    "invalid case."},
        {nullptr, VE_CIPR_MEMORY_CPU_PTR, validate + "VE_CIPR_MEMORY_CPU_PTR (set) ptr = (nil)"},
        {nullptr, VE_CIPR_MEMORY_HANDLE, validate + "VE_CIPR_MEMORY_HANDLE (set) handle = 0"},
        {nullptr, VE_CIPR_MEMORY_HANDLE, validate + "memory accessor set before allocation"},
        {nullptr, VE_CIPR_MEMORY_ALLOCATED, validate + "missing memory accessor or HW_ONLY flag for allocated memory"},
    };
    for (const Refusal &r : refusals) {
        log.clear();
        EXPECT_EQ(ve_cipr_buffer_create(64, r.flags, r.user), nullptr) << r.message;
        EXPECT_TRUE(hasError(log, r.message)) << log.dump();
    }
    EXPECT_EQ(ve_cipr_buffer_create(0, allocate, nullptr), nullptr);
    EXPECT_TRUE(counters.balanced());
}

TEST(Buffer, DeviceMigration)
{
    Counters counters;
    LogCapture log;
    ve_cipr_buffer *buffer = ve_cipr_buffer_create(64, kDeviceMemory, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(ve_cipr_buffer_allocate(buffer), err_argument);
    EXPECT_TRUE(hasError(log, "default_allocate: device memory flags specified, migrate first!"));
    ve_cipr_buffer *region = ve_cipr_buffer_create_region(buffer, 8, 8);
    ASSERT_NE(region, nullptr);
    ve_cipr_memory_migration device{deviceAllocate, nullptr, deviceDestroy};
    ve_cipr_memory_migration none{nullptr, deviceFailsMemory, nullptr};
    EXPECT_EQ(ve_cipr_memory_device_migrate_buffer(&device, region), err_argument);
    EXPECT_TRUE(hasError(log, "ve_cipr_memory_device_migrate_buffer: buffer regions cannot be independently migrated"));
    const ve_cipr_buffer_get_memory_op ownGetMemory = buffer->get_memory;
    EXPECT_EQ(ve_cipr_memory_device_migrate_buffer(&none, buffer), err_argument);
    EXPECT_EQ(buffer->get_memory, ownGetMemory);  // nothing changed
    EXPECT_EQ(ve_cipr_memory_device_migrate_buffer(nullptr, buffer), err_argument);
    EXPECT_EQ(ve_cipr_memory_device_migrate_buffer(&device, nullptr), err_argument);

    ASSERT_EQ(ve_cipr_memory_device_migrate_buffer(&device, buffer), err_none);
    EXPECT_EQ(ve_cipr_buffer_get_device_id(buffer), 7u);
    ve_cipr_memory memory{};
    ASSERT_EQ(ve_cipr_buffer_get_memory(region, &memory), err_none);  // the default get-memory stays
    EXPECT_EQ(memory.cpu_ptr, static_cast<char *>(buffer->memory.cpu_ptr) + 8);
    std::memset(memory.cpu_ptr, 0, memory.size);

    ve_cipr_memory_migration failing{deviceFails, deviceFailsMemory, nullptr};
    ASSERT_EQ(ve_cipr_memory_device_migrate_buffer(&failing, buffer), err_data);
    EXPECT_EQ(ve_cipr_buffer_allocate(buffer), err_data);
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_allocate: allocation failed"));
    EXPECT_EQ(ve_cipr_buffer_get_memory(buffer, &memory), err_data);
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_get_memory: operation failed"));
    ve_cipr_memory_migration inconsistent{deviceFails, deviceBadFlags, nullptr};
    ve_cipr_memory_device_migrate_buffer(&inconsistent, buffer);
    EXPECT_EQ(ve_cipr_buffer_get_memory(buffer, &memory), err_general);
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_get_memory: bitfield validation failed for memory returned"));
    ve_cipr_memory_migration sloppy{deviceLeavesAllocateSet, nullptr, nullptr};
    EXPECT_EQ(ve_cipr_memory_device_migrate_buffer(&sloppy, buffer), err_none);
    EXPECT_EQ(ve_cipr_buffer_allocate(buffer), err_general);
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_allocate: bitfield validation after allocate failed"));
    ve_cipr_buffer_destroy(region);
    ve_cipr_buffer_destroy(buffer);  // the device destroy, kept from the first migration

    // Memory this layer allocated cannot be handed to a device layer.
    buffer = ve_cipr_buffer_create(16, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR, nullptr);
    ASSERT_NE(buffer, nullptr);
    ASSERT_EQ(ve_cipr_buffer_allocate(buffer), err_none);
    const ve_cipr_buffer_allocate_op ownAllocate = buffer->allocate;
    EXPECT_EQ(ve_cipr_memory_device_migrate_buffer(&device, buffer), err_argument);
    EXPECT_EQ(buffer->allocate, ownAllocate);
    EXPECT_EQ(ve_cipr_buffer_get_device_id(buffer), 0u);
    ve_cipr_buffer_destroy(buffer);
    EXPECT_TRUE(counters.balanced());
}

TEST(Buffer, RegionsOutlivingTheirParentCanOnlyBeDestroyed)
{
    Counters counters;
    LogCapture log;
    ve_cipr_buffer *buffer = ve_cipr_buffer_create(32, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR, nullptr);
    ASSERT_NE(buffer, nullptr);
    ve_cipr_buffer *a = ve_cipr_buffer_create_region(buffer, 0, 16);
    ve_cipr_buffer *b = ve_cipr_buffer_create_region(buffer, 16, 16);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    ASSERT_EQ(ve_cipr_buffer_allocate(buffer), err_none);
    ve_cipr_buffer_destroy(buffer);
    EXPECT_TRUE(hasWarning(log, "ve_cipr_buffer_destroy: parent buffer destroy leaves stale regions"));

    ve_cipr_memory memory{};
    ve_cipr_memory_migration device{deviceAllocate, nullptr, deviceDestroy};
    EXPECT_EQ(ve_cipr_buffer_get_memory(a, &memory), err_internal);
    EXPECT_EQ(ve_cipr_buffer_allocate(a), err_internal);
    EXPECT_EQ(ve_cipr_buffer_create_region(a, 0, 1), nullptr);
    EXPECT_EQ(ve_cipr_memory_device_migrate_buffer(&device, a), err_argument);
    EXPECT_EQ(ve_cipr_buffer_get_parent(a), nullptr);
    EXPECT_TRUE(ve_cipr_buffer_is_region(a));
    ve_cipr_buffer_destroy(a);
    ve_cipr_buffer_destroy(b);
    EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, "ve_cipr_buffer_destroy: parent already released"), 2u);

    // Null arguments everywhere: an answer, a status or a line, nothing else.
    log.clear();
    EXPECT_FALSE(ve_cipr_buffer_is_region(nullptr));
    EXPECT_EQ(ve_cipr_buffer_get_parent(nullptr), nullptr);
    EXPECT_EQ(ve_cipr_buffer_get_device_id(nullptr), 0u);
    EXPECT_EQ(ve_cipr_buffer_allocate(nullptr), err_argument);
    EXPECT_EQ(ve_cipr_buffer_get_memory(nullptr, &memory), err_argument);
    ve_cipr_buffer_destroy(nullptr);
    EXPECT_TRUE(hasError(log, "ve_cipr_buffer_destroy: NULL pointer given!"));
    buffer = ve_cipr_buffer_create(8, 0, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(ve_cipr_buffer_get_memory(buffer, nullptr), err_argument);
    ve_cipr_buffer_destroy(buffer);
    EXPECT_TRUE(counters.balanced());
}

// Every allocation of a create / region / allocate / destroy sequence fails
// in turn: each failure is a null or a status, and nothing leaks.
TEST(Buffer, EveryAllocationFailureIsReportedAndLeaksNothing)
{
    const uint32_t savedError = g_alloc_error;
    bool completed = false;
    for (uint32_t k = 0; !completed && k < 16; ++k) {
        SCOPED_TRACE(k);
        Counters counters;
        LogCapture log;
        g_alloc_error = g_alloc_counter + k;
        ve_cipr_buffer *buffer = ve_cipr_buffer_create(64, VE_CIPR_MEMORY_ALLOCATE_CPU_PTR, nullptr);
        ve_cipr_buffer *a = ve_cipr_buffer_create_region(buffer, 0, 32);
        ve_cipr_buffer *b = ve_cipr_buffer_create_region(buffer, 32, 32);
        ve_cipr_memory memory{};
        const int32_t status = ve_cipr_buffer_get_memory(b, &memory);
        if (status == err_none)
            std::memset(memory.cpu_ptr, 0, memory.size);
        completed = buffer != nullptr && a != nullptr && b != nullptr && status == err_none;
        if (buffer == nullptr) {
            EXPECT_TRUE(hasError(log, "could not allocate buf"));
        } else if (a == nullptr || b == nullptr) {
            EXPECT_TRUE(log.contains("failed to append to parent buffer regions") ||
                        log.contains("could not allocate"));
        } else if (status != err_none) {
            EXPECT_EQ(status, err_nomemory);
        }
        g_alloc_error = savedError;
        ve_cipr_buffer_destroy(a);
        ve_cipr_buffer_destroy(buffer);
        ve_cipr_buffer_destroy(b);
        EXPECT_TRUE(counters.balanced());
    }
    EXPECT_TRUE(completed);
}
