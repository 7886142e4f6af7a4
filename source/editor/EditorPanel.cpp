// The editor's views, built and dressed in code: the preview pane, the
// waveform area and the bottom bar above the collapsible advanced panel.

#include "source/editor/EditorRules.h"
#include "source/editor/EditorViewController_p.h"
#include "source/editor/ManualVolumeSlider.h"
#include "source/editor/NotifierScrollView.h"
#include "source/editor/PreviewView.h"
#include "source/editor/WaveformViewController.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/UIColorManager.h"
#include "ZNTUtilities/widgets/DarkControls.h"
#include "ZNTUtilities/widgets/PanelViews.h"
#include "ZNTUtilities/widgets/ZNTButton.h"
#include "platform/foundation/Localizer.h"

#include <QCheckBox>
#include <QDoubleValidator>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace tolvan;

namespace {

constexpr int kPreviewPaneHeight = 140;
constexpr int kBottomBarHeight = 52;
constexpr int kAdvancedPanelHeight = 44;
constexpr int kSpinnerSize = 100;
constexpr int kSpinnerDrop = 20;  // below the content's centre

// Calls back on every resize, so children placed by hand follow.
class ResizingView : public QWidget {
public:
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (onResize)
            onResize();
    }
};

QLabel* makeLabel(QWidget* parent, const QColor& color)
{
    auto* label = new QLabel(parent);
    label->setFont(interfaceFont(12));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

void fillTimeMenu(DarkPopupButton* popup)
{
    popup->clear();
    for (const auto& item : editor::timeMenu()) {
        if (item.separator) {
            popup->insertSeparator(popup->count());
            continue;
        }
        popup->addItem(localized(item.titleKey));
        if (!item.accessibilityKey.isEmpty())
            popup->setItemData(popup->count() - 1, localized(item.accessibilityKey, item.accessibilityDefault), Qt::AccessibleDescriptionRole);
    }
}

ZNTImage stretchable(const QString& name) { return ImageStore::named(name).stretchableImage(18, 0); }

// The smallest size a layout gives the widget.
QSize neededSize(const QWidget* widget) { return widget->minimumSizeHint().expandedTo(widget->minimumSize()); }

QString secondsText(double seconds) { return std::isfinite(seconds) ? QString::number(seconds, 'f', 2) : QString(); }

}  // namespace

void EditorViewController::Private::buildView()
{
    view = new CustomSplitView(Qt::Vertical);
    view->setChildrenCollapsible(true);

    auto* content = new ResizingView;
    contentView = content;
    previewView = new PreviewView;
    previewView->setFixedHeight(kPreviewPaneHeight);
    bottomView = new QWidget;
    bottomView->setFixedHeight(kBottomBarHeight);
    auto* column = new QVBoxLayout(contentView);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(previewView);
    column->addWidget(waveformViewController->view(), 1);
    column->addWidget(bottomView);

    closeButton = new ZNTButton;
    playButton = new ZNTButton;
    previewButton = new ZNTButton;
    createButton = new ZNTButton;
    auto* centerView = new ResizingView;
    centerControlView = centerView;
    centerView->onResize = [this] { layoutBasicControls(); };
    kindControl = new DarkSegmentedControl(centerControlView);
    const QColor labelColor = QColor::fromRgbF(0.85f, 0.85f, 0.85f);
    fadeInLabel = makeLabel(centerControlView, labelColor);
    fadeOutLabel = makeLabel(centerControlView, labelColor);
    gapLabel = makeLabel(centerControlView, labelColor);
    fadeInPopup = new DarkPopupButton(centerControlView);
    fadeOutPopup = new DarkPopupButton(centerControlView);
    gapPopup = new DarkPopupButton(centerControlView);

    auto* bar = new QHBoxLayout(bottomView);
    bar->setContentsMargins(10, 0, 10, 0);
    bar->setSpacing(8);
    bar->addWidget(closeButton);
    bar->addWidget(playButton);
    bar->addWidget(centerControlView, 1);
    bar->addWidget(previewButton);
    bar->addWidget(createButton);

    advancedView = new ZNTBackgroundView;
    advancedView->setFixedHeight(kAdvancedPanelHeight);
    view->addWidget(contentView);
    view->addWidget(advancedView);
    view->setStretchFactor(0, 1);
    view->setStretchFactor(1, 0);
    view->setHideDivider(true);

    setupAdvancedView();
    setupAttributeControls();
    setupButtons();
    setupProgressSpinner();
    content->onResize = [this] {
        spinner->setGeometry((contentView->width() - kSpinnerSize) / 2, (contentView->height() - kSpinnerSize) / 2 + kSpinnerDrop,
                             kSpinnerSize, kSpinnerSize);
    };
    connectControls();
    setTabOrder();
    layoutBasicControls();
    // The pane needs room for every control with the advanced panel shown,
    // so showing it never squeezes the controls out of the window.
    const QSize editing = neededSize(contentView), advanced = neededSize(advancedView);
    view->setMinimumSize(std::max(editing.width(), advanced.width()), editing.height() + advanced.height());
}

void EditorViewController::Private::setupAdvancedView()
{
    advancedView->setBackgroundColor(QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    advancedView->setBorderColor(Qt::darkGray);
    advancedView->setBorderEdges(7);
    const QColor text = QColor::fromRgbF(0.1f, 0.1f, 0.1f);
    startTimeLabel = makeLabel(advancedView, text);
    startTimeLabel->setText(localized(QStringLiteral("title advanced start field"), QStringLiteral("Start:")));
    startTimeField = new QLineEdit(advancedView);
    startTimeField->setAccessibleName(localized(QStringLiteral("accessibility title advanced start field"), QStringLiteral("start time")));
    durationLabel = makeLabel(advancedView, text);
    durationLabel->setText(localized(QStringLiteral("title advanced duration field"), QStringLiteral("Duration:")));
    durationField = new QLineEdit(advancedView);
    durationField->setAccessibleName(localized(QStringLiteral("accessibility title advanced duration field"), QStringLiteral("duration")));
    startTimeLabel->setBuddy(startTimeField);
    durationLabel->setBuddy(durationField);
    for (QLineEdit* field : {startTimeField, durationField}) {
        field->setFont(interfaceFont(12));
        field->setFixedWidth(80);
        field->setAlignment(Qt::AlignRight);
        auto* validator = new QDoubleValidator(0.0, 1e7, 2, field);
        validator->setNotation(QDoubleValidator::StandardNotation);
        validator->setLocale(QLocale::c());
        field->setValidator(validator);
    }

    // The check box and slider.
    autoVolumeButton = new QCheckBox(localized(QStringLiteral("Manual Volume")), advancedView);
    autoVolumeButton->setFont(interfaceFont(12));
    autoVolumeButton->setToolTip(localized(QStringLiteral("Turn on to manually adjust the volume of the ringtone")));
    manualVolumeSlider = new ManualVolumeSlider(advancedView);
    manualVolumeSlider->setFixedWidth(160);
    manualVolumeSlider->setAccessibleName(localized(QStringLiteral("accessibility title advanced volume slider"), QStringLiteral("volume adjustment")));

    auto* row = new QHBoxLayout(advancedView);
    row->setContentsMargins(16, 6, 16, 6);
    row->setSpacing(6);
    row->addWidget(startTimeLabel);
    row->addWidget(startTimeField);
    row->addSpacing(16);
    row->addWidget(durationLabel);
    row->addWidget(durationField);
    row->addStretch(1);
    row->addWidget(autoVolumeButton);
    row->addWidget(manualVolumeSlider);
}

void EditorViewController::Private::setupAttributeControls()
{
    // The kind control.
    kindControl->addSegment({}, ImageStore::named(QStringLiteral("kind_ringtone")), 40);
    kindControl->addSegment({}, ImageStore::named(QStringLiteral("kind_alerttone")), 40);
    kindControl->setSelectedImage(ImageStore::named(QStringLiteral("kind_ringtone_selected")), 0);
    kindControl->setSelectedImage(ImageStore::named(QStringLiteral("kind_alerttone_selected")), 1);
    kindControl->setSegmentToolTip(0, localized(QStringLiteral("kind ringtone tooltip"),
                                                QStringLiteral("Chooses that a ringtone be created. Ringtones can be up to 40 seconds "
                                                               "long and will appear in the Ringtones section.")));
    kindControl->setSegmentToolTip(1, localized(QStringLiteral("kind alert tone tooltip"),
                                                QStringLiteral("Chooses that an alert tone be created. Alert tones can be up to 30 "
                                                               "seconds long and will appear in the Alert Tones section.")));
    kindControl->setSegmentAccessibleName(0, localized(QStringLiteral("kind ringtone accessibility title"), QStringLiteral("ringtone")));
    kindControl->setSegmentAccessibleName(1, localized(QStringLiteral("kind alert tone accessibility title"), QStringLiteral("alert tone")));
    // The group's own name, which screen readers say before the chosen kind.
    kindControl->setAccessibleName(localized(QStringLiteral("kind control accessibility title"), QStringLiteral("tone kind")));
    kindControl->resize(kindControl->sizeHint());

    setupTimePopup(fadeInLabel, fadeInPopup, QStringLiteral("Fade In:"), QStringLiteral("Sets the fade in duration"));
    setupTimePopup(fadeOutLabel, fadeOutPopup, QStringLiteral("Fade Out:"), QStringLiteral("Sets the fade out duration"));
    setupTimePopup(gapLabel, gapPopup, QStringLiteral("Gap:"), QStringLiteral("Sets the amount of time between rings"));
}

void EditorViewController::Private::setupTimePopup(QLabel* label, DarkPopupButton* popup, const QString& labelKey, const QString& toolTipKey)
{
    label->setText(localized(labelKey));
    label->setToolTip(localized(toolTipKey));
    popup->setToolTip(localized(toolTipKey));
    popup->setAccessibleName(label->text());
    label->setBuddy(popup);
    fillTimeMenu(popup);
    popup->resize(popup->sizeHint());
}

void EditorViewController::Private::setupButtons()
{
    previewButton->setBackgroundImage(stretchable(QStringLiteral("green_button")), unsigned(ButtonState::normal));
    previewButton->setBackgroundImage(stretchable(QStringLiteral("green_button_down")), unsigned(ButtonState::pressed));
    previewButton->setToolTip(localized(QStringLiteral("Preview of your ringtone as it will sound on your phone")));
    createButton->setBackgroundImage(stretchable(QStringLiteral("orange_button")), unsigned(ButtonState::normal));
    createButton->setBackgroundImage(stretchable(QStringLiteral("orange_button_down")), unsigned(ButtonState::pressed));
    createButton->setToolTip(localized(QStringLiteral("Create your ringtone (Hold the shift key to save to another location)")));
    for (ZNTButton* button : {previewButton, createButton}) {
        button->setFixedSize(104, 28);
        button->setFont(interfaceFont(13, true));
        button->setFocusRingRadius(6);  // the picture's corners
    }

    closeButton->setBackgroundImage(ImageStore::named(QStringLiteral("close")), unsigned(ButtonState::normal));
    closeButton->setBackgroundImage(ImageStore::named(QStringLiteral("close_down")), unsigned(ButtonState::pressed));
    closeButton->setBackgroundImage(ImageStore::named(QStringLiteral("close_over")), unsigned(ButtonState::hover));
    closeButton->setToolTip(localized(QStringLiteral("editor close button tooltip"), QStringLiteral("Closes the editor")));
    closeButton->setAccessibleName(localized(QStringLiteral("editor close button accessibility title"), QStringLiteral("Close editor")));
    closeButton->setFixedSize(16, 16);
    closeButton->setFocusRingRadius(8);  // round pictures

    playButton->setToolTip(localized(QStringLiteral("editor play/pause button tooltip"),
                                     QStringLiteral("Plays or pauses the item, ignoring the selection")));
    playButton->setAccessibleName(localized(QStringLiteral("editor play/pause button accessibility title"), QStringLiteral("Play/pause")));
    playButton->setFixedSize(32, 32);
    playButton->setFocusRingRadius(16);
}

void EditorViewController::Private::setTabOrder()
{
    // Reading order: the waveform, the bar below it from left to right, then
    // the advanced panel under the bar.
    QWidget* const order[] = {waveformViewController->scrollView(), closeButton, playButton, kindControl, fadeInPopup, fadeOutPopup, gapPopup,
                              previewButton, createButton, startTimeField, durationField, autoVolumeButton, manualVolumeSlider};
    for (size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void EditorViewController::Private::setupProgressSpinner()
{
    spinner = new LargeProgressIndicator(contentView);
    spinner->resize(kSpinnerSize, kSpinnerSize);
    spinner->hide();
}

void EditorViewController::Private::layoutBasicControls()
{
    QWidget* const row[] = {kindControl, fadeInLabel, fadeInPopup, fadeOutLabel, fadeOutPopup, gapLabel, gapPopup};
    for (QLabel* label : {fadeInLabel, fadeOutLabel, gapLabel})
        label->adjustSize();
    std::array<double, editor::kRowControlCount> widths{};
    int height = 0;
    for (int i = 0; i < editor::kRowControlCount; ++i) {
        widths[i] = row[i]->width();
        height = std::max(height, row[i]->height());
    }
    // The bar never squeezes the row: it would be cut at both ends.
    centerControlView->setMinimumSize(int(std::ceil(editor::rowWidth(widths))), height);
    const auto x = editor::centredRow(widths, kindControl->x(), centerControlView->width());
    // Every control shares the pop-ups' vertical centre.
    const int centreY = centerControlView->height() / 2;
    for (int i = 0; i < editor::kRowControlCount; ++i)
        row[i]->move(int(x[i]), centreY - row[i]->height() / 2);
}

void EditorViewController::Private::connectControls()
{
    QObject::connect(kindControl, &DarkSegmentedControl::selectedSegmentChanged, q, [this](int segment) { q->setSelectedKind(segment); });
    QObject::connect(fadeInPopup, &QComboBox::activated, q, [this](int index) { q->setSelectedFadeIn(index); });
    QObject::connect(fadeOutPopup, &QComboBox::activated, q, [this](int index) { q->setSelectedFadeOut(index); });
    QObject::connect(gapPopup, &QComboBox::activated, q, [this](int index) { q->setSelectedGap(index); });
    QObject::connect(autoVolumeButton, &QCheckBox::clicked, q, [this](bool checked) { q->setManuallyAdjustVolume(checked); });
    QObject::connect(manualVolumeSlider, &QSlider::actionTriggered, q, [this](int) {
        q->setManualVolumeSliderValue(double(manualVolumeSlider->sliderPosition()) / ManualVolumeSlider::kStepsPerUnit);
    });
    // Leaving a field applies it, and the field shows the selection as the rules left it.
    QObject::connect(startTimeField, &QLineEdit::editingFinished, q, [this] {
        bool ok = false;
        const double seconds = QLocale::c().toDouble(startTimeField->text(), &ok);
        if (ok)
            q->setSelectionStartTime(seconds);
        showSelection(true);
    });
    QObject::connect(durationField, &QLineEdit::editingFinished, q, [this] {
        bool ok = false;
        const double seconds = QLocale::c().toDouble(durationField->text(), &ok);
        if (ok)
            q->setSelectionDuration(seconds);
        showSelection(true);
    });
    QObject::connect(playButton, &QAbstractButton::clicked, q, [this] { q->startStopPlay(); });
    QObject::connect(previewButton, &QAbstractButton::clicked, q, [this] { q->startStopPreview(); });
    QObject::connect(createButton, &QAbstractButton::clicked, q, [this] {
        if (services.host)
            services.host->createButtonAction(createButton);
    });
    QObject::connect(closeButton, &QAbstractButton::clicked, q, [this] {
        if (services.host)
            services.host->clearSelection(closeButton);
    });
}

void EditorViewController::Private::showSettings()
{
    {
        const QSignalBlocker blocker(kindControl);
        kindControl->setSelectedSegment(q->selectedKind());
    }
    fadeInPopup->setCurrentIndex(q->selectedFadeIn());
    fadeOutPopup->setCurrentIndex(q->selectedFadeOut());
    gapPopup->setCurrentIndex(selectedGap);
    const bool manual = q->manuallyAdjustVolume();
    autoVolumeButton->setChecked(manual);
    autoVolumeButton->setEnabled(q->allowVolumeAdjustment());
    manualVolumeSlider->setEnabled(manual && q->allowVolumeAdjustment());
    {
        const QSignalBlocker blocker(manualVolumeSlider);
        manualVolumeSlider->setDoubleValue(q->manualVolumeSliderValue());
    }
    // The slider's spoken value is the gain.
    manualVolumeSlider->setAccessibleDescription(QString::asprintf("%1.1f", q->manualVolumeGain()));
}

void EditorViewController::Private::showSelection(bool evenWhileTyping)
{
    // A field the user is typing in keeps the typing until it is left.
    const auto typing = [evenWhileTyping](QLineEdit* field) { return !evenWhileTyping && field->hasFocus() && field->isModified(); };
    const ZNTTimeRange selection = waveformViewController->selection();
    if (!typing(startTimeField))
        startTimeField->setText(secondsText(selection.start));
    if (!typing(durationField))
        durationField->setText(secondsText(selection.duration));
}

void EditorViewController::Private::showButtonTitles()
{
    createButton->setAttributedTitle(UIColorManager::controlTitle(q->createButtonTitle(), createButton->font()));
    previewButton->setAttributedTitle(UIColorManager::controlTitle(q->previewButtonTitle(), previewButton->font()));
}

void EditorViewController::Private::touchPlayButtonImages()
{
    const bool playing = q->isPlaying();
    playButton->setBackgroundImage(ImageStore::named(editor::playButtonImageName(playing, false)), unsigned(ButtonState::normal));
    playButton->setBackgroundImage(ImageStore::named(editor::playButtonImageName(playing, true)), unsigned(ButtonState::pressed));
}
