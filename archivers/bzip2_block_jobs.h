// Threads that decode framed bzip2 blocks (see bzip2_bits.h), each checked on its own by the own
// block decoder, for the stream decoder to hand on in order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "bzip2_block_decoder.h"

namespace varnelt::archiver {

struct BlockJob {
    // blockBits: the block's bits after its magic, which the frame holds from kFrameBlockByte on.
    BlockJob(std::vector<uint8_t> framed, uint64_t blockBits)
        : frame(std::move(framed)), bits(blockBits) {}

    static constexpr size_t kFrameBlockByte = 10;  // after the stream header and block magic

    std::vector<uint8_t> frame;
    uint64_t bits = 0;
    // Set by the thread that decoded the job, read once done() says so.
    bool good = false;  // the block ended exactly at its end, its CRC matching
    bool kept = false;  // output holds all of it, else it is decoded again from frame
    uint64_t size = 0;  // bytes of output
    std::vector<uint8_t> output;
    // The output is no longer wanted: the thread may stop early.
    std::atomic<bool> abandoned{false};
    bool done = false;  // guarded by the workers' lock
};

// Starts decoding the job's block: false when the decoder refuses it.
bool decodeBlock(bzip2::BlockDecoder& decoder, const BlockJob& job);

class BlockWorkers {
public:
    // Output beyond this is counted and checked, not kept.
    static constexpr uint64_t kKeptOutput = uint64_t{16} << 20;

    explicit BlockWorkers(int threads);
    ~BlockWorkers();
    BlockWorkers(const BlockWorkers&) = delete;
    BlockWorkers& operator=(const BlockWorkers&) = delete;

    void submit(std::shared_ptr<BlockJob> job);
    bool done(const BlockJob& job);
    void wait(const BlockJob& job);
    // Forgets the jobs not yet begun; those being decoded end soon when abandoned.
    void dropPending();

private:
    void run();
    void stop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<BlockJob>> pending_;
    bool stopping_ = false;  // guarded by mutex_
    std::vector<std::thread> threads_;
};

}  // namespace varnelt::archiver
