// The key table and ItemUID.
#include <vorn/keys.h>

#include <algorithm>
#include <new>
#include <unordered_map>

#include "library_init.h"
#include "model/generated_keys.h"

namespace Vorn {

// Constructed before any other static state of the library and filled by the
// ordered start-up sequence (library_init.cpp).
__attribute__((init_priority(101))) KeyMap vorn_key_map;

namespace {

// Bumped by every change made through this interface; the reverse index
// below is rebuilt when it, or the table's size, changed since it was built.
uint64_t gTableGeneration = 0;
// Bumped when the whole table is replaced, which ends the life of every
// entry (GeneratedKeys holds positions of entries).
uint64_t gTableReplacements = 0;

// id -> name of the first entry with that id in name order. Answers key2str
// without walking the table; holds copies of the names, so a table changed
// behind our back can never leave it pointing at freed storage.
struct ReverseIndex {
    std::unordered_map<KeyId, std::string> firstName;
    size_t tableSize = 0;
    uint64_t generation = ~uint64_t{0};

    bool current() const { return generation == gTableGeneration && tableSize == vorn_key_map.size(); }

    void rebuild()
    {
        firstName.clear();
        firstName.reserve(vorn_key_map.size());
        for (const auto &entry : vorn_key_map)
            firstName.emplace(entry.second, entry.first);  // keeps the first in name order
        tableSize = vorn_key_map.size();
        generation = gTableGeneration;
    }
};

ReverseIndex &reverseIndex()
{
    static ReverseIndex index;
    return index;
}

const char *firstEntryName() { return vorn_key_map.empty() ? "" : vorn_key_map.begin()->first.c_str(); }

}  // namespace

namespace detail {

void initKeyTable()
{
#define VORN_KEY_ENTRY(name, id) vorn_key_map.emplace(#name, id);
    VORN_PREDEFINED_KEYS(VORN_KEY_ENTRY)
#undef VORN_KEY_ENTRY
    ++gTableGeneration;
}

}  // namespace detail

void getVornKeys(KeyMap &map)
{
    if (&map != &vorn_key_map)
        map = vorn_key_map;
}

void copyVornKeys(const KeyMap &map)
{
    if (&map == &vorn_key_map)
        return;
    vorn_key_map = map;
    ++gTableGeneration;
    ++gTableReplacements;
}

ItemUID::ItemUID(const std::string &path)
{
    // Split the way a line reader splits at ':': a trailing separator adds
    // nothing, an empty piece elsewhere is the empty name.
    mUids.reserve(1 + static_cast<size_t>(std::count(path.begin(), path.end(), ':')));
    size_t pos = 0;
    while (pos < path.size()) {
        size_t sep = path.find(':', pos);
        if (sep == std::string::npos) {
            mUids.push_back(str2key(path.substr(pos)));
            break;
        }
        mUids.push_back(str2key(path.substr(pos, sep - pos)));
        pos = sep + 1;
    }
}

ItemUID::ItemUID(const char *path) : ItemUID(std::string(path != nullptr ? path : "")) {}

KeyId ItemUID::str2key(const std::string &name)
{
    auto it = vorn_key_map.find(name);
    return it != vorn_key_map.end() ? it->second : 0;
}

KeyId ItemUID::str2key(const char *name) { return name != nullptr ? str2key(std::string(name)) : 0; }

const char *ItemUID::key2str(KeyId key)
{
    ReverseIndex &index = reverseIndex();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!index.current())
            index.rebuild();
        auto hit = index.firstName.find(key);
        if (hit == index.firstName.end())
            return firstEntryName();
        auto entry = vorn_key_map.find(hit->second);
        if (entry != vorn_key_map.end() && entry->second == key)
            return entry->first.c_str();
        // The table was edited directly; rebuild once and look again.
        index.generation = ~uint64_t{0};
    }
    for (const auto &entry : vorn_key_map)
        if (entry.second == key)
            return entry.first.c_str();
    return firstEntryName();
}

namespace {

// A generated id is the number of entries in the table, as long as that id
// is free and lies below the reserved ranges; a table that has grown past
// 4094 entries continues after the integer range (so a generated name never
// becomes an integer attribute or shares the id of another name), and an id
// taken by a custom key is skipped. added receives the new entry, if the
// name was not in the table yet.
KeyId generate(const std::string &name, KeyMap::iterator &added)
{
    added = vorn_key_map.end();
    ReverseIndex &index = reverseIndex();
    if (!index.current())
        index.rebuild();
    const uint64_t count = vorn_key_map.size();
    uint64_t id = count < key_generic_keys_end ? count : count + (uint64_t{kIntegerKeysEnd} + 1 - key_generic_keys_end);
    for (;; ++id) {
        if (id >= key_generic_keys_end && id <= kIntegerKeysEnd)
            id = uint64_t{kIntegerKeysEnd} + 1;
        if (id > UINT32_MAX)
            return 0;  // no free id left (not reachable with any real table)
        if (index.firstName.find(static_cast<KeyId>(id)) == index.firstName.end())
            break;
    }
    const KeyId key = static_cast<KeyId>(id);
    const auto inserted = vorn_key_map.emplace(name, key);
    if (inserted.second) {
        added = inserted.first;
        ++gTableGeneration;
        // The id was free, so this name is now its only entry: the index
        // stays current without a rebuild (without memory for it, the index
        // is rebuilt when it is next used).
        try {
            index.firstName.emplace(key, name);
            index.tableSize = vorn_key_map.size();
            index.generation = gTableGeneration;
        } catch (const std::bad_alloc &) {
        }
    }
    return key;
}

}  // namespace

KeyId ItemUID::generateKey(const std::string &name)
{
    KeyMap::iterator added;
    return generate(name, added);
}

namespace detail {

KeyId GeneratedKeys::generate(const std::string &name)
{
    if (mAdded.empty())
        mTable = gTableReplacements;
    if (mAdded.size() == mAdded.capacity())  // so that an added entry is always remembered
        mAdded.reserve(mAdded.empty() ? 64 : 2 * mAdded.size());
    KeyMap::iterator added;
    const KeyId key = Vorn::generate(name, added);
    if (added != vorn_key_map.end())
        mAdded.push_back(added);
    return key;
}

void GeneratedKeys::takeBack() noexcept
{
    if (mAdded.empty())
        return;
    if (mTable == gTableReplacements) {
        ReverseIndex &index = reverseIndex();
        bool current = index.current();
        for (auto entry = mAdded.rbegin(); entry != mAdded.rend(); ++entry) {
            // A generated id was free, so the index names this entry for it
            // (unless a custom key took the same id since).
            if (current) {
                const auto hit = index.firstName.find((*entry)->second);
                if (hit != index.firstName.end() && hit->second == (*entry)->first)
                    index.firstName.erase(hit);
                else
                    current = false;
            }
            vorn_key_map.erase(*entry);
        }
        ++gTableGeneration;
        if (current) {
            index.tableSize = vorn_key_map.size();
            index.generation = gTableGeneration;
        }
    }
    forget();
}

}  // namespace detail

void ItemUID::addCustomKeyMap(const KeyMap &map)
{
    if (&map == &vorn_key_map)
        return;
    bool changed = false;
    for (const auto &entry : map)
        changed |= vorn_key_map.emplace(entry.first, entry.second).second;
    if (changed)
        ++gTableGeneration;
}

std::string ItemUID::toString() const
{
    std::string text;
    for (size_t i = 0; i < mUids.size(); ++i) {
        if (i != 0)
            text += '.';
        text += key2str(mUids[i]);
    }
    return text;
}

}  // namespace Vorn
