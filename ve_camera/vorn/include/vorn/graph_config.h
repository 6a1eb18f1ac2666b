// The graph tree: items, typed attributes, nodes and their lookups.
//
// A loaded graph descriptor, a loaded graph settings document and every
// result graph are trees of items. A node owns its children, stored under key
// ids; several children may share a key. Children are ordered by key, and
// children with equal keys keep their insertion order; every walk visits them
// in that order and every lookup by key finds the first of them.
#ifndef VORN_GRAPH_CONFIG_H
#define VORN_GRAPH_CONFIG_H

#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include <vorn/keys.h>
#include <vorn/status.h>
#include <vorn/vorn_api.h>

namespace Vorn {

enum class ItemType : uint32_t {
    NA = 1,      // undefined item
    STRING = 2,  // GraphConfigStrAttribute
    INT = 4,     // GraphConfigIntAttribute
    NODE = 8,    // GraphConfigNode
};

class GraphConfigNode;
class ChildList;

namespace detail {
class TreeArena;
struct TreeArenaRelease {
    void operator()(TreeArena *arena) const noexcept;
};
struct TreeBuilder;
}  // namespace detail

// Base of every item. The value operations answer err_noentry unless the
// item holds a value of that type.
class VORN_API GraphConfigItem {
public:
    explicit GraphConfigItem(ItemType itemType) : type(itemType) {}
    GraphConfigItem(const GraphConfigItem &) = delete;
    GraphConfigItem &operator=(const GraphConfigItem &) = delete;

    virtual status_t getValue(int32_t &value) const;
    virtual status_t getValue(std::string &value) const;
    virtual status_t setValue(const std::string &value);
    virtual status_t setValue(int32_t value);
    virtual ~GraphConfigItem();

    ItemType type;
};

// Owning pointers of heap items that no node holds (yet).
using UniqueItem = std::unique_ptr<GraphConfigItem>;
using UniqueNode = std::unique_ptr<GraphConfigNode>;

class VORN_API GraphConfigAttribute : public GraphConfigItem {
public:
    using GraphConfigItem::GraphConfigItem;
};

class VORN_API GraphConfigIntAttribute : public GraphConfigAttribute {
public:
    GraphConfigIntAttribute() : GraphConfigAttribute(ItemType::INT) {}
    explicit GraphConfigIntAttribute(int32_t value) : GraphConfigAttribute(ItemType::INT), mValue(value) {}

    using GraphConfigAttribute::getValue;
    using GraphConfigAttribute::setValue;
    status_t getValue(int32_t &value) const override;
    status_t setValue(int32_t value) override;
    status_t insertInteger(int32_t value);
    // New attribute with the same type and value; null when out of memory.
    // The caller owns it.
    GraphConfigIntAttribute *copy() const;

private:
    int32_t mValue = -1;
};

class VORN_API GraphConfigStrAttribute : public GraphConfigAttribute {
public:
    GraphConfigStrAttribute() : GraphConfigAttribute(ItemType::STRING) {}
    // Throws std::bad_alloc when the text cannot be stored.
    explicit GraphConfigStrAttribute(const std::string &value);
    ~GraphConfigStrAttribute() override;

    using GraphConfigAttribute::getValue;
    using GraphConfigAttribute::setValue;
    // Both return err_nomemory, the value unchanged, when the text cannot be stored.
    status_t getValue(std::string &value) const override;
    status_t setValue(const std::string &value) override;
    status_t insertString(const std::string &value);
    // New attribute with the same type and value; null when out of memory.
    // The caller owns it.
    GraphConfigStrAttribute *copy() const;
    // The stored text, without copying it; valid until the value changes.
    std::string_view value() const { return {mText, mSize & kSizeMask}; }

private:
    friend struct detail::TreeBuilder;
    static constexpr uint32_t kOwnedText = 0x80000000u;  // mText is this attribute's own heap block
    static constexpr uint32_t kSizeMask = 0x7fffffffu;
    // Text kept elsewhere (in the tree's arena), not owned.
    GraphConfigStrAttribute(const char *text, uint32_t size)
        : GraphConfigAttribute(ItemType::STRING), mSize(size), mText(text)
    {
    }
    bool assign(const char *text, size_t size);

    uint32_t mSize = 0;
    const char *mText = "";
};

// The read/write interface through which the rest of the system sees a node.
//
// Logging: reads and lookups are silent, except where a comment below says
// otherwise; every failing write logs an error. Lines go through
// ve_log_common_debug under "VORN[XOS]".
class VORN_API IGraphConfig {
public:
    virtual ~IGraphConfig();
    virtual IGraphConfig *getRoot() const = 0;
    virtual IGraphConfig *getAncestor() const = 0;
    virtual uint32_t getDescendantCount() const = 0;
    virtual IGraphConfig *getDescendant(KeyId key) const = 0;
    virtual IGraphConfig *getDescendant(const ItemUID &uid) const = 0;
    virtual IGraphConfig *getDescendantByString(const std::string &path) const = 0;
    virtual status_t getValue(KeyId key, int32_t &value) const = 0;
    virtual status_t getValue(const ItemUID &uid, int32_t &value) const = 0;
    virtual status_t getValue(KeyId key, std::string &value) const = 0;
    virtual status_t getValue(const ItemUID &uid, std::string &value) const = 0;
    virtual status_t setValue(KeyId key, int32_t value) = 0;
    virtual status_t setValue(const ItemUID &uid, int32_t value) = 0;
    virtual status_t setValue(KeyId key, const std::string &value) = 0;
    virtual status_t setValue(const ItemUID &uid, const std::string &value) = 0;
    virtual std::string getName() const = 0;
    virtual KeyId getUid() const = 0;
    virtual bool isType(KeyId typeKey) const = 0;
};

class NodeIterator;

// One child of a node: the key it is stored under and the item. The field
// between them is the container's own bookkeeping.
struct Child {
    KeyId first;
    uint32_t flags;
    GraphConfigItem *second;
};

// The children of a node: one flat array of {key, item} in container order
// (key ascending, equal keys in insertion order), read like a multimap from
// key to item. Insertions that do not go to the end and removals are
// recorded aside and folded into the array by the next walk, so any sequence
// of n changes costs O(n log n) and every walk sees one sorted array.
//
// A const_iterator is a position that survives changes of the node: it
// stays on the same child when children are inserted or removed elsewhere
// (its removal moves it to the child that took its place), and end() stays
// the end.
class VORN_API ChildList {
public:
    using value_type = Child;
    using size_type = size_t;

    class const_iterator {
    public:
        using iterator_category = std::bidirectional_iterator_tag;
        using value_type = Child;
        using difference_type = std::ptrdiff_t;
        using pointer = const Child *;
        using reference = const Child &;

        const_iterator() = default;
        reference operator*() const { return mOwner->mData[sync()]; }
        pointer operator->() const { return &mOwner->mData[sync()]; }
        const_iterator &operator++()
        {
            mIndex = sync() + 1;
            mItem = mIndex < mOwner->mSize ? mOwner->mData[mIndex].second : nullptr;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++*this;
            return before;
        }
        const_iterator &operator--()
        {
            mIndex = sync() - 1;
            mItem = mOwner->mData[mIndex].second;
            return *this;
        }
        const_iterator operator--(int)
        {
            const_iterator before = *this;
            --*this;
            return before;
        }
        bool operator==(const const_iterator &other) const
        {
            if (mOwner == nullptr || other.mOwner == nullptr)
                return mOwner == other.mOwner;
            return mOwner == other.mOwner && sync() == other.sync();
        }
        bool operator!=(const const_iterator &other) const { return !(*this == other); }
        // Index of the position among the children.
        uint32_t index() const { return sync(); }

    private:
        friend class ChildList;
        const_iterator(const ChildList *owner, uint32_t index)
            : mOwner(owner), mIndex(index), mRevision(owner->mRevision),
              mItem(index < owner->mSize ? owner->mData[index].second : nullptr)
        {
        }
        // Current index of the child this position stands on.
        uint32_t sync() const
        {
            if (mRevision != mOwner->mRevision)
                relocate();
            return mIndex;
        }
        void relocate() const;

        const ChildList *mOwner = nullptr;
        mutable uint32_t mIndex = 0;
        mutable uint32_t mRevision = 0;
        mutable const GraphConfigItem *mItem = nullptr;  // null: the end
    };
    using iterator = const_iterator;

    ChildList() = default;
    ChildList(const ChildList &) = delete;
    ChildList &operator=(const ChildList &) = delete;
    ~ChildList();

    const_iterator begin() const { return {settled(), 0}; }
    const_iterator end() const { return {settled(), settled()->mSize}; }
    size_t size() const { return mLive; }
    bool empty() const { return mLive == 0; }
    const Child &operator[](size_t index) const { return settled()->mData[index]; }
    const_iterator lower_bound(KeyId key) const;
    const_iterator upper_bound(KeyId key) const;
    std::pair<const_iterator, const_iterator> equal_range(KeyId key) const
    {
        return {lower_bound(key), upper_bound(key)};
    }
    const_iterator find(KeyId key) const
    {
        const_iterator it = lower_bound(key);
        return it != end() && it->first == key ? it : end();
    }
    size_t count(KeyId key) const { return upper_bound(key).index() - lower_bound(key).index(); }
    // Changes with every insertion and removal.
    uint32_t revision() const { return mRevision; }

private:
    friend class GraphConfigNode;
    friend struct detail::TreeBuilder;
    struct Pending;
    struct PendingRelease {
        void operator()(Pending *pending) const noexcept;
    };

    // Folds recorded changes into the array; never allocates.
    const ChildList *settled() const
    {
        if (mSize != mLive || mPending)
            settle();
        return this;
    }
    void settle() const;
    // First live child with key; null when none. Does not settle.
    GraphConfigItem *findFirst(KeyId key) const;
    // Stores item after every child with an equal key; err_nomemory leaves
    // the list unchanged.
    status_t insert(KeyId key, GraphConfigItem *item, uint32_t flags);
    // Takes the first child with key out of the list; false when none.
    bool takeFirst(KeyId key, Child &taken);
    bool reserve(size_t capacity) const;
    uint32_t skipRemoved(uint32_t index) const;
    // Hands every child (recorded insertions included) to visit and empties
    // the list.
    template <typename Visit>
    void drain(Visit &&visit);

    mutable Child *mData = nullptr;
    mutable uint32_t mSize = 0;      // entries in mData, removed ones included
    mutable uint32_t mCapacity = 0;  // 0: mData is not this list's heap block
    uint32_t mLive = 0;              // children (entries not removed, and recorded ones)
    uint32_t mRevision = 0;
    mutable std::unique_ptr<Pending, PendingRelease> mPending;
};

class VORN_API GraphConfigNode : public GraphConfigItem, public IGraphConfig {
public:
    using Children = ChildList;
    using const_iterator = Children::const_iterator;

    GraphConfigNode() : GraphConfigItem(ItemType::NODE) {}
    // Destroys the whole subtree (without recursion, whatever its depth).
    ~GraphConfigNode() override;

    // The value operations of an item: a node has no value.
    using GraphConfigItem::getValue;
    using GraphConfigItem::setValue;

    // Owner of the last key of uid: the node reached by the path, or the node
    // that would hold a missing last key. Null when an inner step fails.
    virtual GraphConfigNode *getGraphConfigItem(const ItemUID &uid) const;

    // IGraphConfig
    IGraphConfig *getRoot() const override;
    IGraphConfig *getAncestor() const override;
    IGraphConfig *getDescendant(KeyId key) const override;
    IGraphConfig *getDescendant(const ItemUID &uid) const override;
    IGraphConfig *getDescendantByString(const std::string &path) const override;
    uint32_t getDescendantCount() const override;
    status_t getValue(KeyId key, int32_t &value) const override;
    status_t getValue(const ItemUID &uid, int32_t &value) const override;
    status_t getValue(KeyId key, std::string &value) const override;
    status_t getValue(const ItemUID &uid, std::string &value) const override;
    status_t setValue(KeyId key, int32_t value) override;
    status_t setValue(const ItemUID &uid, int32_t value) override;
    status_t setValue(KeyId key, const std::string &value) override;
    status_t setValue(const ItemUID &uid, const std::string &value) override;
    std::string getName() const override;
    KeyId getUid() const override;
    // Logs a warning for a node without a "type".
    bool isType(KeyId typeKey) const override;

    // Key-based operations.
    //
    // insertDescendant stores item under key after every child with that key.
    // On err_none this node owns item (and a node item's subtree) and item's
    // ancestor is this node. On failure (err_general for a null item,
    // err_nomemory) nothing changed and item stays the caller's. item must be
    // a heap object (new) that no node holds. Silent.
    status_t insertDescendant(GraphConfigItem *item, KeyId key);
    // The same with an owning pointer: released into this node only on err_none.
    status_t adoptDescendant(UniqueItem &&item, KeyId key);
    status_t adoptDescendant(UniqueNode &&node, KeyId key);
    // Destroys the first child under key at once (pointers to it and its
    // subtree dangle from then on). err_none also when there is none.
    status_t removeDescendant(KeyId key);
    bool hasItem(KeyId key) const;
    // The child stays this node's.
    status_t getAttribute(KeyId key, GraphConfigItem **out) const;
    // Logs a warning when uid leads to no attribute.
    status_t getAttribute(const ItemUID &uid, GraphConfigItem **out) const;
    // A new attribute owned by this node; err_exists (nothing added) when
    // key is taken, err_nomemory when it cannot be stored. Silent.
    status_t addValue(KeyId key, const std::string &value);
    status_t addValue(KeyId key, int32_t value);
    status_t getDescendant(KeyId key, GraphConfigNode **out) const;
    status_t getDescendantByString(const std::string &path, GraphConfigNode **out) const;
    // Logs a warning on every call.
    [[deprecated("use getAncestor()")]] status_t getAncestor(IGraphConfig **out) const;
    GraphConfigNode *getRootNode() const;
    GraphConfigNode *getAncestorNode() const { return mAncestor; }

    // Options check consulted by setValue before a value is written:
    // err_none when text matches an option of key's options list on node and
    // its "apply" changes were merged into the top node (or the merge's
    // failure), err_notimplemented for a matching option without changes,
    // err_noentry when there is no list for key or text matches none. Logs a
    // warning when there is no list, an error for a failure.
    static status_t handleAttributeOptions(GraphConfigNode *node, KeyId key, const std::string &text);
    // Creates the missing attribute at uid (an integer 0 for an integer key,
    // else an empty string), and at most the one missing node directly above
    // it; no options check. out receives the attribute. Logs each failure.
    status_t createAttribute(const ItemUID &uid, GraphConfigItem **out);
    // Writes text to the attribute at uid (converted to a base-10 integer for
    // an integer attribute), creating the attribute when missing; no options
    // check. err_data for an integer text without digits or outside 32 bits.
    // Logs each failure.
    status_t setValueFromStr(const ItemUID &uid, const std::string &text);
    // Turns this copy of a base node into the node that node (the referencing
    // node) describes: node's name, the base's "base_type" as type, option
    // changes addressed to the base readdressed to the new name, and node's
    // "target"/"value" overrides applied. Logs its progress (verbose) and
    // each failure.
    status_t changeBaseNodeIntoNode(GraphConfigNode &node);

    // Deep copy, owned by the caller (a tree of its own, released by deleting
    // it or by inserting it into another node); null on failure, with the
    // source untouched. The copy has no ancestor.
    GraphConfigNode *copy() const;
    // Log the node, or the tree below node indented from depth, one line per
    // item at error level.
    void dumpNode() const;
    static void dumpNodeTree(const GraphConfigNode *node, int depth);

    // Positions in the children, for the deprecated walks and getNextAttribute.
    const_iterator begin() const { return mChildren.begin(); }
    const_iterator end() const { return mChildren.end(); }
    const_iterator getNextAttribute(const_iterator position) const;
    [[deprecated("use NodeIterator")]] status_t getDescendant(KeyId key, const std::string &value, const_iterator &pos,
                                                              GraphConfigNode **out) const;
    [[deprecated("use NodeIterator")]] status_t getDescendant(KeyId key, int32_t value, const_iterator &pos,
                                                              GraphConfigNode **out) const;

    const Children &children() const { return mChildren; }
    // Changes with every insertion and removal among the children.
    uint64_t revision() const { return mChildren.revision(); }

    // The node an IGraphConfig belongs to (every IGraphConfig is a node).
    static GraphConfigNode *from(IGraphConfig *config) { return static_cast<GraphConfigNode *>(config); }
    static const GraphConfigNode *from(const IGraphConfig *config)
    {
        return static_cast<const GraphConfigNode *>(config);
    }

private:
    friend struct detail::TreeBuilder;

    // Walks the keys of uid; returns the last node reached and how many
    // steps succeeded.
    const GraphConfigNode *walk(const ItemUID &uid, size_t &steps) const;

    Children mChildren;
    GraphConfigNode *mAncestor = nullptr;
    KeyId mKeyInParent = 0;  // valid while mAncestor is set
    // Memory of the items of a loaded tree or a copy, released with this node.
    std::unique_ptr<detail::TreeArena, detail::TreeArenaRelease> mArena;
};

// Trees of large documents keep up to 64 MiB of their memory for the next
// load after they die, in pages the system may take back whenever it needs
// memory. Gives all of it back now, for example when the process is asked
// to trim its memory. Safe from any thread.
VORN_API void releaseCachedTreeMemory();

// Iterates over the children of one node, filtered by key, value or type.
// The position is a count of children already passed, so it stays
// meaningful when later children change and shifts when earlier ones do.
// At the end of a pass the iterator resets itself and answers null. An
// iterator over null logs an error at every call and answers null.
class VORN_API NodeIterator {
public:
    explicit NodeIterator(IGraphConfig *node) : mNode(node) {}

    IGraphConfig *iterateByUid(KeyId key);
    IGraphConfig *iterateNodes(KeyId key, const std::string &value);
    IGraphConfig *iterateByType(KeyId typeKey);
    IGraphConfig *iterateDescendants();
    status_t reset();

    int32_t position() const { return mIndex; }

private:
    template <typename Match>
    IGraphConfig *next(Match &&match);

    int32_t mIndex = 0;
    IGraphConfig *mNode;
    KeyId mTypeKey = 0;
    std::string mTypeName;
    bool mTypeCached = false;
};

}  // namespace Vorn

#endif
