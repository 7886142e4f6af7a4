#include "source/browser/CoverListController.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/Shadow.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QVariantAnimation>

namespace {

QFont helvetica(bool bold)
{
    QFont font(QStringLiteral("Helvetica"));
    font.setPixelSize(int(CoverListItem::fontSize));
    font.setBold(bold);
    return font;
}

const char* overlayName(CoverListItem::Frame frame)
{
    switch (frame) {
    case CoverListItem::Frame::highlighted: return "recent_overlay_over";
    case CoverListItem::Frame::selected: return "recent_overlay_down";
    case CoverListItem::Frame::normal: break;
    }
    return "recent_overlay";
}

}  // namespace

// ---- CoverListItem ----

CoverListItem::CoverListItem(QWidget* parent) : QWidget(parent), fading_(new QVariantAnimation(this))
{
    setFixedSize(side, side);
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    fading_->setDuration(250);
    fading_->setStartValue(0.0);
    fading_->setEndValue(1.0);
    connect(fading_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        fade_ = value.toDouble();
        update();
    });
}

QList<CoverListItem::CaptionLine> CoverListItem::captionFor(const ZNTMediaLibraryMediaItem& item)
{
    QList<CaptionLine> lines;
    if (!item.title().isEmpty())
        lines.append({item.title(), true});
    const ZNTMediaLibraryArtistPtr artist = item.artist();
    if (artist && !artist->name().isEmpty())
        lines.append({artist->name(), false});
    return lines;
}

QImage CoverListItem::imageFor(const ZNTMediaLibraryMediaItem& item)
{
    const QImage artwork = item.artworkWithSuggestedSize(QSize(int(coverRect.width() * 2), int(coverRect.height() * 2)));
    return artwork.isNull() ? ImageStore::named(QStringLiteral("default_cover")).bitmap() : artwork;
}

void CoverListItem::setRepresentedObject(ZNTMediaLibraryMediaItemPtr item)
{
    item_ = std::move(item);
    caption_ = item_ ? captionFor(*item_) : QList<CaptionLine>{};
    cover_ = item_ ? imageFor(*item_) : QImage();
    QStringList spoken;
    for (const CaptionLine& line : caption_)
        spoken << line.text;
    setAccessibleName(spoken.join(QStringLiteral(", ")));
    update();
}

void CoverListItem::setTextColor(const QColor& color)
{
    textColor_ = color.isValid() ? color : QColor(Qt::white);
    update();
}

void CoverListItem::setSelected(bool selected)
{
    selected_ = selected;
    showFrame(selected ? Frame::selected : Frame::normal);
}

void CoverListItem::showFrame(Frame frame)
{
    if (frame == frame_)
        return;
    fadingFrom_ = frame_;
    frame_ = frame;
    fading_->stop();
    fade_ = 0;
    fading_->start();
}

void CoverListItem::enterEvent(QEnterEvent*) { showFrame(Frame::highlighted); }
void CoverListItem::leaveEvent(QEvent*) { showFrame(Frame::normal); }

void CoverListItem::hideEvent(QHideEvent*)
{
    showFrame(Frame::normal);
    fading_->stop();
    fade_ = 1;
}

void CoverListItem::mousePressEvent(QMouseEvent*) { emit pressed(); }

void CoverListItem::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!cover_.isNull()) {
        // Centred in the cover's square, scaled to fit either way.
        QSizeF size = cover_.size() / cover_.devicePixelRatio();
        size.scale(coverRect.size(), Qt::KeepAspectRatio);
        const QRectF target(coverRect.center() - QPointF(size.width() / 2, size.height() / 2), size);
        painter.drawImage(target, cover_);
    }
    auto drawOverlay = [&](Frame frame, qreal opacity) {
        if (opacity > 0)
            ImageStore::named(QString::fromLatin1(overlayName(frame))).draw(painter, overlayRect, opacity);
    };
    drawOverlay(fadingFrom_, 1 - fade_);
    drawOverlay(frame_, fade_);

    const Shadow shadow{{0, -1}, 3, QColor::fromRgbF(0, 0, 0, 1)};
    qreal top = captionRect.top();
    for (const CaptionLine& line : caption_) {
        const QFont font = helvetica(line.bold);
        const qreal height = QFontMetricsF(font).height();
        const QRectF rect(captionRect.left(), top, captionRect.width(), height);
        const QString text = QFontMetricsF(font).elidedText(line.text, Qt::ElideRight, rect.width());
        drawStyledText(painter, rect, {text, font, textColor_, shadow}, Qt::AlignHCenter | Qt::AlignTop);
        top += height;
    }
}

// ---- CoverListController ----

CoverListController::CoverListController(const BrowserServices& services, QObject* parent)
    : QObject(parent), services_(services), view_(new QWidget)
{
    view_->setMinimumSize(90, 120);
    view_->setAccessibleName(QStringLiteral("Recent songs"));
    QTimer::singleShot(0, this, &CoverListController::updateRecentItems);
    if (services_.library) {
        connect(services_.library, &ZNTMediaLibrary::loadingChanged, this, [this](bool loading) {
            if (!loading)
                updateRecentItems();
        });
    }
}

CoverListController::~CoverListController()
{
    delete view_.data();
}

void CoverListController::updateRecentItems()
{
    const std::vector<ZNTMediaLibraryMediaItemPtr> recent =
        services_.library ? services_.library->recentlyPlayedItems(coverCount) : std::vector<ZNTMediaLibraryMediaItemPtr>{};
    qDeleteAll(items_);
    items_.clear();
    for (const ZNTMediaLibraryMediaItemPtr& song : recent) {
        auto* item = new CoverListItem(view_);
        item->setTextColor(textColor_);
        item->setRepresentedObject(song);
        connect(item, &CoverListItem::pressed, this, [this, item] { selectItem(item); });
        item->show();
        items_.append(item);
    }
    layoutItems();
    recentCount_ = recent.size();
    emit recentCountChanged();
}

void CoverListController::layoutItems()
{
    const int width = int(items_.size()) * CoverListItem::side;
    view_->setFixedSize(std::max(width, CoverListItem::side), CoverListItem::side);
    for (int index = 0; index < items_.size(); ++index)
        items_[index]->move(index * CoverListItem::side, 0);
}

void CoverListController::selectItem(CoverListItem* item)
{
    if (changingCollection_ || !items_.contains(item))
        return;
    for (CoverListItem* other : items_)
        other->setSelected(other == item);
    QTimer::singleShot(chooseDelayMilliseconds, this, [this, song = item->representedObject()] { itemSelected(song); });
}

void CoverListController::itemSelected(const ZNTMediaLibraryMediaItemPtr& item)
{
    changingCollection_ = true;
    for (CoverListItem* cover : items_)
        cover->setSelected(false);
    changingCollection_ = false;
    if (item)
        services_.openSource(TolvanSource::sourceWithMediaItem(item));
}
