#include "cipher/blowfish_cipher.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "jobs/file_jobs.h"
#include "jobs/file_stream.h"
#include "jobs/job_messages.h"
#include "jobs/job_steps.h"

namespace quorvane {

namespace {

PassOutcome DecryptOne(CJobWindow& window, const std::u16string& path, const CSecureBuffer& keyBytes)
{
    CSecureBuffer record;
    {
        CFileStream source;
        if (!source.OpenFileStream(path, true)) return FailPass(window, messages::kOpenFailed);
        const int size = source.GetStreamSize();
        if (source.IsTooLarge()) return FailPass(window, messages::kTooLarge);
        // Every container is a non-empty run of whole blocks; anything else is
        // refused before it is deciphered.
        if (!source.IsFailed() && (size == 0 || size % 8 != 0)) return FailPass(window, messages::kWrongKeyOrDamaged);

        record = CSecureBuffer(static_cast<std::size_t>(size));
        int length = size;
        if (!source.ReadWholeStream(record.Data(), length)) return FailPass(window, messages::kReadFailed);
    }

    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    cipher.DecodeBlocks(record.Data(), record.Data(), static_cast<std::uint32_t>(record.Size()));

    // Without a check value in the format, the record's own shape is what
    // tells a wrong key: fields inside the record and the exact zero fill,
    // both checked before a wrong key's random name length can cost memory.
    ContainerContents contents;
    if (ReadRecordSizes(record.Data(), record.Size(), contents) != RecordCheck::ok ||
        !HasWrittenFill(record.Data(), record.Size(), contents))
        return FailPass(window, messages::kWrongKeyOrDamaged);
    ReadStoredName(record.Data(), contents);

    return SaveOutput(window, MakeSafeFileName(contents.storedName), record.Data() + contents.dataOffset,
                      contents.dataSize, messages::kSaveDecryptedFailed);
}

}  // namespace

int RunDecryptJob(CJobWindow& window) noexcept
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
        return RunPasses(window, count, [&](const std::u16string& path) { return DecryptOne(window, path, keyBytes); });
    } catch (...) {
        return ReportOutOfMemory(window);
    }
}

}  // namespace quorvane
