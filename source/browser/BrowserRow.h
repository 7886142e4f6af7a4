#pragma once
// A row of a browser list: a dictionary (menu, artist, album, playlist and
// tone rows) or a library track. Cells, the title order and the filter read a
// row by key path; a key the row lacks reads as an invalid value, so a track
// asked for "sortToTop" simply answers nothing.

#include "source/media_library/ZNTMediaLibrary.h"

#include <QStringList>
#include <QVariantMap>

#include <vector>

class BrowserRow {
public:
    BrowserRow() = default;
    explicit BrowserRow(QVariantMap values) : values_(std::move(values)) {}
    explicit BrowserRow(ZNTMediaLibraryMediaItemPtr track) : track_(std::move(track)) {}

    const QVariantMap& values() const { return values_; }
    const ZNTMediaLibraryMediaItemPtr& track() const { return track_; }

    QVariant value(const QString& keyPath) const;
    QString string(const QString& keyPath) const;
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
void indexForSearch(BrowserRows& rows, const QStringList& keys);

// The search string as the filter compares it: folded, no line breaks (they
// separate the keys), null when nothing is left.
QString searchNeedle(const QString& searchString);

// True when the row holds the needle in any of its indexed keys.
inline bool rowMatches(const BrowserRow& row, const QString& needle)
{
    return needle.isEmpty() || row.searchText().contains(needle);
}
