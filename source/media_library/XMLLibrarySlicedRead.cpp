// The read of a large library: the file comes a block at a time, and the
// "Tracks" dictionary's entries are parsed in slices side by side on the free
// cores while the scan goes on.

#include "source/media_library/PropertyListLimits.h"
#include "source/media_library/XMLLibraryFile_p.h"
#include "source/media_library/XMLTrackSlices.h"

#include "platform/foundation/OperationQueue.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <numeric>
#include <string>
#include <string_view>

using namespace xmllibrary;

namespace {

constexpr std::size_t kTracksPerSlice = 2000;
constexpr std::size_t kBlockBytes = std::size_t(4) << 20;

// One slice of the "Tracks" dictionary's content, parsed as a fragment in
// place; nullopt when it does not parse.
std::optional<XMLTrackTable> readSlice(std::string& text)
{
    pugi::xml_document slice;
    if (!slice.load_buffer_inplace(text.data(), text.size(), kParseOptions | pugi::parse_fragment, pugi::encoding_utf8) ||
        !xmlNestingWithin(slice))
        return std::nullopt;
    return readTracks(slice);
}

// Parses the "Tracks" slices side by side on the free cores as the scan
// hands them over, and joins their tracks in file order.
class TrackSliceReader {
public:
    TrackSliceReader() : workers_("com.kestrova.readLibrary.slices", std::max(1, QThread::idealThreadCount() - 1))
    {
        workers_.setPriority(tolvan::WorkPriority::background);
    }

    // Copies the slice's text: the caller's buffer is its to change.
    void read(std::string_view slice)
    {
        // A deque's elements stay where they are as it grows.
        std::optional<XMLTrackTable>* slot = &slices_.emplace_back();
        std::string text = spareBuffer();
        text.assign(slice);
        workers_.addOperation([this, slot, text = std::move(text)](tolvan::Operation&) mutable {
            if (!failed_) {
                *slot = readSlice(text);
                if (!*slot)
                    failed_ = true;
            }
            giveBack(std::move(text));
        });
    }

    // Stops reading: slices not yet begun are skipped.
    void abandon()
    {
        failed_ = true;
        finish();
    }

    // Waits for every slice; false when one did not parse.
    bool finish()
    {
        workers_.waitUntilAllOperationsAreFinished();
        return !failed_;
    }

    // Every slice's tracks, in file order, once all are read.
    XMLTrackTable takeTracks()
    {
        XMLTrackTable tracks;
        tracks.all.reserve(std::accumulate(slices_.begin(), slices_.end(), std::size_t(0),
                                           [](std::size_t sum, const auto& slice) { return sum + slice->size(); }));
        tracks.byKey.reserve(qsizetype(tracks.all.capacity()));
        for (std::optional<XMLTrackTable>& slice : slices_) {
            tracks.all.insert(tracks.all.end(), slice->all.begin(), slice->all.end());
            tracks.byKey.insert(slice->byKey);
        }
        slices_.clear();
        return tracks;
    }

private:
    // The slices' buffers are used again: memory already in hand is filled
    // much faster than fresh memory.
    std::string spareBuffer()
    {
        std::lock_guard lock(spareMutex_);
        if (spare_.empty())
            return {};
        std::string buffer = std::move(spare_.back());
        spare_.pop_back();
        return buffer;
    }

    void giveBack(std::string buffer)
    {
        std::lock_guard lock(spareMutex_);
        spare_.push_back(std::move(buffer));
    }

    std::deque<std::optional<XMLTrackTable>> slices_;
    std::mutex spareMutex_;
    std::vector<std::string> spare_;
    std::atomic<bool> failed_ = false;
    tolvan::OperationQueue workers_;  // last: its operations are waited for before the rest goes
};

// Reads the file a block at a time through one buffer that keeps only what
// is not yet handed on: each slice of "Tracks" goes to the reader as soon as
// the scan has found its end, and the text around the tracks is kept for a
// parse of its own. Nothing holds the whole file.
class SlicedRead {
public:
    explicit SlicedRead(const LibraryFile& file)
        : file_(file), scanner_(kTracksPerSlice, [this](std::size_t from, std::size_t to) { sliceFound(from, to); })
    {
    }

    // nullopt, with failure filled, when the file cannot be read or changes
    // while it is read; nullopt alone when the whole parse is to decide (a
    // layout the scan leaves to it, a part that does not parse).
    std::optional<XMLLibraryFile> run(QString* failure)
    {
        for (;;) {
            const std::optional<std::size_t> got = readBlock(failure);
            if (!got)
                return giveUp();
            if (*got == 0 || scanner_.hasRefused())
                break;
            scanner_.scan(block(), base_);
            keepAroundTracks();
        }
        if (scanner_.hasRefused())
            return giveUp();
        if (!file_.unchanged(bytesRead_)) {
            *failure = kChangedWhileRead;
            return giveUp();
        }
        const std::optional<XMLTrackSlices> slices = scanner_.result();
        if (!slices)
            return giveUp();
        rest_.append(textBetween(restEnd_, base_ + window_.size()));
        std::optional<XMLLibraryFile> library = readDocument(rest_.data(), rest_.size(), nullptr);
        if (!reader_.finish() || !library || !library->tracks)
            return std::nullopt;
        library->tracks = reader_.takeTracks();
        return library;
    }

private:
    enum class Part { BeforeTracks, Tracks, AfterTracks };

    std::string_view block() const { return window_; }
    std::string_view textBetween(std::size_t from, std::size_t to) const { return block().substr(from - base_, to - from); }

    std::optional<XMLLibraryFile> giveUp()
    {
        reader_.abandon();
        return std::nullopt;
    }

    // Drops what is no longer needed, then appends the next block; how many
    // bytes came. One byte past the file's size is asked for, so a file that
    // has grown reads as changed.
    std::optional<std::size_t> readBlock(QString* failure)
    {
        const std::size_t keepFrom = std::min(scanner_.neededFrom(), part_ == Part::Tracks ? sliceBegin_ : restEnd_);
        window_.erase(0, keepFrom - base_);
        base_ = keepFrom;
        const std::size_t wanted = std::min(kBlockBytes, file_.size() + 1 - std::min(bytesRead_, file_.size() + 1));
        const std::size_t kept = window_.size();
        window_.resize(kept + wanted);
        const auto got = wanted ? file_.read(bytesRead_, window_.data() + kept, wanted, failure) : std::optional<std::size_t>(0);
        window_.resize(kept + got.value_or(0));
        bytesRead_ += got.value_or(0);
        return got;
    }

    void sliceFound(std::size_t from, std::size_t to)
    {
        reader_.read(textBetween(from, to));
        sliceBegin_ = to;
    }

    // The text before the tracks' content and after it is the rest's.
    void keepAroundTracks()
    {
        const XMLTrackSlices& slices = scanner_.slices();
        if (part_ == Part::BeforeTracks && (scanner_.isInTracks() || scanner_.hasFoundTracks())) {
            rest_.append(textBetween(restEnd_, slices.contentBegin));
            sliceBegin_ = std::max(sliceBegin_, slices.contentBegin);
            part_ = Part::Tracks;
        }
        if (part_ == Part::Tracks && scanner_.hasFoundTracks()) {
            restEnd_ = slices.contentEnd;
            part_ = Part::AfterTracks;
        }
        if (part_ != Part::Tracks) {
            rest_.append(textBetween(restEnd_, scanner_.position()));
            restEnd_ = scanner_.position();
        }
    }

    const LibraryFile& file_;
    TrackSliceReader reader_;
    TrackSliceScanner scanner_;
    std::string window_;     // the file's bytes from base_ on
    std::size_t base_ = 0;
    std::size_t bytesRead_ = 0;
    Part part_ = Part::BeforeTracks;
    std::size_t sliceBegin_ = 0;  // where the slice the scan is in begins
    std::string rest_;            // the file without the tracks' content
    std::size_t restEnd_ = 0;     // how far the rest is taken
};

}  // namespace

std::optional<XMLLibraryFile> xmllibrary::readInSlices(const LibraryFile& file, QString* failure)
{
    return SlicedRead(file).run(failure);
}
