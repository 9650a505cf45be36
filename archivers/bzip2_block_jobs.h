// Threads that decode framed bzip2 blocks (see bzip2_bits.h), each checked by libbz2 on its
// own, for the block decoder to hand on in order.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace varnelt::archiver {

struct BlockJob {
    explicit BlockJob(std::vector<uint8_t> framed) : frame(std::move(framed)) {}

    std::vector<uint8_t> frame;
    // Set by the thread that decoded the job, read once done() says so.
    bool good = false;  // libbz2 ended the frame exactly at its end, every CRC matching
    bool kept = false;  // output holds all of it, else it is decoded again from frame
    uint64_t size = 0;  // bytes of output
    std::vector<uint8_t> output;
    // The output is no longer wanted: the thread may stop early.
    std::atomic<bool> abandoned{false};
    bool done = false;  // guarded by the workers' lock
};

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
    void run(std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable finished_;
    std::deque<std::shared_ptr<BlockJob>> pending_;
    std::vector<std::jthread> threads_;  // last, so that they stop before the rest goes
};

}  // namespace varnelt::archiver
