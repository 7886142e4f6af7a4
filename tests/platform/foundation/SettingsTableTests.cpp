#include "platform/foundation/SettingsTable.h"
#include "platform/foundation/UserDefaults.h"

#include <QSet>
#include <QTimeZone>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;

namespace {

// A stored value of each type that is not its default.
bool another(bool fallback) { return !fallback; }
qint64 another(qint64 fallback) { return fallback + 3; }
double another(double fallback) { return fallback + 0.5; }
QString another(const QString&) { return QStringLiteral("Ring ö"); }
QByteArray another(const QByteArray&) { return QByteArray("\x01\x00geometry", 10); }
QVariantList another(const QVariantList&) { return {QStringLiteral("/music/Library.xml"), 2}; }
QVariantMap another(const QVariantMap&) { return {{QStringLiteral("song"), QVariantMap{{QStringLiteral("start"), 1.5}}}}; }
QDateTime another(const QDateTime&) { return QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58), QTimeZone::utc()); }

// A stored value no reader of the type can use.
QVariant unreadable(bool) { return QVariantMap{{QStringLiteral("a"), 1}}; }
QVariant unreadable(qint64) { return QStringLiteral("many"); }
QVariant unreadable(double) { return QStringLiteral("half"); }
QVariant unreadable(const QString&) { return QVariantMap{{QStringLiteral("a"), 1}}; }
QVariant unreadable(const QByteArray&) { return 7; }
QVariant unreadable(const QVariantList&) { return QVariantMap{{QStringLiteral("a"), 1}}; }
QVariant unreadable(const QVariantMap&) { return QStringLiteral("word"); }
QVariant unreadable(const QDateTime&) { return QStringLiteral("yesterday"); }

}  // namespace

// Settings files of earlier versions hold these names: a key renamed in the
// table would lose every user's choice.
TEST(SettingsTable, NamesEachStoredKeyOnceWithItsOwner)
{
    QSet<QString> keys;
    for (const SettingEntry& entry : settingsTable()) {
        EXPECT_FALSE(keys.contains(entry.key)) << entry.key.toStdString() << " has two rows";
        keys.insert(entry.key);
        EXPECT_TRUE(entry.owner && *entry.owner) << entry.key.toStdString();
        EXPECT_EQ(entry.fallback.metaType(), entry.type) << entry.key.toStdString();
    }
    const QSet<QString> stored{
        "pixelsPerSecond", "ringtoneKind", "fadeInDuration", "fadeOutDuration", "fadeIn", "fadeOut", "selectedGap",
        "manuallyAdjustVolume", "manualVolumeGain", "editor_showAdvanced", "songSelections", "showIncludedRingtones",
        "iTunesRecentDatabasePaths", "autoImportIntoiTunes", "ringtonesCreated", "saveAsFormat", "accessBookmarks",
        "mainWindowFrame", "frameForNonFullScreenMode", "ITunesImportCompletedWindowController_dontShow",
        "moveToApplicationsFolderAlertSuppress", "selectedPreferencePane", "screenshots", "ZNTRateAppFirstLaunch",
        "ZNTRateAppLaunchCount", "ZNTRateAppDontAskAgain", "ZNTRateAppDidRateApp", "ZNTRateAppLastRatedVersion",
        "QFFeedbackURL", "UpdaterAutomaticallyChecks", "UpdaterSendsSystemProfile", "UpdateFeedURL"};
    EXPECT_EQ(keys, stored);
}

// Each setting reads its default from an empty store, what was written after
// the store is opened again (its type survives the file), and its default
// again for a stored value it cannot read.
TEST(SettingsTable, EverySettingReadsItsDefaultItsStoredValueAndItsDefaultForGarbage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.ini");
    const auto check = [&](const auto& setting) {
        const std::string key = setting.key.toStdString();
        {
            UserDefaults empty(path);
            EXPECT_EQ(empty.value(setting), setting.fallback) << key;
            empty.setValue(setting, another(setting.fallback));
            empty.synchronize();
        }
        {
            UserDefaults reopened(path);
            EXPECT_EQ(reopened.value(setting), another(setting.fallback)) << key;
            reopened.setValue(setting, unreadable(setting.fallback));
            EXPECT_EQ(reopened.value(setting), setting.fallback) << key;
            reopened.remove(setting);
            EXPECT_FALSE(reopened.contains(setting)) << key;
        }
    };
#define TOLVAN_CHECK_SETTING(name, storedKey, Type, byDefault, ownerText) check(settings::name);
    TOLVAN_SETTINGS(TOLVAN_CHECK_SETTING)
#undef TOLVAN_CHECK_SETTING
}
