#pragma once
// What every list of the browser shares: a table over its rows, the filter,
// a spinner while rows load, and loading on a queue of the list's own that
// runs one job at a time and hands the rows back to the main thread. The job
// holds what it reads and writes (the list's tracks among them), never the
// list: a list destroyed while its job runs cancels it, waits for it, and
// never sees its rows.

#include "source/browser/BrowserListModel.h"
#include "source/browser/NavigationController.h"
#include "source/browser/SimpleBrowserTable.h"

#include <memory>

namespace tolvan {
class Operation;
class OperationQueue;
}

class LibraryListing;
class ListSpinner;
class ListTracks;
class SimpleDetailedCell;
class SimpleMenuCell;
class VerticallCenteredTextCell;

class BrowserListController : public NavigationViewController, public BrowserTableDelegate {
    Q_OBJECT
public:
    // tracks: where the rows come from, for the lists that build them on
    // their queue (none for the lists that read the library themselves).
    explicit BrowserListController(BrowserServices services, std::shared_ptr<ListTracks> tracks = nullptr);
    ~BrowserListController() override;

    // Lists load on the calling thread from now on (for browsing to a song by
    // name); never turned off again.
    static void setSynchronousLoading(bool synchronous);
    static bool synchronousLoading();

    SimpleBrowserTable* tableView();
    BrowserListModel& rows() { return rows_; }
    BrowserFilterModel& arrangedRows() { return arranged_; }
    const BrowserRow* selectedRow();
    void clearSelection();
    bool isLoading() const { return loading_; }
    bool isSpinning() const;

    void setTitle(const QString& title) override;
    void restoreFirstResponder() override;
    void moveLeft() override { NavigationViewController::moveLeft(); }

    QString searchString() const { return searchString_; }
    void setSearchString(const QString& searchString) override;

    const BrowserServices& services() const { return services_; }

    // A list that filters by the search string and keeps it across visits:
    // shown, it drops its selection and asks for its search string back;
    // hidden, it asks for the search field to be cleared.
    bool filtersBySearchString() const override { return search_ == Search::keptAcrossVisits; }
    void controllerWillBecomeVisible() override;
    void controllerDidBecomeVisible() override;
    void controllerWillBecomeHidden() override;

signals:
    // The rows of a load are in place.
    void rowsLoaded();

protected:
    enum class Search : quint8 { none, keptAcrossVisits };
    void setSearch(Search search) { search_ = search; }

    // The list's cell, made with the colours bound to the colour manager's
    // and owned by the list; the table draws it unless the look names another.
    SimpleMenuCell* makeMenuCell(int points);
    SimpleDetailedCell* makeDetailedCell();
    VerticallCenteredTextCell* makeCenteredTextCell();

    struct TableLook {
        BrowserCell* cell = nullptr;  // none: the cell made above
        int rowHeight = 24;
        bool alternatingRows = false;
        SimpleBrowserTable::GridStyle grid = SimpleBrowserTable::GridStyle::none;
        bool spinner = true;
    };
    // The list's view: a table filling it, with the spinner near its top.
    QWidget* makeListView(const TableLook& look);

    using Build = std::function<SharedBrowserRows(const LibraryListing& listing)>;
    // Empties the list and, on the list's queue (on this thread with
    // synchronous loading), waits for the library to finish loading, resolves
    // the list's tracks and builds the rows from their listing, then shows
    // them. The build must own what it captures: it may outlive the list.
    void loadRows(Build build);
    // The list's tracks as far as they have been resolved.
    std::vector<ZNTMediaLibraryMediaItemPtr> resolvedTracks() const;
    void setRowsNow(BrowserRows rows);
    void setRowsNow(SharedBrowserRows rows);

    // A row was opened by a click (the clicked row) or a key (the selected row).
    virtual void rowChosen(int row);
    virtual void cellChosen() = 0;

    // Pops the stack back to this list and pushes next above it.
    void pushAboveThis(NavigationViewControllerPtr next);

    const BrowserServices services_;

private:
    const std::shared_ptr<ListTracks> tracks_;
    BrowserListModel rows_;
    BrowserFilterModel arranged_;
    std::unique_ptr<BrowserCell> cell_;
    SimpleBrowserTable* table_ = nullptr;
    ListSpinner* spinner_ = nullptr;
    std::unique_ptr<tolvan::OperationQueue> queue_;
    QString searchString_;
    Search search_ = Search::none;
    bool loading_ = false;
};
