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

// nullopt when the text is not laid out as one plain "Tracks" dictionary in a
// root dictionary (the caller then parses the whole text at once). Only tags
// are looked at; the XML parser checks everything else.
// sliceFound, when given, hears of each non-empty slice [from, to) as soon as
// its end is found, so that slices can be parsed while the scan goes on; what
// it heard counts for nothing when the result is nullopt.
using TrackSliceFound = std::function<void(std::size_t from, std::size_t to)>;
std::optional<XMLTrackSlices> findTrackSlices(std::string_view text, std::size_t entriesPerSlice,
                                              const TrackSliceFound& sliceFound = nullptr);
