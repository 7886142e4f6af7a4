#include "platform/media/QuickTimeMetadata.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

namespace tolvan {

namespace {

const QString kErrorDomain = QStringLiteral("MP4MetadataErrorDomain");

// One box of the file: its type and where its header and payload lie.
struct Box {
    QByteArray type;
    qint64 start = 0;       // offset of the size field
    qint64 headerSize = 8;  // 16 for a 64-bit size
    qint64 size = 0;        // whole box, header included
    qint64 payload() const { return start + headerSize; }
    qint64 end() const { return start + size; }
};

quint32 be32(const QByteArray& bytes, qint64 at) { return qFromBigEndian<quint32>(bytes.constData() + at); }
quint64 be64(const QByteArray& bytes, qint64 at) { return qFromBigEndian<quint64>(bytes.constData() + at); }

QByteArray u32(quint32 value)
{
    QByteArray out(4, '\0');
    qToBigEndian(value, out.data());
    return out;
}

QByteArray box(const char* type, const QByteArray& payload) { return u32(quint32(8 + payload.size())) + QByteArray(type, 4) + payload; }

// The boxes directly inside [begin, end); nothing when a size runs past end.
std::optional<std::vector<Box>> children(const QByteArray& bytes, qint64 begin, qint64 end)
{
    std::vector<Box> boxes;
    for (qint64 at = begin; at < end;) {
        if (end - at < 8)
            return std::nullopt;
        Box b{bytes.mid(at + 4, 4), at, 8, be32(bytes, at)};
        if (b.size == 1) {
            if (end - at < 16)
                return std::nullopt;
            b.headerSize = 16;
            b.size = qint64(be64(bytes, at + 8));
        } else if (b.size == 0) {
            b.size = end - at;  // runs to the end of its container
        }
        if (b.size < b.headerSize || b.size > end - at)
            return std::nullopt;
        boxes.push_back(b);
        at += b.size;
    }
    return boxes;
}

const Box* find(const std::vector<Box>& boxes, const char* type)
{
    for (const Box& b : boxes)
        if (b.type == type)
            return &b;
    return nullptr;
}

bool isMetadataMeta(const QByteArray& bytes, const Box& meta)
{
    auto inside = children(bytes, meta.payload(), meta.end());
    if (!inside)
        return false;
    const Box* hdlr = find(*inside, "hdlr");
    return hdlr && hdlr->size >= hdlr->headerSize + 12 && bytes.mid(hdlr->payload() + 8, 4) == "mdta";
}

std::vector<QuickTimeMetadataItem> parseMeta(const QByteArray& bytes, const Box& meta)
{
    std::vector<QuickTimeMetadataItem> items;
    auto inside = children(bytes, meta.payload(), meta.end());
    const Box* keys = inside ? find(*inside, "keys") : nullptr;
    const Box* ilst = inside ? find(*inside, "ilst") : nullptr;
    if (!keys || !ilst || keys->size < keys->headerSize + 8)
        return items;
    std::vector<QString> names;
    const quint32 count = be32(bytes, keys->payload() + 4);
    for (qint64 at = keys->payload() + 8; names.size() < count && at + 8 <= keys->end();) {
        const quint32 size = be32(bytes, at);
        if (size < 8 || at + size > keys->end())
            break;
        names.push_back(QString::fromUtf8(bytes.mid(at + 8, size - 8)));
        at += size;
    }
    auto entries = children(bytes, ilst->payload(), ilst->end());
    for (const Box& entry : entries.value_or(std::vector<Box>{})) {
        const quint32 index = be32(bytes, entry.start + 4);  // 1-based key index in place of a type
        auto dataBoxes = children(bytes, entry.payload(), entry.end());
        const Box* data = dataBoxes ? find(*dataBoxes, "data") : nullptr;
        if (index == 0 || index > names.size() || !data || data->size < data->headerSize + 8)
            continue;
        items.push_back({names[index - 1], QString::fromUtf8(bytes.mid(data->payload() + 8, data->size - data->headerSize - 8))});
    }
    return items;
}

QByteArray metaBox(const std::vector<QuickTimeMetadataItem>& items)
{
    QByteArray hdlr = u32(0) + u32(0) + QByteArray("mdta") + QByteArray(12, '\0') + QByteArray(1, '\0');
    QByteArray keyEntries, itemEntries;
    for (size_t i = 0; i < items.size(); ++i) {
        const QByteArray key = items[i].key.toUtf8();
        keyEntries += u32(quint32(8 + key.size())) + "mdta" + key;
        const QByteArray data = box("data", u32(1) /* UTF-8 */ + u32(0) /* locale */ + items[i].value.toUtf8());
        itemEntries += u32(quint32(8 + data.size())) + u32(quint32(i + 1)) + data;
    }
    const QByteArray keys = box("keys", u32(0) + u32(quint32(items.size())) + keyEntries);
    return box("meta", box("hdlr", hdlr) + keys + box("ilst", itemEntries));
}

// Moves every chunk offset of the movie by delta (the media data moved).
bool shiftChunkOffsets(QByteArray& moov, qint64 begin, qint64 end, qint64 delta)
{
    auto boxes = children(moov, begin, end);
    if (!boxes)
        return false;
    for (const Box& b : *boxes) {
        if (b.type == "trak" || b.type == "mdia" || b.type == "minf" || b.type == "stbl") {
            if (!shiftChunkOffsets(moov, b.payload(), b.end(), delta))
                return false;
        } else if (b.type == "stco" || b.type == "co64") {
            const bool wide = b.type == "co64";
            const quint32 count = be32(moov, b.payload() + 4);
            const qint64 first = b.payload() + 8, step = wide ? 8 : 4;
            if (first + qint64(count) * step > b.end())
                return false;
            for (quint32 i = 0; i < count; ++i) {
                char* at = moov.data() + first + i * step;
                if (wide) {
                    qToBigEndian(quint64(qint64(qFromBigEndian<quint64>(at)) + delta), at);
                } else {
                    const qint64 moved = qint64(qFromBigEndian<quint32>(at)) + delta;
                    if (moved < 0 || moved > 0xFFFFFFFFll)
                        return false;
                    qToBigEndian(quint32(moved), at);
                }
            }
        }
    }
    return true;
}

bool fail(Error* error, qint64 code, const QString& message)
{
    if (error)
        *error = {kErrorDomain, code, message};
    return false;
}

std::optional<QByteArray> readAll(const QString& path, Error* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, 1, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

}  // namespace

std::optional<std::vector<QuickTimeMetadataItem>> readQuickTimeMetadata(const QString& path, Error* error)
{
    auto bytes = readAll(path, error);
    if (!bytes)
        return std::nullopt;
    auto top = children(*bytes, 0, bytes->size());
    const Box* moov = top ? find(*top, "moov") : nullptr;
    auto inMoov = moov ? children(*bytes, moov->payload(), moov->end()) : std::nullopt;
    if (!inMoov) {
        fail(error, 2, QStringLiteral("Not an MPEG-4 file"));
        return std::nullopt;
    }
    for (const Box& b : *inMoov)
        if (b.type == "meta" && isMetadataMeta(*bytes, b))
            return parseMeta(*bytes, b);
    return std::vector<QuickTimeMetadataItem>{};
}

bool writeQuickTimeMetadata(const QString& path, const std::vector<QuickTimeMetadataItem>& items, Error* error)
{
    auto bytes = readAll(path, error);
    if (!bytes)
        return false;
    auto top = children(*bytes, 0, bytes->size());
    const Box* moov = top ? find(*top, "moov") : nullptr;
    auto inMoov = moov ? children(*bytes, moov->payload(), moov->end()) : std::nullopt;
    if (!inMoov)
        return fail(error, 2, QStringLiteral("Not an MPEG-4 file"));

    // The new movie box: its children without an old metadata box, then ours.
    QByteArray body;
    for (const Box& b : *inMoov)
        if (!(b.type == "meta" && isMetadataMeta(*bytes, b)))
            body += bytes->mid(b.start, b.size);
    body += metaBox(items);
    QByteArray newMoov = u32(quint32(8 + body.size())) + "moov" + body;

    const qint64 delta = newMoov.size() - moov->size;
    bool mediaFollows = false;
    for (const Box& b : *top)
        mediaFollows = mediaFollows || (b.type == "mdat" && b.start > moov->start);
    if (mediaFollows && delta != 0 && !shiftChunkOffsets(newMoov, 8, newMoov.size(), delta))
        return fail(error, 3, QStringLiteral("The chunk offsets cannot be moved"));

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return fail(error, 4, out.errorString());
    out.write(bytes->left(moov->start));
    out.write(newMoov);
    out.write(bytes->mid(moov->end()));
    if (!out.commit())
        return fail(error, 4, out.errorString());
    return true;
}

}  // namespace tolvan
