// Loads graph descriptor and graph settings documents (plain XML, gzip, or a
// memory buffer) into trees of GraphConfigNode.
//
// Every element becomes a node stored under the key of its lower-cased name
// (in a descriptor, under the key of its "name" attribute instead); every XML
// attribute becomes an attribute of that node. The returned tree belongs to
// the caller, who deletes its top node. A document that is not well formed,
// cannot be read completely, nests deeper than kMaxDepth or has a name
// longer than kMaxNameBytes yields no tree, and the keys its load generated
// are taken out of the key table again.
//
// Each element's children (attributes and child elements) are collected in
// one pass and given to its node, sorted, at its end tag; the items and
// arrays of the tree are kept in an arena owned by its top node.
#ifndef VORN_VORN_PARSER_H
#define VORN_VORN_PARSER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <memory>

#include <vorn/graph_config.h>
#include <vorn/vorn_api.h>

struct XML_ParserStruct;

namespace Vorn {

class VORN_API VornParser {
public:
    // Far above the nesting of any real camera configuration (about ten
    // levels). Merging a settings entry feeds every output port into its peer
    // with its whole subtree, which costs time in the square of the nesting:
    // the bound keeps that small.
    static constexpr uint32_t kMaxDepth = 256;
    // Longest element or attribute name, and longest "name" or "attribute"
    // value (texts that become keys), in bytes.
    static constexpr size_t kMaxNameBytes = 4096;
    static constexpr size_t kReadChunk = 4096;

    VornParser() = default;
    ~VornParser();
    VornParser(const VornParser &) = delete;
    VornParser &operator=(const VornParser &) = delete;

    // fileName ends in ".xml" (plain) or ".gz" (gzip). *out receives the tree
    // or null; it stays untouched only when the parser itself cannot be set up.
    // Every reason for handing out no tree is logged at error level under
    // "VORN_PARSER[XOS]" (with line and column for a syntax error); a root
    // element without a "version" gives a warning.
    void parseVornXmlFile(const std::string &fileName, IGraphConfig **out);
    void parseVornXmlData(const char *data, size_t size, IGraphConfig **out);

    // Key of the root element ("graph_descriptor" or "graph_settings") of the
    // last document, 1 when it had neither; and its "version" text.
    uint32_t documentKind() const { return mDocumentKind; }
    const std::string &version() const { return mVersion; }

    static void startElement(void *userData, const char *name, const char **attributes);
    static void endElement(void *userData, const char *name);

    status_t parseXML(XML_ParserStruct *parser, const std::string &fileName, char *buffer);
    status_t parseGz(XML_ParserStruct *parser, const std::string &fileName, char *buffer);

private:
    struct Load;
    struct LoadRelease {
        void operator()(Load *load) const noexcept;
    };

    void beginLoad(size_t documentBytes);
    void handleStart(const char *name, const char **attributes);
    void handleEnd();
    bool addAttributes(KeyId &key, const char **attributes);
    // Feeds one chunk; false after an error, which has been logged.
    bool feed(XML_ParserStruct *parser, const char *data, size_t size, bool final, const char *function, int line);
    void fail(const char *reason);
    void finishLoad(IGraphConfig **out);
    void discardTree();

    uint32_t mDocumentKind = 1;
    std::string mVersion;

    XML_ParserStruct *mParser = nullptr;
    uint32_t mDepth = 0;
    bool mFailed = false;
    // The tree under construction and what builds it; kept between loads
    // for its buffers.
    std::unique_ptr<Load, LoadRelease> mLoad;
};

}  // namespace Vorn

#endif
