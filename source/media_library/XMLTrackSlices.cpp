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

enum class Next {
    Tag,
    Incomplete,  // the text ends before the next tag does
    Refused,     // what follows is left to the parser
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
// When the text ends first, pos is left at the '<' that begins what is cut
// off, or at the end when no '<' is left.
Next nextTag(string_view text, std::size_t& pos, Tag& tag)
{
    for (;;) {
        const std::size_t open = text.find('<', pos);
        if (open == string_view::npos) {
            pos = text.size();
            return Next::Incomplete;
        }
        pos = open;
        if (open + 1 >= text.size())
            return Next::Incomplete;
        const string_view rest = text.substr(open);
        if (rest.starts_with("<!--")) {
            if (!skipPast(text, pos, "-->"))
                return Next::Incomplete;
            continue;
        }
        if (rest.starts_with("<![CDATA[")) {
            if (!skipPast(text, pos, "]]>"))
                return Next::Incomplete;
            continue;
        }
        if (rest.starts_with("<?")) {
            if (!skipPast(text, pos, "?>"))
                return Next::Incomplete;
            continue;
        }
        if (rest.starts_with("<!")) {
            const std::size_t close = text.find('>', open);
            if (close == string_view::npos)
                return Next::Incomplete;
            if (text.substr(open, close - open).find('[') != string_view::npos)
                return Next::Refused;  // an internal subset may declare entities
            pos = close + 1;
            continue;
        }

        tag = Tag{};
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
        if (i >= text.size())
            return Next::Incomplete;
        if (tag.name.empty())
            return Next::Refused;
        tag.selfClosing = !tag.closing && text[i - 1] == '/';
        tag.end = i + 1;
        pos = tag.end;
        return Next::Tag;
    }
}

}  // namespace

TrackSliceScanner::TrackSliceScanner(std::size_t entriesPerSlice, TrackSliceFound sliceFound)
    : entriesPerSlice_(entriesPerSlice), sliceFound_(std::move(sliceFound))
{
}

std::size_t TrackSliceScanner::neededFrom() const { return keyText_ ? std::min(*keyText_, pos_) : pos_; }

void TrackSliceScanner::endSlice(std::size_t end)
{
    if (sliceFound_ && end > sliceBegin_)
        sliceFound_(sliceBegin_, end);
    sliceBegin_ = end;
}

void TrackSliceScanner::scan(string_view text, std::size_t base)
{
    std::size_t at = pos_ - base;
    Tag tag;
    Next next = Next::Tag;
    while (!refused_ && (next = nextTag(text, at, tag)) == Next::Tag) {
        const std::size_t begin = base + tag.begin, end = base + tag.end;
        if (!tag.closing) {
            if (depth_ == 0)
                entryDepth_ = tag.name == "plist" ? 2 : tag.name == "dict" ? 1 : -1;
            if (entryDepth_ < 0)
                return refuse();
            if (depth_ == entryDepth_ && tag.name == "key") {
                keyText_ = end;
            } else if (depth_ == entryDepth_) {
                if (nextValueIsTracks_) {
                    if (found_ || tag.name != "dict" || tag.selfClosing)
                        return refuse();
                    inTracks_ = true;
                    slices_.contentBegin = sliceBegin_ = end;
                }
                nextValueIsTracks_ = false;
            } else if (inTracks_ && depth_ == entryDepth_ + 1 && tag.selfClosing && tag.name == "dict" && ++entries_ % entriesPerSlice_ == 0) {
                slices_.cuts.push_back(end);
                endSlice(end);
            }
            if (!tag.selfClosing)
                ++depth_;
            continue;
        }
        if (--depth_ < 0)
            return refuse();
        if (depth_ == entryDepth_ && tag.name == "key") {
            nextValueIsTracks_ = keyText_ && text.substr(*keyText_ - base, begin - *keyText_) == "Tracks";
            keyText_.reset();
        } else if (inTracks_ && depth_ == entryDepth_ + 1 && tag.name == "dict" && ++entries_ % entriesPerSlice_ == 0) {
            slices_.cuts.push_back(end);
            endSlice(end);
        } else if (inTracks_ && depth_ == entryDepth_) {
            inTracks_ = false;
            found_ = true;
            slices_.contentEnd = begin;
            endSlice(slices_.contentEnd);
        }
    }
    if (next == Next::Refused)
        refuse();
    pos_ = base + at;
}

std::optional<XMLTrackSlices> TrackSliceScanner::result() const
{
    if (refused_ || !found_ || depth_ != 0)
        return std::nullopt;
    XMLTrackSlices slices = slices_;
    while (!slices.cuts.empty() && slices.cuts.back() >= slices.contentEnd)
        slices.cuts.pop_back();
    return slices;
}

std::optional<XMLTrackSlices> findTrackSlices(string_view text, std::size_t entriesPerSlice, const TrackSliceFound& sliceFound)
{
    TrackSliceScanner scanner(entriesPerSlice, sliceFound);
    scanner.scan(text, 0);
    return scanner.result();
}
