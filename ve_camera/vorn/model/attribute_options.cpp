// The options check consulted by setValue before a value is written.
#include <vorn/graph_config.h>

#include <ve_cipr/ve_log_common.h>
#include <vorn/graph_camera_util.h>

namespace Vorn {

// Options lists are not evaluated yet: every attribute is treated as one
// without a list, which setValue rejects.
status_t GraphConfigNode::handleAttributeOptions(GraphConfigNode *node, KeyId, const std::string &)
{
    if (node == nullptr)
        return err_argument;
    ve_log_common_debug(VE_LOG_WARNING, "VORN[XOS]", "Trying to apply value but no options list available for %s.",
                        GraphCameraUtil::print(node).c_str());
    return err_noentry;
}

}  // namespace Vorn
