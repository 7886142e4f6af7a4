#include "source/engine/StringAdditions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    EXPECT_EQ(stringByResolvingAliases("~/Music/a.mp3"), QDir::homePath() + "/Music/a.mp3");
    EXPECT_EQ(stringByResolvingAliases("/a/b/"), "/a/b");
    EXPECT_EQ(stringByResolvingAliases(""), "");
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
