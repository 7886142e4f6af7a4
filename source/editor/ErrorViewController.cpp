#include "source/editor/ErrorViewController.h"

#include "source/engine/TolvanError.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/Shadow.h"
#include "ZNTUtilities/widgets/ViewAdditions.h"
#include "platform/foundation/Localizer.h"
#include "platform/media/MediaError.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace tolvan;

namespace {

// Draws one picture at its own size.
class PictureView final : public QWidget {
public:
    explicit PictureView(ZNTImage image) : image_(std::move(image)) {}
    QSize sizeHint() const override { return image_.size().toSize(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        image_.draw(painter, QRectF(QPointF(), image_.size()));
    }

private:
    ZNTImage image_;
};

// One line of white text with a shadow above it, cut at the end with an
// ellipsis when the view is too narrow.
class MessageView final : public QWidget {
    static constexpr int kInset = 5;

public:
    explicit MessageView(const QString& text)
    {
        text_ = {text, interfaceFont(20), Qt::white, Shadow{QPointF(0, 3), 3, Qt::black}};
    }
    QString text() const { return text_.text; }
    QSize sizeHint() const override
    {
        const QFontMetricsF metrics(text_.font);
        // Whole points, rounded up, and room for the shadow on each side; at
        // most as wide as the view it is in, where paintEvent cuts it.
        const int width = int(std::ceil(metrics.horizontalAdvance(text_.text))) + 2 * kInset;
        return QSize(parentWidget() ? std::min(width, parentWidget()->width()) : width, int(std::ceil(metrics.height())) + 2 * kInset);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        StyledText shown = text_;
        shown.text = QFontMetricsF(text_.font).elidedText(text_.text, Qt::ElideRight, width() - 2 * kInset + 0.5);
        drawStyledText(painter, rect(), shown, Qt::AlignCenter);
    }

private:
    StyledText text_;
};

}  // namespace

std::unique_ptr<ErrorViewController> ErrorViewController::errorViewWithError(const Error& error)
{
    std::unique_ptr<ErrorViewController> controller(new ErrorViewController);
    controller->setError(error);
    return controller;
}

ErrorViewController::~ErrorViewController() { delete view_; }

QString ErrorViewController::displayStringForError(const Error& error)
{
    QString key;
    if (error.domain == AVFoundationErrorDomain && error.code == MediaErrorContentIsProtected)
        key = QStringLiteral("This file is protected");
    else if (error.domain == AVFoundationErrorDomain && error.code == MediaErrorFileFormatNotRecognized)
        key = QStringLiteral("Tolvan cannot read this type of file");
    else if (error.domain == NSCocoaErrorDomain && error.code == NSFileNoSuchFileError)
        key = QStringLiteral("Tolvan cannot find this file");
    else if (error.domain == TolvanErrorDomain && error.code == TolvanErrorNoAudio)
        key = QStringLiteral("This file has no audio content");
    const QString text = key.isEmpty() ? QString() : localized(key, QString());
    return text.isEmpty() ? error.localizedDescription() : text;
}

QWidget* ErrorViewController::view()
{
    if (!view_)
        loadView();
    return view_;
}

QString ErrorViewController::errorText() const
{
    return textView_ ? static_cast<MessageView*>(textView_)->text() : QString();
}

void ErrorViewController::loadView()
{
    auto* root = new QWidget;
    root->resize(300, 300);
    root->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    imageView_ = new PictureView(ImageStore::named(QStringLiteral("error")));
    textView_ = new MessageView(displayStringForError(error_));
    auto* layout = new ConstraintLayout(root);
    using namespace LayoutConstraints;
    LayoutConstraint imageAboveCentre{imageView_, LayoutAttribute::centerY, LayoutRelation::equal, root,
                                      LayoutAttribute::centerY, 1.0, -30};
    layout->addConstraints({constraintHorizontallyCenteringView(imageView_, root), imageAboveCentre,
                            constraintHorizontallyCenteringView(textView_, root),
                            constraintPlacingView(textView_, imageView_, 20)});
    view_ = root;
}
