#include "source/browser/BrowserListController.h"

#include "source/browser/BrowserCells.h"
#include "source/browser/BrowserListController_p.h"
#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/Fonts.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/OperationQueue.h"
#include "ZNTUtilities/UIColorManager.h"

#include <QPainter>
#include <QPointer>
#include <QEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

// Twelve grey spokes whose dark head steps round while rows load.
class ListSpinner : public QWidget {
public:
    explicit ListSpinner(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(20, 20);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        timer_.setInterval(80);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] {
            phase_ = (phase_ + 1) % 12;
            update();
        });
        hide();
        parent->installEventFilter(this);
        place();
    }
    void start()
    {
        timer_.start();
        show();
        raise();
    }
    void stop()
    {
        timer_.stop();
        hide();
    }
    bool spinning() const { return timer_.isActive(); }

protected:
    // Centred across the list, its top 4 points below the list's top edge.
    void place() { move(parentWidget()->width() / 2 - width() / 2, 4); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == parentWidget() && event->type() == QEvent::Resize)
            place();
        return false;
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(width() / 2.0, height() / 2.0);
        for (int spoke = 0; spoke < 12; ++spoke) {
            const int age = (phase_ - spoke + 12) % 12;
            painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.75f - age * 0.055f), 2, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(0, -4.5), QPointF(0, -8.5));
            painter.rotate(30);
        }
    }

private:
    QTimer timer_;
    int phase_ = 0;
};

namespace {

std::atomic<bool> synchronousLoads{false};

// Waits while the library is still being read, looking again every 0.2
// seconds; false when the operation was cancelled first. Without an
// operation (a synchronous build) it does not wait.
bool waitForLibrary(const ZNTMediaLibrary& library, const tolvan::Operation* operation)
{
    using namespace std::chrono_literals;
    if (!operation)
        return true;
    while (library.loading()) {
        // Look for a cancel more often than for the end of the load.
        for (int slice = 0; slice < 10 && library.loading(); ++slice) {
            if (operation->isCancelled())
                return false;
            std::this_thread::sleep_for(20ms);
        }
    }
    return !operation->isCancelled();
}

}  // namespace

std::shared_ptr<LibraryListing> ListTracks::resolve(const ZNTMediaLibrary& library)
{
    std::lock_guard lock(mutex_);
    if (listing_)
        return listing_;
    if (given_) {
        listing_ = std::make_shared<LibraryListing>(std::move(*given_));
        given_.reset();
        return listing_;
    }
    ZNTMediaLibraryPlaylistPtr playlist;
    switch (master_) {
    case Master::music: playlist = library.masterMusicPlaylist(); break;
    case Master::movies: playlist = library.masterMoviesPlaylist(); break;
    case Master::tvShows: playlist = library.masterTVShowsPlaylist(); break;
    }
    listing_ = LibraryListing::shared(master_, playlist ? playlist->items() : std::vector<ZNTMediaLibraryMediaItemPtr>{});
    return listing_;
}

std::vector<ZNTMediaLibraryMediaItemPtr> ListTracks::current() const
{
    std::lock_guard lock(mutex_);
    return listing_ ? listing_->tracks() : std::vector<ZNTMediaLibraryMediaItemPtr>{};
}

BrowserListController::BrowserListController(BrowserServices services, std::shared_ptr<ListTracks> tracks)
    : services_(services), tracks_(std::move(tracks)), arranged_(&rows_)
{
}

BrowserListController::~BrowserListController()
{
    queue_.reset();  // cancels the job and waits for it: no rows arrive after this
    if (isViewLoaded())
        delete view();  // the table goes before the rows it shows
}

void BrowserListController::setSynchronousLoading(bool synchronous) { synchronousLoads = synchronous; }
bool BrowserListController::synchronousLoading() { return synchronousLoads; }

SimpleBrowserTable* BrowserListController::tableView()
{
    if (!table_)
        view();  // makes the table (a list's own view set-up may ask before it returns)
    return table_;
}

bool BrowserListController::isSpinning() const { return spinner_ && spinner_->spinning(); }

SimpleMenuCell* BrowserListController::makeMenuCell(int points)
{
    auto cell = std::make_unique<SimpleMenuCell>();
    cell->font = interfaceFont(points);
    bindProperty(cell.get(), "textColor", UIColorManager::sharedManager(), "tableTextColor");
    SimpleMenuCell* made = cell.get();
    cell_ = std::move(cell);
    return made;
}

SimpleDetailedCell* BrowserListController::makeDetailedCell()
{
    auto cell = std::make_unique<SimpleDetailedCell>();
    UIColorManager::bindDetailedCellToColors(cell.get());
    SimpleDetailedCell* made = cell.get();
    cell_ = std::move(cell);
    return made;
}

VerticallCenteredTextCell* BrowserListController::makeCenteredTextCell()
{
    auto cell = std::make_unique<VerticallCenteredTextCell>();
    bindProperty(cell.get(), "textColor", UIColorManager::sharedManager(), "tableTextColor");
    VerticallCenteredTextCell* made = cell.get();
    cell_ = std::move(cell);
    return made;
}

void BrowserListController::controllerWillBecomeVisible()
{
    if (search_ == Search::keptAcrossVisits)
        clearSelection();
}

void BrowserListController::controllerDidBecomeVisible()
{
    if (search_ == Search::keptAcrossVisits)
        emit restoreSearchStringRequested(searchString());
}

void BrowserListController::controllerWillBecomeHidden()
{
    if (search_ == Search::keptAcrossVisits)
        emit clearSearchStringRequested();
}

QWidget* BrowserListController::makeListView(const TableLook& look)
{
    auto* root = new QWidget;
    root->resize(350, 484);
    auto* layout = new QVBoxLayout(root);
    layout->setContentsMargins(0, 0, 0, 0);
    table_ = new SimpleBrowserTable(services_.host, root);
    table_->setModel(&arranged_);
    table_->setCell(look.cell ? look.cell : cell_.get(), look.rowHeight);
    table_->setAlternatingRows(look.alternatingRows);
    table_->setGridStyle(look.grid);
    table_->setTableDelegate(this);
    table_->setAction([this](int row) { rowChosen(row); });
    table_->setAccessibleName(title());
    UIColorManager::bindTableViewToColors(table_);
    layout->addWidget(table_);
    if (look.spinner) {
        spinner_ = new ListSpinner(root);
    }
    return root;
}

void BrowserListController::loadRows(Build build)
{
    view();  // the spinner turns during the first load too
    // The job owns the tracks it resolves (with the list) and the build; the
    // library lives as long as the process. Nothing else of the list is read
    // off the main thread.
    auto job = [library = services_.library, tracks = tracks_, build = std::move(build)](const tolvan::Operation* operation) {
        if (!library || !tracks || !waitForLibrary(*library, operation))
            return SharedBrowserRows{};
        return build(*tracks->resolve(*library));
    };
    if (synchronousLoading()) {
        if (spinner_)
            spinner_->stop();
        setRowsNow(job(nullptr));
        return;
    }
    if (!queue_)
        queue_ = std::make_unique<tolvan::OperationQueue>("com.kestrova.browserList", 1);
    rows_.setRows(BrowserRows{});
    loading_ = true;
    if (spinner_)
        spinner_->start();
    QPointer<BrowserListController> self(this);
    queue_->addOperation([self, job = std::move(job)](tolvan::Operation& operation) {
        SharedBrowserRows built = job(&operation);
        if (operation.isCancelled())
            return;
        tolvan::dispatchMain([self, built = std::move(built)]() mutable {
            if (self)
                self->setRowsNow(std::move(built));
        });
    });
}

void BrowserListController::setRowsNow(BrowserRows rows) { setRowsNow(sharedRows(std::move(rows))); }

void BrowserListController::setRowsNow(SharedBrowserRows rows)
{
    rows_.setRows(std::move(rows));
    loading_ = false;
    if (spinner_)
        spinner_->stop();
    emit rowsLoaded();
}

std::vector<ZNTMediaLibraryMediaItemPtr> BrowserListController::resolvedTracks() const
{
    return tracks_ ? tracks_->current() : std::vector<ZNTMediaLibraryMediaItemPtr>{};
}

const BrowserRow* BrowserListController::selectedRow()
{
    const int row = tableView()->selectedRow();
    return row < 0 ? nullptr : arranged_.rowAt(row);
}

void BrowserListController::clearSelection()
{
    tableView()->clearSelection();
    tableView()->setCurrentIndex({});
}

void BrowserListController::setTitle(const QString& title)
{
    NavigationViewController::setTitle(title);
    if (table_)
        table_->setAccessibleName(title);
}

void BrowserListController::restoreFirstResponder()
{
    tableView()->setFocus(Qt::OtherFocusReason);
}

void BrowserListController::setSearchString(const QString& searchString)
{
    searchString_ = searchString;
    arranged_.setSearchString(searchString);
}

void BrowserListController::rowChosen(int)
{
    cellChosen();
}

void BrowserListController::pushAboveThis(NavigationViewControllerPtr next)
{
    NavigationController* stack = navigationController();
    if (!stack)
        return;
    stack->popToViewController(this, true);
    stack->pushViewController(std::move(next), true);
}
