// Large-page blocks of tree arenas and the blocks kept between trees.
#include "model/block_cache.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>

#include "library_init.h"

namespace Vorn {
namespace detail {

namespace {

// The kept blocks.
struct KeptBlocks {
    struct Entry {
        void *block;
        size_t bytes;
    };
    static constexpr size_t kMaxEntries = 64;

    std::mutex mutex;
    Entry entries[kMaxEntries] = {};
    size_t count = 0;
    size_t bytes = 0;
};

// Never destroyed, so trees that die while the process exits still find it.
KeptBlocks &keptBlocks()
{
    alignas(KeptBlocks) static unsigned char storage[sizeof(KeptBlocks)];
    static KeptBlocks *const blocks = new (storage) KeptBlocks();
    return *blocks;
}

// Maps bytes of fresh memory aligned to a large page, with nothing mapped
// around them: more is asked for and the ends beyond the alignment are
// given back at once.
void *allocateBlock(size_t bytes) noexcept
{
    if (bytes > SIZE_MAX - kLargePage)
        return nullptr;
    const size_t span = bytes + kLargePage;
    void *mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kLargePage - 1) & ~(uintptr_t{kLargePage} - 1);
    const size_t head = aligned - start;
    if (head != 0)
        munmap(mapped, head);
    if (span - head - bytes != 0)
        munmap(reinterpret_cast<void *>(aligned + bytes), span - head - bytes);
    auto *block = reinterpret_cast<void *>(aligned);
#ifdef MADV_HUGEPAGE
    // Large pages: far fewer faults and address translations.
    madvise(block, bytes, MADV_HUGEPAGE);
#endif
    return block;
}

void freeBlock(void *block, size_t bytes) noexcept { munmap(block, bytes); }

// Marks the pages of a kept block free: the system may take them back (and
// hands out cleared pages if they are written again), or leave them for the
// next tree. False where the system cannot.
bool markPagesFree(void *block, size_t bytes) noexcept
{
#ifdef MADV_FREE
    return madvise(block, bytes, MADV_FREE) == 0;
#else
    (void)block;
    (void)bytes;
    return false;
#endif
}

}  // namespace

void *takeLargePageBlock(size_t bytes) noexcept
{
    {
        KeptBlocks &kept = keptBlocks();
        std::lock_guard<std::mutex> lock(kept.mutex);
        for (size_t i = kept.count; i > 0; --i) {
            KeptBlocks::Entry &entry = kept.entries[i - 1];
            if (entry.bytes != bytes)
                continue;
            void *block = entry.block;
            entry = kept.entries[--kept.count];
            kept.bytes -= bytes;
            return block;
        }
    }
    return allocateBlock(bytes);
}

void giveBackLargePageBlock(void *block, size_t bytes) noexcept
{
    if (block == nullptr)
        return;
    {
        KeptBlocks &kept = keptBlocks();
        std::lock_guard<std::mutex> lock(kept.mutex);
        if (kept.count < KeptBlocks::kMaxEntries && kept.bytes + bytes <= kKeptBytes && markPagesFree(block, bytes)) {
            kept.entries[kept.count++] = KeptBlocks::Entry{block, bytes};
            kept.bytes += bytes;
            return;
        }
    }
    freeBlock(block, bytes);
}

void releaseKeptBlocks() noexcept
{
    KeptBlocks::Entry released[KeptBlocks::kMaxEntries];
    size_t count = 0;
    {
        KeptBlocks &kept = keptBlocks();
        std::lock_guard<std::mutex> lock(kept.mutex);
        count = kept.count;
        for (size_t i = 0; i < count; ++i)
            released[i] = kept.entries[i];
        kept.count = 0;
        kept.bytes = 0;
    }
    for (size_t i = 0; i < count; ++i)
        freeBlock(released[i].block, released[i].bytes);
}

}  // namespace detail
}  // namespace Vorn
