#pragma once
// A TagLib stream over a file of which only the end is in memory: bytes
// before that are read from the file on demand and never changed. TagLib
// edits an MPEG-4 file's movie box, which the muxer writes last, through it
// without the audio before it being copied or rewritten; the caller writes
// the changed end back itself.

#include <taglib/tbytevectorstream.h>
#include <taglib/tiostream.h>

#include <functional>

namespace tolvan {

class TailStream : public TagLib::IOStream {
public:
    // Reads up to length bytes of the file at offset.
    using ReadBefore = std::function<TagLib::ByteVector(long offset, unsigned long length)>;

    // The file's bytes from tailStart on are tail; readBefore gives the rest.
    TailStream(long tailStart, const TagLib::ByteVector& tail, ReadBefore readBefore);

    // The end of the file as TagLib left it.
    const TagLib::ByteVector& tail() { return *tail_.data(); }
    // True when TagLib tried to change a byte before the tail: the file
    // cannot be edited this way.
    bool touchedBeforeTail() const { return touchedBeforeTail_; }

    TagLib::FileName name() const override { return "tail"; }
    TagLib::ByteVector readBlock(unsigned long length) override;
    void writeBlock(const TagLib::ByteVector& data) override;
    void insert(const TagLib::ByteVector& data, unsigned long start = 0, unsigned long replace = 0) override;
    void removeBlock(unsigned long start = 0, unsigned long length = 0) override;
    bool readOnly() const override { return false; }
    bool isOpen() const override { return true; }
    void seek(long offset, Position p = Beginning) override;
    long tell() const override { return position_; }
    long length() override { return tailStart_ + tail_.length(); }
    void truncate(long length) override;

private:
    // False (and noted) for a change that would start before the tail.
    bool inTail(long offset);
    void followTail() { position_ = tailStart_ + tail_.tell(); }

    long tailStart_;
    TagLib::ByteVectorStream tail_;
    ReadBefore readBefore_;
    long position_ = 0;
    bool touchedBeforeTail_ = false;
};

}  // namespace tolvan
