#include "source_lines.h"

#include <expat.h>
#include <zlib.h>

#include <cctype>
#include <cstring>
#include <vector>

namespace cli {
namespace {

struct Walk {
    XML_Parser parser = nullptr;
    std::unordered_map<std::string, SourcePosition> *positions = nullptr;
    std::vector<size_t> lengths;  // length of the path before each open element
    std::string path;
};

const char *attribute(const char **attributes, const char *name)
{
    for (size_t i = 0; attributes[i] != nullptr; i += 2)
        if (std::strcmp(attributes[i], name) == 0)
            return attributes[i + 1];
    return nullptr;
}

void XMLCALL startElement(void *data, const char *name, const char **attributes)
{
    Walk &walk = *static_cast<Walk *>(data);
    walk.lengths.push_back(walk.path.size());
    const SourcePosition position{static_cast<uint32_t>(XML_GetCurrentLineNumber(walk.parser)),
                                  static_cast<uint32_t>(XML_GetCurrentColumnNumber(walk.parser)) + 1};
    if (walk.lengths.size() == 1) {
        walk.positions->emplace("", position);  // the root: paths start below it
        return;
    }
    std::string segment;
    if (const char *named = attribute(attributes, "name")) {
        segment = named;
    } else {
        for (const char *c = name; *c != '\0'; ++c)
            segment += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
        const char *key = attribute(attributes, "key");
        if (walk.lengths.size() == 2 && segment == "settings" && key != nullptr)
            segment += std::string("#") + key;
    }
    if (!walk.path.empty())
        walk.path += '/';
    walk.path += segment;
    walk.positions->emplace(walk.path, position);
}

void XMLCALL endElement(void *data, const char *)
{
    Walk &walk = *static_cast<Walk *>(data);
    walk.path.resize(walk.lengths.back());
    walk.lengths.pop_back();
}

}  // namespace

void SourceLines::read()
{
    mRead = true;
    gzFile in = gzopen(mFile.c_str(), "rb");  // reads plain files as they are
    if (in == nullptr)
        return;
    Walk walk;
    walk.parser = XML_ParserCreate(nullptr);
    walk.positions = &mPositions;
    if (walk.parser == nullptr) {
        gzclose(in);
        return;
    }
    XML_SetUserData(walk.parser, &walk);
    XML_SetElementHandler(walk.parser, startElement, endElement);
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const int got = gzread(in, buffer.data(), static_cast<unsigned>(buffer.size()));
        const bool last = got <= 0;
        if (XML_Parse(walk.parser, buffer.data(), last ? 0 : got, last) != XML_STATUS_OK || last)
            break;
    }
    XML_ParserFree(walk.parser);
    gzclose(in);
}

SourcePosition SourceLines::find(const std::string &path)
{
    if (!mRead)
        read();
    return findFirst({path});
}

bool SourceLines::contains(const std::string &path)
{
    if (!mRead)
        read();
    return mPositions.count(path) != 0;
}

SourcePosition SourceLines::findFirst(std::initializer_list<std::string> paths)
{
    if (!mRead)
        read();
    for (const std::string &path : paths) {
        const auto found = mPositions.find(path);
        if (found != mPositions.end())
            return found->second;
    }
    const auto root = mPositions.find("");
    return root != mPositions.end() ? root->second : SourcePosition{};
}

}  // namespace cli
