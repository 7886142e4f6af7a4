#pragma once
// The about panel: the application's icon, name and version (with its build
// number), opened over the main window from "About Tolvan".

#include <QDialog>

class QLabel;

namespace tolvan {
class Bundle;
}

class AboutPanel : public QDialog {
    Q_OBJECT
public:
    AboutPanel(const tolvan::Bundle& bundle, QWidget* parent);

    QLabel* iconView() const { return iconView_; }
    QLabel* nameLabel() const { return nameLabel_; }
    QLabel* versionLabel() const { return versionLabel_; }

private:
    QLabel* iconView_;
    QLabel* nameLabel_;
    QLabel* versionLabel_;
};
