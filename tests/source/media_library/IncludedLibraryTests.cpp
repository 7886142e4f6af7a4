#include "source/media_library/IncludedLibrary.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "tests/support/AudioFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace tolvan;

namespace {

void writeFile(const QString& path, const QByteArray& bytes = "tone")
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QByteArray kFooter = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>title</key><string>More tones</string><key>count</key><integer>2</integer></dict></plist>)";

// A resources folder of our own: two sets, a set with only its footer, and the
// things that are not sets or tones.
class IncludedTones : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(resources.isValid());
        writeFile(resources.filePath("strings/included_ringtones.json"),
                  R"({"bells": "Bells", "zap": "Alerts", "b.m4a": "Big Bell", "c.m4a": "Another Bell"})");
        writeFile(included("bells/b.m4a"));
        writeFile(included("bells/c.m4a"));
        writeFile(included("bells/a.wav"));
        writeFile(included("bells/.DS_Store"));
        writeFile(included("bells/footer.plist"), kFooter);
        QDir().mkpath(included("bells/nested"));
        writeFile(included("zap/x.m4a"));
        writeFile(included("zap/footer.plist"), "not a property list");
        writeFile(included("only/footer.plist"), kFooter);
        writeFile(included(".hidden/x.m4a"));
        writeFile(included("plain-file.m4a"));
    }

    QString included(const QString& relative) const { return resources.filePath("included/" + relative); }

    static QStringList titles(const QList<QVariantMap>& entries)
    {
        QStringList out;
        for (const QVariantMap& entry : entries)
            out << entry.value("title").toString();
        return out;
    }

    QTemporaryDir resources;
    Localizer localizer{resources.filePath("strings")};
    IncludedLibrary library{resources.path(), localizer};
};

}  // namespace

TEST_F(IncludedTones, SetsAreTheVisibleFoldersByLocalisedTitle)
{
    EXPECT_EQ(library.includedPath(), resources.filePath("included"));
    EXPECT_TRUE(library.sets().isEmpty()) << "nothing is scanned before it is asked for";
    const QList<QVariantMap> sets = library.includedRingtoneSets();
    EXPECT_EQ(titles(sets), (QStringList{"Alerts", "Bells", "only"}));
    EXPECT_EQ(sets[1].value("setPath").toString(), included("bells"));
    EXPECT_EQ(library.sets(), sets);

    QDir(included("only")).removeRecursively();
    EXPECT_EQ(library.includedRingtoneSets().size(), 2) << "every call scans again";
}

TEST_F(IncludedTones, TonesAreSortedWithTheFooterLast)
{
    const QList<QVariantMap> tones = library.ringtonesWithSetPath(included("bells"));
    ASSERT_EQ(tones.size(), 4) << "hidden files and folders are not tones";
    EXPECT_EQ(titles(tones), (QStringList{"a.wav", "Another Bell", "Big Bell", "More tones"}));

    const QVariantMap& bell = tones[2];
    EXPECT_EQ(bell.size(), 5);
    EXPECT_EQ(bell.value("included_set").toString(), "Bells");
    EXPECT_EQ(bell.value("Location").toString(), QUrl::fromLocalFile(included("bells/b.m4a")).toString(QUrl::FullyEncoded));
    EXPECT_EQ(bell.value("includedRingtone"), QVariant(true));
    EXPECT_EQ(bell.value("allowVolumeAdjustment"), QVariant(false));
    EXPECT_EQ(tones[0].value("title").toString(), "a.wav") << "a name without an entry shows with its extension";

    EXPECT_EQ(tones[3], (QVariantMap{{"title", "More tones"}, {"count", qint64(2)}}));
}

TEST_F(IncludedTones, FooterOnlyUnreadableFooterAndMissingSets)
{
    const QList<QVariantMap> only = library.ringtonesWithSetPath(included("only"));
    ASSERT_EQ(only.size(), 1);
    EXPECT_EQ(only[0].value("title").toString(), "More tones");

    const QList<QVariantMap> zap = library.ringtonesWithSetPath(included("zap"));
    EXPECT_EQ(titles(zap), QStringList{"x.m4a"}) << "an unreadable footer is left out";
    EXPECT_EQ(zap[0].value("included_set").toString(), "Alerts");

    EXPECT_TRUE(library.ringtonesWithSetPath(included("missing")).isEmpty());
    IncludedLibrary empty(resources.filePath("nowhere"), localizer);
    EXPECT_TRUE(empty.includedRingtoneSets().isEmpty());
}

TEST_F(IncludedTones, AFooterStringHoldingUPlus0000ReadsWhole)
{
    // A binary property list of {"title": "\u00e9\u0000b"}, the text stored as UTF-16.
    const QByteArray footer("bplist00\xd1\x01\x02\x55title\x63\x00\xe9\x00\x00\x00\x62\x08\x0b\x11"
                            "\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00\x00\x00\x00\x00\x03"
                            "\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x18",
                            59);
    writeFile(included("only/footer.plist"), footer);
    const QList<QVariantMap> only = library.ringtonesWithSetPath(included("only"));
    ASSERT_EQ(only.size(), 1);
    EXPECT_EQ(only[0].value("title").toString(), QString::fromUtf8("\xc3\xa9\0b", 4));
}

// The sets the application ships: each tone decodes, fits its kind's longest
// selection, and has a name in the table.
TEST(ShippedTones, EverySetHoldsNamedTonesOfRingtoneOrAlertLength)
{
    IncludedLibrary& shipped = IncludedLibrary::defaultLibrary();
    const QList<QVariantMap> sets = shipped.includedRingtoneSets();
    ASSERT_GE(sets.size(), 2);
    const QString table = "included_ringtones";
    for (const QVariantMap& set : sets) {
        const QString folder = QFileInfo(set.value("setPath").toString()).fileName();
        EXPECT_NE(set.value("title").toString(), folder) << "set " << folder.toStdString() << " has no name";
        int tones = 0;
        for (const QVariantMap& tone : shipped.ringtonesWithSetPath(set.value("setPath").toString())) {
            if (!tone.contains("Location"))
                continue;  // the footer
            ++tones;
            const QString path = QUrl(tone.value("Location").toString()).toLocalFile();
            EXPECT_NE(tone.value("title").toString(), QFileInfo(path).fileName()) << path.toStdString() << " has no name";
            const QByteArray pcm = test::decodeWithFfmpeg(path, 8000, 1);
            const double seconds = pcm.size() / 2.0 / 8000;
            EXPECT_GT(seconds, 0.5) << path.toStdString();
            EXPECT_LT(seconds, 29.98) << path.toStdString();
        }
        EXPECT_GE(tones, 3) << folder.toStdString();
    }
}
