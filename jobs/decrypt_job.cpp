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
        if (!source.IsFailed() && !IsContainerLength(std::uint64_t(size)))
            return FailPass(window, messages::kWrongKeyOrDamaged);

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
    // The whole record is the reader's one chunk; its name is held already, so it is read whole.
    CRecordReader reader;
    if (!reader.Begin(record.Data(), record.Size(), record.Size()))
        return FailPass(window, messages::kWrongKeyOrDamaged);
    const ChunkSpan data = reader.Take(record.Data(), 0, record.Size());
    if (!reader.FillIsZero()) return FailPass(window, messages::kWrongKeyOrDamaged);

    return SaveOutput(window, MakeSafeFileName(reader.Name().value_or(u"")), record.Data() + data.offset,
                      reader.Layout().dataSize, messages::kSaveDecryptedFailed);
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
