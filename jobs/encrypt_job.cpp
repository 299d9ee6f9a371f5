#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "jobs/file_jobs.h"
#include "jobs/file_stream.h"
#include "jobs/job_messages.h"
#include "jobs/job_steps.h"

namespace quorvane {

namespace {

PassOutcome EncryptOne(CJobWindow& window, const std::u16string& path, const CSecureBuffer& keyBytes)
{
    CSecureBuffer record;
    {
        CFileStream source;
        if (!source.OpenFileStream(path, true)) return FailPass(window, messages::kOpenFailed);
        const int size = source.GetStreamSize();
        const std::u16string storedName = ExtractFileName(path);
        if (source.IsTooLarge() || IsTooLargeToEncrypt(storedName.size(), std::uint64_t(size)))
            return FailPass(window, messages::kTooLarge);

        // One buffer for the whole pass: the file is read straight into its
        // place in the record, which is then enciphered in place.
        record = LayoutContainerRecord(storedName, size);
        int length = size;
        if (!source.ReadWholeStream(record.Data() + kRecordHeaderBytes + 2 * storedName.size(), length))
            return FailPass(window, messages::kReadFailed);
        // The source is closed here, so it may be chosen as its own container's path.
    }

    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    cipher.EncodeBlocks(record.Data(), record.Data(), static_cast<std::uint32_t>(record.Size()));

    std::u16string proposal = path.empty() ? std::u16string() : MakeContainerName(path);
    return SaveOutput(window, std::move(proposal), record.Data(), static_cast<int>(record.Size()),
                      messages::kSaveEncryptedFailed);
}

}  // namespace

int RunEncryptJob(CJobWindow& window) noexcept
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
        return RunPasses(window, count, [&](const std::u16string& path) { return EncryptOne(window, path, keyBytes); });
    } catch (...) {
        return ReportOutOfMemory(window);
    }
}

}  // namespace quorvane
