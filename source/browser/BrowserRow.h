#pragma once
// A row of a browser list: a dictionary (menu, artist, album, playlist and
// tone rows) or a library track. Cells, the title order and the filter read a
// row by key path; a key the row lacks reads as an invalid value, so a track
// asked for "sortToTop" simply answers nothing.

#include "source/media_library/ZNTMediaLibrary.h"

#include <QStringList>
#include <QVariantMap>

#include <vector>

// A key path resolved once: reading it from every row of a large list then
// costs no comparison of key names per row.
class RowKey {
public:
    RowKey(QString keyPath);  // NOLINT: any key path string is a key
    RowKey(const char* keyPath) : RowKey(QString::fromLatin1(keyPath)) {}  // NOLINT
    const QString& path() const { return path_; }

private:
    friend class BrowserRow;
    // What a track answers for the key without boxing a value.
    enum class TrackField : quint8 { title, sortTitle, genre, artistName, albumTitle, other };
    QString path_;
    TrackField field_;
};

class BrowserRow {
public:
    BrowserRow() = default;
    explicit BrowserRow(QVariantMap values) : values_(std::move(values)) {}
    explicit BrowserRow(ZNTMediaLibraryMediaItemPtr track) : track_(std::move(track)) {}

    const QVariantMap& values() const { return values_; }
    const ZNTMediaLibraryMediaItemPtr& track() const { return track_; }

    QVariant value(const QString& keyPath) const;
    QString string(const RowKey& key) const;
    bool flag(const QString& key) const { return value(key).toBool(); }

    // The folded texts of the searched keys, one per line (see indexForSearch).
    const QString& searchText() const { return searchText_; }
    void setSearchText(QString text) { searchText_ = std::move(text); }

private:
    QVariantMap values_;
    ZNTMediaLibraryMediaItemPtr track_;
    QString searchText_;
};

using BrowserRows = std::vector<BrowserRow>;

// Folds case and diacritics away ("Éte" and "ete" fold alike), so a plain
// substring test of folded texts is a case- and diacritic-insensitive match.
QString foldedForSearch(const QString& text);

// Gives every row the folded text of its values under keys, which a filter
// then matches with one substring test per row.
void indexForSearch(BrowserRows& rows, const std::vector<RowKey>& keys);

// The search string as the filter compares it: folded, no line breaks (they
// separate the keys), null when nothing is left.
QString searchNeedle(const QString& searchString);

// True when the row holds the needle in any of its indexed keys.
inline bool rowMatches(const BrowserRow& row, const QString& needle)
{
    return needle.isEmpty() || row.searchText().contains(needle);
}
