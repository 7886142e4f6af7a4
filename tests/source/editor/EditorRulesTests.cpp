// The editor's pure rules, table by table: the time menu, the settings and
// their migration, the selection limits and cache, the volume scale, where a
// preview starts, the titles, the sharing messages, the row and the track
// description.

#include "source/editor/EditorRules.h"
#include "source/editor/EditorSettings.h"
#include "source/editor/ManualVolumeSlider.h"
#include "source/editor/SelectionCache.h"
#include "source/editor/SharingMessages.h"

#include "platform/foundation/UserDefaults.h"

#include <QTemporaryDir>
#include <QUrlQuery>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace editor;
using tolvan::ModifierKey;
using tolvan::ModifierFlags;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

class ScratchDefaults : public ::testing::Test {
protected:
    QTemporaryDir dir;
    tolvan::UserDefaults defaults{dir.filePath("defaults.ini")};
};

}  // namespace

TEST(TimeMenu, ItemsAndIndexesCountTheSeparator)
{
    const auto& menu = timeMenu();
    ASSERT_EQ(menu.size(), 8u);
    EXPECT_TRUE(menu[1].separator);
    const struct {
        double value;
        int index;
    } cases[] = {{0.0, 0}, {0.5, 2}, {1.0, 3}, {2.0, 4}, {5.0, 7}, {0.25, -1}, {6.0, -1}, {kNaN, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(indexOfItemWithRepresentedFloat(menu, c.value), c.index) << c.value;
    EXPECT_EQ(indexOfItemWithRepresentedFloat({}, 0.0), -1);
    // Compared as floats: a double that rounds to the item's float finds it.
    EXPECT_EQ(indexOfItemWithRepresentedFloat(menu, double(0.5f)), 2);

    EXPECT_EQ(timeMenuValue(3), 1.0) << "index 3 is one second";
    EXPECT_EQ(timeMenuValue(1), 0.0) << "the separator is no gap";
    EXPECT_EQ(timeMenuValue(-1), std::nullopt);
    EXPECT_EQ(timeMenuValue(8), std::nullopt);
    EXPECT_EQ(gapDuration(7), 5.0);
    EXPECT_EQ(gapDuration(8), 0.0) << "an index with no item is no gap";
    EXPECT_EQ(gapDuration(-1), 0.0);
    EXPECT_EQ(menu[2].accessibilityDefault, QStringLiteral("one half second"));
}

TEST_F(ScratchDefaults, SettingsReadUsableValuesWhateverIsStored)
{
    EditorSettings settings(defaults);
    EXPECT_EQ(settings.kind(), RingtoneKind::Ringtone);
    EXPECT_EQ(settings.gapIndex(), 0);
    EXPECT_EQ(gapDuration(settings.gapIndex()), 0.0);
    EXPECT_EQ(settings.manualVolumeGain(), 1.0);
    EXPECT_FALSE(settings.manuallyAdjustVolume());
    EXPECT_FALSE(settings.showAdvanced());

    const struct {
        QVariant stored;
        int gapIndex;
    } gaps[] = {{3, 3}, {7, 7}, {1, 1}, {8, 0}, {-1, 0}, {99999, 0}, {"x", 0}};
    for (const auto& c : gaps) {
        defaults.setValue(tolvan::settings::selectedGap, c.stored);
        EXPECT_EQ(settings.gapIndex(), c.gapIndex) << c.stored.toString().toStdString();
    }
    defaults.setValue(tolvan::settings::selectedGap, 1);
    EXPECT_EQ(gapDuration(settings.gapIndex()), 0.0) << "the separator's index is no gap";

    const struct {
        QVariant stored;
        double gain;
    } gains[] = {{0.0, 1.0}, {2.5, 2.5}, {-3.0, 1.0}, {kNaN, 1.0}, {kInf, 1.0}};
    for (const auto& c : gains) {
        defaults.setValue(tolvan::settings::manualVolumeGain, c.stored);
        EXPECT_EQ(settings.manualVolumeGain(), c.gain) << c.stored.toString().toStdString();
    }

    const struct {
        QVariant stored;
        double fade;
    } fades[] = {{0.0, 0.1}, {0.05, 0.1}, {2.0, 2.0}, {-1.0, 0.1}, {kNaN, 0.1}};
    for (const auto& c : fades) {
        defaults.setValue(tolvan::settings::fadeInDuration, c.stored);
        EXPECT_EQ(settings.fadeInDuration(), c.fade) << c.stored.toString().toStdString();
    }
    defaults.setValue(tolvan::settings::ringtoneKind, 7);
    EXPECT_EQ(settings.kind(), RingtoneKind::AlertTone) << "any other value is an alert tone";
}

TEST_F(ScratchDefaults, FadeSettingsMigrateFromTheOldBooleans)
{
    const struct {
        QVariant oldFadeIn, oldFadeOut;
        double fadeIn, fadeOut;
    } cases[] = {
        {{}, {}, 1.0, 1.0},
        {false, {}, 0.0, 1.0},
        {true, false, 1.0, 0.0},
    };
    for (const auto& c : cases) {
        for (const QString& key : {tolvan::settings::fadeInDuration.key, tolvan::settings::fadeOutDuration.key, tolvan::settings::oldFadeIn.key, tolvan::settings::oldFadeOut.key})
            defaults.remove(key);
        if (c.oldFadeIn.isValid())
            defaults.setValue(tolvan::settings::oldFadeIn, c.oldFadeIn);
        if (c.oldFadeOut.isValid())
            defaults.setValue(tolvan::settings::oldFadeOut, c.oldFadeOut);
        EditorSettings settings(defaults);
        EXPECT_TRUE(settings.migrateFadeSettings());
        EXPECT_EQ(settings.storedFadeIn(), c.fadeIn);
        EXPECT_EQ(settings.storedFadeOut(), c.fadeOut);
        EXPECT_FALSE(settings.migrateFadeSettings()) << "migrates once";
    }
    defaults.setValue(tolvan::settings::fadeInDuration, 3.0f);
    EXPECT_FALSE(EditorSettings(defaults).migrateFadeSettings());
    EXPECT_EQ(EditorSettings(defaults).storedFadeIn(), 3.0) << "a stored duration is kept";
}

TEST(SelectionLimits, LongestAndFirstSelection)
{
    EXPECT_DOUBLE_EQ(longestSelection(RingtoneKind::Ringtone, 0), 39.98);
    EXPECT_DOUBLE_EQ(longestSelection(RingtoneKind::Ringtone, 2), 37.98);
    EXPECT_DOUBLE_EQ(longestSelection(RingtoneKind::AlertTone, 5), 24.98);
    EXPECT_DOUBLE_EQ(longestSelection(RingtoneKind::AlertTone, kNaN), 29.98);

    const struct {
        const char* what;
        double duration;
        bool wholeItem;
        std::optional<ZNTTimeRange> remembered;
        ZNTTimeRange expected;
    } cases[] = {
        {"a 6 s song", 6, false, {}, {0, 6}},
        {"a 3-minute song", 180, false, {}, {0, 10}},
        {"a 45 s included tone", 45, true, {}, {0, 45}},
        {"a remembered selection", 180, false, ZNTTimeRange{12, 20}, {12, 20}},
    };
    for (const auto& c : cases) {
        const ZNTTimeRange first = firstSelection(c.duration, c.wholeItem, c.remembered);
        EXPECT_EQ(first.start, c.expected.start) << c.what;
        EXPECT_EQ(first.duration, c.expected.duration) << c.what;
    }

    EXPECT_TRUE(isUsableSelection({0, 10}, 30));
    EXPECT_FALSE(isUsableSelection({0, 0}, 30)) << "empty";
    EXPECT_FALSE(isUsableSelection(kZNTTimeRangeEmpty, 30));
    EXPECT_FALSE(isUsableSelection({kNaN, 5}, 30));
    EXPECT_FALSE(isUsableSelection({30, 5}, 30)) << "starts at the end";
    EXPECT_FALSE(isUsableSelection({-1, 5}, 30));
}

TEST_F(ScratchDefaults, SelectionCacheKeepsTheNewestHundredAndIgnoresBadEntries)
{
    SelectionCache cache(defaults);
    for (int i = 0; i < SelectionCache::kCapacity; ++i)
        cache.remember(QStringLiteral("song %1").arg(i), {1, 2}, 1000.0 + i);
    cache.remember(QStringLiteral("song 0"), {3, 4}, 5000.0);  // renewed: no longer the oldest
    cache.remember(QStringLiteral("new song"), {5, 6}, 6000.0);
    EXPECT_EQ(cache.entries().size(), SelectionCache::kCapacity);
    EXPECT_FALSE(cache.entries().contains(QStringLiteral("song 1"))) << "the oldest went";
    EXPECT_TRUE(cache.entries().contains(QStringLiteral("song 0")));

    // Written whole, read again by a new cache.
    SelectionCache reread(defaults);
    const auto found = reread.selectionForKey(QStringLiteral("song 0"), 60);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->start, 3);
    EXPECT_EQ(found->duration, 4);

    QVariantMap bad;
    const auto entry = [](QVariant start, QVariant size) {
        return QVariantMap{{kSelectionCacheTimeKey, 1.0}, {kSelectionCacheStartKey, start}, {kSelectionCacheSizeKey, size}};
    };
    bad.insert("not a dictionary", 42);
    bad.insert("text", entry("twelve", 20));
    bad.insert("nan", entry(kNaN, 20));
    bad.insert("infinite", entry(0, kInf));
    bad.insert("negative", entry(-5, 20));
    bad.insert("empty", entry(0, 0));
    bad.insert("past the end", entry(70, 20));
    bad.insert("good", entry(12, 20));
    defaults.setValue(tolvan::settings::songSelections, bad);
    SelectionCache checked(defaults);
    for (const QString& key : bad.keys()) {
        if (key != "good") {
            EXPECT_FALSE(checked.selectionForKey(key, 60)) << key.toStdString();
        }
    }
    EXPECT_TRUE(checked.selectionForKey("good", 60));

    // Entries without a readable time are the first to go.
    QVariantMap full;
    for (int i = 0; i < SelectionCache::kCapacity; ++i) {
        QVariantMap e = entry(0, 5);
        e.insert(kSelectionCacheTimeKey, i == 50 ? QVariant("yesterday") : QVariant(10.0 + i));
        full.insert(QStringLiteral("song %1").arg(i), e);
    }
    defaults.setValue(tolvan::settings::songSelections, full);
    SelectionCache withUntimed(defaults);
    withUntimed.remember("another", {0, 5}, 999.0);
    EXPECT_FALSE(withUntimed.entries().contains("song 50"));
    EXPECT_TRUE(withUntimed.entries().contains("song 0"));

    // Nothing that makes no selection is remembered.
    withUntimed.remember("nothing", {0, 0}, 1000.0);
    withUntimed.remember("no number", {kNaN, 3}, 1000.0);
    EXPECT_FALSE(withUntimed.entries().contains("nothing"));
    EXPECT_FALSE(withUntimed.entries().contains("no number"));
}

TEST(Volume, SliderPositionsAndGains)
{
    const struct {
        double position, gain;
    } toGain[] = {{0.01, 1.0}, {-0.019, 1.0}, {0.5, 6.0}, {-0.5, 0.55}, {1, 11}, {-1, 0.1}, {kNaN, 1.0}, {0.02, 1.2}};
    for (const auto& c : toGain)
        EXPECT_DOUBLE_EQ(gainFromSliderPosition(c.position), c.gain) << c.position;

    const struct {
        double gain, position;
    } toPosition[] = {{0.55, -0.5}, {6.0, 0.5}, {1.0, 0.0}, {11, 1}, {0.1, -1}, {kNaN, 0}};
    for (const auto& c : toPosition)
        EXPECT_DOUBLE_EQ(sliderPositionFromGain(c.gain), c.position) << c.gain;

    EXPECT_DOUBLE_EQ(adjustVolumeAmount(false, 3.0, 0.25), 4.0) << "the peak reaches full scale";
    EXPECT_DOUBLE_EQ(adjustVolumeAmount(false, 3.0, 0.5), 2.0);
    EXPECT_DOUBLE_EQ(adjustVolumeAmount(false, 3.0, 0.0), 1.0) << "peak unknown or silence";
    EXPECT_DOUBLE_EQ(adjustVolumeAmount(false, 3.0, kNaN), 1.0);
    EXPECT_DOUBLE_EQ(adjustVolumeAmount(true, 3.0, 0.25), 3.0);
}

TEST(Volume, SliderTicksAreTheEndsAndTheUnchangedGain)
{
    ManualVolumeSlider slider;
    EXPECT_EQ(slider.numberOfTickMarks(), 3);
    EXPECT_EQ(slider.tickMarkValueAtIndex(0), -1.0);
    EXPECT_EQ(slider.tickMarkValueAtIndex(1), 1.0);
    EXPECT_EQ(slider.tickMarkValueAtIndex(2), 1.0);
    slider.setRange(-0.5, 2.0);
    EXPECT_EQ(slider.tickMarkValueAtIndex(0), -0.5);
    EXPECT_EQ(slider.tickMarkValueAtIndex(1), 1.0);
    EXPECT_EQ(slider.tickMarkValueAtIndex(2), 2.0);
    slider.setDoubleValue(kNaN);
    EXPECT_EQ(slider.doubleValue(), 0.0);
    slider.setDoubleValue(5);
    EXPECT_EQ(slider.doubleValue(), 2.0) << "held inside the range";
}

TEST(Preview, StartNearTheEndAndTheMarker)
{
    const struct {
        ZNTTimeRange selection;
        double fadeOut;
        std::optional<double> start;
    } cases[] = {
        {{5, 20}, 2.0, 17.0},
        {{5, 2.5}, 2.0, std::nullopt},
        {{5, 3.0}, 2.0, std::nullopt},
        {{5, 3.5}, 2.0, 0.5},
        {kZNTTimeRangeEmpty, 2.0, std::nullopt},
        {{kInf, 20}, 2.0, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(previewStartNearEnd(c.selection, c.fadeOut), c.start) << c.selection.start << " " << c.selection.duration;

    EXPECT_EQ(previewMarkerTime({5, 20}, 0), 5);
    EXPECT_EQ(previewMarkerTime({5, 20}, 20), 25);
    EXPECT_EQ(previewMarkerTime({5, 20}, 21), kInf) << "the gap plays";
    EXPECT_EQ(previewMarkerTime({5, 20}, kNaN), kInf);
}

TEST(Titles, ButtonTitlesFollowTheModifiers)
{
    const ModifierFlags none, shift(ModifierKey::Shift), option(ModifierKey::Option), both = shift | option;
    EXPECT_EQ(createButtonTitleKey(none), "Create");
    EXPECT_EQ(createButtonTitleKey(shift), "Save As...");
    EXPECT_EQ(createButtonTitleKey(option), "Create");
    EXPECT_EQ(previewButtonTitleKey(false, none), "Preview");
    EXPECT_EQ(previewButtonTitleKey(false, option), "Preview End");
    EXPECT_EQ(previewButtonTitleKey(false, both), "Preview End");
    EXPECT_EQ(previewButtonTitleKey(true, option), "Stop") << "whatever is held";
    EXPECT_EQ(playButtonImageName(true, true), "global_pause_down");
    EXPECT_EQ(playButtonImageName(false, false), "global_play");
}

TEST(Sharing, MessagesNameTheSongAndKeepTheShortLimit)
{
    EXPECT_EQ(ringtoneMessage("Song", "Band"), "Created a ringtone from Song by Band using Tolvan " + kTolvanWebPage);
    EXPECT_EQ(ringtoneMessage("Song", std::nullopt), "Created a ringtone from Song using Tolvan " + kTolvanWebPage);
    EXPECT_EQ(ringtoneMessage(std::nullopt, "Band"), "Created a ringtone using Tolvan " + kTolvanWebPage);
    EXPECT_EQ(facebookRingtoneMessage("Song", "Band"), "Created a ringtone from Song by Band");
    EXPECT_EQ(facebookRingtoneMessage(QString(), "Band"), "Created a ringtone using Tolvan");

    // Names holding placeholders stay as they are.
    EXPECT_EQ(ringtoneMessage("100%@ %1", "%n%@"), "Created a ringtone from 100%@ %1 by %n%@ using Tolvan " + kTolvanWebPage);
    EXPECT_EQ(formatWithArguments("%@ and %@ and %@", {"a"}), "a and  and ");

    // The limit counts UTF-16 code units: one emoji is two.
    const QString fixed = ringtoneMessage("", std::nullopt);  // names only the application
    const int room = kShortMessageLimit - int(ringtoneMessage("N", "A").size());
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5");
    ASSERT_EQ(emoji.size(), 2);
    const QString fits = QString(room, 'a');
    EXPECT_EQ(sharingMessage("N", "A" + fits, true).size(), kShortMessageLimit) << "140 fits";
    EXPECT_TRUE(sharingMessage("N", "A" + fits, true).contains(" by "));
    const QString over = QString(room - 1, 'a') + emoji;  // 141 units, 140 characters
    EXPECT_FALSE(sharingMessage("N", "A" + over, true).contains(" by ")) << "the artist goes";
    EXPECT_TRUE(sharingMessage("N", "A" + over, false).contains(" by ")) << "without the limit it stays";
    EXPECT_TRUE(fixed.endsWith(kTolvanWebPage));
}

TEST(Sharing, PostingAddressesEscapeEveryQueryValue)
{
    const QString message = QString::fromUtf8("Rock & Roll = 1+1 #hits, caf\xC3\xA9 ringt\xC3\xB6ne");
    const QUrl twitter = twitterPostURL(message);
    ASSERT_TRUE(twitter.isValid());
    EXPECT_EQ(twitter.path(), "/home");
    const QUrlQuery twitterQuery(twitter);
    ASSERT_EQ(twitterQuery.queryItems().size(), 1) << "no value leaks into a key of its own";
    EXPECT_EQ(twitterQuery.queryItemValue("status", QUrl::FullyDecoded), message);
    const QString encoded = twitter.toString(QUrl::FullyEncoded);
    EXPECT_TRUE(encoded.contains("%26")) << encoded.toStdString();
    EXPECT_TRUE(encoded.contains("%2B"));
    EXPECT_TRUE(encoded.contains("%23"));
    EXPECT_TRUE(encoded.contains("%C3%A9")) << "UTF-8";
    EXPECT_FALSE(encoded.contains(' '));

    const QUrl facebook = facebookPostURL(message);
    ASSERT_TRUE(facebook.isValid());
    EXPECT_EQ(facebook.scheme(), "https");
    EXPECT_EQ(facebook.path(), "/dialog/feed");
    const QUrlQuery query(facebook);
    EXPECT_EQ(query.queryItems().size(), 3);
    EXPECT_FALSE(query.queryItemValue("app_id").isEmpty());
    EXPECT_TRUE(QUrl(query.queryItemValue("redirect_uri", QUrl::FullyDecoded)).isValid());
    EXPECT_EQ(query.queryItemValue("message", QUrl::FullyDecoded), message);
}

TEST(Row, ControlsAreSpacedAndTheRowCentred)
{
    const std::array<double, kRowControlCount> widths{80, 50, 60, 60, 60, 30, 60};
    // Row: 80 +8+ 50 +2+ 60 +8+ 60 +2+ 60 +8+ 30 +2+ 60 = 430.
    const auto x = centredRow(widths, 17, 600);
    EXPECT_EQ(x[0], 85);  // floor((600 - 430) / 2)
    EXPECT_EQ(x[1], 85 + 80 + 8);
    EXPECT_EQ(x[2], x[1] + 50 + 2);
    EXPECT_EQ(x[6] + widths[6] - x[0], 430);
    EXPECT_EQ(centredRow(widths, 0, 601)[0], 85) << "rounded down to whole points";
    EXPECT_EQ(centredRow(widths, 0, 400)[0], -15) << "a narrow container overhangs both sides alike";
}

TEST(TrackDescription, FallsBackToTheSourceAndTheFileName)
{
    const std::optional<QString> none;
    const struct {
        const char* what;
        TrackDescriptionLines lines;
        std::optional<QString> title, artist, album;
    } cases[] = {
        {"all tags", trackDescriptionLines("T", "A", "L", "source", "source album", "f.wav"), "T", "A", "L"},
        {"source title", trackDescriptionLines(none, "A", none, "Source", "Source Album", "f.wav"), "Source", "A", "Source Album"},
        {"file name", trackDescriptionLines(none, none, none, none, none, "f.wav"), "f.wav", none, none},
        {"empty texts count as none", trackDescriptionLines("", "", "", "", "", "f.wav"), "f.wav", none, none},
        {"only an album", trackDescriptionLines(none, none, "L", none, none, none), none, none, "L"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.lines.title, c.title) << c.what;
        EXPECT_EQ(c.lines.artist, c.artist) << c.what;
        EXPECT_EQ(c.lines.album, c.album) << c.what;
    }
}
