#include "platform/media/QuickTimeMetadata.h"

#include "platform/media/OutputFile.h"

#include <QFile>
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

bool fail(Error* error, qint64 code, const QString& message)
{
    if (error)
        *error = {kErrorDomain, code, message};
    return false;
}

bool inconsistent(Error* error, const QByteArray& type)
{
    return fail(error, QuickTimeMetadataErrorInconsistentBox, QStringLiteral("The size of a \"%1\" box does not fit the file").arg(QString::fromLatin1(type)));
}

// Whether a meta box of the movie holds QuickTime metadata (its handler is
// "mdta"); false, and the error, when its boxes do not fit together.
std::optional<bool> isMetadataMeta(const QByteArray& bytes, const Box& meta, Error* error)
{
    auto inside = children(bytes, meta.payload(), meta.end());
    if (!inside) {
        inconsistent(error, meta.type);
        return std::nullopt;
    }
    const Box* hdlr = find(*inside, "hdlr");
    return hdlr && hdlr->size >= hdlr->headerSize + 12 && bytes.mid(hdlr->payload() + 8, 4) == "mdta";
}

// The key names of a keys box, in order.
std::optional<std::vector<QString>> parseKeys(const QByteArray& bytes, const Box& keys, Error* error)
{
    if (keys.size < keys.headerSize + 8) {
        inconsistent(error, keys.type);
        return std::nullopt;
    }
    std::vector<QString> names;
    const quint32 count = be32(bytes, keys.payload() + 4);
    qint64 at = keys.payload() + 8;
    for (; names.size() < count; at += be32(bytes, at)) {
        if (keys.end() - at < 8 || be32(bytes, at) < 8 || be32(bytes, at) > keys.end() - at) {
            inconsistent(error, keys.type);
            return std::nullopt;
        }
        names.push_back(QString::fromUtf8(bytes.mid(at + 8, be32(bytes, at) - 8)));
    }
    return names;
}

std::optional<std::vector<QuickTimeMetadataItem>> parseMeta(const QByteArray& bytes, const Box& meta, Error* error)
{
    std::vector<QuickTimeMetadataItem> items;
    auto inside = children(bytes, meta.payload(), meta.end());
    const Box* keys = inside ? find(*inside, "keys") : nullptr;
    const Box* ilst = inside ? find(*inside, "ilst") : nullptr;
    if (!keys || !ilst)
        return items;
    auto names = parseKeys(bytes, *keys, error);
    if (!names)
        return std::nullopt;
    auto entries = children(bytes, ilst->payload(), ilst->end());
    if (!entries) {
        inconsistent(error, ilst->type);
        return std::nullopt;
    }
    for (const Box& entry : *entries) {
        const quint32 index = be32(bytes, entry.start + 4);  // 1-based key index in place of a type
        auto dataBoxes = children(bytes, entry.payload(), entry.end());
        const Box* data = dataBoxes ? find(*dataBoxes, "data") : nullptr;
        if (!dataBoxes || (data && data->size < data->headerSize + 8)) {
            inconsistent(error, data ? data->type : ilst->type);
            return std::nullopt;
        }
        if (index == 0 || index > names->size() || !data)
            continue;
        items.push_back({(*names)[index - 1], QString::fromUtf8(bytes.mid(data->payload() + 8, data->size - data->headerSize - 8))});
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
            if (b.size < b.headerSize + 8)
                return false;
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

// A box as it goes into the new file: a box that ran to the end of the
// movie gets its size written out, since the movie no longer ends with it.
std::optional<QByteArray> boxWithExplicitSize(const QByteArray& bytes, const Box& b)
{
    QByteArray out = bytes.mid(b.start, b.size);
    if (b.headerSize == 8 && be32(bytes, b.start) == 0) {
        if (b.size > 0xFFFFFFFFll)
            return std::nullopt;
        out.replace(0, 4, u32(quint32(b.size)));
    }
    return out;
}

std::optional<QByteArray> readAll(const QString& path, Error* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(error, QuickTimeMetadataErrorUnreadable, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

// The file's top-level boxes and the children of its movie box.
struct Movie {
    std::vector<Box> top;
    Box moov;
    std::vector<Box> children;
};

std::optional<Movie> findMovie(const QByteArray& bytes, Error* error)
{
    auto top = children(bytes, 0, bytes.size());
    const Box* moov = top ? find(*top, "moov") : nullptr;
    if (!moov) {
        fail(error, QuickTimeMetadataErrorNotMPEG4, QStringLiteral("Not an MPEG-4 file"));
        return std::nullopt;
    }
    auto inMoov = children(bytes, moov->payload(), moov->end());
    if (!inMoov) {
        inconsistent(error, moov->type);
        return std::nullopt;
    }
    return Movie{*top, *moov, *inMoov};
}

}  // namespace

std::optional<std::vector<QuickTimeMetadataItem>> readQuickTimeMetadata(const QString& path, Error* error)
{
    auto bytes = readAll(path, error);
    auto movie = bytes ? findMovie(*bytes, error) : std::nullopt;
    if (!movie)
        return std::nullopt;
    for (const Box& b : movie->children) {
        if (b.type != "meta")
            continue;
        auto holdsMetadata = isMetadataMeta(*bytes, b, error);
        if (!holdsMetadata)
            return std::nullopt;
        if (*holdsMetadata)
            return parseMeta(*bytes, b, error);
    }
    return std::vector<QuickTimeMetadataItem>{};
}

std::optional<QByteArray> withQuickTimeMetadata(const QByteArray& file, const std::vector<QuickTimeMetadataItem>& items, Error* error)
{
    auto movie = findMovie(file, error);
    if (!movie)
        return std::nullopt;

    // The new movie box: its children without an old metadata box, then ours.
    QByteArray body;
    for (const Box& b : movie->children) {
        if (b.type == "meta") {
            auto holdsMetadata = isMetadataMeta(file, b, error);
            if (!holdsMetadata)
                return std::nullopt;
            if (*holdsMetadata)
                continue;
        }
        auto kept = boxWithExplicitSize(file, b);
        if (!kept) {
            inconsistent(error, b.type);
            return std::nullopt;
        }
        body += *kept;
    }
    body += metaBox(items);
    QByteArray newMoov = u32(quint32(8 + body.size())) + "moov" + body;

    const qint64 delta = newMoov.size() - movie->moov.size;
    bool mediaFollows = false;
    for (const Box& b : movie->top)
        mediaFollows = mediaFollows || (b.type == "mdat" && b.start > movie->moov.start);
    if (mediaFollows && delta != 0 && !shiftChunkOffsets(newMoov, 8, newMoov.size(), delta)) {
        fail(error, QuickTimeMetadataErrorOffsets, QStringLiteral("The chunk offsets cannot be moved"));
        return std::nullopt;
    }
    return file.left(movie->moov.start) + newMoov + file.mid(movie->moov.end());
}

bool writeQuickTimeMetadata(const QString& path, const std::vector<QuickTimeMetadataItem>& items, Error* error)
{
    auto bytes = readAll(path, error);
    auto rewritten = bytes ? withQuickTimeMetadata(*bytes, items, error) : std::nullopt;
    if (!rewritten)
        return false;
    Error failure;
    auto out = OutputFile::create(QFile::encodeName(path), &failure);
    std::optional<Error> problem = out ? out->replaceContents(*rewritten) : failure;
    if (!problem)
        problem = out->commit();
    if (problem)
        return fail(error, QuickTimeMetadataErrorUnwritable, problem->message);
    return true;
}

}  // namespace tolvan
