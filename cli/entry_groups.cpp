#include "entry_groups.h"

#include <cstdint>

namespace cli {
namespace {

void appendNumber(std::string &out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFFu);
}

// Appends the children of node, each after a 'C' and the list closed by
// '.', so that no two different trees give the same bytes; top leaves out the entry's "key" and "description".
void appendChildren(std::string &out, const Vorn::IGraphConfig *node, bool top)
{
    for (const Vorn::Child &child : Vorn::GraphConfigNode::from(node)->children()) {
        if (top && (child.first == Vorn::key_key || child.first == Vorn::key_description))
            continue;
        const Vorn::GraphConfigItem *item = child.second;
        out += 'C';  // a child follows; '.' ends the list
        appendNumber(out, child.first);
        appendNumber(out, static_cast<uint32_t>(item->type));
        if (item->type == Vorn::ItemType::NODE) {
            appendChildren(out, static_cast<const Vorn::GraphConfigNode *>(item), false);
            continue;
        }
        int32_t number = 0;
        std::string text;
        if (item->type == Vorn::ItemType::INT && item->getValue(number) == err_none) {
            appendNumber(out, static_cast<uint32_t>(number));
        } else {
            item->getValue(text);
            appendNumber(out, static_cast<uint32_t>(text.size()));
            out += text;
        }
    }
    out += '.';
}

}  // namespace

std::string entryContent(const Vorn::IGraphConfig *entry)
{
    std::string out;
    appendChildren(out, entry, true);
    return out;
}

size_t EntryGroups::groupOf(const Vorn::IGraphConfig *entry, bool &isNew)
{
    const auto placed = mGroups.emplace(entryContent(entry), mGroups.size());
    isNew = placed.second;
    return placed.first->second;
}

}  // namespace cli
