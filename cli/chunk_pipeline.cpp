#include "cli/chunk_pipeline.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "cli/positional_file.h"

namespace quorvane::cli {

namespace {

class CChunkQueue {
public:
    CChunkQueue(const ChunkPlan& plan_, const ChunkWork& work_) : plan(plan_), work(work_), next(plan_.first) {}

    void Serve(CSecureBuffer& buffer) noexcept
    {
        try {
            for (;;) {
                if (stopping.load()) return;
                const std::uint64_t index = next.fetch_add(1);
                if (index >= plan.last) return;
                const StreamFailure result = work(index, buffer);
                if (result != StreamFailure::none) Fail(result);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> guard(lock);
            if (!thrown) thrown = std::current_exception();
            stopping.store(true);
        }
    }

    StreamFailure Result() const
    {
        if (thrown) std::rethrow_exception(thrown);
        return failure.load();
    }

private:
    void Fail(StreamFailure result) noexcept
    {
        StreamFailure none = StreamFailure::none;
        failure.compare_exchange_strong(none, result);
        stopping.store(true);
    }

    const ChunkPlan& plan;
    const ChunkWork& work;
    std::atomic<std::uint64_t> next;
    std::atomic<StreamFailure> failure{StreamFailure::none};
    std::atomic<bool> stopping{false};
    std::mutex lock;
    std::exception_ptr thrown;
};

}  // namespace

StreamFailure RunChunks(const ChunkPlan& plan, const ChunkWork& work)
{
    if (plan.last <= plan.first) return StreamFailure::none;
    const std::uint64_t chunks = plan.last - plan.first;
    const unsigned wanted = plan.workers > 0 ? plan.workers : UsableProcessors();
    const auto workers = static_cast<unsigned>(std::min<std::uint64_t>(wanted, chunks));

    // Every buffer is had before any work starts, so a lack of memory stops nothing halfway.
    std::vector<CSecureBuffer> buffers;
    buffers.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) buffers.emplace_back(plan.bufferBytes);

    CChunkQueue queue(plan, work);
    {
        std::vector<std::jthread> helpers;  // joined on the way out of this scope
        try {
            helpers.reserve(workers - 1);
            for (unsigned i = 1; i < workers; ++i)
                helpers.emplace_back([&queue, &buffer = buffers[i]] { queue.Serve(buffer); });
        } catch (const std::system_error&) {
        } catch (const std::bad_alloc&) {
        }
        queue.Serve(buffers[0]);
    }
    return queue.Result();
}

}  // namespace quorvane::cli
