#pragma once
// Steps both jobs share; internal to jobs/.
#include <cstdint>
#include <string>
#include <string_view>

#include "jobs/job_window.h"

namespace quorvane {

enum class PassOutcome { written, skipped, failed };

// Asks until a non-empty key is given: kResultOk with a key, kResultCancel,
// or the prompt's own failure value.
int AskForKey(CJobWindow& window, CSecureText& keyText);

// Shows a failure of the job and says so.
PassOutcome FailPass(CJobWindow& window, std::u16string_view message);

// The save chooser's proposal, or none when it would not fit the name field.
std::u16string FitProposal(std::u16string name);

// Asks where the output goes and writes `size` bytes there through the safe
// replace. `saveFailed` is the job's message for a failed write or commit.
PassOutcome SaveOutput(CJobWindow& window, std::u16string proposal, const std::uint8_t* data, int size,
                       std::u16string_view saveFailed);

// Shows the out-of-memory failure; returns the failed job result.
int ReportOutOfMemory(CJobWindow& window) noexcept;

// Runs every pass of a job in list order and stops at the first failure.
// Only allocation can throw in a pass (file access reports by result); by the
// time the exception is caught here, the pass's buffers are wiped and freed.
template <class Pass>
int RunPasses(CJobWindow& window, int count, Pass&& pass) noexcept
{
    try {
        for (int index = 0; index < count; ++index) {
            if (pass(window.GetSourceEntry(index)) == PassOutcome::failed) return 1;
        }
        return 0;
    } catch (...) {
        return ReportOutOfMemory(window);
    }
}

}  // namespace quorvane
