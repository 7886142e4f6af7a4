// The browser's pure rules: the title order and the search filter.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/BrowserListModel.h"
#include "source/browser/TitleSortDescriptor.h"

#include <QCollator>

#include <algorithm>
#include <random>

using namespace browsertest;

namespace {

BrowserRows rowsTitled(const QStringList& titles)
{
    BrowserRows rows;
    for (const QString& title : titles)
        rows.emplace_back(QVariantMap{{"title", title}});
    return rows;
}

QStringList titlesOf(const BrowserRows& rows, const QString& key = "title")
{
    QStringList titles;
    for (const BrowserRow& row : rows)
        titles << row.string(key);
    return titles;
}

}  // namespace

TEST(TitleOrder, LettersThenDigitLeadingTitlesByValueThenEmptyTitles)
{
    BrowserRows rows = rowsTitled({"10 Years", "Abba", "", "2 Unlimited", "abc"});
    TitleSortDescriptor(QStringLiteral("title")).sort(rows);
    EXPECT_EQ(titlesOf(rows), (QStringList{"Abba", "abc", "2 Unlimited", "10 Years", ""}));
}

TEST(TitleOrder, PinnedRowsComeFirstWhateverTheirTitleAndStayAStrictWeakOrder)
{
    BrowserRows rows = rowsTitled({"Beta", "Alpha", "2 Zeta"});
    rows.emplace_back(QVariantMap{{"title", "Zulu"}, {"sortToTop", true}});
    rows.emplace_back(QVariantMap{{"title", ""}, {"sortToTop", true}});
    rows.emplace_back(QVariantMap{{"title", "Mike"}, {"sortToTop", true}});
    const TitleSortDescriptor order(QStringLiteral("title"));

    // Irreflexive and asymmetric for every pair, pinned ones included.
    for (const BrowserRow& a : rows) {
        EXPECT_EQ(order.compare(a, a), 0) << a.string("title").toStdString();
        for (const BrowserRow& b : rows)
            EXPECT_EQ(order.compare(a, b), -order.compare(b, a)) << a.string("title").toStdString() << " / " << b.string("title").toStdString();
    }
    // Any starting order gives the same result.
    std::mt19937 shuffle(7);
    for (int round = 0; round < 20; ++round) {
        std::shuffle(rows.begin(), rows.end(), shuffle);
        order.sort(rows);
        EXPECT_EQ(titlesOf(rows), (QStringList{"Mike", "Zulu", "", "Alpha", "Beta", "2 Zeta"}));
    }
}

TEST(TitleOrder, PunctuationAndSpacesLeadAmongTheLetters)
{
    BrowserRows rows = rowsTitled({"Zed", "(Intro)", "9 Lives", " Space", "Apple"});
    TitleSortDescriptor(QStringLiteral("title")).sort(rows);
    const QStringList sorted = titlesOf(rows);
    EXPECT_EQ(sorted.last(), "9 Lives") << "only a digit as the first character counts as digit-leading";
    EXPECT_LT(sorted.indexOf("Apple"), sorted.indexOf("Zed"));
    EXPECT_LT(sorted.indexOf("(Intro)"), sorted.indexOf("9 Lives"));
    EXPECT_LT(sorted.indexOf(" Space"), sorted.indexOf("9 Lives"));
}

TEST(TitleOrder, ReadsKeyPathsOfTracksAndKeepsTiesInTheirOrder)
{
    BrowserRows rows;
    rows.emplace_back(track({.title = "b", .sortTitle = "Same"}));
    rows.emplace_back(track({.title = "a", .sortTitle = "Same"}));
    rows.emplace_back(track({.title = "c", .sortTitle = "Alpha"}));
    TitleSortDescriptor(QStringLiteral("sortTitle")).sort(rows);
    EXPECT_EQ(titlesOf(rows), (QStringList{"c", "b", "a"}));
}

TEST(TitleOrder, WithinAGroupFollowsTheLocalesCollation)
{
    // Accents, case, ligatures and numbers inside titles, each ordered as the
    // locale's own collation (with numbers by value) orders them.
    const QStringList titles{"Étude", "etude", "Etude", "ETUDE", "Track 10", "Track 9", "track 9", "Äpfel", "Apfel", "Zebra",
                             "a-ha", "aha", "A Ha", "Ñandú", "nandu", "Œuvre", "Oeuvre", "Straße", "Strasse", "Chapter 2.10",
                             "Chapter 2.9", "x", "X", "Ärger", "Arg", "Disc 1 Track 12", "Disc 1 Track 2", "ça", "ca", "Zürich"};
    QCollator collator(QLocale(QLocale::English, QLocale::UnitedStates));
    collator.setNumericMode(true);
    QStringList expected = titles;
    std::stable_sort(expected.begin(), expected.end(), [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });

    BrowserRows rows = rowsTitled(titles);
    TitleSortDescriptor(QStringLiteral("title")).sort(rows);
    EXPECT_EQ(titlesOf(rows), expected);
    EXPECT_LT(expected.indexOf("Track 9"), expected.indexOf("Track 10")) << "numbers compare by value";
}

TEST(SearchFilter, FoldsCaseAndAccentsOnBothSides)
{
    EXPECT_EQ(foldedForSearch("Beyoncé"), "beyonce");
    EXPECT_EQ(foldedForSearch("ÅNGSTRÖM"), "angstrom");
    EXPECT_EQ(foldedForSearch("MIXED Crème"), "mixed creme") << "plain letters before the first accent are kept once";
    EXPECT_EQ(searchNeedle("  "), "  ") << "trimming is the pane's job";
    EXPECT_TRUE(searchNeedle("").isNull());
    EXPECT_EQ(searchNeedle("a\nb"), "ab") << "a line break could join two keys";
}

TEST(SearchFilter, SongsMatchTitleGenreArtistOrAlbumAsAPlainSubstring)
{
    BrowserListModel model;
    BrowserFilterModel filter(&model);
    BrowserRows rows;
    rows.emplace_back(track({.title = "Halo", .artist = "BEYONCÉ", .album = "I Am", .genre = "Pop"}));
    rows.emplace_back(track({.title = "Other", .artist = "Someone", .album = "Crème Brûlée", .genre = "Jazz"}));
    rows.emplace_back(track({.title = "Third", .artist = "Nobody", .album = "Plain", .genre = "ROCK"}));
    rows.emplace_back(track({.title = "a.b*", .artist = "x", .album = "y", .genre = "z"}));
    indexForSearch(rows, {"title", "genre", "artist.name", "album.title"});
    EXPECT_EQ(rows[0].searchText(), "halo\npop\nbeyonce\ni am\n");
    model.setRows(std::move(rows));

    auto matches = [&](const QString& search) {
        filter.setSearchString(search);
        QStringList titles;
        for (int row = 0; row < filter.rowCount(); ++row)
            titles << filter.rowAt(row)->string("title");
        return titles;
    };
    EXPECT_EQ(matches("beyonce"), QStringList{"Halo"}) << "artist, folded";
    EXPECT_EQ(matches("creme"), QStringList{"Other"}) << "album, folded";
    EXPECT_EQ(matches("rock"), QStringList{"Third"}) << "genre, any case";
    EXPECT_EQ(matches("b*"), QStringList{"a.b*"}) << "never a pattern";
    EXPECT_TRUE(matches(".*").isEmpty());
    EXPECT_TRUE(matches("pop jazz").isEmpty()) << "one key at a time";
    EXPECT_EQ(matches({}).size(), 4);
}
