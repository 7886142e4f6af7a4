#pragma once
// The root of the browser's stack: a "LIBRARY" group (Songs, Artists, Albums,
// Movies, TV Shows, Playlists) and, unless the user turned it off with
// "showIncludedRingtones", a "RINGTONES" group with one row per included set.
// A row names what choosing it does under "action"; a row without one does
// nothing.

#include "source/browser/BrowserListController.h"

class SimpleMainMenuController : public BrowserListController {
    Q_OBJECT
public:
    static std::shared_ptr<SimpleMainMenuController> mainMenu(const BrowserServices& services);
    explicit SimpleMainMenuController(const BrowserServices& services);

    // The rows, writing YES for "showIncludedRingtones" when it is missing.
    static BrowserRows buildRows(tolvan::UserDefaults& defaults, const QList<QVariantMap>& ringtoneSets);
    void rebuildContents();

    void selectLibraryItem();
    void selectRingtoneSetItem();
    void selectRecordItem();

    void controllerWillBecomeVisible() override { clearSelection(); }
    void selectionChangedTo(const TolvanSourcePtr& source) override;

protected:
    QWidget* loadView() override;
    void rowChosen(int row) override;
    void cellChosen() override {}
};
