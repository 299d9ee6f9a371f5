#include "jobs/job_steps.h"

#include <exception>
#include <mutex>

#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"

namespace quorvane {

namespace {

// The streaming's progress as the pass's monitor takes it: the bytes done so far, one report at a time.
class CMonitoredProgress : public CStreamProgress {
public:
    explicit CMonitoredProgress(CPassMonitor& monitor_) : monitor(monitor_) {}

    void Begin(std::uint64_t) override {}
    bool Advance(std::uint64_t bytes) override
    {
        const std::lock_guard<std::mutex> guard(lock);
        if (!going) return false;
        done += bytes;
        going = monitor.Report(done);
        return going;
    }

private:
    CPassMonitor& monitor;
    std::mutex lock;
    std::uint64_t done = 0;
    bool going = true;
};

}  // namespace

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

std::u16string FitProposal(std::u16string name)
{
    if (name.size() > kMaxProposedName) name.clear();
    return name;
}

PassOutcome EndPass(CJobWindow& window, StreamFailure failure, std::u16string_view saveFailed)
{
    std::u16string_view message = messages::kReadFailed;
    switch (failure) {
    case StreamFailure::none:
        return PassOutcome::written;
    case StreamFailure::stopped:
        return PassOutcome::stopped;
    case StreamFailure::openInput:
    case StreamFailure::notRegular:
        message = messages::kOpenFailed;
        break;
    case StreamFailure::tooLarge:
        message = messages::kTooLarge;
        break;
    case StreamFailure::wrongKeyOrDamaged:
        message = messages::kWrongKeyOrDamaged;
        break;
    case StreamFailure::writeOutput:
    case StreamFailure::replaceOutput:
    case StreamFailure::outputReplaced:
        message = saveFailed;
        break;
    default:
        // The rest of the input's failures are reads; of the output's, the making of its file.
        if (StreamOutcome{failure}.Subject() != FailureSubject::input) message = messages::kCreateFailed;
    }
    window.ShowMessage(message, messages::kTitleError);
    return PassOutcome::failed;
}

PassOutcome RunStreamingPass(CJobWindow& window, PassAction action, std::u16string_view path, std::uint64_t total,
                             const std::function<StreamFailure(CStreamProgress&)>& stream,
                             std::u16string_view saveFailed)
{
    StreamFailure failure = StreamFailure::none;
    std::exception_ptr thrown;
    window.RunPass(action, StoredNameFor(path), total, [&](CPassMonitor& monitor) {
        try {
            CMonitoredProgress progress(monitor);
            failure = stream(progress);
        } catch (...) {
            thrown = std::current_exception();
        }
    });
    if (thrown) std::rethrow_exception(thrown);
    return EndPass(window, failure, saveFailed);
}

}  // namespace quorvane
