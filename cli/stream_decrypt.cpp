#include <algorithm>
#include <atomic>
#include <limits>
#include <optional>

#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"
#include "cli/chunk_pipeline.h"
#include "cli/progress_line.h"
#include "container/container_record.h"
#include "cli/stream_jobs.h"
#include "cli/stream_steps.h"

namespace quorvane::cli {

namespace {

// One container's chunks: each is read, deciphered, its fill looked at, and
// its file bytes written at their place in the output.
class CDecryptChunks {
public:
    CDecryptChunks(const CInputFile& input_, const CBlowfishCipher& cipher_, std::size_t chunkSize_,
                   CProgressLine* progress_)
        : input(input_), cipher(cipher_), chunkSize(chunkSize_), progress(progress_)
    {
    }

    std::uint64_t Offset(std::uint64_t index) const { return index * chunkSize; }
    std::size_t Length(std::uint64_t index) const
    {
        return static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, input.Size() - Offset(index)));
    }

    StreamFailure Read(std::uint64_t index, CSecureBuffer& chunk) const
    {
        const std::size_t length = Length(index);
        if (const SourceStatus s = input.ReadAt(Offset(index), chunk.Data(), length); s != SourceStatus::ok)
            return FromSourceStatus(s);
        // One thread per chunk: the workers already keep every processor busy.
        DecodeBlocksOnThreads(cipher, chunk.Data(), chunk.Data(), static_cast<std::uint32_t>(length), 1);
        return StreamFailure::none;
    }

    // Once the layout is known and the output open: the rest of a chunk that Read filled.
    StreamFailure Write(std::uint64_t index, const CSecureBuffer& chunk)
    {
        const std::uint64_t offset = Offset(index);
        const std::size_t length = Length(index);
        const ChunkSpan data = record.Take(chunk.Data(), offset, length);
        if (data.length > 0 &&
            !output.WriteAt(offset + data.offset - record.Layout().nameEnd, chunk.Data() + data.offset, data.length))
            return StreamFailure::writeOutput;
        if (progress) progress->Advance(length);
        return StreamFailure::none;
    }

    CRecordReader record;
    COutputFile output;

private:
    const CInputFile& input;
    const CBlowfishCipher& cipher;
    const std::size_t chunkSize;
    CProgressLine* const progress;
};

}  // namespace

StreamOutcome StreamDecryptFile(const DecryptTask& task, const CSecureBuffer& keyBytes)
{
    StreamOutcome outcome;
    auto finish = [&outcome](StreamFailure failure) {
        outcome.failure = failure;
        return outcome;
    };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);

    CInputFile input;
    if (const SourceStatus s = input.Open(task.inputPath); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    const std::uint64_t size = input.Size();
    if (IsTooLargeToDecrypt(size)) return finish(StreamFailure::tooLarge);
    if (!IsContainerLength(size)) return finish(StreamFailure::wrongKeyOrDamaged);

    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    const auto chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, size));
    if (task.progress) task.progress->Begin(size);
    CDecryptChunks chunks(input, cipher, chunkSize, task.progress);

    // The chunks up to the end of the stored name go one by one: the head
    // settles almost every wrong key before anything is written, and the name
    // decides where the output goes. Only the fill's bytes are checked later.
    std::uint64_t index = 0;
    {
        CSecureBuffer chunk(chunkSize);
        for (;; ++index) {
            if (const StreamFailure f = chunks.Read(index, chunk); f != StreamFailure::none) return finish(f);
            if (index == 0 && !chunks.record.Begin(chunk.Data(), size)) return finish(StreamFailure::wrongKeyOrDamaged);
            chunks.record.Take(chunk.Data(), chunks.Offset(index), chunks.Length(index));
            if (chunks.Offset(index) + chunks.Length(index) >= chunks.record.Layout().nameEnd) break;
            if (task.progress) task.progress->Advance(chunks.Length(index));
        }
        outcome.outputPath = task.chooseOutput(chunks.record.Name());
        if (outcome.outputPath.empty()) return finish(StreamFailure::noUsableName);
        if (!task.replaceExisting && PathIsTaken(outcome.outputPath)) return finish(StreamFailure::outputExists);
        if (!chunks.output.Create(outcome.outputPath)) return finish(StreamFailure::createOutput);
        if (const StreamFailure f = chunks.Write(index, chunk); f != StreamFailure::none) return finish(f);
    }

    const ChunkPlan plan{index + 1, ChunkCount(size, chunkSize), chunkSize, task.workers};
    const StreamFailure failure = RunChunks(plan, [&chunks](std::uint64_t i, CSecureBuffer& chunk) {
        const StreamFailure f = chunks.Read(i, chunk);
        return f != StreamFailure::none ? f : chunks.Write(i, chunk);
    });
    if (failure != StreamFailure::none) return finish(failure);
    if (const SourceStatus s = input.CheckUnchanged(); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    // Leaving now drops the finished output: a record whose fill isn't zero was never written by us.
    if (!chunks.record.FillIsZero()) return finish(StreamFailure::wrongKeyOrDamaged);
    return finish(CommitOutput(input, chunks.output, outcome.outputPath, task.replaceExisting));
}

}  // namespace quorvane::cli
