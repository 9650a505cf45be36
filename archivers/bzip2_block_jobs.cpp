#include "bzip2_block_jobs.h"

#include <algorithm>
#include <new>
#include <span>

namespace varnelt::archiver {
namespace {

constexpr size_t kOutputStep = size_t{1} << 20;

// Sets good, kept, size and output.
void decodeFrame(bzip2::BlockDecoder& decoder, BlockJob& job) {
    if (!decodeBlock(decoder, job)) {
        return;
    }
    std::vector<uint8_t> scratch;
    job.kept = true;
    while (!job.abandoned.load(std::memory_order_relaxed)) {
        std::span<uint8_t> room;
        if (job.kept && job.size + kOutputStep > BlockWorkers::kKeptOutput) {
            job.kept = false;
            job.output = {};
            scratch.resize(kOutputStep);
        }
        if (job.kept) {
            job.output.resize(job.size + kOutputStep);
            room = std::span(job.output).subspan(job.size);
        } else {
            room = scratch;
        }
        const bzip2::BlockPiece piece = decoder.produce(room);
        job.size += piece.produced;
        if (piece.state != bzip2::BlockOutput::More) {
            job.good = piece.state == bzip2::BlockOutput::End;
            break;
        }
    }
    if (job.kept) {
        job.output.resize(job.size);
        job.frame = {};
    }
}

}  // namespace

bool decodeBlock(bzip2::BlockDecoder& decoder, const BlockJob& job) {
    return job.frame.size() > BlockJob::kFrameBlockByte &&
           decoder.decode(std::span(job.frame).subspan(BlockJob::kFrameBlockByte), job.bits,
                          job.frame[3] - unsigned{'0'});
}

BlockWorkers::BlockWorkers(int threads) {
    try {
        for (int i = 0; i < threads; ++i) {
            threads_.emplace_back([this] { run(); });
        }
    } catch (...) {
        stop();  // a thread that could not start leaves the others to be joined
        throw;
    }
}

BlockWorkers::~BlockWorkers() {
    stop();
}

void BlockWorkers::stop() {
    {
        const std::lock_guard lock(mutex_);
        pending_.clear();
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void BlockWorkers::submit(std::shared_ptr<BlockJob> job) {
    {
        const std::lock_guard lock(mutex_);
        pending_.push_back(std::move(job));
    }
    wake_.notify_one();
}

bool BlockWorkers::done(const BlockJob& job) {
    const std::lock_guard lock(mutex_);
    return job.done;
}

void BlockWorkers::wait(const BlockJob& job) {
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [&job] { return job.done; });
}

void BlockWorkers::dropPending() {
    const std::lock_guard lock(mutex_);
    pending_.clear();
}

void BlockWorkers::run() {
    // One decoder a thread, so that its tables are allocated once for all of its blocks.
    bzip2::BlockDecoder decoder;
    for (;;) {
        std::shared_ptr<BlockJob> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
            if (stopping_) {
                return;
            }
            job = std::move(pending_.front());
            pending_.pop_front();
        }
        try {
            decodeFrame(decoder, *job);
        } catch (const std::bad_alloc&) {
            job->good = false;  // the stream is then decoded in one thread
        }
        {
            const std::lock_guard lock(mutex_);
            job->done = true;
        }
        finished_.notify_all();
    }
}

}  // namespace varnelt::archiver
