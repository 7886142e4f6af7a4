// Large lists: the title order and the search texts of sets big enough to be
// made in slices across the cores, and the one listing of a library that its
// songs, artists and albums lists share until the library's tracks change.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/BrowserListModel.h"
#include "source/browser/LibraryListing.h"
#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleArtistsController.h"
#include "source/browser/SimpleSongsController.h"
#include "source/browser/TitleSortDescriptor.h"

#include <QCollator>

#include <random>

using namespace browsertest;

namespace {

// Words of several scripts: precomposed and combining accents, case pairs,
// Greek, Cyrillic, CJK ideographs, kana and hangul, and numbers inside titles.
const QStringList words{"été",   "Ete",  "ÉTÉ",    "e\u0301te", "café", "Ångström", "angstrom", "über", "Straße", "strasse", "Œuvre",
                        "ελπίδα", "Ελπίδα", "ночь", "Ночь",    "река", "夜",       "河",       "東京", "の",     "사랑",    "바다",
                        "Track", "track", "2",      "10",       "Zoë",  "zoe",     "ça",       "Ñandú", "-",      "(live)"};

// count titles of one to four words, the same for every run.
QStringList worldTitles(int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> word(0, int(words.size()) - 1), length(1, 4);
    QStringList titles;
    for (int index = 0; index < count; ++index) {
        QStringList parts;
        for (int part = length(random); part > 0; --part)
            parts << words[word(random)];
        titles << parts.join(' ');
    }
    return titles;
}

// The folded search text of a track, worked out field by field.
QString expectedSearchText(const ZNTMediaLibraryMediaItemPtr& track)
{
    return searchTextOf({track->title(), track->genre(), track->artistName(), track->albumTitle()});
}

}  // namespace

TEST(LargeTitleOrder, KeyedInSlicesItOrdersAsComparingPairsDoes)
{
    // More titles than one slice holds, so the keys come from several threads.
    const QStringList titles = worldTitles(9000, 11);
    BrowserRows rows;
    for (int index = 0; index < titles.size(); ++index) {
        BrowserRow& row = rows.emplace_back();
        row.title = index % 997 == 0 ? QString() : titles[index];
        row.sortToTop = index % 1499 == 0;
        row.info = QString::number(index);  // tells equal titles apart
    }
    const TitleSortDescriptor order(BrowserRow::Text::title);
    BrowserRows byPairs = rows;
    std::stable_sort(byPairs.begin(), byPairs.end(), [&](const BrowserRow& a, const BrowserRow& b) { return order.compare(a, b) < 0; });
    order.sort(rows);

    ASSERT_EQ(rows.size(), byPairs.size());
    for (std::size_t index = 0; index < rows.size(); ++index)
        ASSERT_EQ(rows[index].info, byPairs[index].info) << "place " << index << ": " << rows[index].title.toStdString();

    // Within the titles that begin with a letter, the locale's collation with
    // numbers by value: each title goes before or with the next.
    QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
    collator.setNumericMode(true);
    int compared = 0;
    for (std::size_t index = 1; index < rows.size(); ++index) {
        const BrowserRow& a = rows[index - 1];
        const BrowserRow& b = rows[index];
        if (a.sortToTop || b.sortToTop || a.title.isEmpty() || b.title.isEmpty() || a.title.front().isDigit() || b.title.front().isDigit())
            continue;
        EXPECT_LE(collator.compare(a.title, b.title), 0) << a.title.toStdString() << " before " << b.title.toStdString();
        ++compared;
    }
    EXPECT_GT(compared, 8000);
}

TEST(SearchFolding, LetterByLetterFoldsAsTheWholeTextDoes)
{
    // The rule: decomposed for compatibility, without marks, case-folded.
    auto folded = [](const QString& text) {
        QString kept;
        for (QChar c : text.normalized(QString::NormalizationForm_KD)) {
            if (!c.isMark())
                kept.append(c);
        }
        return kept.toCaseFolded();
    };
    QStringList texts = worldTitles(2000, 3);
    // Every letter of the Latin, Greek and Cyrillic blocks, some hangul and
    // CJK, ligatures, full-width forms, combining sequences and a character
    // beyond the basic plane.
    QString alphabet;
    for (char16_t unit = 0xA0; unit < 0x530; ++unit)
        alphabet.append(QChar(unit));
    for (char16_t unit : {u'\uAC00', u'\uD55C', u'\u3042', u'\u6771', u'\uFB01', u'\uFF21', u'\u2160', u'\u00BD'})
        alphabet.append(QChar(unit));
    texts << alphabet << QStringLiteral("Cafe\u0301 A\u030A") << QStringLiteral("\U0001D400bc \u00C9") << QStringLiteral("\u0301lone mark");
    for (const QString& text : texts)
        ASSERT_EQ(foldedForSearch(text), folded(text)) << text.toStdString();
}

TEST(LargeSongsRows, EverySongIsFoundByItsTitleArtistAlbumOrGenreFolded)
{
    const QStringList titles = worldTitles(10000, 5), artists = worldTitles(300, 6), albums = worldTitles(900, 7);
    std::vector<ZNTMediaLibraryMediaItemPtr> tracks;
    for (int index = 0; index < titles.size(); ++index) {
        tracks.push_back(track({.title = titles[index],
                                .artist = index % 50 == 0 ? QString() : artists[index % artists.size()],
                                .album = albums[index % albums.size()],
                                .genre = index % 3 ? "Pop" : "Musique française"}));
    }
    const BrowserRows rows = SimpleSongsController::buildContent(tracks, SimpleSongsController::Order::title);
    ASSERT_EQ(rows.size(), tracks.size());
    for (const BrowserRow& row : rows) {
        ASSERT_TRUE(row.track);
        ASSERT_EQ(row.searchText, expectedSearchText(row.track)) << row.title.toStdString();
        ASSERT_EQ(row.title, row.track->title()) << "the row shows its own track";
    }

    // Typing finds exactly the songs a search of each track's fields finds.
    BrowserListModel model;
    BrowserFilterModel filter(&model);
    model.setRows(rows);
    for (const QString& typed : {QStringLiteral("ETE"), QStringLiteral("francaise"), QStringLiteral("Ночь"), QStringLiteral("東京"), QStringLiteral("zoe")}) {
        const QString needle = searchNeedle(typed);
        int expected = 0;
        for (const ZNTMediaLibraryMediaItemPtr& track : tracks)
            expected += expectedSearchText(track).contains(needle) ? 1 : 0;
        filter.setSearchString(typed);
        EXPECT_EQ(filter.rowCount(), expected) << typed.toStdString();
        EXPECT_GT(expected, 0) << typed.toStdString();
    }
}

TEST(LargeAlbumsRows, AnAlbumPerTrackKeepsItsFirstTracksArtistAndSortsBySortTitle)
{
    const QStringList titles = worldTitles(6000, 9);
    std::vector<ZNTMediaLibraryMediaItemPtr> tracks;
    for (int index = 0; index < titles.size(); ++index)
        tracks.push_back(track({.title = "t", .artist = QString::number(index), .album = "The " + titles[index]}));
    const BrowserRows rows = SimpleAlbumsController::buildRows(tracks, std::nullopt);

    QHash<QString, QString> firstArtist;
    for (const ZNTMediaLibraryMediaItemPtr& track : tracks) {
        if (!firstArtist.contains(track->albumTitle()))
            firstArtist.insert(track->albumTitle(), track->artistName());
    }
    ASSERT_EQ(qsizetype(rows.size()), firstArtist.size());
    const TitleSortDescriptor order(BrowserRow::Text::sortTitle);
    for (std::size_t index = 0; index < rows.size(); ++index) {
        ASSERT_EQ(rows[index].artist, firstArtist.value(rows[index].title)) << rows[index].title.toStdString();
        ASSERT_EQ(rows[index].sortTitle, ZNTMediaLibrary::sortStringFromString(rows[index].title));
        ASSERT_EQ(rows[index].searchText, searchTextOf({rows[index].title}));
        if (index > 0) {
            const int compared = order.compare(rows[index - 1], rows[index]);
            ASSERT_TRUE(compared < 0 || (compared == 0 && rows[index - 1].title < rows[index].title))
                << rows[index - 1].title.toStdString() << " before " << rows[index].title.toStdString();
        }
    }
}

class SharedListingTest : public BrowserTest {
protected:
    template <class List>
    std::shared_ptr<List> loaded(std::shared_ptr<List> list)
    {
        EXPECT_TRUE(tolvan::test::waitUntil([&] { return !list->isLoading(); }, 30000));
        return list;
    }
    static const BrowserRows* rowsOf(const std::shared_ptr<BrowserListController>& list) { return &list->rows().rows(); }
    static QStringList titles(const std::shared_ptr<BrowserListController>& list) { return titlesOf(list->rows().rows()); }
};

TEST_F(SharedListingTest, ListsOfTheLibraryShareOneListingUntilItsTracksChange)
{
    library.music = {track({.title = "Été", .artist = "Zoë", .album = "Nuit"}), track({.title = "夜", .artist = "Ночь", .album = "東京"})};
    const auto songs = loaded(SimpleSongsController::songs(services()));
    const auto songsAgain = loaded(SimpleSongsController::songs(services()));
    EXPECT_EQ(titles(songs), (QStringList{"Été", "夜"}));
    EXPECT_EQ(rowsOf(songs), rowsOf(songsAgain)) << "a second songs list shows the rows the first one made";

    const auto albums = loaded(SimpleAlbumsController::albums(services()));
    const auto albumsAgain = loaded(SimpleAlbumsController::albums(services()));
    const auto artists = loaded(SimpleArtistsController::artists(services()));
    const auto artistsAgain = loaded(SimpleArtistsController::artists(services()));
    EXPECT_EQ(titles(albums), (QStringList{"Nuit", "東京"}));
    EXPECT_EQ(rowsOf(albums), rowsOf(albumsAgain));
    EXPECT_EQ(titles(artists), (QStringList{"Zoë", "Ночь"}));
    EXPECT_EQ(rowsOf(artists), rowsOf(artistsAgain));

    // The same tracks read again are the same listing; other tracks a new one.
    const auto first = LibraryListing::shared(LibraryListing::Master::music, library.music);
    EXPECT_EQ(LibraryListing::shared(LibraryListing::Master::music, library.music), first);
    EXPECT_NE(LibraryListing::shared(LibraryListing::Master::movies, library.music), first) << "each master playlist has its own";

    library.music.push_back(track({.title = "Another"}));
    const auto changed = loaded(SimpleSongsController::songs(services()));
    EXPECT_EQ(titles(changed), (QStringList{"Another", "Été", "夜"})) << "a list made after the change sees it";
    EXPECT_NE(rowsOf(changed), rowsOf(songs));
    EXPECT_EQ(titles(songs), (QStringList{"Été", "夜"})) << "a list keeps what it showed";
    EXPECT_EQ(titles(loaded(SimpleAlbumsController::albums(services()))), (QStringList{"Nuit", "東京"}))
        << "the new listing makes its own albums (a track without an album adds none)";

    library.music = {track({.title = "Été", .artist = "Zoë", .album = "Nuit"})};  // same titles, other tracks
    const auto replaced = loaded(SimpleSongsController::songs(services()));
    EXPECT_EQ(titles(replaced), QStringList{"Été"});
    EXPECT_EQ(replaced->rows().rows().front().track, library.music.front()) << "the rows hold the tracks read now";
}

TEST_F(SharedListingTest, ListsOfGivenTracksKeepTheirOwnRows)
{
    library.music = {track({.title = "b", .artist = "A", .album = "X"}), track({.title = "a", .artist = "A", .album = "X"})};
    const auto all = loaded(SimpleSongsController::songs(services()));
    const auto given = loaded(SimpleSongsController::songsWithTracks(services(), library.music, "A", SimpleSongsController::Order::title));
    EXPECT_EQ(titles(given), (QStringList{"a", "b"}));
    EXPECT_NE(rowsOf(given), rowsOf(all));
    const auto byTrack = loaded(SimpleSongsController::songsWithTracks(services(), library.music, "A", SimpleSongsController::Order::given));
    EXPECT_EQ(titles(byTrack), (QStringList{"b", "a"})) << "a list in the given order is not the title-ordered listing";
}
