#pragma once

#include "platform/FileStatus.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class OutputFile;

// Writes the pieces of a run's slice on a thread of its own, so that the next piece is
// formatted while the system copies the last one. Pieces reach the file in the order they
// were handed over, each whole or up to the first failure; after a failure nothing more is
// written. Only addresses whose write has returned count: until finish() has waited for
// every piece, the caller takes nothing as written.
class SliceWriter {
public:
    // Buffers of PieceBytes (or of the longest line, when longer) that take turns: one
    // filled while the others wait for or are in their write.
    static constexpr int Buffers = 3;
    static constexpr std::size_t PieceBytes = 256 * 1024;

    explicit SliceWriter(OutputFile& file);
    ~SliceWriter(); // writes what was handed over, then ends the thread
    SliceWriter(const SliceWriter&) = delete;
    SliceWriter& operator=(const SliceWriter&) = delete;

    // A buffer of at least `size` bytes to fill, once none of its earlier bytes is still
    // to be written. The buffers are made on the first call and kept for the run.
    char* buffer(std::size_t size);
    std::size_t capacity() const { return capacity_; }
    // Hands the buffer last returned by buffer() over: its first `bytes`, `count`
    // addresses from the number `first`.
    void handOver(std::size_t bytes, std::int64_t first, std::int64_t count);
    // Whether a write has failed (the caller hands nothing more over).
    bool failed();

    // What the writes handed over since the last finish() did.
    struct Written {
        std::int64_t count = 0;        // addresses in pieces written whole
        platform::FileStatus status;   // the first failure
        std::int64_t failedFirst = 0;  // the failed piece: its first address
        std::size_t failedReached = 0; // and its bytes that reached the file
    };
    // Waits until every piece handed over was written or dropped after a failure.
    Written finish();

private:
    struct Piece {
        std::size_t bytes = 0;
        std::int64_t first = 0;
        std::int64_t count = 0;
    };
    void writeLoop();

    OutputFile& file_;
    std::unique_ptr<char[]> storage_;
    std::size_t capacity_ = 0;
    Piece pieces_[Buffers];
    int next_ = 0;    // the buffer to fill next
    int oldest_ = 0;  // the piece to write next
    int waiting_ = 0; // pieces handed over and not yet written
    bool quit_ = false;
    Written written_;
    std::mutex mutex_;
    std::condition_variable handedOver_;
    std::condition_variable done_;
    std::thread thread_;
};
