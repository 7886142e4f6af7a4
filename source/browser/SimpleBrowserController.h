#pragma once
// The library browser pane: a search field on top, the navigation stack of
// lists below it rooted at the main menu, and a footer bar with a resize grip.
// The search field's text goes to the visible list when it filters, else to a
// fresh songs list; the visible list's selection follows the host's open
// source. The shell makes one pane and keeps it for the life of the process.

#include "source/browser/BrowserHost.h"

#include <QWidget>

class FooterView;
class NavigationController;
class QLineEdit;

class SimpleBrowserController : public QWidget {
    Q_OBJECT
public:
    explicit SimpleBrowserController(const BrowserServices& services, QWidget* parent = nullptr);
    ~SimpleBrowserController() override;

    NavigationController* navigationController() const { return navigation_; }
    QLineEdit* searchField() const { return searchField_; }
    FooterView* footer() const { return footer_; }

    // What the search field's text does (trimmed; blank is no search).
    void setSearchString(const QString& text);

    void activateSearchField();
    void activateBrowser();
    void showTopMenu();
    // Back to the menu, then a songs list loaded at once with the first song
    // titled exactly title selected and opened.
    void browseToAndSelectSongNamed(const QString& title);

    // The host calls this whenever its open source changes.
    void selectedAssetChanged();

    void clearSearchString();
    void restoreSearchString(const QString& searchString);

private:
    const BrowserServices services_;
    QLineEdit* searchField_;
    NavigationController* navigation_;
    FooterView* footer_;
};
