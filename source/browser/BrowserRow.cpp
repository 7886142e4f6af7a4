#include "source/browser/BrowserRow.h"

BrowserRow BrowserRow::forTrack(ZNTMediaLibraryMediaItemPtr track)
{
    BrowserRow row;
    if (track) {
        row.title = track->title();
        row.artist = track->artistName();
        row.album = track->albumTitle();
        row.drmProtected = track->drmProtected();
    }
    row.track = std::move(track);
    return row;
}

QString BrowserRow::text(Text which) const
{
    switch (which) {
    case Text::title: return title;
    case Text::sortTitle: return sortTitle;
    case Text::artist: return artist;
    case Text::album: return album;
    case Text::info: return info;
    }
    return {};
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

QString searchTextOf(std::initializer_list<QStringView> texts)
{
    qsizetype length = 0;
    for (QStringView text : texts)
        length += text.size() + 1;
    QString folded;
    folded.reserve(length);  // folding ASCII keeps the length
    for (QStringView text : texts) {
        appendFolded(folded, text);
        folded += QLatin1Char('\n');
    }
    return folded;
}

QString SearchFolding::folded(const QString& text)
{
    auto found = known_.constFind(text);
    if (found == known_.constEnd())
        found = known_.insert(text, foldedForSearch(text));
    return *found;
}

QString joinedFolded(std::initializer_list<QStringView> folded)
{
    qsizetype length = 0;
    for (QStringView text : folded)
        length += text.size() + 1;
    QString joined;
    joined.reserve(length);
    for (QStringView text : folded) {
        joined += text;
        joined += QLatin1Char('\n');
    }
    return joined;
}

QString searchNeedle(const QString& searchString)
{
    QString needle = foldedForSearch(searchString);
    needle.remove(QLatin1Char('\n'));
    return needle.isEmpty() ? QString() : needle;
}
