#pragma once
// Writes enciphered chunks on a thread of its own, so that the next chunk is
// read and enciphered while the last one goes to disk. One chunk is in flight
// at a time: Submit hands over a filled buffer and gets back the one written
// before it, for reuse. The output stream is only touched by the writer until
// Finish (or destruction) has joined it.
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>

#include "cipher/secure_memory.h"
#include "jobs/file_stream.h"

namespace quorvane::cli {

class CChunkWriter {
public:
    explicit CChunkWriter(CFileStream& output);
    ~CChunkWriter();
    CChunkWriter(const CChunkWriter&) = delete;
    CChunkWriter& operator=(const CChunkWriter&) = delete;

    // Queues bytes [offset, offset + length) of `chunk` and swaps `chunk` with
    // the buffer of the previous write once that is done. False once a write failed.
    bool Submit(CSecureBuffer& chunk, std::size_t offset, std::size_t length);
    // Waits for the last write; true when every write succeeded.
    bool Finish();

private:
    void Run();

    CFileStream& output;
    std::mutex lock;
    std::condition_variable changed;
    CSecureBuffer pending;
    std::size_t pendingOffset = 0;
    std::size_t pendingLength = 0;
    bool busy = false;  // `pending` holds bytes not yet written
    bool stopping = false;
    bool failed = false;
    std::thread worker;  // last: started once everything above exists
};

}  // namespace quorvane::cli
