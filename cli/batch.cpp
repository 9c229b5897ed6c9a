#include "batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace {

constexpr unsigned kMaxWorkers = 8;
// Outcomes waiting for their turn; bounds memory whatever the batch's size.
constexpr std::size_t kAhead = 256;

struct BatchQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;      // the next file to claim
    std::size_t consumed = 0;  // outcomes handed on so far
    std::vector<std::optional<BatchResult>> ring = std::vector<std::optional<BatchResult>>(kAhead);
};

BatchResult ExamineOne(const SignatureTable& table, const std::filesystem::path& file, DetectionBuffers& buffers,
                       bool withBasis)
{
    BatchResult result;
    DetectionBasis* basis = withBasis ? &result.basis.emplace() : nullptr;
    result.outcome = DetectWithTable(table, file, buffers, basis);
    return result;
}

void Work(const SignatureTable& table, const std::vector<std::filesystem::path>& files, bool withBasis,
          BatchQueue& queue)
{
    UniqueDetectionBuffers buffers = MakeDetectionBuffers();
    for (;;) {
        std::size_t i = 0;
        {
            std::unique_lock lock(queue.mutex);
            queue.changed.wait(lock, [&] { return queue.next >= files.size() || queue.next < queue.consumed + kAhead; });
            if (queue.next >= files.size())
                return;
            i = queue.next++;
        }
        BatchResult result = ExamineOne(table, files[i], *buffers, withBasis);
        {
            std::lock_guard lock(queue.mutex);
            queue.ring[i % kAhead] = std::move(result);
        }
        queue.changed.notify_all();
    }
}

} // namespace

unsigned BatchWorkers(std::size_t fileCount)
{
    if (const char* asked = std::getenv("KINDSNIFFER_WORKERS")) {
        const long n = std::strtol(asked, nullptr, 10);
        if (n >= 1)
            return static_cast<unsigned>(std::min<long>(n, 64));
    }
    return static_cast<unsigned>(std::clamp<std::size_t>(fileCount, 1, kMaxWorkers));
}

void ExamineInOrder(const SignatureTable& table, const std::vector<std::filesystem::path>& files, unsigned workers,
                    bool withBasis, const std::function<bool(std::size_t, BatchResult&&)>& take)
{
    UniqueDetectionBuffers buffers = MakeDetectionBuffers();
    if (workers <= 1 || files.size() <= 1) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (!take(i, ExamineOne(table, files[i], *buffers, withBasis)))
                return;
        }
        return;
    }
    BatchQueue queue;
    std::vector<std::thread> pool;
    try {
        for (unsigned w = 0; w < workers; ++w)
            pool.emplace_back(Work, std::cref(table), std::cref(files), withBasis, std::ref(queue));
    } catch (const std::system_error&) {
        // Fewer threads than asked for: those that started share the work.
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::optional<BatchResult> outcome;
        {
            std::unique_lock lock(queue.mutex);
            if (pool.empty() && !queue.ring[i % kAhead]) {
                lock.unlock();
                outcome = ExamineOne(table, files[i], *buffers, withBasis);  // no thread could be started at all
            } else {
                queue.changed.wait(lock, [&] { return queue.ring[i % kAhead].has_value(); });
                outcome = std::move(queue.ring[i % kAhead]);
                queue.ring[i % kAhead].reset();
                queue.consumed = i + 1;
            }
        }
        queue.changed.notify_all();
        if (!take(i, std::move(*outcome))) {
            {
                std::lock_guard lock(queue.mutex);
                queue.next = files.size();  // claim nothing more
            }
            queue.changed.notify_all();
            break;
        }
    }
    for (std::thread& thread : pool)
        thread.join();
}
