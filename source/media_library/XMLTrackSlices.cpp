#include "source/media_library/XMLTrackSlices.h"

namespace {

using std::string_view;

struct Tag {
    string_view name;
    bool closing = false;
    bool selfClosing = false;
    std::size_t begin = 0;  // at '<'
    std::size_t end = 0;    // just after '>'
};

bool skipPast(string_view text, std::size_t& pos, string_view terminator)
{
    const std::size_t found = text.find(terminator, pos);
    if (found == string_view::npos)
        return false;
    pos = found + terminator.size();
    return true;
}

// The next element tag at or after pos; comments, CDATA, processing
// instructions and a declaration without an internal subset are stepped over.
std::optional<Tag> nextTag(string_view text, std::size_t& pos)
{
    for (;;) {
        const std::size_t open = text.find('<', pos);
        if (open == string_view::npos || open + 1 >= text.size())
            return std::nullopt;
        pos = open;
        const string_view rest = text.substr(open);
        if (rest.starts_with("<!--")) {
            if (!skipPast(text, pos, "-->"))
                return std::nullopt;
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            if (!skipPast(text, pos, "]]>"))
                return std::nullopt;
            continue;
        }
        if (rest.starts_with("<?")) {
            if (!skipPast(text, pos, "?>"))
                return std::nullopt;
            continue;
        }
        if (rest.starts_with("<!")) {
            const std::size_t close = text.find('>', open);
            if (close == string_view::npos || text.substr(open, close - open).find('[') != string_view::npos)
                return std::nullopt;  // an internal subset may declare entities: leave it to the parser
            pos = close + 1;
            continue;
        }

        Tag tag;
        tag.begin = open;
        std::size_t i = open + 1;
        tag.closing = text[i] == '/';
        if (tag.closing)
            ++i;
        const std::size_t nameBegin = i;
        while (i < text.size() && text[i] != '>' && text[i] != '/' && text[i] != ' ' && text[i] != '\t' && text[i] != '\n' && text[i] != '\r')
            ++i;
        tag.name = text.substr(nameBegin, i - nameBegin);
        for (char quote = 0; i < text.size(); ++i) {
            const char c = text[i];
            if (quote)
                quote = c == quote ? 0 : quote;
            else if (c == '"' || c == '\'')
                quote = c;
            else if (c == '>')
                break;
        }
        if (i >= text.size() || tag.name.empty())
            return std::nullopt;
        tag.selfClosing = !tag.closing && text[i - 1] == '/';
        tag.end = i + 1;
        pos = tag.end;
        return tag;
    }
}

}  // namespace

std::optional<XMLTrackSlices> findTrackSlices(string_view text, std::size_t entriesPerSlice, const TrackSliceFound& sliceFound)
{
    XMLTrackSlices slices;
    std::size_t sliceBegin = 0;
    auto endSlice = [&](std::size_t end) {
        if (sliceFound && end > sliceBegin)
            sliceFound(sliceBegin, end);
        sliceBegin = end;
    };
    auto cut = [&](std::size_t at) {
        slices.cuts.push_back(at);
        endSlice(at);
    };
    int depth = 0;          // open elements before the current tag
    int entryDepth = -1;    // depth of the root dictionary's keys and values
    std::size_t keyText = 0;
    bool nextValueIsTracks = false;
    bool inTracks = false;
    bool found = false;
    std::size_t entries = 0;

    std::size_t pos = 0;
    while (auto tag = nextTag(text, pos)) {
        if (!tag->closing) {
            if (depth == 0)
                entryDepth = tag->name == "plist" ? 2 : tag->name == "dict" ? 1 : -1;
            if (entryDepth < 0)
                return std::nullopt;
            if (depth == entryDepth && tag->name == "key") {
                keyText = tag->end;
            } else if (depth == entryDepth) {
                if (nextValueIsTracks) {
                    if (found || tag->name != "dict" || tag->selfClosing)
                        return std::nullopt;
                    inTracks = true;
                    slices.contentBegin = sliceBegin = tag->end;
                }
                nextValueIsTracks = false;
            } else if (inTracks && depth == entryDepth + 1 && tag->selfClosing && tag->name == "dict" && ++entries % entriesPerSlice == 0) {
                cut(tag->end);
            }
            if (!tag->selfClosing)
                ++depth;
            continue;
        }
        if (--depth < 0)
            return std::nullopt;
        if (depth == entryDepth && tag->name == "key") {
            nextValueIsTracks = text.substr(keyText, tag->begin - keyText) == "Tracks";
        } else if (inTracks && depth == entryDepth + 1 && tag->name == "dict" && ++entries % entriesPerSlice == 0) {
            cut(tag->end);
        } else if (inTracks && depth == entryDepth) {
            inTracks = false;
            found = true;
            slices.contentEnd = tag->begin;
            endSlice(slices.contentEnd);
        }
    }
    if (!found || depth != 0)
        return std::nullopt;
    while (!slices.cuts.empty() && slices.cuts.back() >= slices.contentEnd)
        slices.cuts.pop_back();
    return slices;
}
