// Key vocabulary of the graph documents and ItemUID, the path of keys that
// names an item relative to a node.
//
// Every element and attribute name maps to a 32-bit key id through the
// process-wide table vorn_key_map. Ids 8193..12286 are integer keys: an
// attribute stored under one of them holds an integer; every other id names
// a node or a string attribute. Names the table does not know map to 0 ("na").
#ifndef VORN_KEYS_H
#define VORN_KEYS_H

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include <vorn/vorn_api.h>

namespace Vorn {

using KeyId = uint32_t;
using KeyMap = std::map<std::string, uint32_t>;

// The predefined keys: X(name, id) for each of the 116 entries.
#define VORN_PREDEFINED_KEYS(X) \
    X(na, 0) \
    X(ae_stats_sink, 1) \
    X(af_stats_sink, 2) \
    X(awb_stats_sink, 3) \
    X(base_node, 4) \
    X(base_type, 5) \
    X(buffer_src0, 6) \
    X(compute_block, 7) \
    X(connection, 8) \
    X(content_type, 9) \
    X(conversion_gain, 10) \
    X(cmc_tag, 11) \
    X(demux, 12) \
    X(destination, 13) \
    X(dol_mode, 14) \
    X(flow, 15) \
    X(format, 16) \
    X(graph, 17) \
    X(graphs, 18) \
    X(graph_descriptor, 19) \
    X(graph_settings, 20) \
    X(hw, 21) \
    X(input, 22) \
    X(kernel, 23) \
    X(klink, 24) \
    X(mbr_data, 25) \
    X(metadata, 26) \
    X(mode_id, 27) \
    X(mux, 28) \
    X(name, 29) \
    X(node, 30) \
    X(nodes, 31) \
    X(output, 32) \
    X(peer, 33) \
    X(port, 34) \
    X(program_group, 35) \
    X(sensor, 36) \
    X(sensor_modes, 37) \
    X(pixel_array, 38) \
    X(binner, 39) \
    X(scaler, 40) \
    X(csi_be, 41) \
    X(csi_be_dol, 42) \
    X(csi_be_soc, 43) \
    X(sensor_type, 44) \
    X(settings, 45) \
    X(sink, 46) \
    X(source, 47) \
    X(split, 48) \
    X(static, 49) \
    X(target, 50) \
    X(type, 51) \
    X(value, 52) \
    X(cipf, 53) \
    X(attribute, 54) \
    X(options, 55) \
    X(apply, 56) \
    X(tpg, 57) \
    X(simulation, 58) \
    X(version, 59) \
    X(file_name, 60) \
    X(rbm, 61) \
    X(description, 62) \
    X(video_bpp, 63) \
    X(stills_bpp, 64) \
    X(external_stage, 65) \
    X(pdaf_type, 66) \
    X(subsystem, 67) \
    X(hw_bitmaps, 68) \
    X(deb, 69) \
    X(teb, 70) \
    X(reb, 71) \
    X(pipeline, 72) \
    X(generic_keys_end, 4095) \
    X(num_start, 8192) \
    X(active_input, 8193) \
    X(active_outputs, 8194) \
    X(active_output, 8195) \
    X(h_factor, 8196) \
    X(v_factor, 8197) \
    X(bottom, 8198) \
    X(bpp, 8199) \
    X(branch_point, 8200) \
    X(bpl, 8201) \
    X(concurrent, 8202) \
    X(direction, 8203) \
    X(dvs, 8204) \
    X(enabled, 8205) \
    X(exec_ctx_id, 8206) \
    X(flip_h, 8207) \
    X(flip_v, 8208) \
    X(fps, 8209) \
    X(fragment_count, 8210) \
    X(height, 8211) \
    X(id, 8212) \
    X(key, 8213) \
    X(left, 8214) \
    X(link_id, 8215) \
    X(operation_mode, 8216) \
    X(pal_uuid, 8217) \
    X(pg_id, 8218) \
    X(power_factor, 8219) \
    X(private, 8220) \
    X(psys_frequency, 8221) \
    X(rcb, 8222) \
    X(restore_point, 8223) \
    X(right, 8224) \
    X(num_factor, 8225) \
    X(denom_factor, 8226) \
    X(sink_port, 8227) \
    X(stream_id, 8228) \
    X(tnr, 8229) \
    X(top, 8230) \
    X(tuning_mode, 8231) \
    X(width, 8232) \
    X(num_end, 12287)

// Named constants: key_<name>, e.g. key_width == 8232.
enum : KeyId {
#define VORN_KEY_CONSTANT(name, id) key_##name = id,
    VORN_PREDEFINED_KEYS(VORN_KEY_CONSTANT)
#undef VORN_KEY_CONSTANT
};

constexpr size_t kPredefinedKeyCount = 116;
constexpr KeyId kIntegerKeysStart = key_num_start;  // exclusive
constexpr KeyId kIntegerKeysEnd = key_num_end;      // exclusive

// The process-wide key table: name -> key id, ordered bytewise by name.
// Built when the library is loaded; callers may read it.
VORN_API extern KeyMap vorn_key_map;

// Replaces map by a copy of the whole key table.
VORN_API void getVornKeys(KeyMap &map);
// Replaces the whole key table by a copy of map.
VORN_API void copyVornKeys(const KeyMap &map);

class VORN_API ItemUID {
public:
    ItemUID() = default;
    ItemUID(std::initializer_list<KeyId> keys) : mUids(keys) {}
    explicit ItemUID(const std::vector<KeyId> &keys) : mUids(keys) {}
    // Parses a ":"-separated path; every piece goes through str2key (unknown
    // and empty pieces become 0, no key is generated).
    explicit ItemUID(const std::string &path);
    explicit ItemUID(const char *path);

    // Key id of name, 0 when the table does not hold it.
    static KeyId str2key(const std::string &name);
    static KeyId str2key(const char *name);
    // Name of the first entry (in name order) with this id; the table's first
    // entry when no entry has it, "" on an empty table. The pointer refers to
    // the table's own storage.
    static const char *key2str(KeyId key);
    static bool isInteger(KeyId key) { return key > kIntegerKeysStart && key < kIntegerKeysEnd; }
    // Returns the number of entries before the call as the new id; inserts
    // (name, id) unless the name is already present. An id that is taken, or
    // that falls in 4095..12287 (markers and integer range), is not handed
    // out: ids then continue after 12287, skipping taken ones.
    static KeyId generateKey(const std::string &name);
    // Inserts each (name, id) whose name is not yet present; ids as given.
    static void addCustomKeyMap(const KeyMap &map);

    // Names joined with "."; "" for an empty path.
    std::string toString() const;

    size_t size() const { return mUids.size(); }
    bool empty() const { return mUids.empty(); }
    KeyId operator[](size_t index) const { return mUids[index]; }
    KeyId &operator[](size_t index) { return mUids[index]; }
    KeyId back() const { return mUids.back(); }
    void push_back(KeyId key) { mUids.push_back(key); }
    void pop_back() { mUids.pop_back(); }
    const std::vector<KeyId> &keys() const { return mUids; }
    std::vector<KeyId>::const_iterator begin() const { return mUids.begin(); }
    std::vector<KeyId>::const_iterator end() const { return mUids.end(); }

    friend bool operator==(const ItemUID &a, const ItemUID &b) { return a.mUids == b.mUids; }
    friend bool operator!=(const ItemUID &a, const ItemUID &b) { return a.mUids != b.mUids; }
    friend bool operator<(const ItemUID &a, const ItemUID &b) { return a.mUids < b.mUids; }

private:
    std::vector<KeyId> mUids;
};

}  // namespace Vorn

#endif
