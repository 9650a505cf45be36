#include "bzip2_block_jobs.h"

#include <algorithm>
#include <new>
#include <span>

#include "bzip2_stream.h"

namespace varnelt::archiver {
namespace {

constexpr size_t kOutputStep = size_t{1} << 20;

// Sets good, kept, size and output.
void decodeFrame(BlockJob& job) {
    Bunzip2 bunzip2;
    if (!bunzip2.ready()) {
        return;
    }
    std::span<const uint8_t> in(job.frame);
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
        const Bunzip2::Result result = bunzip2.decompress(in, room);
        in = in.subspan(result.consumed);
        job.size += result.produced;
        if (result.rc == BZ_STREAM_END) {
            job.good = in.empty();
            break;
        }
        if (result.rc != BZ_OK || (result.consumed == 0 && result.produced == 0)) {
            break;
        }
    }
    if (job.kept) {
        job.output.resize(job.size);
        job.frame = {};
    }
}

}  // namespace

BlockWorkers::BlockWorkers(int threads) {
    for (int i = 0; i < threads; ++i) {
        threads_.emplace_back([this](std::stop_token stop) { run(stop); });
    }
}

BlockWorkers::~BlockWorkers() {
    dropPending();
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

void BlockWorkers::run(std::stop_token stop) {
    for (;;) {
        std::shared_ptr<BlockJob> job;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait(lock, stop, [this] { return !pending_.empty(); })) {
                return;
            }
            job = std::move(pending_.front());
            pending_.pop_front();
        }
        try {
            decodeFrame(*job);
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
