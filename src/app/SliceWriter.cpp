#include "app/SliceWriter.h"

#include "platform/OutputFile.h"

#include <algorithm>
#include <utility>

SliceWriter::SliceWriter(OutputFile& file) : file_(file), thread_([this] { writeLoop(); }) {}

SliceWriter::~SliceWriter() {
    {
        const std::lock_guard lock(mutex_);
        quit_ = true;
    }
    handedOver_.notify_one();
    thread_.join();
}

char* SliceWriter::buffer(std::size_t size) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return waiting_ < Buffers; });
    if (size > capacity_) {
        // Only while nothing waits: a piece in its write keeps its buffer.
        done_.wait(lock, [this] { return waiting_ == 0; });
        capacity_ = std::max(size, PieceBytes);
        storage_ = std::make_unique<char[]>(capacity_ * Buffers);
    }
    return storage_.get() + static_cast<std::size_t>(next_) * capacity_;
}

void SliceWriter::handOver(std::size_t bytes, std::int64_t first, std::int64_t count) {
    {
        const std::lock_guard lock(mutex_);
        pieces_[next_] = {bytes, first, count};
        next_ = (next_ + 1) % Buffers;
        ++waiting_;
    }
    handedOver_.notify_one();
}

bool SliceWriter::failed() {
    const std::lock_guard lock(mutex_);
    return !written_.status;
}

SliceWriter::Written SliceWriter::finish() {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return waiting_ == 0; });
    return std::exchange(written_, {});
}

void SliceWriter::writeLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        handedOver_.wait(lock, [this] { return waiting_ > 0 || quit_; });
        if (waiting_ == 0)
            return;
        const Piece piece = pieces_[oldest_];
        const char* data = storage_.get() + static_cast<std::size_t>(oldest_) * capacity_;
        if (written_.status) {
            lock.unlock();
            const std::int64_t before = file_.size();
            const platform::FileStatus status = file_.write(data, piece.bytes);
            const auto reached = static_cast<std::size_t>(file_.size() - before);
            lock.lock();
            if (status)
                written_.count += piece.count;
            else
                written_ = {written_.count, status, piece.first, reached};
        }
        oldest_ = (oldest_ + 1) % Buffers;
        --waiting_;
        done_.notify_one();
    }
}
