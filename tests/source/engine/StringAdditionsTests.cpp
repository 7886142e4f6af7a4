#include "source/engine/StringAdditions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <pwd.h>

namespace {

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
}

}  // namespace

TEST(UniquePath, FreePathComesBackUnchanged)
{
    QTemporaryDir dir;
    EXPECT_EQ(stringByMakingPathUnique(dir.filePath("Tone.m4r")), dir.filePath("Tone.m4r"));
}

TEST(UniquePath, TakenNamesGetTheNextFreeNumberFromTwo)
{
    QTemporaryDir dir;
    touch(dir.filePath("Song.m4r"));
    EXPECT_EQ(stringByMakingPathUnique(dir.filePath("Song.m4r")), dir.filePath("Song 2.m4r"));
    touch(dir.filePath("Song 2.m4r"));
    EXPECT_EQ(stringByMakingPathUnique(dir.filePath("Song.m4r")), dir.filePath("Song 3.m4r"));
}

TEST(UniquePath, NamesWithoutOrWithSeveralDots)
{
    QTemporaryDir dir;
    touch(dir.filePath("Readme"));
    EXPECT_EQ(stringByMakingPathUnique(dir.filePath("Readme")), dir.filePath("Readme 2"));
    touch(dir.filePath("a.b.m4r"));
    EXPECT_EQ(stringByMakingPathUnique(dir.filePath("a.b.m4r")), dir.filePath("a.b 2.m4r"));
    touch(dir.filePath(".hidden"));
    EXPECT_EQ(stringByMakingPathUnique(dir.filePath(".hidden")), dir.filePath(".hidden 2"));
    QDir().mkpath(dir.filePath("Folder.m4r"));  // a folder takes the name too
    EXPECT_EQ(stringByMakingPathUnique(dir.filePath("Folder.m4r")), dir.filePath("Folder 2.m4r"));
}

TEST(UniquePath, DanglingSymbolicLinkCountsAsTaken)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere"), dir.filePath("Link.m4r")));
    EXPECT_EQ(stringByMakingPathUnique(dir.filePath("Link.m4r")), dir.filePath("Link 2.m4r"));
}

TEST(ResolvingAliases, StandardisesWithoutFollowingLinks)
{
    QTemporaryDir dir;
    touch(dir.filePath("target.mp3"));
    ASSERT_TRUE(QFile::link(dir.filePath("target.mp3"), dir.filePath("alias.mp3")));
    const QString messy = dir.path() + "/sub/..//./alias.mp3";
    EXPECT_EQ(stringByResolvingAliases(messy), dir.filePath("alias.mp3"));
    EXPECT_EQ(stringByResolvingAliases("/a/b/"), "/a/b");
    EXPECT_EQ(stringByResolvingAliases("/../a/./b/../c"), "/a/c");
    EXPECT_EQ(stringByResolvingAliases(""), "");
}

TEST(ResolvingAliases, RelativePathsKeepTheirParentReferences)
{
    // What ".." leads to depends on where a relative path is read from.
    EXPECT_EQ(stringByResolvingAliases("a/../b"), "a/../b");
    EXPECT_EQ(stringByResolvingAliases("../Music//./song.mp3/"), "../Music/song.mp3");
    EXPECT_EQ(stringByResolvingAliases("./"), ".");
}

TEST(ResolvingAliases, ExpandsTheTildeOfAUserOrOfTheCurrentUser)
{
    EXPECT_EQ(stringByResolvingAliases("~"), QDir::homePath());
    EXPECT_EQ(stringByResolvingAliases("~/Music/a.mp3"), QDir::homePath() + "/Music/a.mp3");
    const struct passwd* root = getpwnam("root");
    ASSERT_TRUE(root);
    EXPECT_EQ(stringByResolvingAliases("~root/Music/../a.mp3"), QString::fromUtf8(root->pw_dir) + "/a.mp3");
    EXPECT_EQ(stringByResolvingAliases("~root"), QString::fromUtf8(root->pw_dir));
    // A user that does not exist leaves the path as it is, and a tilde
    // inside the path is a plain character.
    EXPECT_EQ(stringByResolvingAliases("~no-such-user-here/a.mp3"), "~no-such-user-here/a.mp3");
    EXPECT_EQ(stringByResolvingAliases("/x/~root/a"), "/x/~root/a");
}

TEST(FourCharCode, RoundTripsAndNeverReadsPastShortStrings)
{
    EXPECT_EQ(fourCharCode("lpcm"), 0x6C70636Du);
    EXPECT_EQ(stringWithFourCharCode(0x6C70636D), "lpcm");
    EXPECT_EQ(fourCharCode("stik"), 0x7374696Bu);
    EXPECT_EQ(fourCharCode("lpcmXYZ"), 0x6C70636Du);
    EXPECT_EQ(fourCharCode("ab"), 0x61620000u);
    EXPECT_EQ(fourCharCode(""), 0u);
    EXPECT_EQ(fourCharCode(QString()), 0u);
}
