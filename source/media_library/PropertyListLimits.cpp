#include "source/media_library/PropertyListLimits.h"

#include <pugixml.hpp>

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

bool xmlNestingWithin(const pugi::xml_node& node, int maxDepth)
{
    int depth = 0;
    pugi::xml_node current = node.first_child();
    while (current) {
        if (current.first_child()) {
            if (++depth > maxDepth)
                return false;
            current = current.first_child();
            continue;
        }
        while (current && current != node && !current.next_sibling()) {
            current = current.parent();
            --depth;
        }
        if (!current || current == node)
            return true;
        current = current.next_sibling();
    }
    return true;
}

bool isBinaryPropertyList(const QByteArray& bytes) { return bytes.startsWith("bplist00"); }

bool isShallowXML(const QByteArray& bytes, int maxDepth)
{
    pugi::xml_document document;
    return document.load_buffer(bytes.constData(), std::size_t(bytes.size())) && xmlNestingWithin(document, maxDepth);
}

namespace {

// The binary format: a header, objects, a table of their offsets, and a
// 32-byte trailer naming the sizes of offsets and object references, the
// object count, the top object and where the offset table starts.
class BinaryPropertyList {
public:
    explicit BinaryPropertyList(const QByteArray& bytes) : bytes_(bytes) {}

    bool readTrailer()
    {
        constexpr std::size_t kHeader = 8, kTrailer = 32;
        if (size() < kHeader + kTrailer)
            return false;
        const std::size_t trailer = size() - kTrailer;
        offsetSize_ = byteAt(trailer + 6);
        referenceSize_ = byteAt(trailer + 7);
        const auto count = number(trailer + 8, 8);
        const auto top = number(trailer + 16, 8);
        const auto table = number(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8 || !count || !top || !table)
            return false;
        if (*top >= *count || *table < kHeader || *table > trailer || (trailer - *table) / offsetSize_ < *count)
            return false;
        objectCount_ = *count;
        top_ = *top;
        table_ = *table;
        return true;
    }

    std::uint64_t top() const { return top_; }
    std::uint64_t objectCount() const { return objectCount_; }

    // Where an object starts; none outside the objects.
    std::optional<std::size_t> offsetOf(std::uint64_t object) const
    {
        const auto offset = number(table_ + std::size_t(object) * offsetSize_, offsetSize_);
        if (!offset || *offset < 8 || *offset >= table_)
            return std::nullopt;
        return std::size_t(*offset);
    }

    struct Object {
        unsigned type = 0;           // the marker's high four bits
        std::uint64_t count = 0;     // of bytes, characters or entries
        std::size_t contentAt = 0;   // just past the marker and its count
    };

    std::optional<Object> objectAt(std::size_t offset) const
    {
        Object object;
        const unsigned marker = byteAt(offset);
        object.type = marker >> 4;
        object.count = marker & 0xF;
        object.contentAt = offset + 1;
        const bool counted = object.type == 0x4 || object.type == 0x5 || object.type == 0x6 || object.type == 0xA ||
                             object.type == 0xC || object.type == 0xD;
        if (counted && object.count == 0xF) {
            // The count follows as an integer object.
            if (offset + 2 > table_ || byteAt(offset + 1) >> 4 != 0x1)
                return std::nullopt;
            const std::size_t width = std::size_t(1) << (byteAt(offset + 1) & 0xF);
            const auto count = width <= 8 ? number(offset + 2, width) : std::nullopt;
            if (!count)
                return std::nullopt;
            object.count = *count;
            object.contentAt = offset + 2 + width;
        }
        return object;
    }

    std::optional<std::uint64_t> referenceAt(std::size_t at, std::uint64_t index) const
    {
        if (at > table_ || index >= (table_ - at) / referenceSize_)
            return std::nullopt;
        const auto reference = number(at + std::size_t(index) * referenceSize_, referenceSize_);
        if (!reference || *reference >= objectCount_)
            return std::nullopt;
        return reference;
    }

    // A dictionary key: a string (ASCII or UTF-16) inside the objects and free of U+0000.
    bool isKey(std::uint64_t object) const
    {
        const auto offset = offsetOf(object);
        const auto key = offset ? objectAt(*offset) : std::nullopt;
        if (!key || (key->type != 0x5 && key->type != 0x6))
            return false;
        const std::uint64_t unit = key->type == 0x6 ? 2 : 1;
        if (key->contentAt > table_ || key->count > (table_ - key->contentAt) / unit)
            return false;
        for (std::uint64_t i = 0; i < key->count; ++i) {
            const std::size_t at = key->contentAt + std::size_t(i * unit);
            if (byteAt(at) == 0 && (unit == 1 || byteAt(at + 1) == 0))
                return false;
        }
        return true;
    }

private:
    std::size_t size() const { return std::size_t(bytes_.size()); }
    unsigned byteAt(std::size_t at) const { return at < size() ? std::uint8_t(bytes_[qsizetype(at)]) : 0; }

    // A big-endian unsigned number of width bytes; none past the end.
    std::optional<std::uint64_t> number(std::size_t at, std::size_t width) const
    {
        if (at > size() || width > size() - at)
            return std::nullopt;
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i)
            value = value << 8 | byteAt(at + i);
        return value;
    }

    const QByteArray& bytes_;
    std::size_t offsetSize_ = 0, referenceSize_ = 0;
    std::uint64_t objectCount_ = 0, top_ = 0, table_ = 0;
};

}  // namespace

bool isSafeBinaryPropertyList(const QByteArray& bytes, int maxDepth)
{
    constexpr std::size_t kMaxObjectsVisited = 1'000'000;
    BinaryPropertyList list(bytes);
    if (!isBinaryPropertyList(bytes) || !list.readTrailer())
        return false;

    // Objects still to look at, with their depth; shared objects are looked at
    // once per reference, so the count of references is bounded too.
    std::vector<std::pair<std::uint64_t, int>> pending{{list.top(), 0}};
    std::size_t scheduled = 1;
    while (!pending.empty()) {
        const auto [object, depth] = pending.back();
        pending.pop_back();
        const auto offset = list.offsetOf(object);
        const auto found = offset ? list.objectAt(*offset) : std::nullopt;
        if (!found)
            return false;
        const bool isDictionary = found->type == 0xD;
        if ((found->type != 0xA && found->type != 0xC && !isDictionary) || found->count == 0)
            continue;
        if (depth >= maxDepth || found->count > std::uint64_t(bytes.size()))
            return false;
        const std::uint64_t references = isDictionary ? found->count * 2 : found->count;
        for (std::uint64_t i = 0; i < references; ++i) {
            const auto reference = list.referenceAt(found->contentAt, i);
            if (!reference)
                return false;
            const bool isKey = isDictionary && i < found->count;
            if (isKey && !list.isKey(*reference))
                return false;
            if (isKey)
                continue;
            if (++scheduled > kMaxObjectsVisited)
                return false;
            pending.push_back({*reference, depth + 1});
        }
    }
    return true;
}
