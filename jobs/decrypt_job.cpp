#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "jobs/file_jobs.h"
#include "jobs/job_messages.h"
#include "jobs/job_steps.h"

namespace quorvane {

namespace {

// The stored name made safe, or none when it is longer than any file system takes.
std::u16string ProposedName(const std::optional<std::u16string>& storedName)
{
    std::u16string name = MakeSafeFileName(storedName.value_or(u""));
    if (name.size() > kMaxStoredNameUnits) name.clear();
    return FitProposal(std::move(name));
}

PassOutcome DecryptOne(CJobWindow& window, const std::u16string& path, const CSecureBuffer& keyBytes,
                       std::size_t chunkBytes)
{
    // Without a check value in the format, the record's own shape is what tells a wrong key: its sizes, its name
    // and its fill, from the first block, the name's blocks and the last block, all before the chooser.
    CSource source;
    ContainerHead head;
    StreamFailure failure = source.OpenFile(path);
    if (failure == StreamFailure::none) failure = CheckContainerSize(source);
    if (failure == StreamFailure::none) failure = ReadContainerHead(source, keyBytes, head);
    if (failure != StreamFailure::none) return EndPass(window, failure, messages::kSaveDecryptedFailed);

    std::u16string chosen;
    if (window.ChooseSavePath(ProposedName(head.storedName), chosen) != kResultOk) return PassOutcome::skipped;
    DecryptTask task;
    task.inputPath = path;
    task.chooseOutput = [&chosen](const std::optional<std::u16string>&) { return OutputChoice{chosen}; };
    task.replaceExisting = true;
    task.chunkBytes = chunkBytes;
    return RunStreamingPass(
        window, PassAction::decrypt, path, *source.Size(),
        [&](CStreamProgress& progress) {
            task.progress = &progress;
            return StreamDecryptOpened(source, task, keyBytes).failure;
        },
        messages::kSaveDecryptedFailed);
}

}  // namespace

int RunDecryptJob(CJobWindow& window, std::size_t chunkBytes) noexcept
{
    try {
        const int count = window.GetSourceCount();
        if (count == 0) {
            window.ShowMessage(messages::kNoFiles, messages::kTitleNotice);
            return kJobDone;
        }
        CSecureText keyText;
        const int prompt = AskForKey(window, keyText);
        if (prompt == kResultCancel) return kJobDone;
        if (prompt != kResultOk) return kJobFailed;

        const CSecureBuffer keyBytes = MakeKeyBytes(keyText.Text());
        return RunPasses(window, count,
                         [&](const std::u16string& path) { return DecryptOne(window, path, keyBytes, chunkBytes); });
    } catch (...) {
        return ReportOutOfMemory(window);
    }
}

}  // namespace quorvane
