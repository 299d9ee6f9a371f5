#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "jobs/job_steps.h"

namespace quorvane {

namespace {

PassOutcome EncryptOne(CJobWindow& window, const std::u16string& path, const CSecureBuffer& keyBytes,
                       std::size_t chunkBytes)
{
    // Opened and sized before the chooser: a file that can't be read, or can't be a container, is told first.
    CSource source;
    if (const StreamFailure f = source.OpenFile(path); f != StreamFailure::none)
        return EndPass(window, f, messages::kSaveEncryptedFailed);
    EncryptTask task;
    task.inputPath = path;
    task.storedName = StoredNameFor(path);
    task.replaceExisting = true;
    task.chunkBytes = chunkBytes;
    const std::uint64_t size = *source.Size();
    if (IsTooLargeToEncrypt(task.storedName.size(), size))
        return EndPass(window, StreamFailure::tooLarge, messages::kSaveEncryptedFailed);

    const std::u16string proposal = path.empty() ? std::u16string() : MakeContainerName(path);
    if (window.ChooseSavePath(FitProposal(proposal), task.outputPath) != kResultOk) return PassOutcome::skipped;
    // The source is closed before the container is moved into place, so it may be chosen as its own container's path.
    return RunStreamingPass(
        window, PassAction::encrypt, path, size,
        [&](CStreamProgress& progress) {
            task.progress = &progress;
            return StreamEncryptOpened(source, task, keyBytes).failure;
        },
        messages::kSaveEncryptedFailed);
}

}  // namespace

int RunEncryptJob(CJobWindow& window, std::size_t chunkBytes) noexcept
{
    try {
        CSecureText keyText;
        const int prompt = AskForKey(window, keyText);
        if (prompt == kResultCancel) return kJobDone;
        if (prompt != kResultOk) return kJobFailed;

        const int count = window.GetSourceCount();
        if (count == 0) {
            window.ShowMessage(messages::kNoFiles, messages::kTitleNotice);
            return kJobDone;
        }
        const CSecureBuffer keyBytes = MakeKeyBytes(keyText.Text());
        return RunPasses(window, count,
                         [&](const std::u16string& path) { return EncryptOne(window, path, keyBytes, chunkBytes); });
    } catch (...) {
        return ReportOutOfMemory(window);
    }
}

}  // namespace quorvane
