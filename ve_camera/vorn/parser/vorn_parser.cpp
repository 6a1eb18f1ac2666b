// The graph XML loader.
#include <vorn/vorn_parser.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <expat.h>
#include <zlib.h>

#include <ve_cipr/ve_cipr.h>
#include <ve_cipr/ve_log_common.h>

#include "log_tags.h"
#include "model/block_cache.h"
#include "model/generated_keys.h"
#include "model/tree_arena.h"

namespace Vorn {

namespace {

constexpr const char *kTag = kParserTag;
constexpr const char *kSourceFile = "ve_camera/vorn/VornParser";
constexpr const char *kOutOfMemory = "Out of memory while building the graph tree";
// Expat takes chunk lengths as int, and doubles its buffer while a piece
// is pending: larger memory buffers go in pieces of 256 MiB, whose doubled
// buffer still fits its int arithmetic.
constexpr size_t kMaxFeed = size_t{1} << 28;

using detail::kArenaItem;
using detail::TreeBuilder;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsLowered(const char *text, const char *lowerText)
{
    for (; *text != '\0' && *lowerText != '\0'; ++text, ++lowerText)
        if (lower(*text) != *lowerText)
            return false;
    return *text == *lowerText;
}

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Base-10 long conversion truncated to 32 bits, as strtol in the C locale:
// leading blanks and a sign accepted, conversion stops at the first
// non-digit, no digits give 0, and a number beyond long saturates. fits
// tells whether the number was within 32 bits before truncation.
int32_t integerValue(const char *text, bool &fits)
{
    const char *p = text;
    while (isBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    const unsigned long long limit = static_cast<unsigned long long>(LONG_MAX) + (negative ? 1 : 0);
    // Below this, one more digit cannot pass the limit.
    constexpr unsigned long long kRoomForADigit = static_cast<unsigned long long>(LONG_MAX) / 10 - 1;
    unsigned long long magnitude = 0;
    bool saturated = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (magnitude < kRoomForADigit)
            magnitude = magnitude * 10 + digit;
        else if (saturated || magnitude > (limit - digit) / 10)
            saturated = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (saturated)
        magnitude = limit;
    fits = magnitude <= (negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1);
    const unsigned long bits =
        negative ? 0UL - static_cast<unsigned long>(magnitude) : static_cast<unsigned long>(magnitude);
    return static_cast<int32_t>(static_cast<uint32_t>(bits));
}

// Whether text, a name or a value that becomes a key, is short enough;
// logs the refusal otherwise. what says what the text is.
bool fitsNameLimit(const char *what, std::string_view text, XML_Parser parser)
{
    if (text.size() <= VornParser::kMaxNameBytes)
        return true;
    ve_log_common_debug(VE_LOG_ERROR, kTag, "%s \"%.40s...\" at line %lu is longer than %zu bytes", what, text.data(),
                        static_cast<unsigned long>(XML_GetCurrentLineNumber(parser)), VornParser::kMaxNameBytes);
    return false;
}

// Expat parser, read buffer, file and gzip handles, each released once.
struct ParserFree {
    void operator()(XML_ParserStruct *parser) const noexcept { XML_ParserFree(parser); }
};
using ExpatParser = std::unique_ptr<XML_ParserStruct, ParserFree>;

struct BufferFree {
    void operator()(char *buffer) const noexcept { ve_cipr_free(buffer, "parseVornXmlFile"); }
};
using ReadBuffer = std::unique_ptr<char, BufferFree>;

struct FileClose {
    void operator()(FILE *file) const noexcept { ve_cipr_fclose(file); }
};
using PlainFile = std::unique_ptr<FILE, FileClose>;

struct GzClose {
    void operator()(gzFile_s *file) const noexcept { gzclose(file); }
};
using GzFile = std::unique_ptr<gzFile_s, GzClose>;

// Opens a configuration document for reading: regular files only, and
// without blocking on a FIFO that has no writer. -1 when it cannot be
// opened; -2 (after the message) when it is not a regular file.
int openRegularFile(const std::string &fileName)
{
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Error reading from file");
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s: is not a regular file", fileName.c_str());
        return -2;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        ::close(fd);
        return -1;
    }
    return fd;
}

ExpatParser createParser(void *loader)
{
    ExpatParser parser(XML_ParserCreate(nullptr));
    if (parser) {
        XML_SetUserData(parser.get(), loader);
        XML_SetElementHandler(parser.get(), VornParser::startElement, VornParser::endElement);
    }
    return parser;
}

// Size of the file, 0 when unknown.
size_t fileBytes(const std::string &fileName)
{
    struct stat info {};
    return ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0
               ? static_cast<size_t>(info.st_size)
               : 0;
}

// Size a gzip file gives its content in its last four bytes (modulo 4 GiB;
// one member assumed), at least the file's own size.
size_t gzipContentBytes(const std::string &fileName, size_t fileSize)
{
    if (fileSize < 18)  // not a regular file, or too short for a gzip member
        return fileSize;
    PlainFile file(ve_cipr_fopen(fileName.c_str(), "rb"));
    unsigned char trailer[4] = {};
    if (!file || std::fseek(file.get(), -4, SEEK_END) != 0 ||
        ve_cipr_fread(trailer, 1, sizeof trailer, file.get()) != sizeof trailer)
        return fileSize;
    const size_t content =
        size_t{trailer[0]} | size_t{trailer[1]} << 8 | size_t{trailer[2]} << 16 | size_t{trailer[3]} << 24;
    return std::max(content, fileSize);
}

// Arena blocks for a document of about documentBytes: a tree takes about
// three and a half times its document, so blocks of an eighth keep the
// unused end of the last block small. From a document of 768 KiB on they
// are whole large pages: the pages of such a tree are mostly fresh from the
// system, and a large page takes one fault where small pages take hundreds.
// The arena maps a block's pages only as the tree reaches them, so where
// large pages are not to be had, the unused end of the last block costs
// address space, not memory.
size_t firstBlockBytes(size_t documentBytes)
{
    using detail::kLargePage;
    constexpr size_t kLargePagesFrom = 768 * 1024;
    const size_t block = documentBytes / 8;
    return documentBytes < kLargePagesFrom ? block : (block + kLargePage - 1) / kLargePage * kLargePage;
}

// Texts kept for the whole load, in chunks.
class TextPool {
public:
    std::string_view keep(std::string_view text)
    {
        if (text.size() > mFree) {
            const size_t size = std::max(kChunk, text.size());
            std::unique_ptr<char[]> chunk(new char[size]);
            mChunks.push_back(std::move(chunk));
            mNext = mChunks.back().get();
            mFree = size;
        }
        std::memcpy(mNext, text.data(), text.size());
        const std::string_view kept(mNext, text.size());
        mNext += text.size();
        mFree -= text.size();
        return kept;
    }
    void clear()
    {
        if (mChunks.size() > 1)
            mChunks.erase(mChunks.begin() + 1, mChunks.end());
        mNext = mChunks.empty() ? nullptr : mChunks.front().get();
        mFree = mChunks.empty() ? 0 : kChunk;
    }

private:
    static constexpr size_t kChunk = 4096;
    std::vector<std::unique_ptr<char[]>> mChunks;
    char *mNext = nullptr;
    size_t mFree = 0;
};

// Names as Expat hands them over, each looked up once per load. Expat
// hands an attribute name over from the same place every time, and the
// element names of one nesting depth from one place, so the names last found
// at each place are checked first: a byte comparison instead of hashing and
// a table lookup. They are kept in small sets chosen by the place, the
// length and the bytes at both ends, so that the names of one depth that
// alternate (siblings, attributes of the same length) do not push each
// other out.
class NameMemo {
public:
    struct Entry {
        KeyId key;
        std::string_view lowered;  // the name lower-cased
    };
    // The entry of name when it is one of those last found at its place.
    const Entry *recall(std::string_view name) const
    {
        const Recent *set = mRecent[setOf(name)];
        for (unsigned way = 0; way < kWays; ++way)
            if (set[way].raw == name.data() && set[way].found->first == name)
                return &set[way].found->second;
        return nullptr;
    }
    // The entry of name from the table; null when it has none.
    const Entry *find(std::string_view name)
    {
        auto found = mEntries.find(name);
        if (found == mEntries.end())
            return nullptr;
        noteRecent(name, &*found);
        return &found->second;
    }
    Entry &remember(std::string_view name, KeyId key, std::string_view lowered)
    {
        auto found = mEntries.find(name);
        if (found != mEntries.end())
            found->second = Entry{key, lowered};
        else
            found = mEntries.emplace(mTexts.keep(name), Entry{key, lowered}).first;
        noteRecent(name, &*found);
        return found->second;
    }
    std::string_view keep(std::string_view text) { return mTexts.keep(text); }
    void clear()
    {
        mEntries.clear();
        mTexts.clear();
        for (Recent(&set)[kWays] : mRecent)
            std::fill(std::begin(set), std::end(set), Recent{});
    }

private:
    using Entries = std::unordered_map<std::string_view, Entry>;
    struct Recent {
        const char *raw = nullptr;                   // where Expat handed the name over; null: empty
        const Entries::value_type *found = nullptr;  // entries keep their place in the table
    };
    static constexpr unsigned kSetBits = 8;
    static constexpr size_t kSets = size_t{1} << kSetBits;
    static constexpr unsigned kWays = 4;  // a set fills one cache line

    static size_t setOf(std::string_view name)
    {
        const uint64_t mixed = reinterpret_cast<uintptr_t>(name.data()) ^ uint64_t { name.size() } << 48 ^
                               (edges(name) * 0xC2B2AE3D27D4EB4Full);
        return static_cast<size_t>((mixed * 0x9E3779B97F4A7C15ull) >> (64 - kSetBits));
    }
    // Up to the first and the last eight bytes of name, folded: all of a
    // name of up to 16 bytes. Sibling names mostly differ near an end.
    static uint64_t edges(std::string_view name)
    {
        const char *text = name.data();
        const size_t size = name.size();
        if (size >= 8) {
            uint64_t head;
            uint64_t tail;
            std::memcpy(&head, text, 8);
            std::memcpy(&tail, text + size - 8, 8);
            return head ^ (tail << 7 | tail >> 57);
        }
        if (size >= 4) {
            uint32_t head;
            uint32_t tail;
            std::memcpy(&head, text, 4);
            std::memcpy(&tail, text + size - 4, 4);
            return uint64_t{head} << 32 | tail;
        }
        if (size == 0)
            return 0;
        const auto byte = [text](size_t at) { return uint64_t{static_cast<unsigned char>(text[at])}; };
        return byte(0) << 16 | byte(size / 2) << 8 | byte(size - 1);
    }
    // The newest name of a set comes first; the oldest leaves.
    void noteRecent(std::string_view name, const Entries::value_type *found)
    {
        Recent *set = mRecent[setOf(name)];
        unsigned way = 0;
        while (way + 1 < kWays && !(set[way].raw == name.data() && set[way].found == found))
            ++way;
        for (; way > 0; --way)
            set[way] = set[way - 1];
        set[0] = Recent{name.data(), found};
    }

    Entries mEntries;
    TextPool mTexts;
    alignas(64) Recent mRecent[kSets][kWays];
};

// Input held back from Expat while it waits for the end of a long token.
// Expat keeps the bytes of an unfinished token (a start tag, a comment, ...)
// and scans them again from the token's start whenever it is given more
// input, so a token of n bytes fed in chunks of 4096 would cost n * n / 8192
// steps. Input is therefore held back until it is at least as long as what
// Expat keeps: every rescan then covers at least twice the bytes of the
// one before, and the rescans of a token add up to a few times its length.
class InputHold {
public:
    // Whether a chunk of size bytes should wait rather than go to Expat now.
    bool waits(size_t size, bool final) const { return !final && mBytes.size() + size < mUntil; }
    bool empty() const { return mBytes.empty(); }
    const char *data() const { return mBytes.data(); }
    size_t size() const { return mBytes.size(); }

    // False when there is no memory to hold the chunk.
    bool keep(const char *data, size_t size) noexcept
    {
        try {
            mBytes.insert(mBytes.end(), data, data + size);
            return true;
        } catch (const std::bad_alloc &) {
            return false;
        }
    }

    // After Expat took size more bytes (the held ones among them): how far
    // it got tells how much of the input it keeps for an unfinished token.
    void fed(XML_Parser parser, size_t size)
    {
        mBytes.clear();
        mFed += size;
        const XML_Index done = XML_GetCurrentByteIndex(parser);
        const uint64_t kept = done >= 0 && static_cast<uint64_t>(done) <= mFed ? mFed - static_cast<uint64_t>(done) : 0;
        mUntil = kept < kMaxFeed ? static_cast<size_t>(kept) : kMaxFeed;
    }

    // Ready for a new document; a large hold is given back.
    void reset()
    {
        if (mBytes.capacity() > kKeptCapacity)
            std::vector<char>().swap(mBytes);
        mBytes.clear();
        mFed = 0;
        mUntil = 0;
    }

private:
    static constexpr size_t kKeptCapacity = size_t{1} << 20;
    std::vector<char> mBytes;
    uint64_t mFed = 0;  // bytes given to Expat so far
    size_t mUntil = 0;  // input held back until there is this much
};

// The keys the element being started has already, for the duplicate check
// of its attributes: a small open-addressing set of key and element stamp.
// Entries of earlier elements (another stamp) count as free, so starting an
// element clears nothing, and the set's size follows the largest element,
// not the largest key.
class ElementKeys {
public:
    void startElement()
    {
        mCount = 0;
        if (++mStamp == 0) {
            std::fill(mSlots.begin(), mSlots.end(), 0);
            mStamp = 1;
        }
    }

    // Whether the element has key already; adds it otherwise. Throws
    // std::bad_alloc when the set cannot grow.
    bool taken(KeyId key)
    {
        if ((mCount + 1) * 2 > mSlots.size())
            grow();
        const size_t at = find(key);
        if (stampOf(mSlots[at]) == mStamp)
            return true;
        mSlots[at] = uint64_t{mStamp} << 32 | key;
        ++mCount;
        return false;
    }

private:
    static uint32_t stampOf(uint64_t slot) { return static_cast<uint32_t>(slot >> 32); }

    // The slot holding key for this element, or the free slot where it goes.
    size_t find(KeyId key) const
    {
        const size_t mask = mSlots.size() - 1;
        size_t at = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - mBits));
        while (stampOf(mSlots[at]) == mStamp && static_cast<KeyId>(mSlots[at]) != key)
            at = (at + 1) & mask;
        return at;
    }

    void grow()
    {
        const unsigned bits = mSlots.empty() ? 6 : mBits + 1;
        std::vector<uint64_t> old(size_t{1} << bits, 0);
        old.swap(mSlots);
        mBits = bits;
        for (uint64_t slot : old)
            if (stampOf(slot) == mStamp)
                mSlots[find(static_cast<KeyId>(slot))] = slot;
    }

    std::vector<uint64_t> mSlots;  // stamp << 32 | key; stamp 0: never used
    unsigned mBits = 0;            // mSlots.size() == 1 << mBits
    size_t mCount = 0;             // keys of the element being started
    uint32_t mStamp = 0;
};

}  // namespace

// The state of one load: the tree's arena and top node, the children
// collected for every open element (one stack: an element's children are
// the entries from its frame's start on), the key memos and the duplicate
// check of attributes.
struct VornParser::Load {
    struct Frame {
        GraphConfigNode *node;
        size_t start;
    };

    detail::ArenaPtr arena;
    UniqueNode document;
    std::vector<Child> children;
    std::vector<Frame> frames;
    InputHold hold;
    NameMemo names;                       // element and attribute names: key of the lower-cased name
    detail::GeneratedKeys generatedKeys;  // taken back when the load fails
    std::string lowered;
    std::string value;
    std::string_view elementType;  // lower-cased name of the element being started
    ElementKeys elementKeys;       // the duplicate check of the element being started

    void reset(size_t documentBytes)
    {
        arena = detail::makeArena(firstBlockBytes(documentBytes));
        document.reset();
        children.clear();
        frames.clear();
        names.clear();
        hold.reset();
    }

    // Key of an element or attribute name; 0 when the table has none.
    const NameMemo::Entry &nameKey(std::string_view raw)
    {
        if (const NameMemo::Entry *recent = names.recall(raw))
            return *recent;
        return lookUpName(raw);
    }

    // nameKey for a name not found at its place last time.
    __attribute__((noinline)) const NameMemo::Entry &lookUpName(std::string_view raw)
    {
        if (const NameMemo::Entry *known = names.find(raw))
            return *known;
        lowered.assign(raw);
        for (char &c : lowered)
            c = lower(c);
        const KeyId key = ItemUID::str2key(lowered);
        return names.remember(raw, key, names.keep(lowered));
    }

    // Key of an unknown element name, generated; the memo learns what the
    // table answers from now on.
    KeyId generateNameKey(std::string_view name, const NameMemo::Entry &entry)
    {
        const std::string lowerName(entry.lowered);
        const KeyId key = generatedKeys.generate(lowerName);
        names.remember(name, ItemUID::str2key(lowerName), entry.lowered);
        return key;
    }

    // Key of a "name" or "attribute" value, generated when unknown. Such
    // values are mostly unique, so they are not memoised.
    KeyId valueKey(std::string_view text)
    {
        value.assign(text);
        const KeyId key = ItemUID::str2key(value);
        return key != 0 ? key : generatedKeys.generate(value);
    }

    bool add(KeyId key, GraphConfigItem *item, uint32_t flags = kArenaItem)
    {
        if (item == nullptr)
            return false;
        children.push_back(Child{key, flags, item});
        return true;
    }

    // Gives the innermost open element its children and closes it. The
    // node's array in the arena is the sort's scratch room before it
    // receives the sorted children.
    bool publishInnermost()
    {
        const Frame frame = frames.back();
        const size_t count = children.size() - frame.start;
        if (count != 0) {
            Child *room = TreeBuilder::childRoom(*arena, count);
            if (room == nullptr)
                return false;
            Child *first = children.data() + frame.start;
            if (!detail::childrenSorted(first, first + count))
                detail::sortChildren(first, first + count, room);
            std::memcpy(static_cast<void *>(room), first, count * sizeof(Child));
            TreeBuilder::giveChildren(*frame.node, room, count);
        }
        children.resize(frame.start);
        frames.pop_back();
        return true;
    }
};

void VornParser::LoadRelease::operator()(Load *load) const noexcept { delete load; }

VornParser::~VornParser() = default;

void VornParser::discardTree()
{
    if (mLoad) {
        mLoad->children.clear();
        mLoad->frames.clear();
        mLoad->document.reset();  // holds nothing but what the arena holds
        mLoad->arena.reset();
    }
}

void VornParser::beginLoad(size_t documentBytes)
{
    mDocumentKind = 1;
    mVersion.clear();
    mDepth = 0;
    mFailed = false;
    if (!mLoad)
        mLoad.reset(new (std::nothrow) Load);
    if (mLoad)
        mLoad->reset(documentBytes);
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
        self->fail(kOutOfMemory);
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

bool VornParser::addAttributes(KeyId &key, const char **attributes)
{
    Load &load = *mLoad;
    detail::TreeArena &arena = *load.arena;
    const bool descriptor = mDocumentKind == key_graph_descriptor;
    load.elementKeys.startElement();
    for (const char **attr = attributes; attr != nullptr && attr[0] != nullptr; attr += 2) {
        const char *value = attr[1] != nullptr ? attr[1] : "";
        const std::string_view attributeName(attr[0]);
        if (!fitsNameLimit("Attribute name", attributeName, mParser))
            return false;
        const KeyId attributeKey = load.nameKey(attributeName).key;
        if ((attributeKey == key_name && !fitsNameLimit("Value of \"name\"", value, mParser)) ||
            (attributeKey == key_attribute && !fitsNameLimit("Value of \"attribute\"", value, mParser)))
            return false;
        bool stored = true;
        if (attributeKey == key_name && descriptor) {
            if (key != key_node) {
                if (load.elementKeys.taken(key_type)) {
                    ve_log_common_debug(VE_LOG_ERROR, kTag, "Error adding name attribute");
                    return false;
                }
                const std::string_view typeName = load.elementType;
                if (!load.add(key_type, TreeBuilder::newStr(arena, typeName.data(), typeName.size()))) {
                    ve_log_common_debug(VE_LOG_ERROR, kTag, "Error adding name attribute");
                    return false;
                }
            }
            key = load.valueKey(value);
            if (!load.elementKeys.taken(key_name))
                stored = load.add(key_name, TreeBuilder::newStr(arena, value, std::strlen(value)));
        } else if (load.elementKeys.taken(attributeKey)) {
            continue;  // a key already present keeps its first attribute
        } else if (attributeKey == key_name) {
            stored = load.add(key_name, TreeBuilder::newStr(arena, value, std::strlen(value)));
        } else if (ItemUID::isInteger(attributeKey)) {
            bool fits = true;
            const int32_t number = integerValue(value, fits);
            if (!fits) {
                // The text is shown whole unless it is very long.
                constexpr int kShown = 64;
                const bool cut = std::strlen(value) > kShown;
                ve_log_common_debug(VE_LOG_WARNING, kTag,
                                    "Integer attribute %s=\"%.*s%s\" at line %lu does not fit in 32 bits; stored as %d",
                                    attr[0], kShown, value, cut ? "..." : "",
                                    static_cast<unsigned long>(XML_GetCurrentLineNumber(mParser)), number);
            }
            stored = load.add(attributeKey, TreeBuilder::newInt(arena, number), detail::kArenaValue);
        } else if (attributeKey == key_attribute) {
            stored = load.add(attributeKey, TreeBuilder::newInt(arena, static_cast<int32_t>(load.valueKey(value))),
                              detail::kArenaValue);
        } else {
            stored = load.add(attributeKey, TreeBuilder::newStr(arena, value, std::strlen(value)));
        }
        if (!stored) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error while adding attribute");
            return false;
        }
    }
    return true;
}

void VornParser::handleStart(const char *name, const char **attributes)
{
    const std::string_view elementName(name);
    if (!fitsNameLimit("Element name", elementName, mParser)) {
        fail(nullptr);
        return;
    }
    if (++mDepth > kMaxDepth) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Element <%s> at line %lu nests deeper than %u levels", name,
                            static_cast<unsigned long>(XML_GetCurrentLineNumber(mParser)), kMaxDepth);
        fail(nullptr);
        return;
    }
    if (!mLoad || !mLoad->arena) {
        fail(kOutOfMemory);
        return;
    }
    Load &load = *mLoad;

    const NameMemo::Entry &element = load.nameKey(elementName);
    KeyId key = element.key;
    if (key == key_graph_descriptor || key == key_graph_settings) {
        mDocumentKind = key;
        for (const char **attr = attributes; attr != nullptr && attr[0] != nullptr; attr += 2) {
            if (!fitsNameLimit("Attribute name", attr[0], mParser)) {
                fail(nullptr);
                return;
            }
            if (equalsLowered(attr[0], "version"))
                mVersion = attr[1] != nullptr ? attr[1] : "";
        }
        return;
    }
    load.elementType = element.lowered;
    if (key == 0)
        key = load.generateNameKey(elementName, element);

    const bool first = !load.document;
    if (first) {
        load.document.reset(new GraphConfigNode());
        load.frames.push_back({load.document.get(), 0});
        if (!mVersion.empty() &&
            !load.add(key_version, TreeBuilder::newStr(*load.arena, mVersion.data(), mVersion.size()))) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error adding version attribute");
            fail(nullptr);
            return;
        }
    }
    GraphConfigNode *parent = load.frames.back().node;
    GraphConfigNode *node = TreeBuilder::newNode(*load.arena);
    if (node == nullptr) {
        fail(kOutOfMemory);
        return;
    }
    // The entry goes into the parent's children now, in document order; its
    // key is known once the attributes are read.
    const size_t entry = load.children.size();
    load.children.push_back(Child{0, kArenaItem, node});
    load.frames.push_back({node, load.children.size()});
    if (!addAttributes(key, attributes)) {
        fail(nullptr);
        return;
    }
    load.children[entry].first = key;
    TreeBuilder::attach(*parent, *node, key);
    if (first && mVersion.empty() && (mDocumentKind == key_graph_descriptor || mDocumentKind == key_graph_settings))
        ve_log_common_debug(VE_LOG_WARNING, kTag, "No version information found.");
}

void VornParser::handleEnd()
{
    if (mDepth > 0)
        --mDepth;
    // Also for the end tag of a root element, which opened nothing: the
    // innermost open element closes, the document node stays open.
    if (mLoad && mLoad->frames.size() > 1 && !mLoad->publishInnermost())
        fail(kOutOfMemory);
}

bool VornParser::feed(XML_Parser parser, const char *data, size_t size, bool final, const char *function, int line)
{
    InputHold *hold = mLoad ? &mLoad->hold : nullptr;
    if (hold != nullptr && (hold->waits(size, final) || !hold->empty())) {
        if (!hold->keep(data, size)) {
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kOutOfMemory);
            mFailed = true;
            return false;
        }
        if (hold->waits(0, final))
            return true;
        data = hold->data();
        size = hold->size();
    }
    const size_t total = size;
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
    if (hold != nullptr)
        hold->fed(parser, total);
    return true;
}

status_t VornParser::parseXML(XML_Parser parser, const std::string &fileName, char *buffer)
{
    const int fd = openRegularFile(fileName);
    if (fd == -2) {
        mFailed = true;
        return err_argument;
    }
    PlainFile file(fd >= 0 ? ::fdopen(fd, "r") : nullptr);
    if (!file) {
        if (fd >= 0)
            ::close(fd);
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to open XML %s", fileName.c_str());
        return err_argument;
    }
    for (;;) {
        const size_t got = ve_cipr_fread(buffer, 1, kReadChunk, file.get());
        if (got == 0) {
            if (ve_cipr_ferror(file.get())) {
                ve_cipr_clearerr(file.get());
                ve_log_common_debug(VE_LOG_ERROR, kTag, "Error reading from file");
                ve_log_common_debug(VE_LOG_ERROR, kTag, "%s: %s", fileName.c_str(), std::strerror(errno));
                mFailed = true;
                return err_data;
            }
            return feed(parser, buffer, 0, true, "parseXML", __LINE__) ? err_none : err_data;
        }
        const bool final = got < kReadChunk;
        // A short read is the end of the file only when no error stopped it.
        if (final && ve_cipr_ferror(file.get())) {
            ve_cipr_clearerr(file.get());
            ve_log_common_debug(VE_LOG_ERROR, kTag, "Error reading from file");
            ve_log_common_debug(VE_LOG_ERROR, kTag, "%s: %s", fileName.c_str(), std::strerror(errno));
            mFailed = true;
            return err_data;
        }
        if (!feed(parser, buffer, got, final, "parseXML", __LINE__))
            return err_data;
        if (final)
            return err_none;
    }
}

status_t VornParser::parseGz(XML_Parser parser, const std::string &fileName, char *buffer)
{
    const int fd = openRegularFile(fileName);
    if (fd == -2) {
        mFailed = true;
        return err_argument;
    }
    GzFile file(fd >= 0 ? gzdopen(fd, "rb") : nullptr);
    if (!file) {
        if (fd >= 0)
            ::close(fd);
        ve_log_common_debug(VE_LOG_ERROR, kTag, "Failed to open GZ %s", fileName.c_str());
        return err_argument;
    }
    status_t status = err_none;
    bool checkedFormat = false;
    for (;;) {
        const int got = gzread(file.get(), buffer, static_cast<unsigned>(kReadChunk));
        if (got < 0) {
            int code = Z_OK;
            const char *reason = gzerror(file.get(), &code);
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
            if (gzdirect(file.get())) {
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
    const int closed = gzclose(file.release());
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
    mParser = nullptr;
    *out = nullptr;
    if (mLoad)
        mLoad->hold.reset();
    if (!mFailed && mLoad && mLoad->document) {
        // Only the document node is still open after a complete document.
        Load &load = *mLoad;
        while (!load.frames.empty() && load.publishInnermost()) {
        }
        if (load.frames.empty()) {
            TreeBuilder::giveArena(*load.document, std::move(load.arena));
            *out = load.document.release();
            load.generatedKeys.keep();
            return;
        }
        ve_log_common_debug(VE_LOG_ERROR, kTag, "%s", kOutOfMemory);
    }
    discardTree();
    // Nothing refers to the keys this load generated any more.
    if (mLoad)
        mLoad->generatedKeys.takeBack();
    ve_log_common_debug(VE_LOG_ERROR, kTag, "Parser returned NULL!");
}

void VornParser::parseVornXmlFile(const std::string &fileName, IGraphConfig **out)
{
    if (out == nullptr) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "NULL pointer given!");
        return;
    }
    discardTree();

    const size_t dot = fileName.rfind('.');
    const std::string fileType = dot == std::string::npos ? fileName : fileName.substr(dot + 1);
    const size_t bytes = fileBytes(fileName);
    beginLoad(fileType == "gz" ? gzipContentBytes(fileName, bytes) : bytes);

    ExpatParser parser = createParser(this);
    if (!parser) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "@%s, line:%d, parser is NULL", "parseVornXmlFile", __LINE__);
        return;
    }
    ReadBuffer buffer(static_cast<char *>(ve_cipr_malloc(kReadChunk, "parseVornXmlFile", kSourceFile, __LINE__)));
    if (!buffer) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "@%s, line:%d, pBuf is NULL", "parseVornXmlFile", __LINE__);
        return;
    }
    mParser = parser.get();

    if (fileType == "xml") {
        parseXML(parser.get(), fileName, buffer.get());
    } else if (fileType == "gz") {
        parseGz(parser.get(), fileName, buffer.get());
    } else {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "file type (%s) not suppoted.", fileType.c_str());
    }
    finishLoad(out);
}

void VornParser::parseVornXmlData(const char *data, size_t size, IGraphConfig **out)
{
    if (out == nullptr || (data == nullptr && size != 0)) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "NULL pointer given!");
        return;
    }
    discardTree();
    beginLoad(size);

    ExpatParser parser = createParser(this);
    if (!parser) {
        ve_log_common_debug(VE_LOG_ERROR, kTag, "@%s, line:%d, parser is NULL", "parseVornXmlData", __LINE__);
        return;
    }
    mParser = parser.get();
    feed(parser.get(), data != nullptr ? data : "", size, true, "parseVornXmlData", __LINE__);
    finishLoad(out);
}

}  // namespace Vorn
