#pragma once
// The editor's rules as pure functions: how long a tone may be, which stretch
// a song opens with, the volume slider's scale and the automatic gain, where
// a preview starts, the buttons' titles, the bottom row's centring and the
// track description. Times are seconds.

#include "platform/appkit/ModifierKeys.h"
#include "source/engine/RingtoneDescription.h"
#include "source/engine/ZNTTimeRange.h"

#include <QString>

#include <array>
#include <optional>

namespace editor {

// ---- Selection
// 39.98 s for a ringtone, 29.98 s for an alert tone, less the gap.
double longestSelection(RingtoneKind kind, double gap);
// The first 10 s (all of a shorter song, or the whole item when the source
// asks for it), unless a remembered selection takes its place.
ZNTTimeRange firstSelection(double songDuration, bool wholeItem, std::optional<ZNTTimeRange> remembered);
// A selection that makes a tone: a finite, positive stretch starting inside
// the song (whose duration is given).
bool isUsableSelection(ZNTTimeRange selection, double songDuration);

// ---- Volume
// Slider position (0 unchanged, −1 … 1) to gain: 1 + 10 s above the middle,
// 1 + 0.9 s below it, exactly 1 within 0.02 of it (and for no number).
double gainFromSliderPosition(double position);
double sliderPositionFromGain(double gain);
// The gain the tone gets: the manual gain, else the one that brings the
// selection's loudest sample (0 … 1; 0 while unknown) to full scale.
double adjustVolumeAmount(bool manual, double manualGain, double selectionMaxVolume);

// ---- Preview
// Where a preview "near the end" starts in the selection: one second before
// the fade-out; none when the selection is too short for that.
std::optional<double> previewStartNearEnd(ZNTTimeRange selection, double fadeOut);
// The preview marker on the song for a time into the preview, or +infinity
// outside the selection (while the gap plays).
double previewMarkerTime(ZNTTimeRange selection, double previewTime);

// ---- Titles (localisation keys)
QString createButtonTitleKey(tolvan::ModifierFlags flags);
QString previewButtonTitleKey(bool previewing, tolvan::ModifierFlags flags);
QString playButtonImageName(bool playing, bool pressed);

// ---- The bottom row: kind control, then label and pop-up for fade-in,
// fade-out and gap, centred in its container.
inline constexpr int kRowControlCount = 7;
// The row's width from the kind control's left edge to the gap pop-up's right edge.
double rowWidth(const std::array<double, kRowControlCount>& widths);
// The x of each control: each after its left neighbour with the spacings
// 8 (before a label) and 2 (before a pop-up), the whole row shifted so it is
// centred, the offset rounded down to whole points.
std::array<double, kRowControlCount> centredRow(const std::array<double, kRowControlCount>& widths, double firstX,
                                                double containerWidth);

// ---- Track description
struct TrackDescriptionLines {
    std::optional<QString> title;   // the large line
    std::optional<QString> artist;
    std::optional<QString> album;
};
// Title from the tags, else the source's title, else the file's name; the
// album from the tags, else the source's; the artist from the tags only.
TrackDescriptionLines trackDescriptionLines(std::optional<QString> tagTitle, std::optional<QString> tagArtist,
                                            std::optional<QString> tagAlbum, std::optional<QString> sourceTitle,
                                            std::optional<QString> sourceAlbum, std::optional<QString> fileName);

}  // namespace editor
