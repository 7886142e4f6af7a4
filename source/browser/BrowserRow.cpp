#include "source/browser/BrowserRow.h"

#include <QStringMatcher>

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

namespace {

// The rows' search texts end to end, each closed by a line break (so no
// match runs into the next row); starts gets where each begins, then the end.
// The rows' own copies are released: the set holds the texts from now on.
QString takeSearchTexts(BrowserRows& rows, std::vector<qsizetype>& starts)
{
    qsizetype length = 0;
    for (const BrowserRow& row : rows)
        length += row.searchText.size() + 1;
    QString joined;
    joined.reserve(length);
    starts.reserve(rows.size() + 1);
    for (BrowserRow& row : rows) {
        starts.push_back(joined.size());
        joined += row.searchText;
        if (!row.searchText.endsWith(QLatin1Char('\n')))
            joined += QLatin1Char('\n');
        row.searchText = QString();
    }
    starts.push_back(joined.size());
    return joined;
}

}  // namespace

BrowserRowSet::BrowserRowSet(BrowserRows given) : searchTexts_(takeSearchTexts(given, searchStarts_)), rows(std::move(given)) {}

QStringView BrowserRowSet::searchText(std::size_t index) const
{
    const qsizetype start = searchStarts_[index];
    return QStringView(searchTexts_).sliced(start, searchStarts_[index + 1] - start);
}

std::vector<int> BrowserRowSet::rowsContaining(const QString& needle) const
{
    std::vector<int> found;
    const QStringMatcher matcher(needle);
    const QStringView all(searchTexts_);
    // One letter (the first keystroke, found in nearly every row) goes by the
    // vectorised character search; longer needles by the matcher's skip table.
    const auto next = [&](qsizetype from) { return needle.size() == 1 ? all.indexOf(needle.front(), from) : matcher.indexIn(all, from); };
    std::size_t row = 0;
    for (qsizetype at = next(0); at >= 0;) {
        // The row whose text holds the match; the search goes on after that row.
        while (searchStarts_[row + 1] <= at)
            ++row;
        found.push_back(int(row));
        at = next(searchStarts_[++row]);
    }
    return found;
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

QString searchNeedle(const QString& searchString)
{
    QString needle = foldedForSearch(searchString);
    needle.remove(QLatin1Char('\n'));
    return needle.isEmpty() ? QString() : needle;
}
