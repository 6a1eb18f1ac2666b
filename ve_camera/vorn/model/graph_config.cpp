// Items, attributes and nodes: key-based operations, copy, naming and dumps.
#include <vorn/graph_config.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <ve_cipr/ve_log_common.h>

#include "library_init.h"
#include "log_tags.h"
#include "model/block_cache.h"
#include "model/item_cast.h"
#include "model/tree.h"
#include "model/tree_arena.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

using detail::asIntAttribute;
using detail::asNode;
using detail::asStrAttribute;
}  // namespace

// --- items -----------------------------------------------------------------

GraphConfigItem::~GraphConfigItem() = default;

status_t GraphConfigItem::getValue(int32_t &) const { return err_noentry; }
status_t GraphConfigItem::getValue(std::string &) const { return err_noentry; }
status_t GraphConfigItem::setValue(const std::string &) { return err_noentry; }
status_t GraphConfigItem::setValue(int32_t) { return err_noentry; }

status_t GraphConfigIntAttribute::getValue(int32_t &value) const
{
    value = mValue;
    return err_none;
}

status_t GraphConfigIntAttribute::setValue(int32_t value) { return insertInteger(value); }

status_t GraphConfigIntAttribute::insertInteger(int32_t value)
{
    mValue = value;
    return err_none;
}

GraphConfigIntAttribute *GraphConfigIntAttribute::copy() const
{
    auto *attribute = new (std::nothrow) GraphConfigIntAttribute(mValue);
    if (attribute != nullptr)
        attribute->type = type;
    return attribute;
}

GraphConfigStrAttribute::GraphConfigStrAttribute(const std::string &value) : GraphConfigAttribute(ItemType::STRING)
{
    if (!assign(value.data(), value.size()))
        throw std::bad_alloc();
}

GraphConfigStrAttribute::~GraphConfigStrAttribute()
{
    if ((mSize & kOwnedText) != 0)
        ::operator delete(const_cast<char *>(mText));
}

bool GraphConfigStrAttribute::assign(const char *text, size_t size)
{
    if (size > kSizeMask)
        return false;
    char *copy = nullptr;
    if (size != 0) {
        copy = static_cast<char *>(::operator new(size + 1, std::nothrow));
        if (copy == nullptr)
            return false;
        std::memcpy(copy, text, size);
        copy[size] = '\0';
    }
    if ((mSize & kOwnedText) != 0)
        ::operator delete(const_cast<char *>(mText));
    mText = copy != nullptr ? copy : "";
    mSize = static_cast<uint32_t>(size) | (copy != nullptr ? kOwnedText : 0);
    return true;
}

status_t GraphConfigStrAttribute::getValue(std::string &value) const
{
    try {
        value.assign(mText, mSize & kSizeMask);
    } catch (const std::bad_alloc &) {
        return err_nomemory;
    }
    return err_none;
}

status_t GraphConfigStrAttribute::setValue(const std::string &value) { return insertString(value); }

status_t GraphConfigStrAttribute::insertString(const std::string &value)
{
    return assign(value.data(), value.size()) ? err_none : err_nomemory;
}

GraphConfigStrAttribute *GraphConfigStrAttribute::copy() const
{
    auto *attribute = new (std::nothrow) GraphConfigStrAttribute();
    if (attribute == nullptr)
        return nullptr;
    if (!attribute->assign(mText, mSize & kSizeMask)) {
        delete attribute;
        return nullptr;
    }
    attribute->type = type;
    return attribute;
}

IGraphConfig::~IGraphConfig() = default;

void releaseCachedTreeMemory() { detail::releaseKeptBlocks(); }

// --- arena -----------------------------------------------------------------

namespace detail {

void TreeArenaRelease::operator()(TreeArena *arena) const noexcept { delete arena; }

namespace {

constexpr size_t kBlockHeader = (sizeof(void *) * 3 + alignof(std::max_align_t) - 1) & ~(alignof(std::max_align_t) - 1);

// A tree fills its blocks in order, so every page of a block up to the
// cursor gets written while the tree is built. Mapping the next pages in one
// request costs far less than one page fault each (faults dominated the load
// of documents of a few megabytes wherever the heap had given its pages
// back). Pages already mapped are passed over; where the system does not
// offer the request, nothing changes. Short ranges are left to fault: the
// request would cost more than it saves.
void mapPages(char *from, char *to)
{
#ifdef MADV_POPULATE_WRITE
    constexpr size_t kWorthMapping = 64 * 1024;
    static const long pageSize = sysconf(_SC_PAGESIZE);
    if (to - from < static_cast<std::ptrdiff_t>(kWorthMapping) || pageSize <= 0)
        return;
    const auto page = static_cast<uintptr_t>(pageSize);
    const uintptr_t first = (reinterpret_cast<uintptr_t>(from) + page - 1) & ~(page - 1);
    const uintptr_t last = reinterpret_cast<uintptr_t>(to) & ~(page - 1);
    if (last > first)
        madvise(reinterpret_cast<void *>(first), last - first, MADV_POPULATE_WRITE);
#endif
    (void)from;
    (void)to;
}

// Pages mapped ahead of the cursor at a time: the unused end of a block is
// never mapped.
constexpr size_t kMapAhead = 256 * 1024;

}  // namespace

// Blocks of a large page or more are whole, aligned large pages (header
// included), so that all of their memory can be mapped with large pages.
struct TreeArena::Block {
    Block *next;
    size_t usable;  // bytes after the header
    bool aligned;   // allocated with large-page alignment

    char *start() { return reinterpret_cast<char *>(this) + kBlockHeader; }

    // A block of total bytes, header included (more when rounded up to
    // whole large pages); null when out of memory.
    static Block *create(size_t total)
    {
        if (total > SIZE_MAX / 2 || total < kBlockHeader)
            return nullptr;
        const bool aligned = total >= kLargePage;
        if (aligned)
            total = (total + kLargePage - 1) & ~(kLargePage - 1);
        void *memory = aligned ? takeLargePageBlock(total) : ::operator new(total, std::nothrow);
        if (memory == nullptr)
            return nullptr;
        return new (memory) Block{nullptr, total - kBlockHeader, aligned};
    }

    static void release(Block *block) noexcept
    {
        if (block->aligned)
            giveBackLargePageBlock(block, kBlockHeader + block->usable);
        else
            ::operator delete(static_cast<void *>(block));
    }
};
static_assert(sizeof(TreeArena::Block) <= kBlockHeader, "the block header fits its reserved room");

TreeArena::~TreeArena()
{
    // Oldest first: blocks taken one after another lie in ascending order in
    // the heap, so the allocator merges them and gives memory back to the
    // system once, not after every block.
    Block *oldest = nullptr;
    while (mBlocks != nullptr) {
        Block *next = mBlocks->next;
        mBlocks->next = oldest;
        oldest = mBlocks;
        mBlocks = next;
    }
    while (oldest != nullptr) {
        Block *next = oldest->next;
        Block::release(oldest);
        oldest = next;
    }
    // Adopted arenas form a chain; released one after another, not recursively.
    ArenaPtr chain = std::move(mAdopted);
    while (chain) {
        ArenaPtr next = std::move(chain->mAdopted);
        chain = std::move(next);
    }
}

void TreeArena::useBlock(Block *block)
{
    mCursor = block->start();
    mBlockEnd = mCursor + block->usable;
    mLimit = mCursor;
    mapUpTo(mCursor);
}

void TreeArena::mapUpTo(char *needed)
{
    char *limit = mBlockEnd - mLimit > static_cast<std::ptrdiff_t>(kMapAhead) ? mLimit + kMapAhead : mBlockEnd;
    if (needed > limit)
        limit = needed;
    mapPages(mLimit, limit);
    mLimit = limit;
}

void *TreeArena::allocateInNewBlock(size_t bytes, size_t alignment)
{
    if (bytes > SIZE_MAX / 2)
        return nullptr;
    if (mCursor != nullptr && mLimit < mBlockEnd) {
        // The request fits the current block's unmapped part: map more of it.
        const uintptr_t at = (reinterpret_cast<uintptr_t>(mCursor) + (alignment - 1)) & ~(uintptr_t{alignment} - 1);
        if (at + bytes >= at && at + bytes <= reinterpret_cast<uintptr_t>(mBlockEnd)) {
            mapUpTo(mCursor + (at + bytes - reinterpret_cast<uintptr_t>(mCursor)));
            return allocate(bytes, alignment);
        }
    }
    const bool own = bytes + alignment > mNextBlock / 4;  // a large request gets a block of its own
    Block *block = Block::create(own ? kBlockHeader + bytes + alignment : mNextBlock);
    if (block == nullptr)
        return nullptr;
    char *start = block->start();
    if (own) {
        // Behind the current block, which keeps serving small requests.
        block->next = mBlocks != nullptr ? mBlocks->next : nullptr;
        (mBlocks != nullptr ? mBlocks->next : mBlocks) = block;
        const uintptr_t at = (reinterpret_cast<uintptr_t>(start) + (alignment - 1)) & ~(uintptr_t{alignment} - 1);
        return reinterpret_cast<void *>(at);
    }
    block->next = mBlocks;
    mBlocks = block;
    useBlock(block);
    // Blocks grow while small; a block sized for the document stays that size,
    // so the unused end of the last one stays small against the tree.
    if (mNextBlock < kGrowUntil)
        mNextBlock = std::min(kGrowUntil, mNextBlock + mNextBlock / 2);
    return allocate(bytes, alignment);
}

bool TreeArena::reserveExactly(size_t bytes)
{
    if (bytes > SIZE_MAX / 2)
        return false;
    Block *block = Block::create(kBlockHeader + bytes);
    if (block == nullptr)
        return false;
    block->next = mBlocks;
    mBlocks = block;
    useBlock(block);
    return true;
}

const char *TreeArena::copyText(const char *text, size_t size)
{
    if (size == SIZE_MAX)
        return nullptr;
    auto *copy = static_cast<char *>(allocate(size + 1, 1));
    if (copy == nullptr)
        return nullptr;
    if (size != 0)
        std::memcpy(copy, text, size);
    copy[size] = '\0';
    return copy;
}

void TreeArena::adopt(ArenaPtr other)
{
    if (!other)
        return;
    // other's own chain goes behind it, so the chain stays one list.
    TreeArena *last = other.get();
    while (last->mAdopted)
        last = last->mAdopted.get();
    last->mAdopted = std::move(mAdopted);
    mAdopted = std::move(other);
}

GraphConfigStrAttribute *TreeBuilder::newStr(TreeArena &arena, const char *text, size_t size)
{
    if (size > 0x7fffffffu)
        return nullptr;
    const char *stored = size == 0 ? "" : arena.copyText(text, size);
    if (stored == nullptr)
        return nullptr;
    void *place = arena.allocate(sizeof(GraphConfigStrAttribute), alignof(GraphConfigStrAttribute));
    return place != nullptr ? new (place) GraphConfigStrAttribute(stored, static_cast<uint32_t>(size)) : nullptr;
}

Child *TreeBuilder::childRoom(TreeArena &arena, size_t count)
{
    if (count > UINT32_MAX)
        return nullptr;
    return static_cast<Child *>(arena.allocate(count * sizeof(Child), alignof(Child)));
}

void TreeBuilder::giveChildren(GraphConfigNode &node, Child *array, size_t count)
{
    ChildList &list = node.mChildren;
    list.mData = count != 0 ? array : nullptr;
    list.mSize = static_cast<uint32_t>(count);
    list.mCapacity = 0;
    list.mLive = static_cast<uint32_t>(count);
    ++list.mRevision;
}

namespace {

void insertionSortChildren(Child *first, Child *last)
{
    for (Child *i = first + 1; i < last; ++i) {
        Child moving = *i;
        Child *j = i;
        for (; j > first && (j - 1)->first > moving.first; --j)
            *j = *(j - 1);
        *j = moving;
    }
}

}  // namespace

void sortChildren(Child *first, Child *last, Child *scratch)
{
    // Sorted runs of a few children, then merged pairwise between the range
    // and the scratch room; a merge takes the left run's child first on
    // equal keys, so the order stays stable.
    constexpr size_t kRun = 16;
    const size_t count = static_cast<size_t>(last - first);
    for (size_t at = 0; at < count; at += kRun)
        insertionSortChildren(first + at, first + std::min(at + kRun, count));
    Child *from = first;
    Child *to = scratch;
    for (size_t width = kRun; width < count; width *= 2) {
        for (size_t low = 0; low < count; low += 2 * width) {
            const size_t middle = std::min(low + width, count);
            const size_t high = std::min(low + 2 * width, count);
            std::merge(from + low, from + middle, from + middle, from + high, to + low, byKey);
        }
        std::swap(from, to);
    }
    if (from != first)
        std::copy(from, from + count, first);
}

}  // namespace detail

// --- children --------------------------------------------------------------

using detail::kArenaItem;
using detail::kRemoved;

namespace {

uint32_t lowerIndex(const Child *data, uint32_t size, KeyId key)
{
    return static_cast<uint32_t>(
        std::lower_bound(data, data + size, key, [](const Child &c, KeyId k) { return c.first < k; }) - data);
}
uint32_t upperIndex(const Child *data, uint32_t size, KeyId key)
{
    return static_cast<uint32_t>(
        std::upper_bound(data, data + size, key, [](KeyId k, const Child &c) { return k < c.first; }) - data);
}

// A removed entry keeps its key and holds in its item pointer the index of
// the next entry to look at.
void markRemoved(Child *data, uint32_t index)
{
    data[index].flags = kRemoved;
    data[index].second = reinterpret_cast<GraphConfigItem *>(static_cast<uintptr_t>(index) + 1);
}

// The first entry from index on (before end) that is not removed, or end;
// every removed entry passed then points straight at it.
uint32_t skipRemovedIn(Child *data, uint32_t index, uint32_t end)
{
    uint32_t live = index;
    while (live < end && (data[live].flags & kRemoved) != 0)
        live = std::min(end, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data[live].second)));
    while (index < live && (data[index].flags & kRemoved) != 0) {
        const auto next = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data[index].second));
        data[index].second = reinterpret_cast<GraphConfigItem *>(static_cast<uintptr_t>(live));
        index = next;
    }
    return live;
}

}  // namespace

// Insertions recorded aside: sorted runs laid end to end, oldest first, each
// holding the insertions of one stretch of time. A new insertion is a run of
// its own, and the last run is merged into the one before it as long as it
// is not shorter, so there are O(log n) runs and every entry moves O(log n)
// times. A lookup searches the runs oldest first, which finds equal keys in
// insertion order. Removed entries stay in place, marked, until their run is
// merged or most entries are removed.
struct ChildList::Pending {
    std::vector<Child> entries;
    std::vector<uint32_t> runEnds;  // end of each run in entries
    std::vector<Child> scratch;     // merge room, never smaller than entries
    uint32_t removed = 0;           // marked entries

    uint32_t runStart(size_t run) const { return run == 0 ? 0 : runEnds[run - 1]; }

    // Room for one more of what values holds, growing geometrically.
    template <typename Value>
    static void makeRoom(std::vector<Value> &values)
    {
        if (values.size() == values.capacity())
            values.reserve(std::max<size_t>(8, values.capacity() * 2));
    }

    // Records one insertion; throws std::bad_alloc with nothing changed.
    void record(const Child &child)
    {
        makeRoom(entries);
        if (scratch.capacity() < entries.capacity())
            scratch.reserve(entries.capacity());
        makeRoom(runEnds);
        entries.push_back(child);
        runEnds.push_back(static_cast<uint32_t>(entries.size()));
        while (runEnds.size() >= 2) {
            const size_t last = runEnds.size() - 1;
            const uint32_t middle = runStart(last);
            if (middle - runStart(last - 1) > runEnds[last] - middle)
                break;
            mergeLastTwo();
        }
    }

    // Merges the last run into the one before it, dropping removed entries.
    void mergeLastTwo() noexcept
    {
        const size_t last = runEnds.size() - 1;
        const uint32_t first = runStart(last - 1);
        const uint32_t middle = runStart(last);
        const uint32_t end = runEnds[last];
        Child *data = entries.data();
        uint32_t kept = first;
        if (removed == 0 && data[middle - 1].first <= data[middle].first) {
            kept = end;  // already in order
        } else if (removed == 0 && data[end - 1].first < data[first].first) {
            std::rotate(data + first, data + middle, data + end);  // the newer run goes entirely first
            kept = end;
        } else {
            // Stable: on equal keys the older entry goes first.
            Child *out = scratch.data();
            uint32_t older = first;
            uint32_t newer = middle;
            while (older < middle || newer < end) {
                const bool takeNewer = older == middle || (newer < end && data[newer].first < data[older].first);
                const Child &next = takeNewer ? data[newer++] : data[older++];
                if ((next.flags & kRemoved) != 0)
                    --removed;
                else
                    out[kept++ - first] = next;
            }
            std::copy(out, out + (kept - first), data + first);
        }
        entries.resize(kept);
        runEnds.pop_back();
        runEnds.back() = kept;
    }

    // The first live entry with key, searched oldest run first; null when none.
    Child *find(KeyId key)
    {
        Child *data = entries.data();
        for (size_t run = 0; run < runEnds.size(); ++run) {
            const uint32_t start = runStart(run);
            const uint32_t end = runEnds[run];
            const uint32_t at = skipRemovedIn(data, start + lowerIndex(data + start, end - start, key), end);
            if (at < end && data[at].first == key)
                return data + at;
        }
        return nullptr;
    }

    // Takes the entry out (found by find).
    void take(Child *entry) noexcept
    {
        markRemoved(entries.data(), static_cast<uint32_t>(entry - entries.data()));
        if (++removed * 2 > entries.size())
            collapse();
    }

    // Merges every run into one without removed entries.
    void collapse() noexcept
    {
        while (runEnds.size() >= 2)
            mergeLastTwo();
        if (removed != 0) {  // one run left with marked entries
            size_t kept = 0;
            for (const Child &entry : entries)
                if ((entry.flags & kRemoved) == 0)
                    entries[kept++] = entry;
            entries.resize(kept);
            removed = 0;
            if (kept == 0)
                runEnds.clear();
            else
                runEnds.back() = static_cast<uint32_t>(kept);
        }
    }

    size_t live() const { return entries.size() - removed; }
};

void ChildList::PendingRelease::operator()(Pending *pending) const noexcept { delete pending; }

ChildList::~ChildList()
{
    if (mCapacity != 0)
        ::operator delete(mData);
}

bool ChildList::reserve(size_t capacity) const
{
    if (mCapacity != 0 && capacity <= mCapacity)
        return true;
    if (capacity > UINT32_MAX)
        return false;
    // Geometric in the room already held, which counts the recorded
    // insertions too, so n insertions reallocate O(log n) times.
    const size_t held = std::max<size_t>(mCapacity, mSize);
    size_t grown = std::max<size_t>(capacity, std::max<size_t>(4, held + held / 2));
    grown = std::min<size_t>(grown, UINT32_MAX);
    auto *data = static_cast<Child *>(::operator new(grown * sizeof(Child), std::nothrow));
    if (data == nullptr)
        return false;
    if (mSize != 0)
        std::memcpy(static_cast<void *>(data), mData, mSize * sizeof(Child));
    if (mCapacity != 0)
        ::operator delete(mData);
    mData = data;
    mCapacity = static_cast<uint32_t>(grown);
    return true;
}

uint32_t ChildList::skipRemoved(uint32_t index) const { return skipRemovedIn(mData, index, mSize); }

GraphConfigItem *ChildList::findFirst(KeyId key) const
{
    // Entries of the array were all inserted before the recorded ones.
    const uint32_t at = mSize != 0 ? skipRemoved(lowerIndex(mData, mSize, key)) : 0;
    if (at < mSize && mData[at].first == key)
        return mData[at].second;
    if (mPending) {
        if (const Child *recorded = mPending->find(key))
            return recorded->second;
    }
    return nullptr;
}

status_t ChildList::insert(KeyId key, GraphConfigItem *item, uint32_t flags)
{
    if (mLive == UINT32_MAX)
        return err_nomemory;
    // A short array without removed entries takes the child in its place at
    // once: moving a few entries costs less than recording the insertion.
    constexpr uint32_t kInsertInPlaceUpTo = 64;
    const bool append = mSize == 0 || key >= mData[mSize - 1].first;
    if (!mPending && (append || (mSize == mLive && mSize < kInsertInPlaceUpTo))) {
        if ((mCapacity == 0 || mSize == mCapacity) && !reserve(size_t{mSize} + 1))
            return err_nomemory;
        const uint32_t at = append ? mSize : upperIndex(mData, mSize, key);
        std::memmove(static_cast<void *>(mData + at + 1), mData + at, (mSize - at) * sizeof(Child));
        mData[at] = Child{key, flags, item};
        ++mSize;
    } else {
        // Room for folding every recorded insertion in is taken now, so the
        // walk that folds them in cannot fail.
        const size_t recorded = mPending ? mPending->live() : 0;
        if (!reserve(size_t{mSize} + recorded + 1))
            return err_nomemory;
        try {
            if (!mPending)
                mPending.reset(new Pending);
            mPending->record(Child{key, flags, item});
        } catch (const std::bad_alloc &) {
            if (mPending && mPending->entries.empty())
                mPending.reset();
            return err_nomemory;
        }
    }
    ++mLive;
    ++mRevision;
    return err_none;
}

bool ChildList::takeFirst(KeyId key, Child &taken)
{
    const uint32_t at = mSize != 0 ? skipRemoved(lowerIndex(mData, mSize, key)) : 0;
    if (at < mSize && mData[at].first == key) {
        taken = mData[at];
        markRemoved(mData, at);
    } else {
        Child *recorded = mPending ? mPending->find(key) : nullptr;
        if (recorded == nullptr)
            return false;
        taken = *recorded;
        mPending->take(recorded);
        if (mPending->live() == 0)
            mPending.reset();
    }
    --mLive;
    ++mRevision;
    return true;
}

void ChildList::settle() const
{
    const size_t recorded = mPending ? mPending->live() : 0;
    if (mSize + recorded != mLive) {  // removed entries are still in the array
        uint32_t kept = 0;
        for (uint32_t i = 0; i < mSize; ++i)
            if ((mData[i].flags & kRemoved) == 0)
                mData[kept++] = mData[i];
        mSize = kept;
    }
    if (mPending) {
        // One run, merged from the back into the room reserved at
        // insertion; a recorded child goes after array children with the
        // same key.
        mPending->collapse();
        const std::vector<Child> &items = mPending->entries;
        uint32_t write = mSize + static_cast<uint32_t>(items.size());
        const uint32_t total = write;
        uint32_t read = mSize;
        for (auto it = items.rbegin(); it != items.rend(); ++it) {
            while (read > 0 && mData[read - 1].first > it->first)
                mData[--write] = mData[--read];
            mData[--write] = *it;
        }
        mSize = total;
        mPending.reset();
    }
}

template <typename Visit>
void ChildList::drain(Visit &&visit)
{
    for (uint32_t i = 0; i < mSize; ++i)
        if ((mData[i].flags & kRemoved) == 0)
            visit(mData[i]);
    if (mPending)
        for (const Child &entry : mPending->entries)
            if ((entry.flags & kRemoved) == 0)
                visit(entry);
    mPending.reset();
    if (mCapacity != 0)
        ::operator delete(mData);
    mData = nullptr;
    mSize = mCapacity = mLive = 0;
    ++mRevision;
}

ChildList::const_iterator ChildList::lower_bound(KeyId key) const
{
    settled();
    return {this, lowerIndex(mData, mSize, key)};
}

ChildList::const_iterator ChildList::upper_bound(KeyId key) const
{
    settled();
    return {this, upperIndex(mData, mSize, key)};
}

void ChildList::const_iterator::relocate() const
{
    const ChildList *owner = mOwner->settled();
    const uint32_t size = owner->mSize;
    if (mItem == nullptr) {
        mIndex = size;
    } else {
        // Insertions before the position move the child back, removals
        // before it move it forward.
        uint32_t found = size;
        for (uint32_t i = std::min(mIndex, size); i < size && found == size; ++i)
            if (owner->mData[i].second == mItem)
                found = i;
        for (uint32_t i = std::min(mIndex, size); i > 0 && found == size; --i)
            if (owner->mData[i - 1].second == mItem)
                found = i - 1;
        if (found == size) {
            // The child itself is gone: the position is the child after it.
            found = std::min(mIndex, size);
        }
        mIndex = found;
        mItem = found < size ? owner->mData[found].second : nullptr;
    }
    mRevision = owner->mRevision;
}

// --- node: ownership -------------------------------------------------------

namespace {

// Destroys an item that left its node; a node's subtree goes with it.
void releaseItem(const Child &child) noexcept
{
    if ((child.flags & kArenaItem) != 0)
        child.second->~GraphConfigItem();
    else
        delete child.second;
}

}  // namespace

GraphConfigNode::~GraphConfigNode()
{
    // The subtree is taken apart without recursion and without allocating:
    // nodes waiting to be emptied are chained through their ancestor
    // pointers. Arenas of copies inserted below are kept until the end,
    // since the items taken out of them are still to be destroyed.
    detail::ArenaPtr arenas = std::move(mArena);
    GraphConfigNode *stack = nullptr;
    const auto takeChildren = [&stack, &arenas](ChildList &children) {
        children.drain([&stack, &arenas](const Child &child) {
            if ((child.flags & detail::kNoCleanup) != 0)
                return;
            GraphConfigNode *node = asNode(child.second);
            if (node == nullptr) {
                releaseItem(child);
                return;
            }
            if (node->mArena) {
                if (arenas)
                    arenas->adopt(std::move(node->mArena));
                else
                    arenas = std::move(node->mArena);
            }
            // The key slot remembers how the node is released.
            node->mKeyInParent = child.flags;
            node->mAncestor = stack;
            stack = node;
        });
    };
    takeChildren(mChildren);
    while (stack != nullptr) {
        GraphConfigNode *node = stack;
        stack = node->mAncestor;
        takeChildren(node->mChildren);
        releaseItem(Child{0, node->mKeyInParent, node});
    }
}

status_t GraphConfigNode::insertDescendant(GraphConfigItem *item, KeyId key)
{
    if (item == nullptr)
        return err_general;
    const status_t status = mChildren.insert(key, item, 0);
    if (status != err_none)
        return status;  // the item stays the caller's
    if (GraphConfigNode *node = asNode(item)) {
        node->mAncestor = this;
        node->mKeyInParent = key;
    }
    return err_none;
}

status_t GraphConfigNode::adoptDescendant(UniqueItem &&item, KeyId key)
{
    const status_t status = insertDescendant(item.get(), key);
    if (status == err_none)
        item.release();
    return status;
}

status_t GraphConfigNode::adoptDescendant(UniqueNode &&node, KeyId key)
{
    const status_t status = insertDescendant(node.get(), key);
    if (status == err_none)
        node.release();
    return status;
}

status_t GraphConfigNode::removeDescendant(KeyId key)
{
    Child taken{};
    if (mChildren.takeFirst(key, taken))
        releaseItem(taken);
    return err_none;
}

bool GraphConfigNode::hasItem(KeyId key) const { return mChildren.findFirst(key) != nullptr; }

status_t GraphConfigNode::getAttribute(KeyId key, GraphConfigItem **out) const
{
    if (out == nullptr)
        return err_argument;
    GraphConfigItem *item = mChildren.findFirst(key);
    if (item == nullptr)
        return err_general;
    *out = item;
    return err_none;
}

status_t GraphConfigNode::getValue(KeyId key, int32_t &value) const
{
    GraphConfigItem *item = nullptr;
    status_t status = getAttribute(key, &item);
    return status != err_none ? status : item->getValue(value);
}

status_t GraphConfigNode::getValue(KeyId key, std::string &value) const
{
    GraphConfigItem *item = nullptr;
    status_t status = getAttribute(key, &item);
    return status != err_none ? status : item->getValue(value);
}

status_t GraphConfigNode::setValue(KeyId key, int32_t value)
{
    GraphConfigItem *item = nullptr;
    if (getAttribute(key, &item) != err_none)
        return err_noentry;
    if (item->type != ItemType::INT) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Attribute is of wrong type");
        return err_argument;
    }
    status_t status = handleAttributeOptions(this, key, std::to_string(value));
    if (status == err_none || status == err_notimplemented)
        return item->setValue(value);
    ve_log_common_debug(VE_LOG_VERBOSE, kTag, "setValue() restricted to attributes that have predefined options");
    return status;
}

status_t GraphConfigNode::setValue(KeyId key, const std::string &value)
{
    GraphConfigItem *item = nullptr;
    if (getAttribute(key, &item) != err_none)
        return err_noentry;
    if (item->type != ItemType::STRING) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Attribute is of wrong type");
        return err_argument;
    }
    status_t status = handleAttributeOptions(this, key, value);
    if (status == err_none || status == err_notimplemented)
        return item->setValue(value);
    ve_log_common_debug(VE_LOG_ERROR, kTag, "setValue() restricted to attributes that have predefined options");
    return status;
}

status_t GraphConfigNode::addValue(KeyId key, const std::string &value)
{
    if (hasItem(key))
        return err_exists;
    UniqueItem attribute(new (std::nothrow) GraphConfigStrAttribute());
    if (!attribute || static_cast<GraphConfigStrAttribute *>(attribute.get())->insertString(value) != err_none)
        return err_nomemory;
    return adoptDescendant(std::move(attribute), key);
}

status_t GraphConfigNode::addValue(KeyId key, int32_t value)
{
    if (hasItem(key))
        return err_exists;
    UniqueItem attribute(new (std::nothrow) GraphConfigIntAttribute(value));
    if (!attribute)
        return err_nomemory;
    return adoptDescendant(std::move(attribute), key);
}

uint32_t GraphConfigNode::getDescendantCount() const { return static_cast<uint32_t>(mChildren.size()); }

IGraphConfig *GraphConfigNode::getAncestor() const { return mAncestor; }

status_t GraphConfigNode::getAncestor(IGraphConfig **out) const
{
    ve_log_common_debug(VE_LOG_WARNING, kTag, "WARNING: GraphConfigNode implementation of getAncestor is deprecated.");
    if (out == nullptr)
        return err_argument;
    *out = mAncestor;
    return err_none;
}

// --- naming ----------------------------------------------------------------

std::string GraphConfigNode::getName() const { return mAncestor != nullptr ? ItemUID::key2str(mKeyInParent) : "NA"; }

KeyId GraphConfigNode::getUid() const { return mAncestor != nullptr ? mKeyInParent : 0; }

bool GraphConfigNode::isType(KeyId typeKey) const
{
    std::string typeValue;
    if (getValue(key_type, typeValue) != err_none) {
        ve_log_common_debug(VE_LOG_WARNING, kTag, "Trying to find type for %s, but it doesn't have one.",
                            tree::printItem(this).c_str());
        return false;
    }
    return ItemUID::str2key(typeValue) == typeKey;
}

// --- copy and dumps --------------------------------------------------------

namespace {

// Nodes waiting in a copy walk: a source node and its copy (null while the
// walk only measures). The walk list lives on the call stack while it is
// short, so copying a small subtree takes no memory but its arena.
class CopyWalk {
public:
    using Entry = std::pair<const GraphConfigNode *, GraphConfigNode *>;
    // Throws std::bad_alloc when a long list cannot grow.
    void push(const GraphConfigNode *source, GraphConfigNode *copy)
    {
        if (mSize < kShort)
            mShort[mSize] = Entry{source, copy};
        else
            mLong.emplace_back(source, copy);
        ++mSize;
    }
    Entry pop()
    {
        --mSize;
        if (mSize < kShort)
            return mShort[mSize];
        const Entry last = mLong.back();
        mLong.pop_back();
        return last;
    }
    bool empty() const { return mSize == 0; }

private:
    static constexpr size_t kShort = 64;
    Entry mShort[kShort];
    size_t mSize = 0;
    std::vector<Entry> mLong;
};

// What a deep copy of a subtree needs in its arena.
size_t copyBytes(const GraphConfigNode &top, CopyWalk &pending)
{
    constexpr size_t kSlack = alignof(std::max_align_t);
    size_t bytes = 0;
    pending.push(&top, nullptr);
    while (!pending.empty()) {
        const GraphConfigNode *node = pending.pop().first;
        const ChildList &children = node->children();
        const size_t count = children.size();
        bytes += count * sizeof(Child) + kSlack;
        for (size_t i = 0; i < count; ++i) {
            const GraphConfigItem *item = children[i].second;
            if (const GraphConfigNode *inner = asNode(item)) {
                bytes += sizeof(GraphConfigNode) + kSlack;
                pending.push(inner, nullptr);
            } else if (const GraphConfigStrAttribute *text = asStrAttribute(item)) {
                bytes += sizeof(GraphConfigStrAttribute) + kSlack + text->value().size() + 1;
            } else {
                bytes += sizeof(GraphConfigIntAttribute) + kSlack;
            }
        }
    }
    return bytes;
}

// The arena copy of one attribute; null when out of memory or when the item
// is neither attribute (nothing to copy).
GraphConfigItem *copyAttribute(detail::TreeArena &arena, const GraphConfigItem *item, bool &skip)
{
    skip = false;
    if (const GraphConfigIntAttribute *number = asIntAttribute(item)) {
        int32_t value = 0;
        number->getValue(value);
        return detail::TreeBuilder::newInt(arena, value);
    }
    if (const GraphConfigStrAttribute *text = asStrAttribute(item)) {
        const std::string_view value = text->value();
        return detail::TreeBuilder::newStr(arena, value.data(), value.size());
    }
    skip = true;  // an undefined item carries nothing to copy
    return nullptr;
}

}  // namespace

GraphConfigNode *GraphConfigNode::copy() const
{
    try {
        CopyWalk pending;
        UniqueNode top(new GraphConfigNode());
        detail::ArenaPtr arena = detail::makeExactArena(copyBytes(*this, pending));
        if (!arena)
            return nullptr;
        detail::TreeArena &memory = *arena;
        detail::TreeBuilder::giveArena(*top, std::move(arena));

        // Each pending pair is a source node and its empty copy; children
        // keep their order, so the copied array is in container order. The
        // copies of a node's children go straight into its array in the
        // arena; every copy made is in an array that a published node holds,
        // so releasing the top node releases everything built so far.
        pending.push(this, top.get());
        while (!pending.empty()) {
            auto [source, target] = pending.pop();
            const ChildList &children = source->children();
            const size_t count = children.size();
            if (count == 0)
                continue;
            Child *room = detail::TreeBuilder::childRoom(memory, count);
            if (room == nullptr)
                return nullptr;
            size_t filled = 0;
            for (size_t i = 0; i < count; ++i) {
                const Child &child = children[i];
                GraphConfigItem *duplicate = nullptr;
                if (const GraphConfigNode *node = asNode(child.second)) {
                    GraphConfigNode *inner = detail::TreeBuilder::newNode(memory);
                    if (inner == nullptr) {
                        detail::TreeBuilder::giveChildren(*target, room, filled);
                        return nullptr;
                    }
                    detail::TreeBuilder::attach(*target, *inner, child.first);
                    pending.push(node, inner);
                    duplicate = inner;
                } else {
                    bool skip = false;
                    duplicate = copyAttribute(memory, child.second, skip);
                    if (skip)
                        continue;
                    if (duplicate == nullptr) {
                        detail::TreeBuilder::giveChildren(*target, room, filled);
                        return nullptr;
                    }
                }
                const bool number = duplicate->type == ItemType::INT;
                room[filled++] = Child{child.first, number ? detail::kArenaValue : kArenaItem, duplicate};
            }
            detail::TreeBuilder::giveChildren(*target, room, filled);
        }
        return top.release();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

void GraphConfigNode::dumpNode() const
{
    const char *typeName = " NODE";
    switch (type) {
    case ItemType::STRING:
        typeName = "STRING";
        break;
    case ItemType::INT:
        typeName = "INT";
        break;
    case ItemType::NA:
        typeName = "NA";
        break;
    default:
        break;
    }
    ve_log_common_debug(VE_LOG_ERROR, kTag, "Node %p type: %s ancestor %p map size %lu",
                        static_cast<const void *>(this), typeName, static_cast<const void *>(mAncestor),
                        static_cast<unsigned long>(mChildren.size()));
    if (type == ItemType::NODE)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Node number of descendants : %u", getDescendantCount());
}

void GraphConfigNode::dumpNodeTree(const GraphConfigNode *node, int depth)
{
    if (node == nullptr)
        return;
    struct Frame {
        const GraphConfigNode *node;
        const_iterator next;
        size_t indent;
    };
    std::vector<Frame> stack;
    stack.push_back({node, node->mChildren.begin(), depth > 0 ? static_cast<size_t>(depth) * 2 : 0});
    std::string indentation;
    while (!stack.empty()) {
        Frame &frame = stack.back();
        if (frame.next == frame.node->mChildren.end()) {
            stack.pop_back();
            continue;
        }
        const KeyId key = frame.next->first;
        const GraphConfigItem *item = frame.next->second;
        ++frame.next;
        indentation.assign(frame.indent, ' ');
        const char *name = ItemUID::key2str(key);
        if (item->type == ItemType::INT) {
            int32_t value = 0;
            if (item->getValue(value) == err_none)
                ve_log_common_debug(VE_LOG_ERROR, kTag, "%s'%s'(%d) int [Attr] '%d'", indentation.c_str(), name,
                                    static_cast<int>(key), value);
        } else if (item->type == ItemType::STRING) {
            std::string value;
            item->getValue(value);
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s'%s' str [Attr] '%s'", indentation.c_str(), name, value.c_str());
        } else if (const GraphConfigNode *child = asNode(item)) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s'%s'(%d) [Node]", indentation.c_str(), name,
                                static_cast<int>(key));
            const size_t indent = frame.indent + 2;
            stack.push_back({child, child->mChildren.begin(), indent});  // frame is invalid from here
        } else {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "type?");
        }
    }
}

}  // namespace Vorn
