#include "cli/chunk_writer.h"

namespace quorvane::cli {

CChunkWriter::CChunkWriter(CFileStream& output_) : output(output_), worker([this] { Run(); }) {}

CChunkWriter::~CChunkWriter()
{
    Finish();
}

bool CChunkWriter::Submit(CSecureBuffer& chunk, std::size_t offset, std::size_t length)
{
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return !busy; });
    if (failed) return false;
    std::swap(pending, chunk);
    pendingOffset = offset;
    pendingLength = length;
    busy = true;
    changed.notify_all();
    return true;
}

bool CChunkWriter::Finish()
{
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return !busy; });
        stopping = true;
        changed.notify_all();
    }
    if (worker.joinable()) worker.join();
    return !failed;
}

void CChunkWriter::Run()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return busy || stopping; });
        if (!busy) return;
        // The bytes are written without the lock: Submit only waits on `busy`.
        const std::uint8_t* data = pending.Data() + pendingOffset;
        int count = static_cast<int>(pendingLength);
        guard.unlock();
        const bool written = count == 0 || output.WriteWholeStream(data, count);
        guard.lock();
        failed = failed || !written;
        busy = false;
        changed.notify_all();
    }
}

}  // namespace quorvane::cli
