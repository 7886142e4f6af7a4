#pragma once
// Every key the application keeps in the user defaults: its stored name, its
// type, the value a reader gets while it is absent or unreadable, and the
// part of the application that owns it. Readers and writers name a setting
// only through this table (UserDefaults::value(settings::ringtoneKind)), so a
// key has one spelling and one default. The key strings are those the
// settings files of earlier versions hold; they never change.
//
// The crash kit keeps its own store (BRSUserDefaults); its keys are its own.

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <vector>

namespace tolvan {

struct SettingKey {
    QString key;        // as stored
    const char* owner;  // the part that reads and writes it
};

template <class T>
struct Setting : SettingKey {
    T fallback;  // while absent, or stored as a value that is not a T
};

// name in code          key as stored                                       type          default  owner: what it keeps
#define TOLVAN_SETTINGS(X) \
    X(pixelsPerSecond,          "pixelsPerSecond",                                double,       0.0,   "editor: the waveform's zoom; 0 until the user zooms") \
    X(ringtoneKind,             "ringtoneKind",                                   qint64,       0,     "editor: 0 ringtone, 1 alert tone") \
    X(fadeInDuration,           "fadeInDuration",                                 double,       0.0,   "editor: seconds; 0 reads as the shortest fade") \
    X(fadeOutDuration,          "fadeOutDuration",                                double,       0.0,   "editor: seconds; 0 reads as the shortest fade") \
    X(oldFadeIn,                "fadeIn",                                         bool,         true,  "editor: an early version's fade switch, read once into fadeInDuration") \
    X(oldFadeOut,               "fadeOut",                                        bool,         true,  "editor: an early version's fade switch, read once into fadeOutDuration") \
    X(selectedGap,              "selectedGap",                                    qint64,       0,     "editor: the gap menu's index, 0 none") \
    X(manuallyAdjustVolume,     "manuallyAdjustVolume",                           bool,         false, "editor: the Manual Volume check box") \
    X(manualVolumeGain,         "manualVolumeGain",                               double,       0.0,   "editor: the manual gain; 0 reads as 1") \
    X(showAdvanced,             "editor_showAdvanced",                            bool,         false, "editor: the advanced panel shows") \
    X(songSelections,           "songSelections",                                 QVariantMap,  {},    "editor: each song's last selection") \
    X(showIncludedRingtones,    "showIncludedRingtones",                          bool,         true,  "browser: the included tones are listed") \
    X(recentLibraryPaths,       "iTunesRecentDatabasePaths",                      QVariantList, {},    "media library: the library files in use, newest first") \
    X(autoImportIntoiTunes,     "autoImportIntoiTunes",                           bool,         true,  "shell: Create hands the tone to the music application") \
    X(ringtonesCreated,         "ringtonesCreated",                               qint64,       0,     "shell: how many tones were exported") \
    X(saveAsFormat,             "saveAsFormat",                                   QString,      {},    "shell: the save panel's last file type") \
    X(accessBookmarks,          "accessBookmarks",                                QVariantList, {},    "shell: the granted folders, newest first") \
    X(mainWindowFrame,          "mainWindowFrame",                                QByteArray,   {},    "shell: the main window's frame and state (maximised, full screen) as the toolkit saves them") \
    X(frameForNonFullScreenMode,"frameForNonFullScreenMode",                      QVariantList, {},    "shell: x, y, width, height before full screen") \
    X(importCompletedDontShow,  "ITunesImportCompletedWindowController_dontShow", bool,         false, "shell: the import-completed sheet is not shown") \
    X(moveAlertSuppress,        "moveToApplicationsFolderAlertSuppress",          bool,         false, "shell: the offer to move the application is not made") \
    X(selectedPreferencePane,   "selectedPreferencePane",                         QString,      {},    "shell: the preferences pane last shown") \
    X(screenshots,              "screenshots",                                    QString,      {},    "shell: the screenshot mode's folder (a one-run argument)") \
    X(rateFirstLaunch,          "ZNTRateAppFirstLaunch",                          QDateTime,    {},    "rating prompt: the first launch counted") \
    X(rateLaunchCount,          "ZNTRateAppLaunchCount",                          qint64,       0,     "rating prompt: launches since the last answer") \
    X(rateDontAskAgain,         "ZNTRateAppDontAskAgain",                         bool,         false, "rating prompt: the user declined for good") \
    X(rateDidRate,              "ZNTRateAppDidRateApp",                           bool,         false, "rating prompt: the user went to rate") \
    X(rateLastRatedVersion,     "ZNTRateAppLastRatedVersion",                     QString,      {},    "rating prompt: the version then") \
    X(feedbackURL,              "QFFeedbackURL",                                  QString,      {},    "feedback: where the form posts; else the bundle's") \
    X(updaterChecksAutomatically,"UpdaterAutomaticallyChecks",                    bool,         false, "updater: checks at launch") \
    X(updaterSendsProfile,      "UpdaterSendsSystemProfile",                      bool,         false, "updater: the check carries the system profile") \
    X(updateFeedURL,            "UpdateFeedURL",                                  QString,      {},    "updater: the appcast; else the bundle's")

namespace settings {
#define TOLVAN_DECLARE_SETTING(name, storedKey, Type, byDefault, ownerText) \
    inline const Setting<Type> name{{QStringLiteral(storedKey), ownerText}, byDefault};
TOLVAN_SETTINGS(TOLVAN_DECLARE_SETTING)
#undef TOLVAN_DECLARE_SETTING
}  // namespace settings

// The table as values, for the settings' tests and their description.
struct SettingEntry {
    QString key;
    const char* owner;
    QMetaType type;
    QVariant fallback;
};
const std::vector<SettingEntry>& settingsTable();

}  // namespace tolvan
