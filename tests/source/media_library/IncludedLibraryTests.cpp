#include "source/media_library/IncludedLibrary.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/FileFixtures.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

// A tone file: the library lists it by its name, never reads it.
void writeTone(const QString& path) { writeFile(path, "tone"); }

const QByteArray kFooter = R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>title</key><string>More tones</string><key>count</key><integer>2</integer></dict></plist>)";

// A binary property list written byte by byte: each object is encoded with
// references of refSize bytes, the first object is the top.
class BinaryPlist {
public:
    explicit BinaryPlist(int refSize) : refSize_(refSize) {}

    int add(const QByteArray& encoded)
    {
        objects_.push_back(encoded);
        return int(objects_.size()) - 1;
    }
    int ascii(const QByteArray& text) { return add(marker(0x5, text.size()) + text); }
    int utf16(const QString& text)
    {
        QByteArray units;
        for (QChar c : text)
            units += bigEndian(c.unicode(), 2);
        return add(marker(0x6, text.size()) + units);
    }
    int boolean(bool value) { return add(QByteArray(1, value ? '\x09' : '\x08')); }
    // An object encoded later, once the objects it refers to have numbers.
    int reserve() { return add({}); }
    void set(int object, const QByteArray& encoded) { objects_[size_t(object)] = encoded; }
    QByteArray arrayOf(const std::vector<int>& items) const { return marker(0xA, qsizetype(items.size())) + references(items); }
    QByteArray dictOf(const std::vector<int>& keys, const std::vector<int>& values) const
    {
        return marker(0xD, qsizetype(keys.size())) + references(keys) + references(values);
    }

    QByteArray bytes() const
    {
        QByteArray out("bplist00");
        std::vector<quint64> offsets;
        for (const QByteArray& object : objects_) {
            offsets.push_back(quint64(out.size()));
            out += object;
        }
        const quint64 table = quint64(out.size());
        for (quint64 offset : offsets)
            out += bigEndian(offset, 4);
        out += QByteArray(6, '\0');
        out += char(4);
        out += char(refSize_);
        out += bigEndian(objects_.size(), 8) + bigEndian(0, 8) + bigEndian(table, 8);
        return out;
    }

private:
    static QByteArray bigEndian(quint64 value, int width)
    {
        QByteArray out(width, '\0');
        for (int i = width - 1; i >= 0; --i, value >>= 8)
            out[i] = char(value & 0xFF);
        return out;
    }
    static QByteArray marker(int type, qsizetype count)
    {
        if (count < 15)
            return QByteArray(1, char(type << 4 | int(count)));
        return QByteArray(1, char(type << 4 | 0xF)) + char(0x12) + bigEndian(quint64(count), 4);
    }
    QByteArray references(const std::vector<int>& objects) const
    {
        QByteArray out;
        for (int object : objects)
            out += bigEndian(quint64(object), refSize_);
        return out;
    }

    int refSize_;
    std::vector<QByteArray> objects_;
};

// {"title": title, key: true} in the binary form, the key in UTF-16 when asked.
QByteArray binaryFooter(const QByteArray& title, const QByteArray& key, bool utf16Key = false)
{
    BinaryPlist plist(1);
    const int root = plist.reserve();
    const int titleKey = plist.ascii("title"), titleValue = plist.ascii(title);
    const int otherKey = utf16Key ? plist.utf16(QString::fromLatin1(key)) : plist.ascii(key), otherValue = plist.boolean(true);
    plist.set(root, plist.dictOf({titleKey, otherKey}, {titleValue, otherValue}));
    return plist.bytes();
}

// {"deep": [[[ ... ]]]} nesting depth arrays, in the binary form.
QByteArray deepBinaryFooter(int depth)
{
    BinaryPlist plist(4);
    const int root = plist.reserve();
    const int key = plist.ascii("deep");
    std::vector<int> arrays;
    for (int i = 0; i < depth; ++i)
        arrays.push_back(plist.reserve());
    for (int i = 0; i < depth; ++i)
        plist.set(arrays[size_t(i)], i + 1 < depth ? plist.arrayOf({arrays[size_t(i) + 1]}) : plist.arrayOf({}));
    plist.set(root, plist.dictOf({key}, {arrays.front()}));
    return plist.bytes();
}

QByteArray deepXMLFooter(int depth)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict><key>deep</key>" +
           QByteArray("<array>").repeated(depth) + QByteArray("</array>").repeated(depth) + "</dict></plist>";
}

// A resources folder of our own: two sets, a set with only its footer, and the
// things that are not sets or tones.
class IncludedTones : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(resources.isValid());
        writeFile(resources.filePath("strings/included_ringtones.json"),
                  R"({"bells": "Bells", "zap": "Alerts", "b.m4a": "Big Bell", "c.m4a": "Another Bell"})");
        writeTone(included("bells/b.m4a"));
        writeTone(included("bells/c.m4a"));
        writeTone(included("bells/a.wav"));
        writeTone(included("bells/.DS_Store"));
        writeFile(included("bells/footer.plist"), kFooter);
        QDir().mkpath(included("bells/nested"));
        writeTone(included("zap/x.m4a"));
        writeFile(included("zap/footer.plist"), "not a property list");
        writeFile(included("only/footer.plist"), kFooter);
        writeTone(included(".hidden/x.m4a"));
        writeTone(included("plain-file.m4a"));
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

TEST_F(IncludedTones, BinaryFootersAreReadAndHostileOnesLeftOut)
{
    writeTone(included("binary/x.m4a"));
    writeFile(included("binary/footer.plist"), binaryFooter("Binary", "shown"));
    const QList<QVariantMap> binary = library.ringtonesWithSetPath(included("binary"));
    ASSERT_EQ(binary.size(), 2);
    EXPECT_EQ(binary[1], (QVariantMap{{"title", "Binary"}, {"shown", true}}));

    writeTone(included("nul/x.m4a"));
    writeFile(included("nul/footer.plist"), binaryFooter("Nul", QByteArray("a\0b", 3)));
    EXPECT_EQ(titles(library.ringtonesWithSetPath(included("nul"))), QStringList{"x.m4a"}) << "a key holding U+0000";
    writeFile(included("nul/footer.plist"), binaryFooter("Nul", QByteArray("\0", 1), true));
    EXPECT_EQ(titles(library.ringtonesWithSetPath(included("nul"))), QStringList{"x.m4a"}) << "a UTF-16 key of U+0000";
    writeFile(included("nul/footer.plist"), binaryFooter("Wide", "shown", true));
    EXPECT_EQ(library.ringtonesWithSetPath(included("nul")).value(1), (QVariantMap{{"title", "Wide"}, {"shown", true}}));

    writeTone(included("deep/x.m4a"));
    writeFile(included("deep/footer.plist"), deepBinaryFooter(100000));
    EXPECT_EQ(titles(library.ringtonesWithSetPath(included("deep"))), QStringList{"x.m4a"}) << "binary, 100,000 deep";
    writeFile(included("deep/footer.plist"), deepXMLFooter(100000));
    EXPECT_EQ(titles(library.ringtonesWithSetPath(included("deep"))), QStringList{"x.m4a"}) << "XML, 100,000 deep";

    writeFile(included("deep/footer.plist"), deepBinaryFooter(50));
    EXPECT_EQ(library.ringtonesWithSetPath(included("deep")).size(), 2) << "a modest nesting is read";
    writeFile(included("deep/footer.plist"), deepXMLFooter(50));
    EXPECT_EQ(library.ringtonesWithSetPath(included("deep")).size(), 2);

    QByteArray cut = binaryFooter("Cut", "shown");
    cut[cut.size() - 1] = char(0x7F);  // the offset table would lie past the end
    writeFile(included("deep/footer.plist"), cut);
    EXPECT_EQ(library.ringtonesWithSetPath(included("deep")).size(), 1);
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

// The sets the application ships, as the browser lists them: every row is
// a tone that decodes, fits its kind's longest selection and has a name in
// the table, or the set's footer, last and complete: marked as the footer,
// with a button title and the web address the button opens.
TEST(ShippedTones, EveryRowIsANamedToneOfRingtoneOrAlertLengthOrACompleteFooter)
{
    IncludedLibrary& shipped = IncludedLibrary::defaultLibrary();
    const QList<QVariantMap> sets = shipped.includedRingtoneSets();
    ASSERT_GE(sets.size(), 2);
    for (const QVariantMap& set : sets) {
        const QString folder = QFileInfo(set.value("setPath").toString()).fileName();
        EXPECT_NE(set.value("title").toString(), folder) << "set " << folder.toStdString() << " has no name";
        const QList<QVariantMap> rows = shipped.ringtonesWithSetPath(set.value("setPath").toString());
        int tones = 0;
        for (qsizetype index = 0; index < rows.size(); ++index) {
            const QVariantMap& row = rows[index];
            const std::string where = folder.toStdString() + " row \"" + row.value("title").toString().toStdString() + "\"";
            if (row.value("footerItem").toBool()) {
                EXPECT_EQ(index, rows.size() - 1) << where << ": the footer comes last";
                EXPECT_FALSE(row.value("title").toString().trimmed().isEmpty()) << where << ": the button has a title";
                const QUrl link(row.value("link").toString(), QUrl::StrictMode);
                EXPECT_TRUE(link.isValid() && link.scheme() == "https" && !link.host().isEmpty())
                    << where << ": the button opens a web address, not \"" << link.toString().toStdString() << "\"";
                continue;
            }
            ASSERT_TRUE(row.contains("Location")) << where << " is neither a tone nor a complete footer";
            ++tones;
            const QString path = QUrl(row.value("Location").toString()).toLocalFile();
            EXPECT_NE(row.value("title").toString(), QFileInfo(path).fileName()) << path.toStdString() << " has no name";
            const QByteArray pcm = test::decodeWithFfmpeg(path, 8000, 1);
            const double seconds = pcm.size() / 2.0 / 8000;
            EXPECT_GT(seconds, 0.5) << path.toStdString();
            EXPECT_LT(seconds, 29.98) << path.toStdString();
        }
        EXPECT_GE(tones, 3) << folder.toStdString();
    }
}
