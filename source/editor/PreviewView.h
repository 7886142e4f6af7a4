#pragma once
// The top of the editor: the song's cover (or, for a song with video, the
// video as its player shows it) and beside it the description of the track,
// centred on the picture. PreviewBackground is the main window's patterned
// content area.

#include "platform/media/Asset.h"
#include "platform/media/Player.h"

#include "ZNTUtilities/Shadow.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <optional>

class TolvanSource;

// Where the pane's parts go, in the widget's own terms (y down).
struct PreviewLayout {
    QRectF picture;  // the cover, or the video area
    QRectF text;
};

class PreviewView : public QWidget {
    Q_OBJECT
public:
    explicit PreviewView(QWidget* parent = nullptr);

    // The height the text takes: the measured height rounded up, made even,
    // and 16 points of room added.
    static double textHeightForMeasuredHeight(double measured);
    // The picture is square and 20 points in from the top and bottom, 30 from
    // the left (a video area is as wide as its aspect asks); the text starts
    // 30 points after it, leaves 76 at the right and is centred on it.
    static PreviewLayout layoutInBounds(QSizeF bounds, std::optional<double> videoAspect, double textHeight);

    void setAsset(std::shared_ptr<tolvan::Asset> asset);
    void setSource(std::shared_ptr<const TolvanSource> source);
    void setAssetDescription(const std::optional<QString>& description);
    // The track's lines, each in its own style; a line too long for the pane
    // is cut at its end.
    void setAssetDescription(const std::vector<StyledText>& lines);
    const std::vector<StyledText>& descriptionLines() const { return lines_; }
    // The player whose pictures a song with video shows; the last picture
    // stays until the player has one of its own.
    void setPlayer(tolvan::Player* player);

    const std::shared_ptr<tolvan::Asset>& asset() const { return asset_; }
    const std::shared_ptr<const TolvanSource>& source() const { return source_; }
    const std::optional<QString>& assetDescription() const { return description_; }
    tolvan::Player* player() const { return player_; }

    // A song with video shows it, unless its video cannot be decoded: then
    // the cover stands in for it.
    bool showsVideo() const { return hasVideo_ && !videoFailed_; }
    const QImage& coverArtImage() const { return coverArtImage_; }
    const QImage& videoPicture() const { return videoPicture_; }
    PreviewLayout currentLayout() const;

    static QFont descriptionFont();
    static QFont titleFont();   // the track's title
    static QFont detailFont();  // its artist and album

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void takeVideoPicture();
    void askForPictureSize(qreal devicePixelRatio);
    void drawPicture(QPainter& painter, const QRectF& frame, const QImage& picture) const;

    std::shared_ptr<tolvan::Asset> asset_;
    std::shared_ptr<const TolvanSource> source_;
    std::optional<QString> description_;
    std::vector<StyledText> lines_;
    QPointer<tolvan::Player> player_;
    QImage coverArtImage_;   // forgotten with a new asset
    QImage shownPicture_;    // stays on screen until the new source's
    QImage videoPicture_;    // the player's last picture
    QSizeF videoSize_;       // the natural size of the song's video
    QSize askedPictureSize_;
    bool hasVideo_ = false;
    bool videoFailed_ = false;
    double textHeight_ = 16;
};

class PreviewBackground : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)
public:
    explicit PreviewBackground(QWidget* parent = nullptr);

    QColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const QColor& color);
    const QImage& cachedImage() const { return cachedImage_; }
    void setCachedImage(const QImage& image) { cachedImage_ = image; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void drawBackground(QPainter& painter, const QRectF& rect) const;

    QImage backgroundPattern_;
    QImage cachedImage_;
    QColor backgroundColor_;
};
