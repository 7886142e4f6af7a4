#include "source/browser/WelcomeViewController.h"

#include "platform/foundation/Localizer.h"
#include "source/browser/CoverListController.h"
#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/Shadow.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int directionsWidth = 440, labelHeight = 30, dropHeight = 150, separatorWidth = 300;

QString twitterTooltip() { return tolvan::localized(QStringLiteral("Follow @tolvanapp on Twitter for news and tips")); }
QString facebookTooltip() { return tolvan::localized(QStringLiteral("like on facebook button tooltip"), QStringLiteral("Like Tolvan on Facebook")); }

}  // namespace

void DropTargetView::setLineColor(const QColor& color)
{
    lineColor_ = color;
    update();
}

void DropTargetView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath frame;
    frame.addRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), cornerRadius, cornerRadius);
    // Flat caps: a dash ends where its length says. Qt's default square caps
    // would grow each dash by half the line width at both ends and nearly
    // close the gaps.
    QPen pen(lineColor_, lineWidth, Qt::SolidLine, Qt::FlatCap);
    pen.setDashPattern({dash / lineWidth, gap / lineWidth});  // in line widths
    const Shadow shadow{{0, 0}, 2, QColor::fromRgbF(0, 0, 0, 1)};
    drawShadow(painter, shadow, rect(), [&](QPainter& p) { p.strokePath(frame, pen); });
    painter.strokePath(frame, pen);
}

WelcomeViewController::WelcomeViewController(const BrowserServices& services, QWidget* parent)
    : QWidget(parent),
      services_(services),
      separator_(new QWidget(this)),
      dropTarget_(new DropTargetView(this)),
      coverList_(new CoverListController(services, this)),
      twitterButton_(new ZNTButton(this)),
      facebookButton_(new ZNTButton(this))
{
    const QString texts[3] = {tolvan::localized(QStringLiteral("Select from your library")),
                              tolvan::localized(QStringLiteral("welcome drag directions"), QStringLiteral("Drag file here")),
                              tolvan::localized(QStringLiteral("Pick from your recent songs"))};
    for (int index = 0; index < 3; ++index) {
        directions_[index] = new QLabel(texts[index], this);
        directions_[index]->setAlignment(Qt::AlignCenter);
        auto* shadow = new QGraphicsDropShadowEffect(directions_[index]);
        shadow->setOffset(0, 0);
        shadow->setBlurRadius(3 * 2);  // the blur radius of a text shadow, as a Gaussian extent
        shadow->setColor(Qt::black);
        directions_[index]->setGraphicsEffect(shadow);
    }
    separator_->setAttribute(Qt::WA_StyledBackground);
    separator_->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 40);"));
    coverList_->view()->setParent(this);
    applyDirectionsStyle();

    bindProperty(dropTarget_, "lineColor", this, "dropTargetColor");
    bindProperty(coverList_, "textColor", this, "directionsTextColor");
    setupSocialMediaButtons();
    connect(coverList_, &CoverListController::recentCountChanged, this, &WelcomeViewController::updateViewState);
    updateViewState();
}

WelcomeViewController::~WelcomeViewController() = default;

QLabel* WelcomeViewController::directionsLabel(int number) const
{
    return number >= 1 && number <= 3 ? directions_[number - 1] : nullptr;
}

void WelcomeViewController::setDirectionsTextColor(const QColor& color)
{
    if (color == directionsTextColor_)
        return;
    directionsTextColor_ = color;
    applyDirectionsStyle();
    emit directionsTextColorChanged();
    if (receivingDrag_)
        emit dropTargetColorChanged();
}

void WelcomeViewController::applyDirectionsStyle()
{
    for (QLabel* label : directions_) {
        QFont helvetica(QStringLiteral("Helvetica"));
        helvetica.setPixelSize(20);
        label->setFont(helvetica);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, directionsTextColor_);
        label->setPalette(palette);
    }
}

void WelcomeViewController::setReceivingDrag(bool receiving)
{
    if (receiving == receivingDrag_)
        return;
    receivingDrag_ = receiving;
    emit dropTargetColorChanged();
}

QColor WelcomeViewController::dropTargetColor() const
{
    return receivingDrag_ ? directionsTextColor_ : QColor::fromRgbF(0.6f, 0.6f, 0.6f);
}

void WelcomeViewController::setupSocialMediaButtons()
{
    struct Social {
        ZNTButton* button;
        QString image;
        QString tooltip;
        void (BrowserHost::*action)();
    };
    for (const Social& social : {Social{twitterButton_, "twitter", twitterTooltip(), &BrowserHost::followTolvanOnTwitter},
                                 Social{facebookButton_, "facebook", facebookTooltip(), &BrowserHost::friendTolvanOnFacebook}}) {
        social.button->setBackgroundImage(ImageStore::named(social.image), 0);
        social.button->setBackgroundImage(ImageStore::named(social.image + "_over"), 8);
        social.button->setBackgroundImage(ImageStore::named(social.image + "_down"), 1);
        social.button->setToolTip(social.tooltip);
        social.button->setAccessibleDescription(social.tooltip);
        social.button->setFixedSize(32, 32);
        BrowserHost* host = services_.host;
        connect(social.button, &QAbstractButton::clicked, this, [host, action = social.action] {
            if (host)
                (host->*action)();
        });
    }
}

bool WelcomeViewController::showsRecentSongs() const
{
    return coverList_->recentCount() != 0;
}

void WelcomeViewController::updateViewState()
{
    const bool show = showsRecentSongs();
    separator_->setVisible(show);
    directions_[2]->setVisible(show);
    coverList_->view()->setVisible(show);
    layoutContents();
}

void WelcomeViewController::layoutContents()
{
    // The directions stand as one centred block; the recent songs, when there
    // are some, join it below the drop frame.
    const bool recent = showsRecentSongs();
    const QSize covers = coverList_->view()->size();
    const int blockHeight = labelHeight + 12 + dropHeight + (recent ? 16 + 1 + 10 + labelHeight + 6 + covers.height() : 0);
    const int left = (width() - directionsWidth) / 2;
    int top = std::max(0, (height() - blockHeight) / 2);
    directions_[0]->setGeometry(left, top, directionsWidth, labelHeight);
    top += labelHeight + 12;
    dropTarget_->setGeometry(left, top, directionsWidth, dropHeight);
    directions_[1]->setGeometry(left, top + (dropHeight - labelHeight) / 2, directionsWidth, labelHeight);
    top += dropHeight + 16;
    separator_->setGeometry((width() - separatorWidth) / 2, top, separatorWidth, 1);
    top += 1 + 10;
    directions_[2]->setGeometry(left, top, directionsWidth, labelHeight);
    top += labelHeight + 6;
    coverList_->view()->move((width() - covers.width()) / 2, top);
    facebookButton_->move(width() - 32 - 12, height() - 32 - 12);
    twitterButton_->move(width() - 2 * 32 - 20, height() - 32 - 12);
}

void WelcomeViewController::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient background(0, 0, 0, height());
    background.setColorAt(0, QColor::fromRgbF(0.27f, 0.27f, 0.27f));
    background.setColorAt(1, QColor::fromRgbF(0.17f, 0.17f, 0.17f));
    painter.fillRect(rect(), background);
}

void WelcomeViewController::resizeEvent(QResizeEvent*)
{
    layoutContents();
}
