#include "source/editor/PreviewView.h"

#include "source/engine/AssetAdditions.h"
#include "source/engine/TolvanSource.h"

#include "ZNTUtilities/Fonts.h"
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
    showsVideo_ = asset_ && hasVideo(*asset_);
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

void PreviewView::setPlayer(Player* player) { player_ = player; }

PreviewLayout PreviewView::currentLayout() const
{
    // Our player plays sound only: a song with video gets a square picture area.
    return layoutInBounds(size(), showsVideo_ ? std::optional<double>(1.0) : std::nullopt, textHeight_);
}

void PreviewView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const PreviewLayout layout = currentLayout();

    // The picture casts a shadow one point down.
    const Shadow pictureShadow{QPointF(0, -1), 3, Qt::black};
    drawShadow(painter, pictureShadow, layout.picture, [&](QPainter& p) { p.fillRect(layout.picture, Qt::black); });
    painter.fillRect(layout.picture, Qt::black);
    if (!shownPicture_.isNull()) {
        // Fill the square, cutting what lies outside it.
        const QSizeF image = shownPicture_.size();
        const double scale = std::max(layout.picture.width() / image.width(), layout.picture.height() / image.height());
        const QSizeF drawn = image * scale;
        painter.save();
        painter.setClipRect(layout.picture);
        painter.drawImage(QRectF(layout.picture.center() - QPointF(drawn.width() / 2, drawn.height() / 2), drawn), shownPicture_);
        painter.restore();
    }
    if (!showsVideo_)
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
