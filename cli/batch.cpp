#include "batch.h"
#include "detection.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr unsigned kMaxWorkers = 16;
// How long the consumer waits for its next outcome before it takes the wait
// for the disk's and starts one more worker.
constexpr std::chrono::milliseconds kPatience{1};
// Outcomes waiting for their turn; bounds memory whatever the batch's size.
constexpr std::size_t kAhead = 256;
// Files a worker claims at once. A warm-cache file takes a few microseconds,
// so claiming and handing on one at a time would spend the batch waking
// threads rather than examining files.
constexpr std::size_t kBlock = 16;
static_assert(kAhead % kBlock == 0);

// The workers wait only for room ahead of the consumer, and the consumer only
// for the one outcome it needs next: each side is woken when there is
// something for it, not on every change.
struct BatchQueue {
    std::mutex mutex;
    std::condition_variable room;     // workers: space ahead of the consumer
    std::condition_variable arrived;  // the consumer: its next outcome
    std::size_t next = 0;             // the next file to claim
    std::size_t consumed = 0;         // outcomes handed on so far
    bool consumerWaiting = false;
    std::vector<std::optional<BatchResult>> ring = std::vector<std::optional<BatchResult>>(kAhead);
};

// What every worker examines with, the same for the whole batch.
struct BatchJob {
    const SignatureTable& table;
    const std::vector<std::filesystem::path>& files;
    const RunSettings& settings;
    bool withBasis;
};

BatchResult ExamineOne(const BatchJob& job, std::size_t i, DetectionBuffers& buffers)
{
    BatchResult result;
    DetectionBasis* basis = job.withBasis ? &result.basis.emplace() : nullptr;
    result.outcome = DetectWithTable(job.table, job.files[i], buffers, basis, job.settings);
    return result;
}

void Work(const BatchJob& job, BatchQueue& queue)
{
    const std::size_t count = job.files.size();
    UniqueDetectionBuffers buffers = MakeDetectionBuffers();
    std::vector<BatchResult> results;
    results.reserve(kBlock);
    for (;;) {
        std::size_t first = 0, last = 0;
        {
            std::unique_lock lock(queue.mutex);
            queue.room.wait(lock, [&] { return queue.next >= count || queue.next < queue.consumed + kAhead; });
            if (queue.next >= count)
                return;
            first = queue.next;
            last = std::min({first + kBlock, count, queue.consumed + kAhead});
            queue.next = last;
        }
        results.clear();
        for (std::size_t i = first; i < last; ++i)
            results.push_back(ExamineOne(job, i, *buffers));
        bool wake = false;
        {
            std::lock_guard lock(queue.mutex);
            for (std::size_t i = first; i < last; ++i)
                queue.ring[i % kAhead] = std::move(results[i - first]);
            wake = queue.consumerWaiting && first <= queue.consumed && queue.consumed < last;
        }
        if (wake)
            queue.arrived.notify_one();
    }
}

} // namespace

unsigned BatchWorkers(std::size_t fileCount, unsigned asked)
{
    if (asked != 0)
        return asked;
    return static_cast<unsigned>(std::clamp<std::size_t>(fileCount, 1, kMaxWorkers));
}

void ExamineInOrder(const SignatureTable& table, const std::vector<std::filesystem::path>& files, unsigned workers,
                    const RunSettings& settings, bool withBasis,
                    const std::function<bool(std::size_t, BatchResult&&)>& take)
{
    const BatchJob job{table, files, settings, withBasis};
    UniqueDetectionBuffers buffers = MakeDetectionBuffers();
    if (workers <= 1 || files.size() <= 1) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!take(i, ExamineOne(job, i, *buffers)))
                return;
        }
        return;
    }
    // As many workers as there are processors to run them, to begin with. On
    // a warm cache more would only take turns on the same processors; when
    // the consumer is kept waiting, the workers are waiting on the disk, and
    // more of them overlap those waits.
    BatchQueue queue;
    std::vector<std::thread> pool;
    unsigned limit = workers;
    auto startWorker = [&] {
        try {
            pool.emplace_back(Work, std::cref(job), std::ref(queue));
        } catch (const std::system_error&) {
            limit = static_cast<unsigned>(pool.size());  // the threads that started share the work
        }
    };
    while (pool.size() < std::min(limit, std::max(1u, PlatformUsableCores())))
        startWorker();
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::optional<BatchResult> outcome;
        bool freedABlock = false;
        {
            std::unique_lock lock(queue.mutex);
            if (pool.empty() && !queue.ring[i % kAhead]) {
                lock.unlock();
                outcome = ExamineOne(job, i, *buffers);  // no thread could be started at all
            } else {
                queue.consumerWaiting = true;
                while (!queue.arrived.wait_for(lock, kPatience, [&] { return queue.ring[i % kAhead].has_value(); })) {
                    if (pool.size() < limit)
                        startWorker();
                }
                queue.consumerWaiting = false;
                outcome = std::move(queue.ring[i % kAhead]);
                queue.ring[i % kAhead].reset();
                queue.consumed = i + 1;
                freedABlock = queue.consumed % kBlock == 0;
            }
        }
        if (freedABlock)
            queue.room.notify_one();  // room for one more claim
        if (!take(i, std::move(*outcome))) {
            {
                std::lock_guard lock(queue.mutex);
                queue.next = files.size();  // claim nothing more
            }
            queue.room.notify_all();
            break;
        }
    }
    // A worker still waiting for room learns here that nothing is left to claim.
    queue.room.notify_all();
    for (std::thread& thread : pool)
        thread.join();
}
