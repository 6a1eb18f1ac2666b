// The graph XML loader.
#include <vorn/vorn_parser.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include <expat.h>
#include <zlib.h>

#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"

namespace Vorn {

namespace {

constexpr const char *kTag = kParserTag;
constexpr const char *kSourceFile = "ve_camera/vorn/VornParser";
// Expat takes chunk lengths as int: larger memory buffers go in pieces.
constexpr size_t kMaxFeed = size_t{1} << 30;

void lowerInto(const char *text, std::string &out)
{
    out.assign(text);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
}

// Base-10 long conversion truncated to 32 bits: leading blanks and a sign
// accepted, conversion stops at the first non-digit, no digits give 0.
int32_t integerValue(const char *text)
{
    errno = 0;
    long value = std::strtol(text, nullptr, 10);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long>(value)));
}

}  // namespace

VornParser::~VornParser() { discardTree(); }

// Names repeat all through a document, so each load remembers the keys it
// looked up. During a load only the loader itself changes the key table (by
// generating keys), and it records those too, so the memo stays exact.
KeyId VornParser::lookupKey(const std::string &name)
{
    auto known = mKeyMemo.find(name);
    if (known != mKeyMemo.end())
        return known->second;
    const KeyId key = ItemUID::str2key(name);
    mKeyMemo.emplace(name, key);
    return key;
}

KeyId VornParser::generateKey(const std::string &name)
{
    const KeyId key = ItemUID::generateKey(name);
    mKeyMemo[name] = ItemUID::str2key(name);
    return key;
}

KeyId VornParser::lookupOrGenerateKey(const std::string &name)
{
    const KeyId key = lookupKey(name);
    return key != 0 ? key : generateKey(name);
}

void VornParser::discardTree()
{
    if (mCurrent != nullptr)
        delete mCurrent->getRootNode();
    mCurrent = nullptr;
}

void VornParser::beginLoad()
{
    discardTree();
    mDocumentKind = 1;
    mVersion.clear();
    mDepth = 0;
    mFailed = false;
    mKeyMemo.clear();
}

void VornParser::fail(const char *reason)
{
    if (!mFailed && reason != nullptr)
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", reason);
    mFailed = true;
    if (mParser != nullptr)
        XML_StopParser(mParser, XML_FALSE);
}

void VornParser::startElement(void *userData, const char *name, const char **attributes)
{
    auto *self = static_cast<VornParser *>(userData);
    if (self->mFailed)
        return;
    try {
        self->handleStart(name, attributes);
    } catch (const std::bad_alloc &) {
        self->fail("Out of memory while building the graph tree");
    } catch (...) {
        self->fail("Unexpected failure while building the graph tree");
    }
}

void VornParser::endElement(void *userData, const char *)
{
    auto *self = static_cast<VornParser *>(userData);
    if (!self->mFailed)
        self->handleEnd();
}

bool VornParser::addAttributes(GraphConfigNode &node, const std::string &elementName, KeyId &key,
                               const char **attributes)
{
    const bool descriptor = mDocumentKind == key_graph_descriptor;
    std::string &attributeName = mAttributeName;
    for (const char **attr = attributes; attr != nullptr && attr[0] != nullptr; attr += 2) {
        const char *value = attr[1] != nullptr ? attr[1] : "";
        lowerInto(attr[0], attributeName);
        const KeyId attributeKey = lookupKey(attributeName);
        status_t status;
        if (attributeKey == key_name && descriptor) {
            if (key != key_node && node.addValue(key_type, elementName) != err_none) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Error adding name attribute");
                return false;
            }
            key = lookupOrGenerateKey(value);
            status = node.addValue(key_name, std::string(value));
        } else if (attributeKey == key_name) {
            status = node.addValue(key_name, std::string(value));
        } else if (ItemUID::isInteger(attributeKey)) {
            status = node.addValue(attributeKey, integerValue(value));
        } else if (attributeKey == key_attribute) {
            status = node.addValue(attributeKey, static_cast<int32_t>(lookupOrGenerateKey(value)));
        } else {
            status = node.addValue(attributeKey, std::string(value));
        }
        // A key already present keeps its first attribute; the rest are dropped.
        if (status != err_none && status != err_exists) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error while adding attribute");
            return false;
        }
    }
    return true;
}

void VornParser::handleStart(const char *name, const char **attributes)
{
    if (++mDepth > kMaxDepth) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Element <%s> at line %lu nests deeper than %u levels", name,
                            static_cast<unsigned long>(XML_GetCurrentLineNumber(mParser)), kMaxDepth);
        fail(nullptr);
        return;
    }

    std::string &elementName = mElementName;
    lowerInto(name, elementName);
    KeyId key = lookupKey(elementName);
    if (key == key_graph_descriptor || key == key_graph_settings) {
        mDocumentKind = key;
        std::string &attributeName = mAttributeName;
        for (const char **attr = attributes; attr != nullptr && attr[0] != nullptr; attr += 2) {
            lowerInto(attr[0], attributeName);
            if (attributeName == "version")
                mVersion = attr[1] != nullptr ? attr[1] : "";
        }
        return;
    }
    if (key == 0)
        key = generateKey(elementName);

    auto *node = new GraphConfigNode();
    if (!addAttributes(*node, elementName, key, attributes)) {
        delete node;
        fail(nullptr);
        return;
    }

    if (mCurrent == nullptr) {
        auto *document = new GraphConfigNode();
        if (!mVersion.empty()) {
            if (document->addValue(key_version, mVersion) != err_none) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Error adding version attribute");
                delete document;
                delete node;
                fail(nullptr);
                return;
            }
        } else if (mDocumentKind == key_graph_descriptor || mDocumentKind == key_graph_settings) {
            ve_log_common_debug(VE_LOG_WARNING, kTag, "No version information found.");
        }
        mCurrent = document;
    }
    if (mCurrent->insertDescendant(node, key) != err_none) {
        delete node;
        fail("Out of memory while building the graph tree");
        return;
    }
    mCurrent = node;
}

void VornParser::handleEnd()
{
    if (mDepth > 0)
        --mDepth;
    // Also for the end tag of a root element, which created no node.
    if (mCurrent != nullptr && mCurrent->getAncestorNode() != nullptr)
        mCurrent = mCurrent->getAncestorNode();
}

bool VornParser::feed(XML_Parser parser, const char *data, size_t size, bool final, const char *function, int line)
{
    do {
        const size_t piece = size < kMaxFeed ? size : kMaxFeed;
        const bool last = final && piece == size;
        if (XML_Parse(parser, data, static_cast<int>(piece), last ? XML_TRUE : XML_FALSE) != XML_STATUS_OK) {
            if (!mFailed) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "@%s, line:%d, XML_Parse error %s (line %lu, column %lu)",
                                    function, line, XML_ErrorString(XML_GetErrorCode(parser)),
                                    static_cast<unsigned long>(XML_GetCurrentLineNumber(parser)),
                                    static_cast<unsigned long>(XML_GetCurrentColumnNumber(parser)));
                mFailed = true;
            }
            return false;
        }
        data += piece;
        size -= piece;
    } while (size > 0);
    return true;
}

status_t VornParser::parseXML(XML_Parser parser, const std::string &fileName, char *buffer)
{
    FILE *file = ve_cipr_fopen(fileName.c_str(), "r");
    if (file == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to open XML %s", fileName.c_str());
        return err_argument;
    }
    status_t status = err_none;
    for (;;) {
        const size_t got = ve_cipr_fread(buffer, 1, kReadChunk, file);
        if (got == 0) {
            if (ve_cipr_ferror(file)) {
                ve_cipr_clearerr(file);
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Error reading from file");
                ve_log_common_debug(VE_LOG_ERROR, kTag, "%s: %s", fileName.c_str(), std::strerror(errno));
                mFailed = true;
                status = err_data;
            } else if (!feed(parser, buffer, 0, true, "parseXML", __LINE__)) {
                status = err_data;
            }
            break;
        }
        const bool final = got < kReadChunk;
        if (!feed(parser, buffer, got, final, "parseXML", __LINE__)) {
            status = err_data;
            break;
        }
        if (final)
            break;
    }
    ve_cipr_fclose(file);
    return status;
}

status_t VornParser::parseGz(XML_Parser parser, const std::string &fileName, char *buffer)
{
    gzFile file = gzopen(fileName.c_str(), "rb");
    if (file == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to open GZ %s", fileName.c_str());
        return err_argument;
    }
    status_t status = err_none;
    bool checkedFormat = false;
    for (;;) {
        const int got = gzread(file, buffer, static_cast<unsigned>(kReadChunk));
        if (got < 0) {
            int code = Z_OK;
            const char *reason = gzerror(file, &code);
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error reading from file");
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s: %s", fileName.c_str(), reason != nullptr ? reason : "");
            mFailed = true;
            status = err_data;
            break;
        }
        if (!checkedFormat && got > 0) {
            checkedFormat = true;
            // zlib reads a file without gzip header as it is; a ".gz" name
            // promises compressed data.
            if (gzdirect(file)) {
                ve_log_common_debug(VE_LOG_ERROR, kTag, "File %s is not in gzip format", fileName.c_str());
                mFailed = true;
                status = err_data;
                break;
            }
        }
        if (got == 0) {
            if (!feed(parser, buffer, 0, true, "parseGz", __LINE__))
                status = err_data;
            break;
        }
        const bool final = static_cast<size_t>(got) < kReadChunk;
        if (!feed(parser, buffer, static_cast<size_t>(got), final, "parseGz", __LINE__)) {
            status = err_data;
            break;
        }
        if (final)
            break;
    }
    // A stream cut short shows up at the latest when the file is closed.
    const int closed = gzclose(file);
    if (status == err_none && closed != Z_OK) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error reading from file");
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s: %s", fileName.c_str(),
                            closed == Z_BUF_ERROR ? "unexpected end of file" : "read error");
        mFailed = true;
        status = err_data;
    }
    return status;
}

void VornParser::finishLoad(IGraphConfig **out)
{
    if (mFailed) {
        discardTree();
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Parser returned NULL!");
        *out = nullptr;
    } else if (mCurrent == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Parser returned NULL!");
        *out = nullptr;
    } else {
        *out = mCurrent->getRootNode();
        mCurrent = nullptr;
    }
    mParser = nullptr;
}

void VornParser::parseVornXmlFile(const std::string &fileName, IGraphConfig **out)
{
    if (out == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "NULL pointer given!");
        return;
    }
    beginLoad();

    const size_t dot = fileName.rfind('.');
    const std::string fileType = dot == std::string::npos ? fileName : fileName.substr(dot + 1);

    XML_Parser parser = XML_ParserCreate(nullptr);
    if (parser == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "@%s, line:%d, parser is NULL", "parseVornXmlFile", __LINE__);
        return;
    }
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, startElement, endElement);
    mParser = parser;

    auto *buffer = static_cast<char *>(ve_cipr_malloc(kReadChunk, "parseVornXmlFile", kSourceFile, __LINE__));
    if (buffer == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "@%s, line:%d, pBuf is NULL", "parseVornXmlFile", __LINE__);
        mParser = nullptr;
        XML_ParserFree(parser);
        return;
    }

    if (fileType == "xml") {
        parseXML(parser, fileName, buffer);
    } else if (fileType == "gz") {
        parseGz(parser, fileName, buffer);
    } else {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "file type (%s) not suppoted.", fileType.c_str());
    }
    finishLoad(out);
    XML_ParserFree(parser);
    ve_cipr_free(buffer, "parseVornXmlFile");
}

void VornParser::parseVornXmlData(const char *data, size_t size, IGraphConfig **out)
{
    if (out == nullptr || (data == nullptr && size != 0)) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "NULL pointer given!");
        return;
    }
    beginLoad();

    XML_Parser parser = XML_ParserCreate(nullptr);
    if (parser == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "@%s, line:%d, parser is NULL", "parseVornXmlData", __LINE__);
        return;
    }
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, startElement, endElement);
    mParser = parser;
    feed(parser, data != nullptr ? data : "", size, true, "parseVornXmlData", __LINE__);
    finishLoad(out);
    XML_ParserFree(parser);
}

}  // namespace Vorn
