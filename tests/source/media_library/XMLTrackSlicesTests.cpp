#include "source/media_library/XMLTrackSlices.h"
#include "tests/source/media_library/LibraryFixtures.h"

#include <string>

using namespace tolvan::test;
namespace pl = tolvan::test::plist;

namespace {

std::string text(const QString& s) { return s.toStdString(); }

// The entries between the slices' cuts, as text.
std::vector<std::string> pieces(const std::string& text, const XMLTrackSlices& slices)
{
    std::vector<std::string> out;
    std::size_t from = slices.contentBegin;
    std::vector<std::size_t> ends = slices.cuts;
    ends.push_back(slices.contentEnd);
    for (std::size_t to : ends) {
        out.push_back(text.substr(from, to - from));
        from = to;
    }
    return out;
}

// Comments, CDATA, a declaration, "Tracks" keys deeper down and text that
// looks like tags around five tracks.
std::string trickyLibrary()
{
    std::string doc = text(pl::document(pl::dict({
        {"Comment", "<!-- <key>Tracks</key><dict> --><string>a &lt;dict&gt;</string>"},
        {"Playlists", pl::array({pl::dict({{"Tracks", pl::dict({{"9", pl::dict({})}})}})})},
        {"Tracks", pl::dict({{"1", pl::fileTrack(1, "One")}, {"2", "<dict/>"}, {"3", pl::fileTrack(3, "<![CDATA[</dict>]]>")},
                             {"4", pl::fileTrack(4, "Four")}, {"5", pl::fileTrack(5, "Five")}})},
    })));
    doc.insert(doc.find("<plist"), "<!DOCTYPE plist SYSTEM \"plist.dtd\">\n");
    return doc;
}

}  // namespace

TEST(TrackSlices, CutsBetweenEntriesOfTheRootTracksDictionaryOnly)
{
    const std::string doc = trickyLibrary();
    std::vector<std::string> heard;
    const auto slices = findTrackSlices(doc, 2, [&](std::size_t from, std::size_t to) { heard.push_back(doc.substr(from, to - from)); });
    ASSERT_TRUE(slices);
    const auto parts = pieces(doc, *slices);
    EXPECT_EQ(heard, parts) << "each slice is heard as soon as it ends, in order";
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_NE(parts[0].find("<key>1</key>"), std::string::npos);
    EXPECT_NE(parts[0].find("<key>2</key><dict/>"), std::string::npos);
    EXPECT_NE(parts[1].find("<key>4</key>"), std::string::npos);
    EXPECT_NE(parts[2].find("<key>5</key>"), std::string::npos);
    EXPECT_EQ(doc.substr(slices->contentEnd, 7), "</dict>");
}

// Text that comes a block at a time, each block holding only what the
// scanner still needs, gives the slices of the whole text at once.
TEST(TrackSlices, BlocksOfAnySizeGiveTheSlicesOfTheWholeText)
{
    const std::string doc = trickyLibrary();
    const auto whole = findTrackSlices(doc, 2);
    ASSERT_TRUE(whole);
    for (std::size_t block : {1, 2, 3, 7, 64, 1000}) {
        SCOPED_TRACE(block);
        std::vector<std::pair<std::size_t, std::size_t>> heard;
        TrackSliceScanner scanner(2, [&](std::size_t from, std::size_t to) { heard.emplace_back(from, to); });
        for (std::size_t readTo = 0; readTo < doc.size();) {
            readTo = std::min(doc.size(), readTo + block);
            const std::size_t keptFrom = scanner.neededFrom();
            scanner.scan(doc.substr(keptFrom, readTo - keptFrom), keptFrom);
        }
        const auto slices = scanner.result();
        ASSERT_TRUE(slices);
        EXPECT_EQ(slices->contentBegin, whole->contentBegin);
        EXPECT_EQ(slices->contentEnd, whole->contentEnd);
        EXPECT_EQ(slices->cuts, whole->cuts);
        ASSERT_EQ(heard.size(), 3u);
        EXPECT_EQ(heard.front().first, whole->contentBegin);
        EXPECT_EQ(heard.back().second, whole->contentEnd);
    }

    TrackSliceScanner refusing(2);
    const std::string entities = "<!DOCTYPE plist [<!ENTITY t \"Tracks\">]><plist><dict><key>&t;</key><dict></dict></dict></plist>";
    for (std::size_t at = 0; at < entities.size(); at += 5)
        refusing.scan(std::string_view(entities).substr(refusing.neededFrom(), at + 5 - refusing.neededFrom()), refusing.neededFrom());
    EXPECT_TRUE(refusing.hasRefused());
    EXPECT_FALSE(refusing.result());
}

TEST(TrackSlices, LeavesUnusualFilesToTheWholeParse)
{
    const QString tracks = pl::dict({{"1", pl::fileTrack(1, "One")}});
    EXPECT_FALSE(findTrackSlices(text(pl::document(pl::dict({{"Tracks", tracks}, {"Tracks", tracks}}))), 10)) << "two \"Tracks\"";
    EXPECT_FALSE(findTrackSlices(text(pl::document(pl::dict({{"Tracks", "<dict/>"}}))), 10));
    EXPECT_FALSE(findTrackSlices(text(pl::document(pl::dict({{"Tracks", pl::array({})}}))), 10));
    EXPECT_FALSE(findTrackSlices(text(pl::document(pl::dict({{"Name", pl::string("x")}}))), 10));
    EXPECT_FALSE(findTrackSlices("<!DOCTYPE plist [<!ENTITY t \"Tracks\">]><plist><dict><key>&t;</key><dict></dict></dict></plist>", 10));
    EXPECT_FALSE(findTrackSlices(text(pl::document(pl::dict({{"Tracks", "<dict><key>1</key><dict>"}}))), 10)) << "unclosed";
    EXPECT_TRUE(findTrackSlices(text("<dict><key>Tracks</key><dict></dict></dict>"), 10)) << "a root dictionary without <plist>";
}

TEST_F(XMLLibraryTest, LargeLibrariesReadInSlicesLikeSmallOnes)
{
    QList<std::pair<QString, QString>> tracks;
    QStringList items;
    for (qint64 id = 1; id <= 4500; ++id) {
        tracks.append({QString::number(id), pl::fileTrack(id, QString("Track %1").arg(id),
                                                          {{"Play Date UTC", pl::date(QString("2020-01-01T00:00:%1Z").arg(id % 60, 2, 10, QChar('0')))}})});
        items << pl::dict({{"Track ID", pl::integer(4501 - id)}});
    }
    tracks.append({"007", pl::fileTrack(7007, "Leading zero")});
    tracks.append({"1999", pl::fileTrack(1999, "Second 1999")});
    const QString playlists = pl::array({pl::dict({{"Name", pl::string("Music")}, {"Music", pl::boolean(true)},
                                                   {"Playlist Items", pl::array(items)}})});
    auto library = loadText(pl::document(pl::dict({{"Tracks", pl::dict(tracks)}, {"Playlists", playlists}})));

    EXPECT_EQ(library->librarySize(), 4502u);
    ASSERT_EQ(library->tracks().size(), 4500u);
    EXPECT_EQ(library->tracks().front()->name, "Track 4500");
    EXPECT_EQ(library->tracks().back()->name, "Track 1");
    EXPECT_EQ(library->trackInfoForTrackID(2001)->name, "Track 2001");
    EXPECT_EQ(library->trackInfoForTrackID(1999)->name, "Second 1999") << "a key given twice, in different slices, means its last track";
    EXPECT_EQ(library->trackInfoForTrackID(7)->name, "Track 7") << "key \"007\" is not the decimal string of 7";
    EXPECT_FALSE(library->trackInfoForTrackID(7007));
    const auto recent = library->recentlyPlayedItems(2);
    ASSERT_EQ(recent.size(), 2u);
    EXPECT_TRUE(recent[0]->title().startsWith("Track "));
    EXPECT_TRUE(loggedEvents().filter("loadMusicLibraryOnWorkerThread").isEmpty());
}

TEST_F(XMLLibraryTest, MalformedTrackInALargeLibraryFailsTheWholeLoad)
{
    QList<std::pair<QString, QString>> tracks;
    for (qint64 id = 1; id <= 2500; ++id)
        tracks.append({QString::number(id), id == 2300 ? "<dict><key>Name</key><string>x</dict>" : pl::fileTrack(id, "t")});
    auto library = loadText(pl::document(pl::dict({{"Tracks", pl::dict(tracks)}})));
    EXPECT_EQ(library->librarySize(), 0u);
    EXPECT_EQ(loggedEvents(), (QStringList{"loadMusicLibraryOnWorkerThread: could not load library", "loadMusicLibraryOnWorkerThread: exception"}));
}
