// Settings entries that hold the same items apart from their "key" and
// "description" build the same result graph and meet the same problems:
// `vorn check` builds one of them and reports for each.
#ifndef VORN_CLI_ENTRY_GROUPS_H
#define VORN_CLI_ENTRY_GROUPS_H

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include <vorn/vorn.h>

namespace cli {

// The entry's items as one byte string: every child below it in container
// order with its key, type and value, nested nodes bracketed; the entry's
// own "key" and "description" left out. Equal strings, equal entries.
std::string entryContent(const Vorn::IGraphConfig *entry);

// Entries grouped by their content; each group is numbered from 0 in the
// order its first entry was seen.
class EntryGroups {
public:
    // The number of the entry's group; isNew tells whether the entry opens it.
    size_t groupOf(const Vorn::IGraphConfig *entry, bool &isNew);
    size_t size() const { return mGroups.size(); }

private:
    std::unordered_map<std::string, size_t> mGroups;
};

}  // namespace cli

#endif
