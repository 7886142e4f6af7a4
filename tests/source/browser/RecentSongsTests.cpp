// The welcome view's recent songs over the Music-folder library, whose play
// dates come from the desktop's list of recently used files.
#include "tests/source/browser/BrowserFixtures.h"

#include "platform/music_library/RecentlyUsedFiles.h"
#include "source/browser/CoverListController.h"
#include "source/browser/WelcomeViewController.h"
#include "source/media_library/ITLMediaLibrary.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/RecentlyUsedFixtures.h"

#include <QLabel>

using namespace browsertest;

namespace {

// A scratch home with a Music folder of five songs, one of them never played.
class RecentSongsTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        ASSERT_TRUE(home.isValid());
        savedHome = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        music = home.filePath("Music");
        for (const auto& [file, title] : {std::pair{"Old.mp3", "Oldie"}, {"Middle.mp3", "Middle"}, {"Sub/New.mp3", "New One"},
                                          {"Newest & Best.mp3", "Newest"}, {"Never.mp3", "Never Played"}}) {
            const QString path = music + "/" + file;
            QDir().mkpath(QFileInfo(path).absolutePath());
            tolvan::test::ToneSpec spec;
            spec.seconds = 0.2;
            spec.tags = {{"title", title}, {"artist", "Singer"}};
            QString error;
            ASSERT_TRUE(tolvan::test::writeTone(path, spec, &error)) << error.toStdString();
        }
    }
    void TearDown() override { qputenv("HOME", savedHome); }

    void writeRecentlyUsed(const QByteArray& bytes)
    {
        ASSERT_TRUE(tolvan::test::writeRecentlyUsedFile(tolvan::music::defaultRecentlyUsedFile(), bytes));
    }

    // The welcome view over the Music-folder library, once that has loaded.
    std::unique_ptr<WelcomeViewController> welcomeOverMusicFolder()
    {
        folderLibrary = ITLMediaLibrary::create();
        EXPECT_TRUE(folderLibrary);
        if (!folderLibrary)
            return nullptr;
        BrowserServices withFolder = services();
        withFolder.library = folderLibrary.get();
        auto view = std::make_unique<WelcomeViewController>(withFolder);
        view->resize(700, 560);
        EXPECT_TRUE(tolvan::test::waitUntil([&] { return !folderLibrary->loading(); }, 30000));
        tolvan::test::drainEvents(20);
        return view;
    }

    static QStringList coverTitles(const WelcomeViewController& view)
    {
        QStringList titles;
        for (const CoverListItem* item : view.coverListController()->items())
            titles << item->representedObject()->title();
        return titles;
    }

    QTemporaryDir home;
    QByteArray savedHome;
    QString music;
    std::unique_ptr<ITLMediaLibrary> folderLibrary;
};

}  // namespace

TEST_F(RecentSongsTest, TheStripShowsTheSongsTheDesktopUsedLastNewestFirst)
{
    writeRecentlyUsed(tolvan::test::recentlyUsedXbel({
        {music + "/Old.mp3", "2024-01-10T09:00:00Z"},
        {music + "/Sub/New.mp3", "2024-03-10T09:00:00Z"},
        {music + "/Middle.mp3", "2024-02-10T09:00:00.5Z"},
        {music + "/Newest & Best.mp3", "2024-01-01T00:00:00Z", "2024-04-10T09:00:00Z"},
        {home.filePath("Downloads/Elsewhere.mp3"), "2024-05-10T09:00:00Z"},
    }));
    auto view = welcomeOverMusicFolder();
    ASSERT_TRUE(view);
    ASSERT_EQ(view->coverListController()->recentCount(), 3u);
    EXPECT_EQ(coverTitles(*view), (QStringList{"Newest", "New One", "Middle"}));
    EXPECT_TRUE(view->showsRecentSongs());
    EXPECT_FALSE(view->directionsLabel(3)->isHidden());
    EXPECT_FALSE(view->coverListController()->view()->isHidden());
    EXPECT_EQ(view->coverListController()->items()[0]->accessibleName(), "Newest, Singer");
}

TEST_F(RecentSongsTest, ABrokenOrMissingListLeavesTheStripHidden)
{
    const QByteArray whole = tolvan::test::recentlyUsedXbel({{music + "/Old.mp3", "2024-01-10T09:00:00Z"}});
    writeRecentlyUsed(whole.left(whole.indexOf("Old.mp3")));
    auto view = welcomeOverMusicFolder();
    ASSERT_TRUE(view);
    EXPECT_EQ(folderLibrary->librarySize(), 5u) << "the library loads all the same";
    EXPECT_EQ(view->coverListController()->recentCount(), 0u);
    EXPECT_TRUE(view->directionsLabel(3)->isHidden());
    EXPECT_TRUE(view->coverListController()->view()->isHidden());
    EXPECT_FALSE(view->directionsLabel(2)->isHidden());

    view.reset();
    folderLibrary.reset();
    QFile::remove(tolvan::music::defaultRecentlyUsedFile());
    view = welcomeOverMusicFolder();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->coverListController()->recentCount(), 0u) << "no list";
}
