#pragma once
// Where the "Tracks" dictionary of a library property list lies in its text,
// with cut points between its entries, so that a large library's tracks can be
// parsed a slice at a time instead of holding one document node per value of
// every track at once.

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

struct XMLTrackSlices {
    std::size_t contentBegin = 0;  // just after the opening tag of the "Tracks" dictionary
    std::size_t contentEnd = 0;    // at its closing tag
    std::vector<std::size_t> cuts; // ascending boundaries between entries, inside the content
};

using TrackSliceFound = std::function<void(std::size_t from, std::size_t to)>;

// Finds the slices in text that comes a block at a time. Offsets count from
// the start of the whole text.
class TrackSliceScanner {
public:
    // sliceFound, when given, hears of each non-empty slice [from, to) as
    // soon as its end is found, so that slices can be parsed while the scan
    // goes on; what it heard counts for nothing when the result is nullopt.
    explicit TrackSliceScanner(std::size_t entriesPerSlice, TrackSliceFound sliceFound = nullptr);

    // Scans on through text, which holds the whole text from offset base
    // on, base at most neededFrom(). A tag that text cuts off is scanned
    // again with the next block; at the end of the whole text it is where
    // the scan ends.
    void scan(std::string_view text, std::size_t base);

    std::size_t position() const { return pos_; }  // where the next scan goes on
    std::size_t neededFrom() const;                // text before it is never read again
    bool hasRefused() const { return refused_; }
    bool isInTracks() const { return inTracks_; }
    bool hasFoundTracks() const { return found_; }
    const XMLTrackSlices& slices() const { return slices_; }

    // After the last block: nullopt when the text is not laid out as
    // one plain "Tracks" dictionary in a root dictionary (the caller then
    // parses the whole text at once). Only tags are looked at; the XML
    // parser checks everything else.
    std::optional<XMLTrackSlices> result() const;

private:
    void endSlice(std::size_t end);
    void refuse() { refused_ = true; }

    std::size_t entriesPerSlice_;
    TrackSliceFound sliceFound_;
    XMLTrackSlices slices_;
    std::size_t pos_ = 0;
    int depth_ = 0;        // open elements before the current tag
    int entryDepth_ = -1;  // depth of the root dictionary's keys and values
    std::optional<std::size_t> keyText_;  // where the text of an open key of the root begins
    bool nextValueIsTracks_ = false;
    bool inTracks_ = false;
    bool found_ = false;
    bool refused_ = false;
    std::size_t entries_ = 0;
    std::size_t sliceBegin_ = 0;
};

// The slices of a whole text.
std::optional<XMLTrackSlices> findTrackSlices(std::string_view text, std::size_t entriesPerSlice,
                                              const TrackSliceFound& sliceFound = nullptr);
