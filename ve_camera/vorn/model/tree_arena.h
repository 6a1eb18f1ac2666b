// Memory of loaded trees and copies, and the steps that build trees in it.
//
// A tree built by the loader or by copy() keeps its items, their texts and
// the children arrays of its nodes in one arena owned by the tree's top
// node: a few large blocks instead of one heap block per item. Destroying
// the tree runs the items' destructors (which free nothing) and then
// releases the blocks. Items inserted later with insertDescendant are heap
// objects and are deleted one by one; the children entry of every item says
// which kind it is.
#ifndef VORN_MODEL_TREE_ARENA_H
#define VORN_MODEL_TREE_ARENA_H

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include <vorn/graph_config.h>

namespace Vorn {
namespace detail {

// Child::flags bits.
constexpr uint32_t kArenaItem = 1;  // the item lives in an arena: destroyed, never deleted
constexpr uint32_t kRemoved = 2;    // removed; second holds the index of the next entry to look at
constexpr uint32_t kNoCleanup = 4;  // with kArenaItem: the item's destructor does nothing (an integer attribute)
// An integer attribute in an arena: destroying its tree need not visit it.
constexpr uint32_t kArenaValue = kArenaItem | kNoCleanup;

class TreeArena {
public:
    // blockBytes: size of the blocks, header included (at most kMaxBlock); blocks smaller
    // than kGrowUntil grow by half each time. Requests larger than a quarter
    // block get a block of their own.
    explicit TreeArena(size_t blockBytes)
        : mNextBlock(blockBytes < kMinBlock   ? kMinBlock
                     : blockBytes > kMaxBlock ? kMaxBlock
                                              : blockBytes)
    {
    }
    TreeArena(const TreeArena &) = delete;
    TreeArena &operator=(const TreeArena &) = delete;
    ~TreeArena();

    // Null when out of memory.
    void *allocate(size_t bytes, size_t alignment = alignof(std::max_align_t))
    {
        const uintptr_t at = (reinterpret_cast<uintptr_t>(mCursor) + (alignment - 1)) & ~(uintptr_t{alignment} - 1);
        if (mCursor != nullptr && at + bytes <= reinterpret_cast<uintptr_t>(mLimit) && at + bytes >= at) {
            mCursor = reinterpret_cast<char *>(at + bytes);
            return reinterpret_cast<void *>(at);
        }
        return allocateInNewBlock(bytes, alignment);
    }

    template <typename T, typename... Args>
    T *create(Args &&...args)
    {
        void *place = allocate(sizeof(T), alignof(T));
        return place != nullptr ? new (place) T(std::forward<Args>(args)...) : nullptr;
    }

    // A terminated copy of [text, text + size); null when out of memory.
    const char *copyText(const char *text, size_t size);

    // Makes the first block exactly bytes long at once (for a tree whose
    // size is known); false when out of memory.
    bool reserveExactly(size_t bytes);

    // Takes over other's blocks (and those it took over); they are released
    // with this arena.
    void adopt(std::unique_ptr<TreeArena, TreeArenaRelease> other);

    static constexpr size_t kMinBlock = 16 * 1024;
    static constexpr size_t kGrowUntil = 1024 * 1024;
    static constexpr size_t kMaxBlock = 8 * 1024 * 1024;

    struct Block;

private:
    void *allocateInNewBlock(size_t bytes, size_t alignment);
    // Makes block the one that serves requests.
    void useBlock(Block *block);
    // Maps the current block's pages from mLimit on, up to needed at least
    // and a step ahead at most, and moves mLimit there.
    void mapUpTo(char *needed);

    Block *mBlocks = nullptr;
    char *mCursor = nullptr;
    char *mLimit = nullptr;     // end of the current block's mapped part
    char *mBlockEnd = nullptr;  // end of the current block
    size_t mNextBlock;
    std::unique_ptr<TreeArena, TreeArenaRelease> mAdopted;
};

using ArenaPtr = std::unique_ptr<TreeArena, TreeArenaRelease>;

inline ArenaPtr makeArena(size_t blockBytes) { return ArenaPtr(new (std::nothrow) TreeArena(blockBytes)); }

// An arena holding one block of exactly bytes; null when out of memory.
inline ArenaPtr makeExactArena(size_t bytes)
{
    ArenaPtr arena(new (std::nothrow) TreeArena(bytes));
    if (arena && !arena->reserveExactly(bytes))
        arena.reset();
    return arena;
}

// The steps that build a tree in an arena, for the loader and copy().
struct TreeBuilder {
    static GraphConfigNode *newNode(TreeArena &arena) { return arena.create<GraphConfigNode>(); }
    static GraphConfigIntAttribute *newInt(TreeArena &arena, int32_t value)
    {
        return arena.create<GraphConfigIntAttribute>(value);
    }
    // Null when out of memory or when the text does not fit an attribute.
    static GraphConfigStrAttribute *newStr(TreeArena &arena, const char *text, size_t size);

    // Records that child is stored under key in parent (the entry itself is
    // placed by publish).
    static void attach(GraphConfigNode &parent, GraphConfigNode &child, KeyId key)
    {
        child.mAncestor = &parent;
        child.mKeyInParent = key;
    }
    // Room in the arena for count children; null when out of memory.
    static Child *childRoom(TreeArena &arena, size_t count);
    // Gives node, which has no children yet, the count entries at array
    // (arena memory from childRoom, in container order).
    static void giveChildren(GraphConfigNode &node, Child *array, size_t count);
    static void giveArena(GraphConfigNode &top, ArenaPtr arena) { top.mArena = std::move(arena); }
};

// Container order of children: by key alone.
inline bool byKey(const Child &a, const Child &b) { return a.first < b.first; }

// Whether [first, last) is in container order already.
inline bool childrenSorted(const Child *first, const Child *last) { return std::is_sorted(first, last, byKey); }

// Sorts [first, last) by key, equal keys in their present order. scratch
// has room for as many children as the range, and its content is lost; the
// sort allocates nothing.
void sortChildren(Child *first, Child *last, Child *scratch);

}  // namespace detail
}  // namespace Vorn

#endif
