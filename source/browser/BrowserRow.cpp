#include "source/browser/BrowserRow.h"

#include <algorithm>

BrowserRow BrowserRow::forTrack(ZNTMediaLibraryMediaItemPtr track)
{
    BrowserRow row;
    row.showTrack(std::move(track));
    return row;
}

void BrowserRow::showTrack(ZNTMediaLibraryMediaItemPtr shown)
{
    if (shown) {
        title = shown->title();
        artist = shown->artistName();
        album = shown->albumTitle();
        drmProtected = shown->drmProtected();
    }
    track = std::move(shown);
}

BrowserRowSet::BrowserRowSet(BrowserRows rows_) : rows(std::move(rows_))
{
    searchTexts.reserve(rows.size());
    for (const BrowserRow& row : rows)
        searchTexts.emplace_back(row.searchText);
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
void appendFoldedWhole(QString& out, QStringView text)
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

// The same, one character at a time through a table of this thread: titles
// draw on a small alphabet, so each letter is decomposed once, not each
// title. Text with surrogate pairs goes whole.
void appendFoldedUnicode(QString& out, QStringView text)
{
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); })) {
        appendFoldedWhole(out, text);
        return;
    }
    thread_local QHash<char16_t, QString> folds;
    for (QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit < 0x80) {
            out.append(QChar(unit >= 'A' && unit <= 'Z' ? char16_t(unit + 32) : unit));
            continue;
        }
        auto found = folds.constFind(unit);
        if (found == folds.constEnd()) {
            QString folded;
            appendFoldedWhole(folded, QStringView(&c, 1));
            found = folds.insert(unit, folded);
        }
        out.append(*found);
    }
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

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
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

QString SearchFolding::searchText(QStringView own, std::initializer_list<QStringView> shared)
{
    qsizetype length = own.size() + 1;
    for (QStringView text : shared)
        length += text.size() + 1;
    QString joined;
    joined.reserve(length);  // folding ASCII keeps the length
    appendFolded(joined, own);
    joined += QLatin1Char('\n');
    for (QStringView text : shared) {
        // ASCII folds faster than a look-up; the rest is folded once.
        if (isAscii(text)) {
            appendFolded(joined, text);
        } else {
            const QString key = text.toString();
            auto found = known_.constFind(key);
            if (found == known_.constEnd())
                found = known_.insert(key, foldedForSearch(key));
            joined += *found;
        }
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
