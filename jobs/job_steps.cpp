#include "jobs/job_steps.h"

#include "jobs/file_jobs.h"
#include "jobs/file_stream.h"
#include "jobs/job_messages.h"

namespace quorvane {

int AskForKey(CJobWindow& window, CSecureText& keyText)
{
    for (;;) {
        const int result = window.PromptKey(keyText);
        if (result != kResultOk || !keyText.Empty()) return result;
        // An empty key can't key the cipher; ask again rather than fail later.
        window.ShowMessage(messages::kEnterKey, messages::kTitleNotice);
    }
}

int ReportOutOfMemory(CJobWindow& window) noexcept
{
    try {
        window.ShowMessage(messages::kOutOfMemory, messages::kTitleError);
    } catch (...) {
        // Even the message could not be shown; the result still says failed.
    }
    return kJobFailed;
}

PassOutcome FailPass(CJobWindow& window, std::u16string_view message)
{
    window.ShowMessage(message, messages::kTitleError);
    return PassOutcome::failed;
}

std::u16string FitProposal(std::u16string name)
{
    if (name.size() > kMaxProposedName) name.clear();
    return name;
}

PassOutcome SaveOutput(CJobWindow& window, std::u16string proposal, const std::uint8_t* data, int size,
                       std::u16string_view saveFailed)
{
    std::u16string chosen;
    if (window.ChooseSavePath(FitProposal(std::move(proposal)), chosen) != kResultOk) return PassOutcome::skipped;

    CFileStream output;
    if (!output.OpenFileStream(chosen, false)) return FailPass(window, messages::kCreateFailed);
    int length = size;
    if (!output.WriteWholeStream(data, length) || !output.CloseFileStream()) return FailPass(window, saveFailed);
    return PassOutcome::written;
}

}  // namespace quorvane
