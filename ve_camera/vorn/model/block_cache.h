// Blocks of whole large pages for tree arenas, and the blocks kept for the
// next tree.
//
// A tree of a large document gets its memory in blocks of whole, aligned
// large pages, mapped straight from the system with nothing mapped around
// them (an aligned heap block of that size would hold up to a large page of
// address space it never uses). When the tree dies, its blocks are kept for the next one
// while the kept blocks stay under kKeptBytes; their pages are marked free,
// so the system takes them whenever it needs memory, and a block taken
// again before that costs neither page faults nor clearing pages. Kept
// blocks are given back by releaseKeptBlocks (library_init.h;
// releaseCachedTreeMemory in the public interface) and when the library is
// unloaded.
#ifndef VORN_MODEL_BLOCK_CACHE_H
#define VORN_MODEL_BLOCK_CACHE_H

#include <cstddef>

namespace Vorn {
namespace detail {

constexpr size_t kLargePage = 2 * 1024 * 1024;
// About what glibc's heap keeps resident on its own after freeing blocks
// this large (its trim threshold rises to 64 MiB); kept blocks, unlike the
// heap's free memory, can be reclaimed by the system.
constexpr size_t kKeptBytes = 64 * 1024 * 1024;

// A block of bytes (a multiple of kLargePage), aligned to a large page;
// null when out of memory.
void *takeLargePageBlock(size_t bytes) noexcept;
// Gives back a block from takeLargePageBlock.
void giveBackLargePageBlock(void *block, size_t bytes) noexcept;

}  // namespace detail
}  // namespace Vorn

#endif
