#include "platform/media/TailStream.h"

#include <algorithm>

namespace tolvan {

TailStream::TailStream(long tailStart, const TagLib::ByteVector& tail, ReadBefore readBefore)
    : tailStart_(tailStart), tail_(tail), readBefore_(std::move(readBefore))
{
}

TagLib::ByteVector TailStream::readBlock(unsigned long length)
{
    TagLib::ByteVector block;
    if (position_ < tailStart_) {
        block = readBefore_(position_, std::min<unsigned long>(length, tailStart_ - position_));
        position_ += long(block.size());
        length -= block.size();
        if (position_ < tailStart_)
            return block;  // the file ended early
    }
    if (length > 0) {
        tail_.seek(position_ - tailStart_);
        block.append(tail_.readBlock(length));
        followTail();
    }
    return block;
}

void TailStream::writeBlock(const TagLib::ByteVector& data)
{
    if (!inTail(position_))
        return;
    tail_.seek(position_ - tailStart_);
    tail_.writeBlock(data);
    followTail();
}

void TailStream::insert(const TagLib::ByteVector& data, unsigned long start, unsigned long replace)
{
    if (!inTail(long(start)))
        return;
    tail_.insert(data, start - tailStart_, replace);
    followTail();
}

void TailStream::removeBlock(unsigned long start, unsigned long length)
{
    if (!inTail(long(start)))
        return;
    tail_.removeBlock(start - tailStart_, length);
    followTail();
}

void TailStream::seek(long offset, Position p)
{
    if (p == Current)
        offset += position_;
    else if (p == End)
        offset += length();
    position_ = std::max(offset, 0L);
}

void TailStream::truncate(long length)
{
    if (inTail(length))
        tail_.truncate(length - tailStart_);
}

bool TailStream::inTail(long offset)
{
    if (offset < tailStart_)
        touchedBeforeTail_ = true;
    return !touchedBeforeTail_;
}

}  // namespace tolvan
