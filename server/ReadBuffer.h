#pragma once

#include <asio/buffer.hpp>
#include <cstddef>
#include <memory>
#include <string_view>

// Bytes read from one socket and not yet used: reads go to the free end, parsers look at the
// unread window, and the window moves to the front only when the free end runs out. Relaying
// reads straight into it, so no byte is copied twice.
//
// The block is small and made on the first read; it grows (doubling, up to `limit`) only while
// data waits, that is after a read filled all the room it was given, and Release() gives it
// back once everything is used, so a connection that waits holds no block at all.
class ReadBuffer {
public:
    static constexpr size_t kInitialSize = 4 * 1024;
    static constexpr size_t kDefaultLimit = 256 * 1024;

    explicit ReadBuffer(size_t limit = kDefaultLimit) : limit_(limit) {}

    std::string_view View() const { return {data_.get() + begin_, end_ - begin_}; }
    size_t Size() const { return end_ - begin_; }
    size_t Capacity() const { return capacity_; }
    void Consume(size_t count) {
        begin_ += count;
        if (begin_ == end_) begin_ = end_ = 0;
    }
    // Free space at the end: made, grown or compacted as needed.
    asio::mutable_buffer Space();
    // No room left and no room to grow: the reader must use some bytes first.
    bool Full() const { return begin_ == 0 && end_ == limit_; }
    void Added(size_t count) {
        end_ += count;
        if (end_ == capacity_) growNext_ = true;
    }
    // Gives the block back when no byte waits in it.
    void Release();

private:
    void Resize(size_t capacity);

    std::unique_ptr<char[]> data_;
    size_t capacity_ = 0;
    size_t limit_;
    size_t begin_ = 0;
    size_t end_ = 0;
    bool growNext_ = false;  // the last read filled the block: the next one gets a larger one
};
