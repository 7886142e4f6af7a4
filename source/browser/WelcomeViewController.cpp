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

#include <algorithm>

namespace {

constexpr int welcomeMargin = 12, directionsWidth = 440, labelHeight = 30, separatorWidth = 300;
constexpr int tallestDrop = 150, lowestDrop = 100;
constexpr int socialSide = 32, socialSpacing = 8;

// The block's height less the drop frame's: the first direction above the
// frame and, with recent songs, the separator, the third direction and the
// covers below it.
int heightAroundDrop(bool recentSongs, int coversHeight)
{
    return labelHeight + 12 + (recentSongs ? 16 + 1 + 10 + labelHeight + 6 + coversHeight : 0);
}

// Where the welcome view's parts go in a view of the given size (y down).
// The directions, the drop frame and the recent covers stand as one block,
// centred, yet kept above the social buttons in the bottom right corner; in a
// low view the drop frame gives up height first.
struct WelcomeLayout {
    QRect directions[3];
    QRect dropTarget;
    QRect separator;
    QRect covers;
    QRect twitterButton;
    QRect facebookButton;
};

WelcomeLayout layoutWelcomeView(QSize size, bool recentSongs, QSize covers)
{
    WelcomeLayout layout;
    const int width = size.width(), height = size.height();
    const int socialTop = height - welcomeMargin - socialSide;
    layout.facebookButton = {width - welcomeMargin - socialSide, socialTop, socialSide, socialSide};
    layout.twitterButton = layout.facebookButton.translated(-(socialSide + socialSpacing), 0);

    // The block lies between the top margin and a margin above the buttons.
    const int lowestBottom = socialTop - welcomeMargin;
    const int around = heightAroundDrop(recentSongs, covers.height());
    const int dropHeight = std::clamp(lowestBottom - welcomeMargin - around, lowestDrop, tallestDrop);
    const int blockHeight = around + dropHeight;
    int top = std::max(welcomeMargin, std::min((height - blockHeight) / 2, lowestBottom - blockHeight));
    const int left = (width - directionsWidth) / 2;
    layout.directions[0] = {left, top, directionsWidth, labelHeight};
    top += labelHeight + 12;
    layout.dropTarget = {left, top, directionsWidth, dropHeight};
    layout.directions[1] = {left, top + (dropHeight - labelHeight) / 2, directionsWidth, labelHeight};
    top += dropHeight + 16;
    layout.separator = {(width - separatorWidth) / 2, top, separatorWidth, 1};
    top += 1 + 10;
    layout.directions[2] = {left, top, directionsWidth, labelHeight};
    top += labelHeight + 6;
    layout.covers = {QPoint((width - covers.width()) / 2, top), covers};
    return layout;
}

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
    setMinimumSize(smallestSize());

    bindProperty(dropTarget_, "lineColor", this, "dropTargetColor");
    bindProperty(coverList_, "textColor", this, "directionsTextColor");
    setupSocialMediaButtons();
    connect(coverList_, &CoverListController::recentCountChanged, this, &WelcomeViewController::updateViewState);
    updateViewState();
}

WelcomeViewController::~WelcomeViewController() = default;

QSize WelcomeViewController::smallestSize()
{
    const int coversWidth = int(CoverListController::coverCount) * CoverListItem::side;
    const int blockHeight = heightAroundDrop(true, CoverListItem::side) + lowestDrop;
    return {std::max(directionsWidth, coversWidth) + 2 * welcomeMargin, welcomeMargin + blockHeight + welcomeMargin + socialSide + welcomeMargin};
}

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
        social.button->setAccessibleName(social.tooltip);  // a picture's only words
        social.button->setFixedSize(socialSide, socialSide);
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
    const WelcomeLayout layout = layoutWelcomeView(size(), showsRecentSongs(), coverList_->view()->size());
    for (int index = 0; index < 3; ++index)
        directions_[index]->setGeometry(layout.directions[index]);
    dropTarget_->setGeometry(layout.dropTarget);
    separator_->setGeometry(layout.separator);
    coverList_->view()->move(layout.covers.topLeft());
    twitterButton_->setGeometry(layout.twitterButton);
    facebookButton_->setGeometry(layout.facebookButton);
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
