#pragma once
// The editor's settings in the user defaults, and the time menu the fade and
// gap pop-ups choose from. Reads answer a usable value whatever is stored: a
// gap index with no item, a negative or non-finite fade or gain read as their
// defaults.

#include "source/engine/RingtoneDescription.h"

#include "platform/foundation/SettingsTable.h"

#include <QString>

#include <optional>
#include <vector>

namespace tolvan {
class UserDefaults;
}

namespace editor {

// The shortest fade the tone gets, whatever is chosen.
inline constexpr double kMinimumFade = 0.1;

// One item of the time menu: a separator, or a value with its title and the
// accessibility text (key and default) that reads it out.
struct TimeMenuItem {
    bool separator = false;
    QString titleKey;
    float value = 0.0f;
    QString accessibilityKey;
    QString accessibilityDefault;
};

// None, separator, ½ s, 1 s, 2 s … 5 s. Indexes count the separator.
const std::vector<TimeMenuItem>& timeMenu();
// The index of the first item carrying value (compared as a float), or -1.
int indexOfItemWithRepresentedFloat(const std::vector<TimeMenuItem>& menu, double value);
// The seconds an index stands for: the separator stands for none (0); an
// index with no item has no value.
std::optional<double> timeMenuValue(int index);
// The gap an index stands for, in seconds: none (0) for an index with no item.
double gapDuration(int gapIndex);

// The settings (the editor's rows of SettingsTable.h), read where they are
// used and written as they change.
class EditorSettings {
public:
    explicit EditorSettings(tolvan::UserDefaults& defaults) : defaults_(defaults) {}

    tolvan::UserDefaults& defaults() const { return defaults_; }

    RingtoneKind kind() const;
    void setKind(RingtoneKind kind);

    // The stored fade (0 when none), and what the tone gets (at least 0.1 s).
    double storedFadeIn() const;
    double storedFadeOut() const;
    double fadeInDuration() const;
    double fadeOutDuration() const;
    void setFadeIn(double seconds);
    void setFadeOut(double seconds);
    // Writes the fade durations from the old booleans when they are missing:
    // 1 s unless the old setting said no. True when something was written.
    bool migrateFadeSettings();

    // The stored gap index, 0 when it has no value in the menu.
    int gapIndex() const;
    void setGapIndex(int index);

    bool manuallyAdjustVolume() const;
    void setManuallyAdjustVolume(bool manual);
    // 1.0 for nothing stored, 0, or a value that is no positive number.
    double manualVolumeGain() const;
    void setManualVolumeGain(double gain);

    bool showAdvanced() const;
    void setShowAdvanced(bool show);

private:
    double storedFade(const tolvan::Setting<double>& setting) const;
    tolvan::UserDefaults& defaults_;
};

}  // namespace editor
