// Graph overrides: fixed values that a descriptor graph element imposes on
// every result graph built from it, whatever the chosen settings say.
#include <vorn/graph_camera_util.h>

#include <string>

#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/decimal_text.h"
#include "no_memory.h"

namespace Vorn {

namespace {
constexpr const char *kTag = kVornTag;

// Writes text into attribute: an integer attribute takes the leading base-10
// number of text (err_data when there is none or it does not fit 32 bits),
// a string attribute the text itself.
status_t setOverrideValue(GraphConfigItem &attribute, const std::string &text)
{
    if (attribute.type != ItemType::INT)
        return attribute.setValue(text);
    int32_t number = 0;
    if (!decimalToInt32(text.data(), text.data() + text.size(), number))
        return err_data;
    return attribute.setValue(number);
}
}  // namespace

status_t GraphCameraUtil::processGraphOverrides(const GraphConfigNode &graph, GraphConfigNode &result)
try {
    const auto overrides = graph.children().equal_range(key_apply);
    for (auto it = overrides.first; it != overrides.second; ++it) {
        if (it->second == nullptr || it->second->type != ItemType::NODE)
            continue;  // an attribute named "apply" is no override
        const GraphConfigNode *change = static_cast<const GraphConfigNode *>(it->second);

        std::string target;
        status_t status = change->getValue(key_target, target);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: override tag with no attribute target node");
            return status;
        }
        const ItemUID uid(target);

        std::string value;
        status = change->getValue(key_value, value);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: override tag with no attribute value");
            return status;
        }

        GraphConfigItem *attribute = nullptr;
        status = result.getAttribute(uid, &attribute);
        if (status == err_noentry) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "Adding the missing attribute %s required in graph override.",
                                uid.toString().c_str());
            status = result.createAttribute(uid, &attribute);
        }
        if (status == err_nomemory)
            return status;
        // A node found at the target is no attribute to set.
        if (status != err_none || attribute == nullptr ||
            (attribute->type != ItemType::INT && attribute->type != ItemType::STRING)) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "Warning: Couldn't to get attribute %s for override. Skipping.",
                                target.c_str());
            continue;
        }

        status = setOverrideValue(*attribute, value);
        if (status != err_none) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error: Failed to set override of attribute %s to %s",
                                target.c_str(), value.c_str());
            return status;
        }
    }
    return err_none;
} catch (const std::bad_alloc &) {
    return noMemory("processGraphOverrides");
}

}  // namespace Vorn
