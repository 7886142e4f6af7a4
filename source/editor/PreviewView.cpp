#include "source/editor/PreviewView.h"

#include "source/engine/AssetAdditions.h"
#include "source/engine/TolvanSource.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/Geometry.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/Shadow.h"
#include "ZNTUtilities/widgets/ViewAdditions.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

using namespace tolvan;

namespace {

constexpr double kMargin = 20;
constexpr double kLeading = 30;
constexpr double kTrailing = 76;

}  // namespace

// ---------------------------------------------------------------- PreviewView

PreviewView::PreviewView(QWidget* parent) : QWidget(parent)
{
    setAsset(nullptr);
    setAssetDescription(std::nullopt);
}

double PreviewView::textHeightForMeasuredHeight(double measured)
{
    const double h = std::ceil(std::max(0.0, measured));
    return h + std::fmod(h, 2.0) + 16;
}

PreviewLayout PreviewView::layoutInBounds(QSizeF bounds, std::optional<double> videoAspect, double textHeight)
{
    const double side = std::max(0.0, bounds.height() - 2 * kMargin);
    double pictureWidth = side;
    if (videoAspect)
        pictureWidth = std::ceil((*videoAspect > 0 && std::isfinite(*videoAspect) ? *videoAspect : 1.0) * side);
    const QRectF picture(std::floor(kLeading), kMargin, pictureWidth, side);
    const double x = std::floor(picture.right() + kLeading);
    const double width = std::max(0.0, std::ceil(bounds.width() - x - kTrailing));
    // Centred on the picture: measured upward from its bottom edge, as the
    // pane is laid out, then turned into the widget's downward terms.
    const double bottomUp = std::floor(kMargin + (side - textHeight) * 0.5);
    const QRectF text(x, bounds.height() - bottomUp - std::ceil(textHeight), width, std::ceil(textHeight));
    return {picture, text};
}

QFont PreviewView::descriptionFont() { return interfaceFont(18); }
QFont PreviewView::titleFont() { return interfaceFont(22); }
QFont PreviewView::detailFont() { return interfaceFont(16); }

void PreviewView::setAsset(std::shared_ptr<Asset> asset)
{
    asset_ = std::move(asset);
    coverArtImage_ = QImage();
    hasVideo_ = asset_ && hasVideo(*asset_);
    videoSize_ = hasVideo_ ? asset_->tracksWithMediaType(MediaType::Video).front()->naturalSize() : QSizeF();
    videoFailed_ = false;
    videoPicture_ = QImage();
    update();
}

void PreviewView::setSource(std::shared_ptr<const TolvanSource> source)
{
    source_ = std::move(source);
    coverArtImage_ = source_ ? source_->artworkWithSuggestedSize({256, 256}) : QImage();
    shownPicture_ = coverArtImage_;
    update();
}

void PreviewView::setAssetDescription(const std::optional<QString>& description)
{
    std::vector<StyledText> lines;
    if (description && !description->isEmpty()) {
        for (const QString& line : description->split('\n'))
            lines.push_back({line, descriptionFont(), Qt::white, Shadow{QPointF(0, -1), 1, Qt::black}});
    }
    setAssetDescription(lines);
    description_ = description;
}

void PreviewView::setAssetDescription(const std::vector<StyledText>& lines)
{
    lines_ = lines;
    QStringList text;
    double measured = 0;
    for (const StyledText& line : lines_) {
        text << line.text;
        measured += QFontMetricsF(line.font).height();
    }
    description_ = lines_.empty() ? std::nullopt : std::optional<QString>(text.join('\n'));
    textHeight_ = textHeightForMeasuredHeight(measured);
    update();
}

void PreviewView::setPlayer(Player* player)
{
    if (player == player_)
        return;
    if (player_)
        player_->disconnect(this);
    player_ = player;
    if (!player_)
        return;
    connect(player_, &Player::videoFrameChanged, this, &PreviewView::takeVideoPicture);
    connect(player_, &Player::videoFailed, this, [this] {
        videoFailed_ = true;
        update();
    });
    // A player of this song without pictures has found them undecodable already.
    videoFailed_ = videoFailed_ || (hasVideo_ && !player_->hasVideo());
    askedPictureSize_ = QSize();
    askForPictureSize(devicePixelRatioF());
    takeVideoPicture();
}

void PreviewView::takeVideoPicture()
{
    const QImage& picture = player_ ? player_->currentVideoFrame().image : QImage();
    if (picture.isNull() || !showsVideo())
        return;
    videoPicture_ = picture;
    update();
}

// The player scales its pictures to what the video area covers in pixels, so
// a few pictures in memory are small, and sharp at any pixel ratio.
void PreviewView::askForPictureSize(qreal devicePixelRatio)
{
    const QSizeF area = currentLayout().picture.size() * devicePixelRatio;
    const QSize pixels(int(std::ceil(area.width())), int(std::ceil(area.height())));
    if (!player_ || !showsVideo() || pixels.isEmpty() || pixels == askedPictureSize_)
        return;
    askedPictureSize_ = pixels;
    player_->setVideoFrameSizeLimit(pixels);
}

void PreviewView::resizeEvent(QResizeEvent*) { askForPictureSize(devicePixelRatioF()); }

PreviewLayout PreviewView::currentLayout() const
{
    std::optional<double> videoAspect;
    if (showsVideo())
        videoAspect = videoSize_.height() > 0 ? videoSize_.width() / videoSize_.height() : 1.0;
    return layoutInBounds(size(), videoAspect, textHeight_);
}

// Fills the frame, cutting what lies outside it: a cover is square, and a
// video area is its picture's shape to the point.
void PreviewView::drawPicture(QPainter& painter, const QRectF& frame, const QImage& picture) const
{
    painter.save();
    painter.setClipRect(frame);
    painter.drawImage(ZNTRectAspectFillInRect(QRectF(QPointF(), picture.deviceIndependentSize()), frame), picture);
    painter.restore();
}

void PreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const PreviewLayout layout = currentLayout();
    askForPictureSize(pixelsPerPoint(painter));

    // The picture casts a shadow one point down.
    const Shadow pictureShadow{QPointF(0, -1), 3, Qt::black};
    drawShadow(painter, pictureShadow, layout.picture, [&](QPainter& p) { p.fillRect(layout.picture, Qt::black); });
    painter.fillRect(layout.picture, Qt::black);
    const QImage& picture = showsVideo() ? videoPicture_ : shownPicture_;
    if (!picture.isNull())
        drawPicture(painter, layout.picture, picture);
    if (!showsVideo())
        ImageStore::named(QStringLiteral("cover_overlay")).draw(painter, layout.picture);

    if (!lines_.empty() && layout.text.width() > 0) {
        // The lines as one block, centred on the text area's height.
        double height = 0;
        for (const StyledText& line : lines_)
            height += QFontMetricsF(line.font).height();
        const QRectF area = layout.text.adjusted(0, 8, 0, -8);
        double y = area.top() + (area.height() - height) / 2;
        for (StyledText line : lines_) {
            const QFontMetricsF metrics(line.font);
            line.text = metrics.elidedText(line.text, Qt::ElideRight, area.width());
            drawStyledText(painter, QRectF(area.left(), y, area.width(), metrics.height()), line, Qt::AlignLeft | Qt::AlignTop);
            y += metrics.height();
        }
    }
}

// ---------------------------------------------------------------- PreviewBackground

PreviewBackground::PreviewBackground(QWidget* parent) : QWidget(parent)
{
    const ZNTImage pattern = ImageStore::named(QStringLiteral("background_pattern"));
    backgroundPattern_ = pattern.bitmap();
}

void PreviewBackground::setBackgroundColor(const QColor& color)
{
    backgroundColor_ = color;
    update();
}

void PreviewBackground::drawBackground(QPainter& painter, const QRectF& rect) const
{
    if (backgroundPattern_.isNull()) {
        painter.fillRect(rect, backgroundColor_);
        return;
    }
    // The pattern starts at the rect's top-left corner, in the view as in the cache.
    QBrush pattern(backgroundPattern_);
    pattern.setTransform(QTransform::fromTranslate(rect.left(), rect.top()));
    painter.fillRect(rect, pattern);
}

void PreviewBackground::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF bounds(QPointF(), size());
    const qreal scale = devicePixelRatioF();
    if (!cachedImage_.isNull() && cachedImage_.size() == size() * scale) {
        painter.drawImage(bounds, cachedImage_);
        return;
    }
    // While the window animates, draw straight away rather than make an image per frame.
    if (tolvan_wantsAnimatedDrawing(this)) {
        drawBackground(painter, bounds);
        return;
    }
    QImage image(size() * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    {
        QPainter cache(&image);
        drawBackground(cache, bounds);
    }
    cachedImage_ = image;
    painter.drawImage(bounds, cachedImage_);
}
