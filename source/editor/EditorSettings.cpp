#include "source/editor/EditorSettings.h"

#include "platform/foundation/UserDefaults.h"

#include <cmath>

namespace editor {

namespace settings = tolvan::settings;

namespace {

TimeMenuItem valueItem(const char* title, float value, const char* accessibilityKey, const char* accessibilityDefault)
{
    return {false, QString::fromUtf8(title), value, QString::fromUtf8(accessibilityKey), QString::fromUtf8(accessibilityDefault)};
}

}  // namespace

const std::vector<TimeMenuItem>& timeMenu()
{
    static const std::vector<TimeMenuItem> menu{
        {false, QStringLiteral("None"), 0.0f, {}, {}},
        {true, {}, 0.0f, {}, {}},
        valueItem("½ s", 0.5f, "0.5 second menu item accessibility lable", "one half second"),
        valueItem("1 s", 1.0f, "1 second menu item accessibility lable", "one second"),
        valueItem("2 s", 2.0f, "2 second menu item accessibility lable", "two seconds"),
        valueItem("3 s", 3.0f, "3 second menu item accessibility lable", "three seconds"),
        valueItem("4 s", 4.0f, "4 second menu item accessibility lable", "four seconds"),
        valueItem("5 s", 5.0f, "5 second menu item accessibility lable", "five seconds"),
    };
    return menu;
}

int indexOfItemWithRepresentedFloat(const std::vector<TimeMenuItem>& menu, double value)
{
    const float wanted = float(value);
    for (std::size_t i = 0; i < menu.size(); ++i) {
        if (!menu[i].separator && menu[i].value == wanted)
            return int(i);
    }
    return -1;
}

std::optional<double> timeMenuValue(int index)
{
    const auto& menu = timeMenu();
    if (index < 0 || std::size_t(index) >= menu.size())
        return std::nullopt;
    return double(menu[std::size_t(index)].value);
}

double gapDuration(int gapIndex) { return timeMenuValue(gapIndex).value_or(0.0); }

RingtoneKind EditorSettings::kind() const
{
    return defaults_.value(settings::ringtoneKind) == 0 ? RingtoneKind::Ringtone : RingtoneKind::AlertTone;
}

void EditorSettings::setKind(RingtoneKind kind) { defaults_.setValue(settings::ringtoneKind, int(kind)); }

double EditorSettings::storedFade(const tolvan::Setting<double>& setting) const
{
    const double stored = defaults_.value(setting);
    return std::isfinite(stored) && stored > 0.0 ? stored : 0.0;
}

double EditorSettings::storedFadeIn() const { return storedFade(settings::fadeInDuration); }
double EditorSettings::storedFadeOut() const { return storedFade(settings::fadeOutDuration); }
double EditorSettings::fadeInDuration() const { return std::max(kMinimumFade, storedFadeIn()); }
double EditorSettings::fadeOutDuration() const { return std::max(kMinimumFade, storedFadeOut()); }
void EditorSettings::setFadeIn(double seconds) { defaults_.setValue(settings::fadeInDuration, float(seconds)); }
void EditorSettings::setFadeOut(double seconds) { defaults_.setValue(settings::fadeOutDuration, float(seconds)); }

bool EditorSettings::migrateFadeSettings()
{
    bool wrote = false;
    const auto migrate = [&](const tolvan::Setting<double>& duration, const tolvan::Setting<bool>& old) {
        if (defaults_.contains(duration))
            return;
        defaults_.setValue(duration, defaults_.value(old) ? 1.0f : 0.0f);
        wrote = true;
    };
    migrate(settings::fadeInDuration, settings::oldFadeIn);
    migrate(settings::fadeOutDuration, settings::oldFadeOut);
    return wrote;
}

int EditorSettings::gapIndex() const
{
    const qint64 stored = defaults_.value(settings::selectedGap);
    return stored >= 0 && stored < qint64(timeMenu().size()) ? int(stored) : 0;
}

void EditorSettings::setGapIndex(int index) { defaults_.setValue(settings::selectedGap, index); }


bool EditorSettings::manuallyAdjustVolume() const { return defaults_.value(settings::manuallyAdjustVolume); }
void EditorSettings::setManuallyAdjustVolume(bool manual) { defaults_.setValue(settings::manuallyAdjustVolume, manual); }

double EditorSettings::manualVolumeGain() const
{
    const double gain = defaults_.value(settings::manualVolumeGain);
    return std::isfinite(gain) && gain > 0.0 ? gain : 1.0;
}

void EditorSettings::setManualVolumeGain(double gain) { defaults_.setValue(settings::manualVolumeGain, float(gain)); }

bool EditorSettings::showAdvanced() const { return defaults_.value(settings::showAdvanced); }
void EditorSettings::setShowAdvanced(bool show) { defaults_.setValue(settings::showAdvanced, show); }

}  // namespace editor
