#include "source/editor/EditorRules.h"

#include <cmath>

namespace editor {

namespace {

bool hasText(const std::optional<QString>& text) { return text && !text->isEmpty(); }

// The bottom row's spacing before each control: 8 before a label, 2 before its pop-up.
constexpr std::array<double, kRowControlCount> kSpacingBefore{0, 8, 2, 8, 2, 8, 2};

}  // namespace

double longestSelection(RingtoneKind kind, double gap)
{
    return (isAlertTone(kind) ? 29.98 : 39.98) - (std::isfinite(gap) ? gap : 0.0);
}

ZNTTimeRange firstSelection(double songDuration, bool wholeItem, std::optional<ZNTTimeRange> remembered)
{
    if (remembered)
        return *remembered;
    return {0.0, wholeItem ? songDuration : std::min(10.0, songDuration)};
}

bool isUsableSelection(ZNTTimeRange selection, double songDuration)
{
    return std::isfinite(selection.start) && std::isfinite(selection.duration) && selection.duration > 0.0 && selection.start >= 0.0
        && selection.start < songDuration;
}

double gainFromSliderPosition(double position)
{
    if (std::isnan(position) || std::abs(position) < 0.02)
        return 1.0;
    return position >= 0.0 ? 1.0 + 10.0 * position : 1.0 + 0.9 * position;
}

double sliderPositionFromGain(double gain)
{
    if (std::isnan(gain))
        return 0.0;
    return gain >= 1.0 ? (gain - 1.0) / 10.0 : -(1.0 - gain) / 0.9;
}

double adjustVolumeAmount(bool manual, double manualGain, double selectionMaxVolume)
{
    if (manual)
        return manualGain;
    if (!std::isfinite(selectionMaxVolume) || selectionMaxVolume <= 0.0)
        return 1.0;
    return 1.0 / selectionMaxVolume;
}

std::optional<double> previewStartNearEnd(ZNTTimeRange selection, double fadeOut)
{
    if (!std::isfinite(selection.start) || !std::isfinite(selection.duration))
        return std::nullopt;
    if (selection.duration > fadeOut + 1.0)
        return selection.duration - (fadeOut + 1.0);
    return std::nullopt;
}

double previewMarkerTime(ZNTTimeRange selection, double previewTime)
{
    const double t = selection.start + previewTime;
    if (std::isfinite(t) && selection.start <= t && t <= selection.start + selection.duration)
        return t;
    return kZNTInfinity;
}

QString createButtonTitleKey(tolvan::ModifierFlags flags)
{
    return flags.testFlag(tolvan::ModifierKey::Shift) ? QStringLiteral("Save As...") : QStringLiteral("Create");
}

QString previewButtonTitleKey(bool previewing, tolvan::ModifierFlags flags)
{
    if (previewing)
        return QStringLiteral("Stop");
    return flags.testFlag(tolvan::ModifierKey::Option) ? QStringLiteral("Preview End") : QStringLiteral("Preview");
}

QString playButtonImageName(bool playing, bool pressed)
{
    return QString(playing ? "global_pause" : "global_play") + (pressed ? "_down" : "");
}

double rowWidth(const std::array<double, kRowControlCount>& widths)
{
    double width = 0;
    for (int i = 0; i < kRowControlCount; ++i)
        width += kSpacingBefore[i] + widths[i];
    return width;
}

std::array<double, kRowControlCount> centredRow(const std::array<double, kRowControlCount>& widths, double firstX,
                                                double containerWidth)
{
    std::array<double, kRowControlCount> x{};
    x[0] = firstX;
    for (int i = 1; i < kRowControlCount; ++i)
        x[i] = x[i - 1] + widths[i - 1] + kSpacingBefore[i];
    const double offset = std::floor((containerWidth - rowWidth(widths)) * 0.5) - x.front();
    for (double& position : x)
        position += offset;
    return x;
}

TrackDescriptionLines trackDescriptionLines(std::optional<QString> tagTitle, std::optional<QString> tagArtist,
                                            std::optional<QString> tagAlbum, std::optional<QString> sourceTitle,
                                            std::optional<QString> sourceAlbum, std::optional<QString> fileName)
{
    TrackDescriptionLines lines;
    if (hasText(tagTitle))
        lines.title = tagTitle;
    else if (hasText(sourceTitle))
        lines.title = sourceTitle;
    else if (hasText(fileName))
        lines.title = fileName;
    if (hasText(tagArtist))
        lines.artist = tagArtist;
    if (hasText(tagAlbum))
        lines.album = tagAlbum;
    else if (hasText(sourceAlbum))
        lines.album = sourceAlbum;
    return lines;
}

}  // namespace editor
