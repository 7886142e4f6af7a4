#include "source/shell/AboutPanel.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "source/shell/ApplicationIcon.h"
#include "ZNTUtilities/ImageStore.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kIconPoints = 64;
// Wide enough for the title and the window manager's buttons beside it.
constexpr int kPanelWidth = 300;

// The application's icon, drawn for high-density screens.
QPixmap iconPixmap()
{
    const qreal scale = ImageStore::renderScale();
    QPixmap icon = QPixmap::fromImage(renderApplicationIcon(int(std::ceil(kIconPoints * scale))));
    icon.setDevicePixelRatio(scale);
    return icon;
}

QLabel* centredLabel(const QString& text, qreal pointSizeFactor, bool bold)
{
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignHCenter);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * pointSizeFactor);
    font.setBold(bold);
    label->setFont(font);
    return label;
}

}  // namespace

AboutPanel::AboutPanel(const tolvan::Bundle& bundle, QWidget* parent)
    : QDialog(parent),
      iconView_(new QLabel),
      nameLabel_(centredLabel(bundle.name(), 1.4, true)),
      versionLabel_(centredLabel(tolvan::localized(QStringLiteral("Version %1 (%2)")).arg(bundle.version(), bundle.buildVersion()), 0.9, false))
{
    setObjectName(QStringLiteral("aboutPanel"));
    setWindowTitle(tolvan::localized(QStringLiteral("About Tolvan")));
    setAttribute(Qt::WA_DeleteOnClose);

    iconView_->setPixmap(iconPixmap());
    iconView_->setFixedSize(kIconPoints, kIconPoints);
    iconView_->setScaledContents(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(6);
    layout->addWidget(iconView_, 0, Qt::AlignHCenter);
    layout->addSpacing(6);
    layout->addWidget(nameLabel_);
    layout->addWidget(versionLabel_);
    layout->addSpacing(12);
    layout->addWidget(buttons);
    setFixedWidth(kPanelWidth);
    setFixedHeight(sizeHint().height());
}
