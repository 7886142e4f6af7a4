#pragma once
// Music library XML files written by the tests: a small property-list writer
// and a fixture that loads a file through XMLMediaLibrary and waits for
// "MusicLibraryDidLoad".

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/media_library/XMLMediaLibrary.h"
#include "tests/support/EventLoop.h"
#include "tests/source/analytics/LoggedEvents.h"
#include "tests/support/FileFixtures.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

namespace tolvan::test::plist {

// Each value is its XML text.
inline QString escaped(const QString& s) { return s.toHtmlEscaped(); }
inline QString string(const QString& s) { return "<string>" + escaped(s) + "</string>"; }
inline QString integer(qint64 n) { return QString("<integer>%1</integer>").arg(n); }
inline QString boolean(bool b) { return b ? "<true/>" : "<false/>"; }
inline QString date(const QString& iso) { return "<date>" + iso + "</date>"; }
inline QString dict(std::initializer_list<std::pair<QString, QString>> entries)
{
    QString out = "<dict>\n";
    for (const auto& [key, value] : entries)
        out += "\t<key>" + escaped(key) + "</key>" + value + "\n";
    return out + "</dict>";
}
inline QString dict(const QList<std::pair<QString, QString>>& entries)
{
    QString out = "<dict>\n";
    for (const auto& [key, value] : entries)
        out += "\t<key>" + escaped(key) + "</key>" + value + "\n";
    return out + "</dict>";
}
inline QString array(const QStringList& values) { return "<array>\n" + values.join("\n") + "\n</array>"; }
inline QString document(const QString& root)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<plist version=\"1.0\">\n" + root + "\n</plist>\n";
}

// A file track with the given name, ID and extra entries.
inline QString fileTrack(qint64 id, const QString& name, QList<std::pair<QString, QString>> extra = {})
{
    QList<std::pair<QString, QString>> entries{{"Track ID", integer(id)}, {"Name", string(name)}, {"Track Type", string("File")},
                                               {"Location", string(QString("file:///music/%1.mp3").arg(id))}};
    entries += extra;
    return dict(entries);
}

inline QString playlistItems(std::initializer_list<qint64> ids)
{
    QStringList items;
    for (qint64 id : ids)
        items << dict({{"Track ID", integer(id)}});
    return array(items);
}

}  // namespace tolvan::test::plist

namespace tolvan::test {

class XMLLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ZNTAnalytics::resetForTesting();
        defaults = std::make_unique<UserDefaults>(dir.filePath("defaults.ini"));
    }

    QString writeLibrary(const QString& text, const QString& name = "Library.xml")
    {
        const QString path = dir.filePath(name);
        tolvan::test::writeFile(path, text.toUtf8());
        return path;
    }

    // Loads the file at path and waits until the notification has been posted.
    std::unique_ptr<XMLMediaLibrary> load(const QString& path)
    {
        defaults->setValue("iTunesRecentDatabasePaths", QStringList{path});
        auto library = std::make_unique<XMLMediaLibrary>(*defaults);
        posts = 0;
        token = NotificationCenter::defaultCenter().addObserver(kMusicLibraryDidLoadNotification, library.get(),
                                                                [this](const Notification&) { ++posts; });
        EXPECT_TRUE(waitUntil([&] { return posts > 0 && !library->loading(); }, 30000));
        return library;
    }

    std::unique_ptr<XMLMediaLibrary> loadText(const QString& text) { return load(writeLibrary(text)); }

    static QStringList loggedEvents() { return tolvan::test::loggedEvents(); }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    ObserverToken token;
    int posts = 0;
};

}  // namespace tolvan::test
