#include "source/browser/BrowserRow.h"

QVariant BrowserRow::value(const QString& keyPath) const
{
    if (track_)
        return track_->valueForKeyPath(keyPath);
    return values_.value(keyPath);
}

RowKey::RowKey(QString keyPath) : path_(std::move(keyPath)), field_(TrackField::other)
{
    static const std::pair<QLatin1String, TrackField> fields[] = {
        {QLatin1String("title"), TrackField::title},           {QLatin1String("sortTitle"), TrackField::sortTitle},
        {QLatin1String("genre"), TrackField::genre},           {QLatin1String("artist.name"), TrackField::artistName},
        {QLatin1String("album.title"), TrackField::albumTitle},
    };
    for (const auto& [name, field] : fields) {
        if (path_ == name)
            field_ = field;
    }
}

QString BrowserRow::string(const RowKey& key) const
{
    if (!track_)
        return values_.value(key.path_).toString();
    switch (key.field_) {
    case RowKey::TrackField::title: return track_->title();
    case RowKey::TrackField::sortTitle: return track_->sortTitle();
    case RowKey::TrackField::genre: return track_->genre();
    case RowKey::TrackField::artistName: return track_->artistName();
    case RowKey::TrackField::albumTitle: return track_->albumTitle();
    case RowKey::TrackField::other: break;
    }
    return track_->valueForKeyPath(key.path_).toString();
}

namespace {

// Anything beyond ASCII: decomposed, without its marks, case-folded.
void appendFoldedUnicode(QString& out, QStringView text)
{
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_KD);
    QString kept;
    kept.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (!c.isMark())
            kept.append(c);
    }
    out.append(kept.toCaseFolded());
}

// Appends text folded. Most titles are plain ASCII, lowered in place in
// memory reserved beforehand.
void appendFolded(QString& out, QStringView text)
{
    const qsizetype start = out.size();
    out.resize(start + text.size());
    QChar* write = out.data() + start;
    for (QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit >= 0x80) {
            out.truncate(start);
            appendFoldedUnicode(out, text);
            return;
        }
        *write++ = QChar(unit >= 'A' && unit <= 'Z' ? char16_t(unit + 32) : unit);
    }
}

}  // namespace

QString foldedForSearch(const QString& text)
{
    QString folded;
    folded.reserve(text.size());
    appendFolded(folded, text);
    return folded;
}

void indexForSearch(BrowserRows& rows, const std::vector<RowKey>& keys)
{
    std::vector<QString> texts(keys.size());
    for (BrowserRow& row : rows) {
        qsizetype length = 0;
        for (std::size_t index = 0; index < keys.size(); ++index) {
            texts[index] = row.string(keys[index]);
            length += texts[index].size() + 1;
        }
        QString folded;
        folded.reserve(length);  // folding ASCII keeps the length
        for (const QString& text : texts) {
            appendFolded(folded, text);
            folded += QLatin1Char('\n');
        }
        row.setSearchText(std::move(folded));
    }
}

QString searchNeedle(const QString& searchString)
{
    QString needle = foldedForSearch(searchString);
    needle.remove(QLatin1Char('\n'));
    return needle.isEmpty() ? QString() : needle;
}
