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

#include <QPointer>

#include <memory>
#include <mutex>
#include <optional>

namespace tolvan {
class Operation;
class OperationQueue;
}

class ListSpinner;

// The tracks a list shows: given when the list is made, or read from one of
// the library's master playlists once the library has finished loading (a
// playlist taken while it loads would stay empty). Set on the list's queue,
// read on the main thread; shared by the list and its load jobs.
class ListTracks {
public:
    enum class Master { music, movies, tvShows };
    explicit ListTracks(std::vector<ZNTMediaLibraryMediaItemPtr> tracks) : tracks_(std::move(tracks)) {}
    explicit ListTracks(Master master) : master_(master) {}

    // The tracks, reading the master playlist on first use.
    std::vector<ZNTMediaLibraryMediaItemPtr> resolve(const ZNTMediaLibrary& library);
    // What has been resolved so far (nothing before the first load).
    std::vector<ZNTMediaLibraryMediaItemPtr> current() const;

private:
    mutable std::mutex mutex_;
    std::optional<std::vector<ZNTMediaLibraryMediaItemPtr>> tracks_;
    Master master_ = Master::music;
};

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

signals:
    // The rows of a load are in place.
    void rowsLoaded();

protected:
    struct TableLook {
        BrowserCell* cell = nullptr;
        int rowHeight = 24;
        bool alternatingRows = false;
        SimpleBrowserTable::GridStyle grid = SimpleBrowserTable::GridStyle::none;
        bool spinner = true;
    };
    // The list's view: a table filling it, with the spinner near its top.
    QWidget* makeListView(const TableLook& look);

    using Build = std::function<BrowserRows(const ZNTMediaLibrary& library, const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks)>;
    // Empties the list and, on the list's queue (on this thread with
    // synchronous loading), waits for the library to finish loading, resolves
    // the list's tracks and builds the rows from them, then shows them. The
    // build must own what it captures: it may outlive the list.
    void loadRows(Build build);
    // The list's tracks as far as they have been resolved.
    std::vector<ZNTMediaLibraryMediaItemPtr> resolvedTracks() const;
    void setRowsNow(BrowserRows rows);

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
    SimpleBrowserTable* table_ = nullptr;
    ListSpinner* spinner_ = nullptr;
    std::unique_ptr<tolvan::OperationQueue> queue_;
    QString searchString_;
    bool loading_ = false;
};
