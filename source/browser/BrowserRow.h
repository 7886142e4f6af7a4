#pragma once
// A row of a browser list: a menu entry, an artist, an album, a playlist, a
// tone or a library track. Each list fills the fields its cells and choices
// read and leaves the rest empty; a null text is a value the row does not
// have (an album without an artist), which a cell does not draw.

#include "source/media_library/ZNTMediaLibrary.h"

#include <QHash>
#include <QVariantMap>

#include <optional>
#include <vector>

struct BrowserRow {
    // The texts a cell or the title order can be set to read.
    enum class Text : quint8 { title, sortTitle, artist, album, info };
    // What choosing a row of the main menu does.
    enum class MenuAction : quint8 { none, selectLibraryItem, selectRingtoneSetItem };

    // A track's row: its title, artist and album, and the track itself.
    static BrowserRow forTrack(ZNTMediaLibraryMediaItemPtr track);
    // Fills an empty row in place as forTrack makes it.
    void showTrack(ZNTMediaLibraryMediaItemPtr shown);

    // The text the selector names.
    QString text(Text which) const;

    QString title;      // what the row shows and a screen reader reads
    QString sortTitle;  // what the title order compares, when it differs from the title
    QString artist;     // a track's artist; an album's (its first track's); the artist "All Songs" opens
    QString album;      // a track's album
    QString info;       // a tone's detail line
    QString image;      // the template image of a menu row
    QString itemType;   // the list a library menu row opens ("songs", "tv_shows", ...)
    QString setPath;    // the folder of a ringtone set row
    QUrl location;      // the file of a tone
    QUrl link;          // what the footer button of a ringtone set opens
    QVariantMap entry;  // a tone's or footer's dictionary as the included library gives it
    ZNTMediaLibraryPlaylistPtr playlist;
    ZNTMediaLibraryMediaItemPtr track;
    MenuAction action = MenuAction::none;
    bool hasChildren = false;     // leads on to another list (the arrow)
    bool isGroup = false;         // a group heading of the main menu, not selectable
    bool footerItem = false;      // the footer button after a set's tones, not selectable
    bool sortToTop = false;       // pinned above every other row by the title order
    bool filterByArtist = false;  // "All Songs": opens the artist's songs, not an album's
    bool onlyShowTitle = false;   // drawn without a detail line
    bool drmProtected = false;    // drawn with a lock

    // The folded texts the search looks in, one per line (see foldedForSearch);
    // a row set takes it over when it is made.
    QString searchText;
};

using BrowserRows = std::vector<BrowserRow>;

// The rows a list shows, with their search texts laid end to end in one
// buffer: made with the rows (off the main thread), so a keystroke scans one
// run of memory instead of walking the rows' strings scattered over the heap.
struct BrowserRowSet {
    explicit BrowserRowSet(BrowserRows rows);
    BrowserRowSet(const BrowserRowSet&) = delete;
    BrowserRowSet& operator=(const BrowserRowSet&) = delete;

    // Row index's search text (each ends with a line break).
    QStringView searchText(std::size_t index) const;
    // The indexes of the rows whose search text holds needle (which holds no
    // line break), in order: one pass over the buffer.
    std::vector<int> rowsContaining(const QString& needle) const;

private:
    // Made before the rows are stored, out of the rows' own search texts.
    std::vector<qsizetype> searchStarts_;  // one per row, then the buffer's end
    QString searchTexts_;

public:
    // The rows, their search texts handed over to the set.
    const BrowserRows rows;
};
using SharedBrowserRows = std::shared_ptr<const BrowserRowSet>;
// Rows shared by no one else.
inline SharedBrowserRows sharedRows(BrowserRows rows) { return std::make_shared<const BrowserRowSet>(std::move(rows)); }

// Folds case and diacritics away ("Éte" and "ete" fold alike), so a plain
// substring test of folded texts is a case- and diacritic-insensitive match.
QString foldedForSearch(const QString& text);

// The folded texts, each followed by a line break: what a row's search text
// holds for the texts a filter looks in. Made in one allocation; texts beyond
// ASCII fold letter by letter through a table of the thread, which is cheaper
// than remembering whole folded texts (an album per track would fill such a
// memory with texts met once).
QString searchTextOf(std::initializer_list<QStringView> texts);

// The search string as the filter compares it: folded, no line breaks (they
// separate the texts), null when nothing is left.
QString searchNeedle(const QString& searchString);
