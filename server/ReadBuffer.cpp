#include "server/ReadBuffer.h"

#include <algorithm>
#include <cstring>

asio::mutable_buffer ReadBuffer::Space() {
    if (!data_) {
        Resize(std::min(kInitialSize, limit_));
    } else if (growNext_ && capacity_ < limit_) {
        Resize(std::min(capacity_ * 2, limit_));
    } else if (end_ == capacity_ && begin_ > 0) {
        std::memmove(data_.get(), data_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    growNext_ = false;
    return asio::buffer(data_.get() + end_, capacity_ - end_);
}

void ReadBuffer::Release() {
    if (Size() > 0) return;
    data_.reset();
    capacity_ = 0;
    growNext_ = false;
}

void ReadBuffer::Resize(size_t capacity) {
    std::unique_ptr<char[]> data(new char[capacity]);
    if (Size() > 0) std::memcpy(data.get(), data_.get() + begin_, Size());
    end_ -= begin_;
    begin_ = 0;
    data_ = std::move(data);
    capacity_ = capacity;
}
