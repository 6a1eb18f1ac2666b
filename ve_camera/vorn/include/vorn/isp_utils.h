// Behaviour that depends on the Okt hardware generation named in a graph:
// kernel settings forced on top of the graph, and how a compressed pixel
// format is applied to the ports of a program group.
//
// IspUtils::Factory reads the generation from the graph and creates the
// matching object. Only generation 5 has behaviour of its own; generations
// 4, 6 and 7 answer every generation-specific operation with
// err_notimplemented, and a graph naming no known generation gets a
// generation-0 object of that kind.
#ifndef VORN_ISP_UTILS_H
#define VORN_ISP_UTILS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <vorn/graph_config.h>
#include <vorn/status.h>
#include <vorn/vorn_api.h>

namespace Vorn {

// Generation of a graph. The numbers are compared (6 and above is a
// new-version graph), so they are part of the interface.
enum GdfVersion : int32_t {
    GDF_VERSION_NONE = 0,
    GDF_VERSION_OKT5 = 5,
    GDF_VERSION_OKT6 = 6,
    GDF_VERSION_OKT7 = 7,
};

// One forced kernel setting: for the run kernel whose kernel_uuid is
// kernelUuid, each bit of applyMask replaces one field with this record's
// value. Nine 32-bit words.
struct KernelConfigContainer {
    static constexpr uint32_t kApplyEnable = 2;
    static constexpr uint32_t kApplyBppInfo = 4;
    static constexpr uint32_t kApplyMetadata = 8;

    uint32_t applyMask;
    uint32_t kernelUuid;
    int32_t enable;  // 0 bypassed, 1 enabled, 2 disabled
    uint32_t metadata[4];
    uint32_t bppInfo[2];  // input, output bits per pixel
};
static_assert(sizeof(KernelConfigContainer) == 9 * sizeof(uint32_t), "nine 32-bit words");

class VORN_API IspUtils {
public:
    virtual ~IspUtils();
    // Whether digital video stabilisation is switched on in the graph.
    virtual bool isDvsEnabled() const = 0;
    // The generation recorded at creation.
    virtual GdfVersion getOktVersion() const = 0;
    // Appends the kernel settings this generation forces (never clears).
    virtual status_t getKernelConfigurations(std::vector<KernelConfigContainer> &configs) = 0;
    // Sets the "format" of the port that port is connected to.
    virtual status_t applyFormat(const IGraphConfig *port, const std::string &format) = 0;
    // Applies a compressed format on the connection at port and adjusts the
    // other ports of the program group at its far end.
    virtual status_t applyCompression(const IGraphConfig *port, const std::string &format) = 0;

    // The object for the generation named by the "version" of graphSettings'
    // "graph" child ("OKT5", "OKT6", "OKT7", first one contained wins); a
    // generation-0 object when it names none, empty for a null argument.
    // graphSettings must outlive the object.
    static std::shared_ptr<IspUtils> Factory(const IGraphConfig *graphSettings);
};

// What every generation shares: the graph and the generation.
class VORN_API IspUtilsCommon : public IspUtils {
public:
    IspUtilsCommon() = default;
    IspUtilsCommon(const IGraphConfig *graphSettings, GdfVersion version)
        : mGraphSettings(graphSettings), mVersion(version)
    {
    }
    ~IspUtilsCommon() override;

    // The integer "dvs" of the graph settings node is not 0; true for an
    // object without graph settings.
    bool isDvsEnabled() const override;
    GdfVersion getOktVersion() const override { return mVersion; }

protected:
    const IGraphConfig *mGraphSettings = nullptr;  // not owned
    GdfVersion mVersion = GDF_VERSION_NONE;
};

// Generation 5: without stabilisation kernel 37235 is switched off, and a
// compressed connection into a program group turns its public inputs and
// TNR reference ports into compressed formats.
class VORN_API Okt5IspUtils : public IspUtilsCommon {
public:
    using IspUtilsCommon::IspUtilsCommon;
    ~Okt5IspUtils() override;
    status_t getKernelConfigurations(std::vector<KernelConfigContainer> &configs) override;
    status_t applyFormat(const IGraphConfig *port, const std::string &format) override;
    status_t applyCompression(const IGraphConfig *port, const std::string &format) override;
};

// Generations without behaviour of their own (and graphs naming no known
// generation): every operation answers err_notimplemented, touches nothing
// and logs nothing.
class VORN_API Okt4IspUtils : public IspUtilsCommon {
public:
    using IspUtilsCommon::IspUtilsCommon;
    ~Okt4IspUtils() override;
    status_t getKernelConfigurations(std::vector<KernelConfigContainer> &configs) override;
    status_t applyFormat(const IGraphConfig *port, const std::string &format) override;
    status_t applyCompression(const IGraphConfig *port, const std::string &format) override;
};

class VORN_API Okt6IspUtils : public IspUtilsCommon {
public:
    using IspUtilsCommon::IspUtilsCommon;
    ~Okt6IspUtils() override;
    status_t getKernelConfigurations(std::vector<KernelConfigContainer> &configs) override;
    status_t applyFormat(const IGraphConfig *port, const std::string &format) override;
    status_t applyCompression(const IGraphConfig *port, const std::string &format) override;
};

class VORN_API Okt7IspUtils : public IspUtilsCommon {
public:
    using IspUtilsCommon::IspUtilsCommon;
    ~Okt7IspUtils() override;
    status_t getKernelConfigurations(std::vector<KernelConfigContainer> &configs) override;
    status_t applyFormat(const IGraphConfig *port, const std::string &format) override;
    status_t applyCompression(const IGraphConfig *port, const std::string &format) override;
};

}  // namespace Vorn

#endif
