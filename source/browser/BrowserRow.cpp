#include "source/browser/BrowserRow.h"

QVariant BrowserRow::value(const QString& keyPath) const
{
    if (track_)
        return track_->valueForKeyPath(keyPath);
    return values_.value(keyPath);
}

QString BrowserRow::string(const QString& keyPath) const
{
    // The keys every list sorts and searches tracks by, read without boxing:
    // a large list reads them once per track.
    if (track_) {
        if (keyPath == QLatin1String("title"))
            return track_->title();
        if (keyPath == QLatin1String("sortTitle"))
            return track_->sortTitle();
        if (keyPath == QLatin1String("genre"))
            return track_->genre();
        if (keyPath == QLatin1String("artist.name")) {
            const ZNTMediaLibraryArtistPtr artist = track_->artist();
            return artist ? artist->name() : QString();
        }
        if (keyPath == QLatin1String("album.title"))
            return track_->albumTitle();
    }
    return value(keyPath).toString();
}

namespace {

// Appends text folded: plain ASCII lowered in place, anything else
// decomposed, without its marks, case-folded.
void appendFolded(QString& out, QStringView text)
{
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 0x80;
    if (ascii) {
        for (QChar c : text)
            out.append(c.unicode() >= 'A' && c.unicode() <= 'Z' ? QChar(c.unicode() + 32) : c);
        return;
    }
    const QString decomposed = text.toString().normalized(QString::NormalizationForm_KD);
    QString kept;
    kept.reserve(decomposed.size());
    for (QChar c : decomposed) {
        if (!c.isMark())
            kept.append(c);
    }
    out.append(kept.toCaseFolded());
}

}  // namespace

QString foldedForSearch(const QString& text)
{
    QString folded;
    folded.reserve(text.size());
    appendFolded(folded, text);
    return folded;
}

void indexForSearch(BrowserRows& rows, const QStringList& keys)
{
    for (BrowserRow& row : rows) {
        QString text;
        text.reserve(64);
        for (const QString& key : keys) {
            appendFolded(text, row.string(key));
            text += QLatin1Char('\n');
        }
        text.squeeze();
        row.setSearchText(std::move(text));
    }
}

QString searchNeedle(const QString& searchString)
{
    QString needle = foldedForSearch(searchString);
    needle.remove(QLatin1Char('\n'));
    return needle.isEmpty() ? QString() : needle;
}
