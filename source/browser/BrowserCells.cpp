#include "source/browser/BrowserCells.h"

#include "source/browser/NavigateImageTransformer.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageAdditions.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/UIColorManager.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPainter>

#include <cmath>

namespace {

QFont lucida(qreal points) { return interfaceFont(points); }

// Present unless the row has no value there at all.
std::optional<QString> optionalString(const BrowserRow& row, std::optional<BrowserRow::Text> key)
{
    if (!key)
        return std::nullopt;
    QString value = row.text(*key);
    if (value.isNull())
        return std::nullopt;
    return value;
}

QSizeF imageSize(const QString& name) { return ImageStore::named(name).size(); }

void drawText(QPainter& painter, const QRectF& rect, const QString& text, const TextAttributes& attributes)
{
    if (text.isEmpty() || rect.width() <= 0)
        return;
    painter.setFont(attributes.font);
    painter.setPen(attributes.color);
    const QString elided = QFontMetricsF(attributes.font).elidedText(text, Qt::ElideRight, rect.width());
    painter.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, elided);
}

void drawTemplate(QPainter& painter, const QRectF& rect, const QString& name, bool darkBackground)
{
    const QImage image = templateImage(name, darkBackground);
    if (!image.isNull())
        painter.drawImage(rect, image);
}

}  // namespace

int fontSize(const QFont& font)
{
    return font.pixelSize() > 0 ? font.pixelSize() : qRound(font.pointSizeF());
}

qreal textHeight(const QString& text, const QFont& font)
{
    return text.isEmpty() ? 0 : QFontMetricsF(font).height();
}

QImage templateImage(const QString& name, bool darkBackground)
{
    static QHash<QString, QImage> cache;
    const QString key = name + (darkBackground ? QStringLiteral("/dark") : QStringLiteral("/light"));
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return *found;
    const ZNTImage image = ImageStore::named(name);
    QImage tinted;
    if (!image.isNull())
        tinted = colorizedImage(image.bitmap(), darkBackground ? greyColor(1) : greyColor(0, 0.7f));
    cache.insert(key, tinted);
    return tinted;
}

// ---- SimpleDetailedCell ----

SimpleDetailedCell::SimpleDetailedCell(QObject* parent) : BrowserCell(parent)
{
    textAttributes = {lucida(15), greyColor(0)};
    selectedTextAttributes = {lucida(15), greyColor(1)};
    singleTextAttributes = {lucida(16), greyColor(0)};
    selectedSingleTextAttributes = {lucida(16), greyColor(1)};
    detailAttributes = {lucida(11), greyColor(0, 0.75f)};
    selectedDetailAttributes = {lucida(11), greyColor(1, 0.75f)};
}

void SimpleDetailedCell::setTextColor(const QColor& color)
{
    textAttributes.color = color;
    emit appearanceChanged();
}

void SimpleDetailedCell::setSecondaryTextColor(const QColor& color)
{
    detailAttributes.color = color;
    emit appearanceChanged();
}

SimpleDetailedCell::Layout SimpleDetailedCell::layout(const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const
{
    Layout result;
    if (!row.onlyShowTitle) {
        const auto secondary = optionalString(row, secondaryKey);
        const auto tertiary = optionalString(row, tertiaryKey);
        if (secondary && tertiary)
            result.detail = QStringLiteral("%1 - %2").arg(*secondary, *tertiary);
        else
            result.detail = secondary ? secondary : tertiary;
    }
    const bool dark = state.darkBackground;
    if (result.detail)
        result.titleAttributes = dark ? selectedTextAttributes : textAttributes;
    else
        result.titleAttributes = dark ? selectedSingleTextAttributes : singleTextAttributes;
    result.detailAttributes = dark ? selectedDetailAttributes : detailAttributes;

    result.title = row.text(primaryKey);
    const qreal th = textHeight(result.title, result.titleAttributes.font);
    const qreal dh = result.detail ? textHeight(*result.detail, result.detailAttributes.font) : 0;
    const qreal x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
    const qreal left = x + leftMargin;
    qreal width = w - (leftMargin + rightMargin);
    const qreal top = y + std::ceil((h - (th + dh)) / 2);

    if (row.drmProtected)
        result.accessory = Accessory::lock;
    else if (state.highlighted)
        result.accessory = Accessory::chevron;
    if (result.accessory != Accessory::none) {
        const bool lock = result.accessory == Accessory::lock;
        const QSizeF size = imageSize(lock ? QStringLiteral("lock_template") : QStringLiteral("arrow_template"));
        const qreal lift = lock ? 1 : 0;
        result.accessoryRect = {left + width - size.width(), y + std::floor((h - size.height()) / 2) - lift, size.width(), size.height()};
        width -= size.width() + 5;
    }

    if (result.detail) {
        result.detailRect = {left, top + th - 2, width, dh};
        result.titleRect = {left, top - 2, width, th};
    } else {
        result.titleRect = {left, top, width, th};
    }
    return result;
}

void SimpleDetailedCell::draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const
{
    const Layout l = layout(frame, row, state);
    painter.save();
    painter.setClipRect(frame);
    if (l.accessory != Accessory::none)
        drawTemplate(painter, l.accessoryRect, l.accessory == Accessory::lock ? QStringLiteral("lock_template") : QStringLiteral("arrow_template"),
                     state.darkBackground);
    if (l.detail)
        drawText(painter, l.detailRect, *l.detail, l.detailAttributes);
    drawText(painter, l.titleRect, l.title, l.titleAttributes);
    painter.restore();
}

// ---- BrowserTextCell ----

BrowserTextCell::BrowserTextCell(QObject* parent) : BrowserCell(parent), font(interfaceFont(16)) {}

void BrowserTextCell::setTextColor(const QColor& color)
{
    textColor_ = color;
    emit appearanceChanged();
}

// ---- SimpleMenuCell ----

SimpleMenuCell::Layout SimpleMenuCell::layout(const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const
{
    Layout result;
    const bool group = row.isGroup;
    const qreal indent = (style == 1 && !group) ? 12 : 0;
    result.title = row.title;
    if (style == 1 && group) {
        QFont smaller = font;
        smaller.setPixelSize(fontSize(font) - 1);
        result.text = {smaller, greyColor(1.0f / 3)};
        result.raised = true;
    } else {
        result.text = {font, state.darkBackground ? greyColor(1) : textColor_};
    }

    const qreal x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
    const qreal th = QFontMetricsF(result.text.font).height();
    qreal left = x + indent + leftMargin;
    qreal width = w - (indent + leftMargin + rightMargin);
    const qreal top = y + std::ceil((h - th) / 2);

    result.arrowImage = NavigateImageTransformer::transformedValue(row.hasChildren);
    if (!result.arrowImage.isNull()) {
        const QSizeF size = imageSize(result.arrowImage);
        result.arrowRect = QRectF(left + width - size.width(), y + std::ceil((h - size.height()) / 2), size.width(), size.height());
        width -= size.width() + spacing;
    }
    const QString& image = row.image;
    if (!image.isEmpty()) {
        const QSizeF size = imageSize(image);
        result.imageRect = QRectF(left, y + std::ceil((h - size.height()) / 2), size.width(), size.height());
        left += size.width() + spacing;
        width -= size.width() + spacing;
    }
    result.textRect = {left, top, width, th};
    return result;
}

void SimpleMenuCell::draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const
{
    const Layout l = layout(frame, row, state);
    painter.save();
    painter.setClipRect(frame);
    if (l.arrowRect)
        drawTemplate(painter, *l.arrowRect, l.arrowImage, state.darkBackground);
    if (l.imageRect)
        drawTemplate(painter, *l.imageRect, row.image, state.darkBackground);
    if (l.raised)  // engraved: a light copy one point below
        drawText(painter, l.textRect.translated(0, 1), l.title, {l.text.font, greyColor(1, 0.7f)});
    drawText(painter, l.textRect, l.title, l.text);
    painter.restore();
}

// ---- VerticallCenteredTextCell ----

VerticallCenteredTextCell::Layout VerticallCenteredTextCell::layout(const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const
{
    Layout result;
    result.title = row.text(key);
    result.font = font;
    if (state.highlighted)
        result.font.setBold(false);
    const qreal sh = float(textHeight(result.title, result.font));
    const qreal x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
    result.textRect = {x + 10, y + std::floor((h - sh) / 2), w - 15, sh};
    if (state.highlighted) {
        const QSizeF size = imageSize(QStringLiteral("arrow_template"));
        result.chevronRect = QRectF(result.textRect.right() - size.width(), y + std::floor((h - size.height()) / 2) - 1, size.width(), size.height());
        result.textRect.setWidth(result.textRect.width() - (size.width() + 5));
    }
    return result;
}

void VerticallCenteredTextCell::draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const
{
    const Layout l = layout(frame, row, state);
    painter.save();
    painter.setClipRect(frame);
    if (l.chevronRect)
        drawTemplate(painter, *l.chevronRect, QStringLiteral("arrow_template"), state.darkBackground);
    drawText(painter, l.textRect, l.title, {l.font, state.darkBackground ? greyColor(1) : textColor_});
    painter.restore();
}
