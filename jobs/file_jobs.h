#pragma once
#include "jobs/job_window.h"

namespace quorvane {

// Job results.
constexpr int kJobDone = 0;    // the whole list, a cancelled key prompt, or an empty list
constexpr int kJobFailed = 1;  // a failure stopped the job

// Turns every listed file into a container, asking for the key first.
int RunEncryptJob(CJobWindow& window) noexcept;
// Turns every listed container back into its file; an empty list is noticed
// before the key is asked for.
int RunDecryptJob(CJobWindow& window) noexcept;

// The save chooser's name field holds 259 code units and a terminator; a
// longer proposal is not offered at all rather than cut into another name.
constexpr std::size_t kMaxProposedName = 259;

}  // namespace quorvane
