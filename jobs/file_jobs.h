#pragma once
#include <cstddef>

#include "jobs/job_window.h"
#include "stream/stream_jobs.h"

namespace quorvane {

// Job results.
constexpr int kJobDone = 0;    // the whole list, a cancelled key prompt, a stopped pass, or an empty list
constexpr int kJobFailed = 1;  // a failure stopped the job

// Turns every listed file into a container, asking for the key first. Each
// file streams in chunks of `chunkBytes` once its save path is chosen.
int RunEncryptJob(CJobWindow& window, std::size_t chunkBytes = kDefaultChunkBytes) noexcept;
// Turns every listed container back into its file; an empty list is noticed
// before the key is asked for.
int RunDecryptJob(CJobWindow& window, std::size_t chunkBytes = kDefaultChunkBytes) noexcept;

}  // namespace quorvane
