// The browser's pure rules: the title order and the search filter.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/BrowserListModel.h"
#include "source/browser/SimpleSongsController.h"
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
        rows.push_back(BrowserRow{.title = title});
    return rows;
}

BrowserRow pinned(const QString& title)
{
    BrowserRow row{.title = title};
    row.sortToTop = true;
    return row;
}

}  // namespace

TEST(TitleOrder, LettersThenDigitLeadingTitlesByValueThenEmptyTitles)
{
    BrowserRows rows = rowsTitled({"10 Years", "Abba", "", "2 Unlimited", "abc"});
    TitleSortDescriptor(BrowserRow::Text::title).sort(rows);
    EXPECT_EQ(titlesOf(rows), (QStringList{"Abba", "abc", "2 Unlimited", "10 Years", ""}));
}

TEST(TitleOrder, PinnedRowsComeFirstWhateverTheirTitleAndStayAStrictWeakOrder)
{
    BrowserRows rows = rowsTitled({"Beta", "Alpha", "2 Zeta"});
    rows.push_back(pinned("Zulu"));
    rows.push_back(pinned(""));
    rows.push_back(pinned("Mike"));
    const TitleSortDescriptor order(BrowserRow::Text::title);

    // Irreflexive and asymmetric for every pair, pinned ones included.
    for (const BrowserRow& a : rows) {
        EXPECT_EQ(order.compare(a, a), 0) << a.title.toStdString();
        for (const BrowserRow& b : rows)
            EXPECT_EQ(order.compare(a, b), -order.compare(b, a)) << a.title.toStdString() << " / " << b.title.toStdString();
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
    TitleSortDescriptor(BrowserRow::Text::title).sort(rows);
    const QStringList sorted = titlesOf(rows);
    EXPECT_EQ(sorted.last(), "9 Lives") << "only a digit as the first character counts as digit-leading";
    EXPECT_LT(sorted.indexOf("Apple"), sorted.indexOf("Zed"));
    EXPECT_LT(sorted.indexOf("(Intro)"), sorted.indexOf("9 Lives"));
    EXPECT_LT(sorted.indexOf(" Space"), sorted.indexOf("9 Lives"));
}

TEST(TitleOrder, SongsGoByTheTracksSortTitlesAndKeepTiesInTheirOrder)
{
    const BrowserRows rows = SimpleSongsController::buildContent({track({.title = "b", .sortTitle = "Same"}), track({.title = "a", .sortTitle = "Same"}),
                                                                  track({.title = "c", .sortTitle = "Alpha"})},
                                                                 SimpleSongsController::Order::title);
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
    TitleSortDescriptor(BrowserRow::Text::title).sort(rows);
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
    BrowserRows rows = SimpleSongsController::buildContent({track({.title = "Halo", .artist = "BEYONCÉ", .album = "I Am", .genre = "Pop"}),
                                                            track({.title = "Other", .artist = "Someone", .album = "Crème Brûlée", .genre = "Jazz"}),
                                                            track({.title = "Third", .artist = "Nobody", .album = "Plain", .genre = "ROCK"}),
                                                            track({.title = "a.b*", .artist = "x", .album = "y", .genre = "z"})},
                                                           SimpleSongsController::Order::given);
    EXPECT_EQ(rows[0].searchText, "halo\npop\nbeyonce\ni am\n");
    model.setRows(std::move(rows));

    auto matches = [&](const QString& search) {
        filter.setSearchString(search);
        QStringList titles;
        for (int row = 0; row < filter.rowCount(); ++row)
            titles << filter.rowAt(row)->title;
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

TEST(SearchFilter, AMatchNeverRunsFromOneRowIntoTheNext)
{
    // Rows of other lists: texts without a closing line break, and none at all.
    BrowserRows rows(5);
    const QStringList texts{"ab", "", "cd", "abc\n", "dab"};
    for (int index = 0; index < texts.size(); ++index) {
        rows[std::size_t(index)].title = QString::number(index);
        rows[std::size_t(index)].searchText = texts[index];
    }
    BrowserListModel model;
    BrowserFilterModel filter(&model);
    model.setRows(std::move(rows));
    auto shown = [&](const QString& search) {
        filter.setSearchString(search);
        QStringList titles;
        for (int row = 0; row < filter.rowCount(); ++row)
            titles << filter.rowAt(row)->title;
        return titles;
    };
    EXPECT_EQ(shown("b"), (QStringList{"0", "3", "4"}));
    EXPECT_EQ(shown("bc"), QStringList{"3"}) << "narrowed";
    EXPECT_TRUE(shown("bcd").isEmpty()) << "\"abc\" and \"cd\" are two rows";
    EXPECT_TRUE(shown("bd").isEmpty()) << "the empty row joins nothing";
    EXPECT_EQ(shown("d"), (QStringList{"2", "4"}));
    EXPECT_EQ(shown("da"), QStringList{"4"}) << "a match in the last row";
    EXPECT_EQ(shown("a\nb"), (QStringList{"0", "3", "4"})) << "a line break typed is dropped";
    EXPECT_EQ(shown({}).size(), 5);
}
