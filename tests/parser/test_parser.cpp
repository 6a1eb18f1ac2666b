// Loading graph documents: content item by item, document rules, every
// failure path.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <zlib.h>

#include <vorn/vorn.h>

#include "log_capture.h"

using namespace Vorn;
using vorn_test::LogCapture;

namespace {

const std::string kTag = "VORN_PARSER[XOS]";
const std::string kData = VORN_TEST_DATA_DIR;

struct TreeDeleter {
    void operator()(IGraphConfig *tree) const { delete tree; }
};
using Tree = std::unique_ptr<IGraphConfig, TreeDeleter>;

Tree loadFile(const std::string &path, VornParser *parser = nullptr)
{
    VornParser local;
    IGraphConfig *out = reinterpret_cast<IGraphConfig *>(1);
    (parser != nullptr ? parser : &local)->parseVornXmlFile(path, &out);
    EXPECT_NE(out, reinterpret_cast<IGraphConfig *>(1));
    return Tree(out);
}

Tree loadText(std::string_view text, VornParser *parser = nullptr)
{
    VornParser local;
    IGraphConfig *out = reinterpret_cast<IGraphConfig *>(1);
    (parser != nullptr ? parser : &local)->parseVornXmlData(text.data(), text.size(), &out);
    EXPECT_NE(out, reinterpret_cast<IGraphConfig *>(1));
    return Tree(out);
}

std::string str(const IGraphConfig *node, KeyId key)
{
    std::string value = "<missing>";
    if (node != nullptr)
        node->getValue(key, value);
    return value;
}

int32_t num(const IGraphConfig *node, KeyId key)
{
    int32_t value = -12345;
    if (node != nullptr)
        node->getValue(key, value);
    return value;
}

// "key:name" of every child, in container order.
std::vector<std::string> childKeys(const IGraphConfig *node)
{
    std::vector<std::string> keys;
    for (const auto &entry : GraphConfigNode::from(node)->children())
        keys.push_back(ItemUID::key2str(entry.first));
    return keys;
}

std::string writeTemp(const std::string &name, const std::string &content)
{
    const std::string path = std::string(VORN_TEST_BINARY_DIR) + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
}

void checkDescriptor(const IGraphConfig *top)
{
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->getAncestor(), nullptr);
    EXPECT_EQ(str(top, key_version), "2.1");
    EXPECT_EQ(childKeys(top), (std::vector<std::string>{"connection", "version", "imx_test", "isa", "preview_sink"}));

    // Elements with a "name" are stored under the key of its value and get
    // their element name as "type"; a later explicit "type" is dropped.
    const IGraphConfig *sensor = top->getDescendant(ItemUID::str2key("imx_test"));
    ASSERT_NE(sensor, nullptr);
    EXPECT_EQ(str(sensor, key_type), "sensor");
    EXPECT_EQ(str(sensor, key_name), "imx_test");
    EXPECT_EQ(str(sensor, key_sensor_type), "bayer");
    EXPECT_EQ(childKeys(sensor), (std::vector<std::string>{"name", "pixel_array", "binner", "sensor_type", "type"}));
    const IGraphConfig *output = sensor->getDescendantByString("pixel_array:output");
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(str(output, key_type), "output");
    EXPECT_EQ(num(output, key_direction), 1);
    const IGraphConfig *binner = sensor->getDescendant(key_binner);
    EXPECT_EQ(num(binner, key_h_factor), 2);
    EXPECT_EQ(str(binner->getDescendant(key_input), key_type), "port");
    EXPECT_EQ(num(binner->getDescendant(key_output), key_id), 1);

    const IGraphConfig *isa = top->getDescendant(ItemUID::str2key("isa"));
    ASSERT_NE(isa, nullptr);
    EXPECT_EQ(str(isa, key_type), "program_group");
    EXPECT_EQ(num(isa, key_pg_id), 3);
    EXPECT_EQ(num(isa, key_exec_ctx_id), 0);
    const IGraphConfig *kernel = isa->getDescendant(ItemUID::str2key("bxt_blc"));
    EXPECT_EQ(str(kernel, key_type), "kernel");
    EXPECT_EQ(num(kernel, key_id), 11);
    EXPECT_EQ(num(kernel, key_enabled), 1);
    EXPECT_EQ(str(kernel, key_metadata), "1,2");
    EXPECT_EQ(str(isa->getDescendant(key_input), key_format), "BA10");
    EXPECT_EQ(str(isa->getDescendant(key_output), key_content_type), "pixel_data");
    // "attribute" holds the key of its text.
    const IGraphConfig *options = isa->getDescendant(key_options);
    EXPECT_EQ(num(options, key_attribute), static_cast<int32_t>(key_format));
    const IGraphConfig *option = options->getDescendant(ItemUID::str2key("option"));
    EXPECT_EQ(str(option, key_value), "NV12,YUY2,");

    // A "node" element takes its type from the attribute.
    const IGraphConfig *sink = top->getDescendant(ItemUID::str2key("preview_sink"));
    EXPECT_EQ(str(sink, key_type), "sink");
    EXPECT_EQ(num(sink, key_stream_id), 60000);
    const IGraphConfig *connection = top->getDescendant(key_connection);
    EXPECT_EQ(str(connection, key_source), "isa:output");
    EXPECT_EQ(str(connection, key_sink), "preview_sink");
}

void checkSettings(const IGraphConfig *top)
{
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(str(top, key_version), "2.1");
    EXPECT_EQ(childKeys(top), (std::vector<std::string>{"sensor_modes", "settings", "settings", "version"}));
    NodeIterator it(const_cast<IGraphConfig *>(top));
    IGraphConfig *first = it.iterateByUid(key_settings);
    IGraphConfig *second = it.iterateByUid(key_settings);
    EXPECT_EQ(num(first, key_key), 8000);
    EXPECT_EQ(num(first, key_width), 1920);
    EXPECT_EQ(num(second, key_key), 8001);
    EXPECT_EQ(num(second, key_fps), 60);
    // In settings the element name gives the key, with no "type".
    const IGraphConfig *kernel = first->getDescendant(key_kernel);
    ASSERT_NE(kernel, nullptr);
    EXPECT_EQ(str(kernel, key_name), "bxt_blc");
    EXPECT_FALSE(GraphConfigNode::from(kernel)->hasItem(key_type));
    const IGraphConfig *mode = first->getDescendant(ItemUID::str2key("sensor_mode"));
    EXPECT_EQ(str(mode, key_name), "mode0");
    EXPECT_EQ(num(mode, key_height), 3072);
}

}  // namespace

TEST(Parser, DescriptorLoadsPlainAndGzip)
{
    VornParser parser;
    Tree plain = loadFile(kData + "/descriptor.xml", &parser);
    checkDescriptor(plain.get());
    EXPECT_EQ(parser.documentKind(), key_graph_descriptor);
    EXPECT_EQ(parser.version(), "2.1");
    Tree gz = loadFile(kData + "/descriptor.gz");
    checkDescriptor(gz.get());
}

TEST(Parser, SettingsLoadPlainGzipAndFromMemory)
{
    LogCapture log;
    checkSettings(loadFile(kData + "/settings.xml").get());
    checkSettings(loadFile(kData + "/settings.gz").get());
    std::ifstream in(kData + "/settings.xml", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    checkSettings(loadText(text).get());
    EXPECT_FALSE(log.has("No version information found.")) << log.dump();
}

TEST(Parser, FileOfWholeChunksLoadsCompletely)
{
    Tree tree = loadFile(kData + "/settings_4096x3.xml");
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->getDescendantCount(), 209u);  // 208 settings and the version
}

TEST(Parser, ElementAndAttributeRules)
{
    LogCapture log;
    Tree tree = loadText("<GRAPH_SETTINGS><Settings WIDTH='640' Height='12abc' fps='x9' bpp='  -7' "
                         "id='4294967301' Zzz='first' yyy='second' Mode_ID='Keep Case'/>"
                         "<settings name='a' name2='b'/></GRAPH_SETTINGS>");
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(log.count(VE_LOG_WARNING, kTag, "No version information found."), 1u);
    const IGraphConfig *settings = tree->getDescendant(key_settings);
    EXPECT_EQ(num(settings, key_width), 640);
    EXPECT_EQ(num(settings, key_height), 12);
    EXPECT_EQ(num(settings, key_fps), 0);
    EXPECT_EQ(num(settings, key_bpp), -7);
    EXPECT_EQ(num(settings, key_id), 5);        // 4294967301 truncated to 32 bits
    EXPECT_EQ(str(settings, key_na), "first");  // unknown names share key 0: only the first stays
    EXPECT_EQ(str(settings, key_mode_id), "Keep Case");
    EXPECT_EQ(GraphConfigNode::from(settings)->getDescendantCount(), 7u);

    // Descriptor rules: "type" before "name" on an ordinary element is an
    // error; on "node" it is the type.
    log.clear();
    Tree bad = loadText("<graph_descriptor version='1'><kernel type='x' name='k'/></graph_descriptor>");
    EXPECT_EQ(bad, nullptr);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Error adding name attribute"));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Parser returned NULL!"));
    Tree node = loadText("<graph_descriptor version='1'><node type='sink' name='kernel'/></graph_descriptor>");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(str(node->getDescendant(key_kernel), key_type), "sink");

    // A root with another name is an ordinary element below a document node.
    log.clear();
    Tree other = loadText("<camera version='3'><port/></camera>");
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(log.has("No version information found."));
    const IGraphConfig *camera = other->getDescendant(ItemUID::str2key("camera"));
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(str(camera, key_version), "3");
    EXPECT_NE(camera->getDescendant(key_port), nullptr);
}

TEST(Parser, AnElementWithThousandsOfAttributesKeepsTheFirstOfEachKey)
{
    // Elements k0... give their names keys; then one element has every one
    // of these names as an attribute twice, in lower case and then in upper
    // case (different names to Expat, one key to the tree). It keeps one
    // attribute per key, the first. The keys are taken back at the end.
    KeyMap saved;
    getVornKeys(saved);
    constexpr int kNames = 3000;
    std::string text = "<graph_settings version='1'>";
    for (int i = 0; i < kNames; ++i)
        text += "<k" + std::to_string(i) + "/>";
    text += "<a";
    for (int i = 0; i < kNames; ++i)
        text += " k" + std::to_string(i) + "='" + std::to_string(i) + "' K" + std::to_string(i) + "='upper'";
    text += "/></graph_settings>";

    Tree tree = loadText(text);
    ASSERT_NE(tree, nullptr);
    const IGraphConfig *element = tree->getDescendant(ItemUID::str2key("a"));
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(GraphConfigNode::from(element)->getDescendantCount(), size_t{kNames});
    int wrong = 0;
    for (int i = 0; i < kNames; ++i)
        wrong += str(element, ItemUID::str2key("k" + std::to_string(i))) != std::to_string(i);
    EXPECT_EQ(wrong, 0);
    copyVornKeys(saved);
}

TEST(Parser, FilesThatGiveNoTree)
{
    LogCapture log;
    const std::string upper = writeTemp("descriptor.XML", "<graph_settings version='1'><a/></graph_settings>");
    EXPECT_EQ(loadFile(upper), nullptr);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "file type (XML) not suppoted."));
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Parser returned NULL!"));

    log.clear();
    EXPECT_EQ(loadFile(kData + "/no_such_file.xml"), nullptr);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to open XML " + kData + "/no_such_file.xml"));
    log.clear();
    EXPECT_EQ(loadFile(kData + "/no_such_file.gz"), nullptr);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Failed to open GZ " + kData + "/no_such_file.gz"));

    log.clear();
    EXPECT_EQ(loadText("<graph_settings version='1'/>"), nullptr);
    EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Parser returned NULL!"));

    VornParser parser;
    log.clear();
    parser.parseVornXmlFile(kData + "/settings.xml", nullptr);
    parser.parseVornXmlData("<a/>", 4, nullptr);
    EXPECT_EQ(log.count(VE_LOG_ERROR, kTag, "NULL pointer given!"), 2u);
}

TEST(Parser, BrokenInputFreesThePartialTree)
{
    struct Case {
        const char *what;
        std::string path;
        const char *message;
    };
    const std::string dir = VORN_TEST_BINARY_DIR;
    const std::vector<Case> cases = {
        {"syntax error inside an element",
         writeTemp("broken.xml", "<graph_settings version='1'>\n<settings>\n"
                                 "  <kernel name='a'><oops></kernel>\n"
                                 "</settings></graph_settings>"),
         "XML_Parse error mismatched tag (line 3, column 27)"},
        {"empty file", writeTemp("empty.xml", ""), "XML_Parse error no element found"},
        {"binary garbage", writeTemp("garbage.xml", std::string("\x01\xff\xfe<\x00\x9c", 6)), "XML_Parse error"},
        {"unknown encoding", writeTemp("encoding.xml", "<?xml version='1.0' encoding='NO-SUCH-CODE'?><a/>"),
         "XML_Parse error unknown encoding"},
        {"unclosed document", writeTemp("unclosed.xml", "<graph_settings version='1'><settings><a/>"),
         "XML_Parse error"},
        {"directory as file", dir + "/.", "file type () not suppoted."},
        {"directory named .xml", dir + "/dir.xml", "Error reading from file"},
        {"truncated gzip trailer", kData + "/truncated.gz", "Error reading from file"},
        {"truncated gzip stream", kData + "/truncated_mid.gz", "XML_Parse error"},
        {"plain text named .gz", kData + "/plain_text.gz", "is not in gzip format"},
    };
    std::remove((dir + "/dir.xml").c_str());
    ASSERT_EQ(system(("mkdir -p '" + dir + "/dir.xml'").c_str()), 0);
    for (const Case &c : cases) {
        LogCapture log;
        EXPECT_EQ(loadFile(c.path), nullptr) << c.what;
        EXPECT_TRUE(log.contains(c.message)) << c.what << "\n" << log.dump();
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Parser returned NULL!")) << c.what;
    }
}

TEST(Parser, ResourceLimitsAreSafe)
{
    LogCapture log;
    // Nesting beyond the bound is refused with a message, not a stack overflow later.
    std::string deep = "<graph_settings version='1'>";
    for (uint32_t i = 0; i < VornParser::kMaxDepth + 10; ++i)
        deep += "<n>";
    EXPECT_EQ(loadText(deep), nullptr);
    EXPECT_TRUE(log.contains("nests deeper than 256 levels")) << log.dump();
    std::string ok = "<graph_settings version='1'>";
    for (uint32_t i = 0; i < VornParser::kMaxDepth - 1; ++i)
        ok += "<n>";
    for (uint32_t i = 0; i < VornParser::kMaxDepth - 1; ++i)
        ok += "</n>";
    ok += "</graph_settings>";
    EXPECT_NE(loadText(ok), nullptr);

    // A huge attribute value and many siblings.
    const std::string big(4 << 20, 'v');
    Tree huge = loadText("<graph_settings version='1'><a description='" + big + "'/></graph_settings>");
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(str(huge->getDescendant(ItemUID::str2key("a")), key_description).size(), big.size());

    std::string many = "<graph_settings version='1'>";
    for (int i = 0; i < 200000; ++i)
        many += "<port/>";
    many += "</graph_settings>";
    Tree wide = loadText(many);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->getDescendantCount(), 200001u);
}

TEST(Parser, LoaderIsReusable)
{
    VornParser parser;
    Tree first = loadText("<graph_descriptor version='7'><kernel name='k1'/></graph_descriptor>", &parser);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(parser.version(), "7");
    EXPECT_EQ(loadText("<graph_settings><oops></graph_settings>", &parser), nullptr);
    Tree third = loadText("<graph_settings><settings/></graph_settings>", &parser);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(parser.documentKind(), key_graph_settings);
    EXPECT_EQ(parser.version(), "");
    EXPECT_FALSE(GraphConfigNode::from(third.get())->hasItem(key_version));
}

TEST(Parser, IntegerTextConvertsAsALongTruncatedTo32Bits)
{
    std::vector<const char *> texts = {"640",
                                       "  \t\n-12",
                                       "+7x",
                                       "12abc",
                                       "abc",
                                       "",
                                       "-",
                                       "+-3",
                                       "4294967297",
                                       "2147483648",
                                       "-2147483649",
                                       "99999999999999999999",
                                       "-99999999999999999999",
                                       "9223372036854775807",
                                       "9223372036854775808",
                                       "-9223372036854775808",
                                       "-9223372036854775809",
                                       "0x10",
                                       "\r 5"};
    // Every last digit after the prefixes where the conversion stops
    // multiplying without a check, in both signs.
    std::vector<std::string> boundary;
    for (const char *prefix : {"922337203685477578", "922337203685477579", "922337203685477580"})
        for (char digit = '0'; digit <= '9'; ++digit)
            for (const char *sign : {"", "-"})
                boundary.push_back(std::string(sign) + prefix + digit);
    for (const std::string &number : boundary)
        texts.push_back(number.c_str());
    for (const char *text : texts) {
        const long expected = std::strtol(text, nullptr, 10);
        Tree tree = loadText(std::string("<graph_settings version='1'><a width='") + text + "'/></graph_settings>");
        ASSERT_NE(tree, nullptr) << text;
        EXPECT_EQ(num(tree->getDescendant(ItemUID::str2key("a")), key_width),
                  static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(expected))))
            << "'" << text << "'";
    }

    // A number outside 32 bits keeps that value but is reported with its
    // attribute, text and line; one inside is not.
    LogCapture log;
    Tree tree = loadText("<graph_settings version='1'>\n<a id='4294967297'\n Width='-2147483648'/>\n"
                         "<b height='-2147483649'/></graph_settings>");
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(num(tree->getDescendant(ItemUID::str2key("a")), key_id), 1);
    EXPECT_EQ(num(tree->getDescendant(ItemUID::str2key("b")), key_height), INT32_MAX);
    EXPECT_TRUE(log.contains("Integer attribute id=\"4294967297\" at line 2 does not fit in 32 bits; stored as 1"))
        << log.dump();
    EXPECT_TRUE(log.contains("Integer attribute height=\"-2147483649\" at line 4 does not fit in 32 bits"))
        << log.dump();
    EXPECT_FALSE(log.contains("Width")) << log.dump();
}

namespace {

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// CPU seconds per input byte of loading text (the fastest of three).
double secondsPerByte(const std::string &text)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        KeyMap keys;
        getVornKeys(keys);
        const double start = threadSeconds();
        Tree tree = loadText(text);
        tree.reset();
        best = std::min(best, threadSeconds() - start);
        copyVornKeys(keys);
    }
    return best / static_cast<double>(text.size());
}

std::string siblings(size_t count, bool distinctNames)
{
    std::string text = "<graph_settings version='1'><n>";
    for (size_t i = 0; i < count; ++i)
        text += distinctNames ? "<e" + std::to_string(i) + " id='1'/>" : std::string("<port id='1'/>");
    return text + "</n></graph_settings>";
}

}  // namespace

TEST(Parser, ManyChildrenAndManyNamesLoadInLinearTime)
{
    // Per byte, a document four times larger may cost somewhat more (caches,
    // a key table four times larger, a busy machine), never four times more.
    for (bool distinct : {false, true}) {
        const double small = secondsPerByte(siblings(10'000, distinct));
        const double large = secondsPerByte(siblings(40'000, distinct));
        EXPECT_LT(large, 3.0 * small) << (distinct ? "distinct names" : "one name");
    }
    Tree wide = loadText(siblings(1'000'000, false));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->getDescendant(key_na), nullptr);
    EXPECT_EQ(wide->getDescendant(ItemUID::str2key("n"))->getDescendantCount(), 1'000'000u);
}

TEST(Parser, EveryNameFindsItsKeyWhateverItsLengthOrCase)
{
    // Names of every length up to 40 bytes, differing from each other in
    // one byte at every position or only in length, each written in lower
    // and in upper case: every spelling lands under the key of its
    // lower-cased name, and no two names share a key.
    std::map<std::string, size_t> expected;
    std::string text = "<graph_settings version='1'>";
    for (size_t length = 1; length <= 40; ++length) {
        for (size_t variant = 0; variant < 26; ++variant) {
            std::string name(length, 'k');
            name[length - 1 - variant % length] = static_cast<char>('a' + variant);
            std::string upper = name;
            for (char &c : upper)
                c = static_cast<char>(c - 'a' + 'A');
            text += "<" + name + "/><" + upper + "/>";
            expected[name] += 2;
        }
    }
    text += "</graph_settings>";
    ASSERT_GT(expected.size(), 1024u);  // more than the memo's recent names hold

    Tree tree = loadText(text);
    ASSERT_NE(tree, nullptr);
    std::map<std::string, size_t> found;
    for (const std::string &name : childKeys(tree.get()))
        if (name != "version")
            ++found[name];
    EXPECT_EQ(found, expected);
}

TEST(Parser, ValuesAndTreesOfSeveralMegabytesStayIntact)
{
    // A value larger than a large page gets an arena block of its own, and
    // the copy of the tree one exact block of more than a large page. The
    // ports fill several blocks, each mapped a step at a time as the tree
    // grows, in the load and in the copy. Values of a few hundred kilobytes
    // stay in the block and reach past the part mapped so far.
    const auto patterned = [](size_t size, char fill) {
        std::string text(size, fill);
        for (size_t i = 0; i < size; i += 4099)
            text[i] = static_cast<char>('a' + i % 26);
        return text;
    };
    const std::string value = patterned(3 * 1024 * 1024 + 5, 'v');
    const std::vector<std::string> middling = {patterned(300 * 1024 + 3, 'm'), patterned(450 * 1024 + 1, 'n'),
                                               patterned(200 * 1024, 'o')};
    constexpr int kPorts = 60'000;
    std::string text = "<graph_settings version='1'><settings description='" + value + "'>";
    for (int i = 0; i < kPorts; ++i) {
        text += "<port id='" + std::to_string(i) + "' format='f" + std::to_string(i * 7) + "'/>";
        if (i % 20'000 == 10'000)
            text += "<mid description='" + middling[static_cast<size_t>(i / 20'000)] + "'/>";
    }
    text += "</settings></graph_settings>";
    const auto middlingIntact = [&middling](const IGraphConfig *settings) {
        NodeIterator mids(const_cast<IGraphConfig *>(settings));
        std::vector<std::string> found;
        for (IGraphConfig *mid = mids.iterateByUid(ItemUID::str2key("mid")); mid != nullptr;
             mid = mids.iterateByUid(ItemUID::str2key("mid")))
            found.push_back(str(mid, key_description));
        return found == middling;
    };

    Tree tree = loadText(text);
    ASSERT_NE(tree, nullptr);
    const IGraphConfig *settings = tree->getDescendant(key_settings);
    EXPECT_EQ(str(settings, key_description), value);
    EXPECT_EQ(settings->getDescendantCount(), kPorts + 1u + middling.size());
    EXPECT_TRUE(middlingIntact(settings));

    std::unique_ptr<GraphConfigNode> copy(GraphConfigNode::from(tree.get())->copy());
    tree.reset();
    ASSERT_NE(copy, nullptr);
    const IGraphConfig *copied = copy->getDescendant(key_settings);
    EXPECT_EQ(str(copied, key_description), value);
    EXPECT_TRUE(middlingIntact(copied));
    NodeIterator ports(const_cast<IGraphConfig *>(copied));
    int32_t expectedId = 0;
    int mismatches = 0;
    for (IGraphConfig *port = ports.iterateByUid(key_port); port != nullptr; port = ports.iterateByUid(key_port)) {
        mismatches += num(port, key_id) != expectedId || str(port, key_format) != "f" + std::to_string(expectedId * 7);
        ++expectedId;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(expectedId, kPorts);
}

// Settings of count ports numbered from first: about a megabyte for 32,000
// ports, enough for the arena's large-page blocks.
std::string portsDocument(int first, int count)
{
    std::string text = "<graph_settings version='1'><settings>";
    for (int i = first; i < first + count; ++i)
        text += "<port id='" + std::to_string(i) + "' format='f" + std::to_string(i) + "'/>";
    return text + "</settings></graph_settings>";
}

// The address space of the process, in bytes.
size_t mappedBytes()
{
    std::ifstream statm("/proc/self/statm");
    size_t pages = 0;
    statm >> pages;
    return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

TEST(Parser, LargeTreesReuseTheMemoryOfTreesThatDied)
{
    // Documents of about a megabyte get large-page blocks; a tree that dies
    // keeps them for the next load, which must see only its own values, also
    // when two threads load and destroy at the same time. Once the kept
    // memory is given back, loads take fresh memory and stay intact.
    constexpr int kPorts = 32'000;
    const auto document = [](int first) { return portsDocument(first, kPorts); };
    const auto mismatches = [](const IGraphConfig *tree, int first) {
        if (tree == nullptr)
            return -1;
        NodeIterator ports(tree->getDescendant(key_settings));
        int wrong = 0;
        int id = first;
        for (IGraphConfig *port = ports.iterateByUid(key_port); port != nullptr; port = ports.iterateByUid(key_port)) {
            wrong += num(port, key_id) != id || str(port, key_format) != "f" + std::to_string(id);
            ++id;
        }
        return wrong + (id == first + kPorts ? 0 : 1);
    };
    const auto loadAndCheck = [&](const std::string &text, int first) {
        int wrong = 0;
        for (int round = 0; round < 3; ++round) {
            Tree tree = loadText(text);
            wrong += mismatches(tree.get(), first);
        }
        return wrong;
    };
    const std::string one = document(0);
    const std::string other = document(1'000'000);
    ASSERT_GT(one.size(), 1'000'000u);
    auto first = std::async(std::launch::async, loadAndCheck, std::cref(one), 0);
    auto second = std::async(std::launch::async, loadAndCheck, std::cref(other), 1'000'000);
    EXPECT_EQ(first.get(), 0);
    EXPECT_EQ(second.get(), 0);

    Tree kept = loadText(one);
    releaseCachedTreeMemory();
    EXPECT_EQ(mismatches(kept.get(), 0), 0);
    kept.reset();
    releaseCachedTreeMemory();
    EXPECT_EQ(loadAndCheck(other, 1'000'000), 0);
}

TEST(Parser, MemoryKeptForTheNextTreeIsBoundedAndGivenBackOnRequest)
{
    // Two dozen trees of large-page blocks die together: what they keep
    // for the next load stays within 64 MiB, and giving it back unmaps it
    // (the request unmaps nothing else, so the change of the address space
    // is what was kept).
    constexpr size_t kMiB = 1024 * 1024;
    const std::string text = portsDocument(0, 32'000);
    releaseCachedTreeMemory();
    const size_t before = mappedBytes();
    std::vector<Tree> trees;
    for (int i = 0; i < 24; ++i) {
        trees.push_back(loadText(text));
        ASSERT_NE(trees.back(), nullptr);
    }
    ASSERT_GT(mappedBytes(), before + 80 * kMiB);  // more than may be kept
    trees.clear();
    const size_t kept = mappedBytes();
    releaseCachedTreeMemory();
    const size_t released = kept - std::min(kept, mappedBytes());
    EXPECT_GT(released, 32 * kMiB);
    EXPECT_LE(released, 64 * kMiB);
    const size_t after = mappedBytes();
    releaseCachedTreeMemory();
    EXPECT_EQ(mappedBytes(), after);
}

TEST(Parser, OnlyRegularFilesAreRead)
{
    // A FIFO without writer would block a plain open forever; a directory
    // reads as an error. Both are refused at once.
    const std::string fifoXml = std::string(VORN_TEST_BINARY_DIR) + "/no_writer.xml";
    const std::string fifoGz = std::string(VORN_TEST_BINARY_DIR) + "/no_writer.gz";
    const std::string directory = std::string(VORN_TEST_BINARY_DIR) + "/directory.xml";
    for (const std::string &path : {fifoXml, fifoGz}) {
        ::unlink(path.c_str());
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    }
    ::mkdir(directory.c_str(), 0700);
    for (const std::string &path : {fifoXml, fifoGz, directory}) {
        LogCapture log;
        auto load = std::async(std::launch::async, [&path] { return loadFile(path); });
        if (load.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            // Release the blocked reader so the test can end.
            const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
            ADD_FAILURE() << path << " blocked the load";
        }
        EXPECT_EQ(load.get(), nullptr) << path;
        EXPECT_TRUE(log.contains("Error reading from file")) << log.dump();
        EXPECT_TRUE(log.contains(path + ": is not a regular file")) << log.dump();
        EXPECT_TRUE(log.contains("Parser returned NULL!")) << log.dump();
    }
    ::unlink(fifoXml.c_str());
    ::unlink(fifoGz.c_str());
    ::rmdir(directory.c_str());
}

TEST(Parser, MemoryBufferBeyondTwoGiBLoads)
{
    // 2 GiB and more of blanks inside the root element, without the memory:
    // one page-sized run of a memory file mapped again and again.
    constexpr size_t kPiece = size_t{1} << 20;
    constexpr size_t kRepeats = 2100;
    const int fd = memfd_create("document", 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 3 * kPiece), 0);
    auto *text = static_cast<char *>(mmap(nullptr, 3 * kPiece, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    ASSERT_NE(text, MAP_FAILED);
    std::memset(text, ' ', 3 * kPiece);
    const std::string head = "<graph_settings version='1'><a/>";
    const std::string tail = "</graph_settings>";
    std::memcpy(text, head.data(), head.size());
    std::memcpy(text + 3 * kPiece - tail.size(), tail.data(), tail.size());
    const size_t total = (kRepeats + 2) * kPiece;
    auto *document =
        static_cast<char *>(mmap(nullptr, total, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0));
    ASSERT_NE(document, MAP_FAILED);
    bool mapped = mmap(document, kPiece, PROT_READ, MAP_SHARED | MAP_FIXED, fd, 0) != MAP_FAILED;
    for (size_t i = 1; i <= kRepeats && mapped; ++i)
        mapped = mmap(document + i * kPiece, kPiece, PROT_READ, MAP_SHARED | MAP_FIXED, fd, kPiece) != MAP_FAILED;
    mapped = mapped && mmap(document + (kRepeats + 1) * kPiece, kPiece, PROT_READ, MAP_SHARED | MAP_FIXED, fd,
                            2 * kPiece) != MAP_FAILED;
    ASSERT_TRUE(mapped);

    LogCapture log;
    Tree tree = loadText(std::string_view(document, total));
    EXPECT_NE(tree, nullptr) << log.dump();
    EXPECT_NE(tree != nullptr ? tree->getDescendant(ItemUID::str2key("a")) : nullptr, nullptr);
    munmap(document, total);
    munmap(text, 3 * kPiece);
    close(fd);
}

namespace {

std::string writeGzip(const std::string &name, const std::string &content)
{
    const std::string path = std::string(VORN_TEST_BINARY_DIR) + "/" + name;
    gzFile file = gzopen(path.c_str(), "wb6");
    EXPECT_NE(file, nullptr) << path;
    if (file != nullptr) {
        EXPECT_EQ(gzwrite(file, content.data(), static_cast<unsigned>(content.size())),
                  static_cast<int>(content.size()));
        EXPECT_EQ(gzclose(file), Z_OK);
    }
    return path;
}

}  // namespace

TEST(Parser, OneLongTokenLoadsFromFilesAsFastAsFromMemory)
{
    // A 16 MB attribute value and a 16 MB comment: Expat keeps an unfinished
    // token and scans it again for every chunk it is given, which fed in
    // 4096-byte chunks costs minutes; from memory it is one scan.
    const std::string big(16 << 20, 'v');
    const std::string documents[] = {
        "<graph_settings version='1'><a description='" + big + "'/></graph_settings>",
        "<graph_settings version='1'><a/><!--" + big + "--></graph_settings>",
    };
    for (const std::string &text : documents) {
        double start = threadSeconds();
        Tree fromMemory = loadText(text);
        const double memory = threadSeconds() - start;
        ASSERT_NE(fromMemory, nullptr);
        const std::string plain = writeTemp("long_token.xml", text);
        const std::string gzip = writeGzip("long_token.gz", text);
        for (const std::string &path : {plain, gzip}) {
            start = threadSeconds();
            Tree fromFile = loadFile(path);
            const double file = threadSeconds() - start;
            ASSERT_NE(fromFile, nullptr) << path;
            EXPECT_LT(file, 5 * memory + 0.5) << path << ": " << file << " s, from memory " << memory << " s";
            EXPECT_EQ(str(fromFile->getDescendant(ItemUID::str2key("a")), key_description),
                      str(fromMemory->getDescendant(ItemUID::str2key("a")), key_description));
        }
        std::remove(plain.c_str());
        std::remove(gzip.c_str());
    }
}

TEST(Parser, NamesThatBecomeKeysAreBoundedAndAFailedLoadTakesItsKeysBack)
{
    const size_t tableBefore = vorn_key_map.size();
    const std::string longest(VornParser::kMaxNameBytes, 'n');
    const std::string tooLong = longest + "x";
    struct Case {
        const char *root;
        std::string fragment;  // on line 2
        const char *message;
    };
    const std::vector<Case> cases = {
        {"graph_settings", "<" + tooLong + "/>", "Element name \"nnnnnnnn"},
        {"graph_settings", "<a " + tooLong + "='1'/>", "Attribute name \"nnnnnnnn"},
        {"graph_descriptor", "<a name='" + tooLong + "'/>", "Value of \"name\" \"nnnnnnnn"},
        {"graph_settings", "<a NAME='" + tooLong + "'/>", "Value of \"name\" \"nnnnnnnn"},
        {"graph_settings", "<a attribute='" + tooLong + "'/>", "Value of \"attribute\" \"nnnnnnnn"},
    };
    for (const Case &c : cases) {
        LogCapture log;
        // Unknown names before the long one generate keys, which the failed
        // load takes back.
        const std::string root = c.root;
        EXPECT_EQ(loadText("<" + root + " version='1'><kernel name='fresh_kernel'/><fresh_element/>\n" + c.fragment +
                           "</" + root + ">"),
                  nullptr)
            << c.message;
        EXPECT_TRUE(log.contains(c.message)) << log.dump();
        EXPECT_TRUE(log.contains("...\" at line 2 is longer than 4096 bytes")) << log.dump();
        EXPECT_TRUE(log.has(VE_LOG_ERROR, kTag, "Parser returned NULL!")) << log.dump();
        EXPECT_EQ(vorn_key_map.size(), tableBefore) << c.message;
        EXPECT_EQ(ItemUID::str2key("fresh_kernel"), 0u);
        EXPECT_EQ(ItemUID::str2key("fresh_element"), 0u);
    }
    {
        LogCapture log;
        EXPECT_EQ(loadText("<graph_descriptor\n " + tooLong + "='1'><a/></graph_descriptor>"), nullptr);
        // The line of a start tag is the line it begins on.
        EXPECT_TRUE(log.contains("Attribute name \"nnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnnn...\" at line 1 is longer "
                                 "than 4096 bytes"))
            << log.dump();
    }

    // 4096 bytes are still a name; a load that succeeds keeps its keys, and
    // keys and names agree after keys were taken back.
    KeyMap saved;
    getVornKeys(saved);
    const KeyId next = ItemUID::generateKey("probe");
    copyVornKeys(saved);
    Tree failed =
        loadText("<graph_settings version='1'><lost_k1/><lost_k2/><lost_k3><oops></lost_k3></graph_settings>");
    EXPECT_EQ(failed, nullptr);
    Tree tree = loadText("<graph_descriptor version='1'><kernel name='" + longest + "'/><" + longest +
                         " attribute='k9'/></graph_descriptor>");
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(vorn_key_map.size(), tableBefore + 2);
    EXPECT_EQ(ItemUID::str2key(longest), next);
    EXPECT_EQ(ItemUID::key2str(next), longest);
    EXPECT_EQ(ItemUID::key2str(ItemUID::str2key("k9")), std::string("k9"));
    EXPECT_EQ(ItemUID::str2key("lost_k1"), 0u);
    copyVornKeys(saved);
}
