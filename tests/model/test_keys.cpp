// Key table, key generation and ItemUID paths.
#include <map>
#include <string>

#include <gtest/gtest.h>

#include <vorn/vorn.h>

using namespace Vorn;

namespace {

// Each test that changes the key table puts the original back.
class KeyTableTest : public ::testing::Test {
protected:
    void SetUp() override { getVornKeys(mSaved); }
    void TearDown() override { copyVornKeys(mSaved); }
    KeyMap mSaved;
};

}  // namespace

TEST_F(KeyTableTest, PredefinedTableIsComplete)
{
    ASSERT_EQ(vorn_key_map.size(), kPredefinedKeyCount);
    // Spot checks of every range, and ids consecutive inside each range.
    EXPECT_EQ(ItemUID::str2key("na"), 0u);
    EXPECT_EQ(ItemUID::str2key("name"), 29u);
    EXPECT_EQ(ItemUID::str2key("pipeline"), 72u);
    EXPECT_EQ(ItemUID::str2key("generic_keys_end"), 4095u);
    EXPECT_EQ(ItemUID::str2key("num_start"), 8192u);
    EXPECT_EQ(ItemUID::str2key("active_input"), 8193u);
    EXPECT_EQ(ItemUID::str2key("width"), 8232u);
    EXPECT_EQ(ItemUID::str2key("num_end"), 12287u);
    EXPECT_EQ(ItemUID::str2key(""), 0u);
    EXPECT_EQ(ItemUID::str2key("Width"), 0u);
    EXPECT_EQ(ItemUID::str2key(static_cast<const char *>(nullptr)), 0u);
    EXPECT_EQ(key_peer, 33u);
    EXPECT_EQ(key_stream_id, 8228u);

    size_t generic = 0, integer = 0;
    for (const auto &entry : vorn_key_map) {
        if (entry.second <= 72)
            ++generic;
        if (ItemUID::isInteger(entry.second))
            ++integer;
        EXPECT_EQ(ItemUID::key2str(entry.second), entry.first);
    }
    EXPECT_EQ(generic, 73u);
    EXPECT_EQ(integer, 40u);
}

TEST_F(KeyTableTest, IntegerRangeIsExclusive)
{
    EXPECT_FALSE(ItemUID::isInteger(8192));
    EXPECT_TRUE(ItemUID::isInteger(8193));
    EXPECT_TRUE(ItemUID::isInteger(12286));
    EXPECT_FALSE(ItemUID::isInteger(12287));
    EXPECT_FALSE(ItemUID::isInteger(29));
    EXPECT_FALSE(ItemUID::isInteger(0));
}

TEST_F(KeyTableTest, KeyToStringFallsBackToFirstEntry)
{
    EXPECT_STREQ(ItemUID::key2str(29), "name");
    EXPECT_STREQ(ItemUID::key2str(5000), "active_input");
    // The name pointer refers to the table's own storage.
    EXPECT_EQ(ItemUID::key2str(29), vorn_key_map.find("name")->first.c_str());

    // With duplicate ids the first name in name order wins.
    ItemUID::addCustomKeyMap({{"zz_dup", 29}, {"aa_dup", 29}});
    EXPECT_STREQ(ItemUID::key2str(29), "aa_dup");

    // A direct edit of the exported table is seen too.
    vorn_key_map["aa_dup"] = 7000;
    EXPECT_STREQ(ItemUID::key2str(29), "name");
    EXPECT_STREQ(ItemUID::key2str(7000), "aa_dup");
    vorn_key_map["ab_new"] = 29;
    EXPECT_STREQ(ItemUID::key2str(29), "ab_new");
    EXPECT_STREQ(ItemUID::key2str(7000), "aa_dup");

    copyVornKeys({});
    EXPECT_STREQ(ItemUID::key2str(29), "");
}

TEST_F(KeyTableTest, GenerateKeyUsesTheEntryCount)
{
    EXPECT_EQ(ItemUID::generateKey("my_new_node"), 116u);
    EXPECT_EQ(ItemUID::str2key("my_new_node"), 116u);
    EXPECT_STREQ(ItemUID::key2str(116), "my_new_node");
    // The count grew, so asking again yields the next id; the table is unchanged.
    EXPECT_EQ(ItemUID::generateKey("my_new_node"), 117u);
    EXPECT_EQ(vorn_key_map.size(), 117u);
    EXPECT_EQ(ItemUID::str2key("my_new_node"), 116u);
    EXPECT_EQ(ItemUID::generateKey("other"), 117u);
    EXPECT_EQ(ItemUID::str2key("other"), 117u);
    // A name stored with id 0 gets a count-based id without a second entry.
    EXPECT_EQ(ItemUID::generateKey("na"), 118u);
    EXPECT_EQ(ItemUID::str2key("na"), 0u);
}

// A large table must not hand out the markers, the integer range or ids that
// custom keys took: such a name would read as an integer attribute or take
// over another name's id.
TEST_F(KeyTableTest, GeneratedIdsStayUniqueAndOutsideTheReservedRanges)
{
    ItemUID::addCustomKeyMap({{"custom_at_200", 200}, {"custom_after_range", 12300}});
    std::map<KeyId, std::string> generated;
    for (int i = 0; i < 9000; ++i) {
        const std::string name = "generated_" + std::to_string(i);
        const size_t before = vorn_key_map.size();
        const KeyId id = ItemUID::generateKey(name);
        ASSERT_EQ(vorn_key_map.size(), before + 1);
        ASSERT_FALSE(id >= key_generic_keys_end && id <= key_num_end) << name << " got " << id;
        ASSERT_NE(id, 200u);
        ASSERT_NE(id, 12300u);
        ASSERT_TRUE(generated.emplace(id, name).second) << id << " handed out twice";
        // Up to the first taken id, the id is the entry count, as always.
        if (before < 200) {
            ASSERT_EQ(id, before);
        }
    }
    for (const auto &entry : generated) {
        EXPECT_EQ(ItemUID::str2key(entry.second), entry.first);
        EXPECT_EQ(ItemUID::key2str(entry.first), entry.second);
    }
    EXPECT_STREQ(ItemUID::key2str(key_width), "width");
    EXPECT_STREQ(ItemUID::key2str(key_num_end), "num_end");
    EXPECT_STREQ(ItemUID::key2str(200), "custom_at_200");
}

TEST_F(KeyTableTest, CustomKeysAndWholeTableCopies)
{
    ItemUID::addCustomKeyMap({});
    EXPECT_EQ(vorn_key_map.size(), kPredefinedKeyCount);
    ItemUID::addCustomKeyMap({{"name", 7}, {"lens_shading", 500}});
    EXPECT_EQ(ItemUID::str2key("name"), 29u);
    EXPECT_EQ(ItemUID::str2key("lens_shading"), 500u);
    EXPECT_STREQ(ItemUID::key2str(500), "lens_shading");

    KeyMap copy;
    copy["stale"] = 1;
    getVornKeys(copy);
    EXPECT_EQ(copy.size(), kPredefinedKeyCount + 1);
    EXPECT_EQ(copy.count("stale"), 0u);

    copyVornKeys(vorn_key_map);
    EXPECT_EQ(vorn_key_map.size(), kPredefinedKeyCount + 1);
    copyVornKeys({{"only", 3}});
    EXPECT_EQ(ItemUID::str2key("only"), 3u);
    EXPECT_EQ(ItemUID::str2key("name"), 0u);
    EXPECT_STREQ(ItemUID::key2str(29), "only");
    copyVornKeys({});
    EXPECT_EQ(ItemUID::str2key("name"), 0u);
    EXPECT_EQ(ItemUID::str2key("width"), 0u);
    EXPECT_EQ(ItemUID::generateKey("first"), 0u);
}

TEST_F(KeyTableTest, PathStringsParseLikeALineReader)
{
    EXPECT_EQ(ItemUID("port:format"), (ItemUID{34, 16}));
    EXPECT_EQ(ItemUID("no_such_key::port"), (ItemUID{0, 0, 34}));
    EXPECT_TRUE(ItemUID("").empty());
    EXPECT_TRUE(ItemUID(static_cast<const char *>(nullptr)).empty());
    EXPECT_EQ(ItemUID("port:"), (ItemUID{34}));
    EXPECT_EQ(ItemUID(":port"), (ItemUID{0, 34}));
    EXPECT_EQ(ItemUID("port::"), (ItemUID{34, 0}));
    EXPECT_EQ(ItemUID(":"), (ItemUID{0}));
    EXPECT_EQ(ItemUID("width"), (ItemUID{8232}));
    // Parsing never generates keys.
    EXPECT_EQ(vorn_key_map.size(), kPredefinedKeyCount);
}

TEST_F(KeyTableTest, ItemUidPrintsOrdersAndGrows)
{
    EXPECT_EQ((ItemUID{34, 16}).toString(), "port.format");
    EXPECT_EQ((ItemUID{29}).toString(), "name");
    EXPECT_EQ(ItemUID().toString(), "");
    EXPECT_EQ((ItemUID{34, 5000}).toString(), "port.active_input");

    ItemUID uid;
    uid.push_back(key_port);
    uid.push_back(key_width);
    ASSERT_EQ(uid.size(), 2u);
    EXPECT_EQ(uid[0], 34u);
    EXPECT_EQ(uid.back(), 8232u);

    EXPECT_LT((ItemUID{1, 2}), (ItemUID{1, 3}));
    EXPECT_LT((ItemUID{1}), (ItemUID{1, 0}));
    EXPECT_FALSE((ItemUID{2}) < (ItemUID{1, 9}));
    EXPECT_NE((ItemUID{1}), (ItemUID{1, 0}));
}
