#pragma once
// Steps both jobs share; internal to jobs/.
#include <functional>
#include <string>
#include <string_view>

#include "jobs/job_window.h"
#include "stream/stream_jobs.h"

namespace quorvane {

enum class PassOutcome { written, skipped, failed, stopped };

// Asks until a non-empty key is given: kResultOk with a key, kResultCancel,
// or the prompt's own failure value.
int AskForKey(CJobWindow& window, CSecureText& keyText);

// The save chooser's proposal, or none when it would not fit the name field.
std::u16string FitProposal(std::u16string name);

// How a pass ended: a failure is shown first (`saveFailed` is the job's message for a failed write or commit).
PassOutcome EndPass(CJobWindow& window, StreamFailure failure, std::u16string_view saveFailed);

// Runs `stream`, the streaming of the file at `path` (`total` bytes), as the window's pass, its progress told to
// the pass's monitor; then what came of it. The work runs wherever the window runs it, so nothing it throws
// crosses over: it is caught there and thrown again here.
PassOutcome RunStreamingPass(CJobWindow& window, PassAction action, std::u16string_view path, std::uint64_t total,
                             const std::function<StreamFailure(CStreamProgress&)>& stream,
                             std::u16string_view saveFailed);

// Shows the out-of-memory failure; returns the failed job result.
int ReportOutOfMemory(CJobWindow& window) noexcept;

// Runs every pass of a job in list order; a failure stops the job, and so does a pass the user stopped, silently.
// Only allocation can throw in a pass (file access reports by result); by the
// time the exception is caught here, the pass's buffers are wiped and freed.
template <class Pass>
int RunPasses(CJobWindow& window, int count, Pass&& pass) noexcept
{
    try {
        for (int index = 0; index < count; ++index) {
            const PassOutcome outcome = pass(window.GetSourceEntry(index));
            if (outcome == PassOutcome::failed) return 1;
            if (outcome == PassOutcome::stopped) return 0;
        }
        return 0;
    } catch (...) {
        return ReportOutOfMemory(window);
    }
}

}  // namespace quorvane
