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
#include <map>
#include <string>

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
    GraphConfigIntAttribute *copy() const;

private:
    int32_t mValue = -1;
};

class VORN_API GraphConfigStrAttribute : public GraphConfigAttribute {
public:
    GraphConfigStrAttribute() : GraphConfigAttribute(ItemType::STRING) {}
    explicit GraphConfigStrAttribute(std::string value)
        : GraphConfigAttribute(ItemType::STRING), mValue(std::move(value))
    {
    }

    using GraphConfigAttribute::getValue;
    using GraphConfigAttribute::setValue;
    status_t getValue(std::string &value) const override;
    status_t setValue(const std::string &value) override;
    status_t insertString(const std::string &value);
    GraphConfigStrAttribute *copy() const;
    // The stored text, without copying it.
    const std::string &value() const { return mValue; }

private:
    std::string mValue;
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

class VORN_API GraphConfigNode : public GraphConfigItem, public IGraphConfig {
public:
    using Children = std::multimap<KeyId, GraphConfigItem *>;
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

    // Adds item as a child after every child under key. On err_none the node
    // owns item; on failure (err_general for a null item, err_nomemory) item
    // stays the caller's to delete. Silent.
    status_t insertDescendant(GraphConfigItem *item, KeyId key);
    // Destroys the first child under key; err_none also when there is none.
    status_t removeDescendant(KeyId key);
    bool hasItem(KeyId key) const;
    status_t getAttribute(KeyId key, GraphConfigItem **out) const;
    // Logs a warning when uid leads to no attribute.
    status_t getAttribute(const ItemUID &uid, GraphConfigItem **out) const;
    // Adds a new attribute under key: err_exists when key is taken (nothing
    // changes), err_nomemory when memory runs out. Silent.
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

    // Deep copy; null on failure. The copy has no ancestor.
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
    uint64_t revision() const { return mRevision; }

    // The node an IGraphConfig belongs to (every IGraphConfig is a node).
    static GraphConfigNode *from(IGraphConfig *config) { return static_cast<GraphConfigNode *>(config); }
    static const GraphConfigNode *from(const IGraphConfig *config)
    {
        return static_cast<const GraphConfigNode *>(config);
    }

private:
    // Walks the keys of uid; returns the last node reached and how many
    // steps succeeded.
    const GraphConfigNode *walk(const ItemUID &uid, size_t &steps) const;
    const_iterator findFirst(KeyId key) const;
    bool findKeyInParent(KeyId &key) const;
    // Inserts a new attribute unless key is taken (err_exists); takes
    // ownership of attribute in every case.
    status_t insertAttribute(GraphConfigItem *attribute, KeyId key);

    Children mChildren;
    GraphConfigNode *mAncestor = nullptr;
    // Where this node sits among its parent's children (valid while mAncestor is set).
    Children::iterator mSelf{};
    bool mHasSelf = false;
    uint64_t mRevision = 0;
};

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

    // Container position of mIndex, reused while the node is unchanged, so a
    // full pass costs n steps instead of n squared.
    GraphConfigNode::const_iterator mCursor{};
    int32_t mCursorIndex = -1;
    uint64_t mCursorRevision = 0;
};

}  // namespace Vorn

#endif
