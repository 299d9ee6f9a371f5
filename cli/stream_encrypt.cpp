#include <algorithm>
#include <cstring>

#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"
#include "cli/chunk_pipeline.h"
#include "cli/progress_line.h"
#include "cli/stream_jobs.h"
#include "cli/stream_steps.h"
#include "container/container_record.h"

namespace quorvane::cli {

namespace {

// Lays out the record bytes [offset, offset + length) in `chunk`: the head and
// name from `head`, the file bytes straight from the input, zeros after them.
SourceStatus FillRecordChunk(const CSecureBuffer& head, const RecordLayout& layout, const CInputFile& input,
                             std::uint64_t offset, std::size_t length, std::uint8_t* chunk)
{
    const ChunkSpan headSpan = Overlap(0, head.Size(), offset, length);
    std::memcpy(chunk + headSpan.offset, head.Data() + (offset + headSpan.offset), headSpan.length);

    const ChunkSpan fillSpan = Overlap(layout.dataEnd, layout.length, offset, length);
    std::memset(chunk + fillSpan.offset, 0, fillSpan.length);

    const ChunkSpan dataSpan = Overlap(layout.nameEnd, layout.dataEnd, offset, length);
    if (dataSpan.length == 0) return SourceStatus::ok;
    return input.ReadAt(offset + dataSpan.offset - layout.nameEnd, chunk + dataSpan.offset, dataSpan.length);
}

}  // namespace

StreamOutcome StreamEncryptFile(const EncryptTask& task, const CSecureBuffer& keyBytes)
{
    StreamOutcome outcome{StreamFailure::none, task.outputPath};
    auto finish = [&outcome](StreamFailure failure) {
        outcome.failure = failure;
        return outcome;
    };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);

    CInputFile input;
    if (const SourceStatus s = input.Open(task.inputPath); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    // Both limits are known before a byte is read.
    const std::uint64_t size = input.Size();
    if (IsTooLargeToEncrypt(task.storedName.size(), size)) return finish(StreamFailure::tooLarge);
    const auto dataSize = static_cast<std::int32_t>(size);
    if (!task.replaceExisting && PathIsTaken(task.outputPath)) return finish(StreamFailure::outputExists);

    const RecordLayout layout = LayoutForWriting(task.storedName.size(), dataSize);
    CSecureBuffer head(kRecordHeaderBytes + 2 * task.storedName.size());
    WriteRecordHead(head.Data(), task.storedName, dataSize);

    COutputFile output;
    if (!output.Create(task.outputPath)) return finish(StreamFailure::createOutput);

    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    const auto chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, layout.length));
    if (task.progress) task.progress->Begin(size);

    const ChunkPlan plan{0, ChunkCount(layout.length, chunkSize), chunkSize, task.workers};
    const StreamFailure failure = RunChunks(plan, [&](std::uint64_t index, CSecureBuffer& chunk) {
        const std::uint64_t offset = index * chunkSize;
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, layout.length - offset));
        if (const SourceStatus s = FillRecordChunk(head, layout, input, offset, length, chunk.Data());
            s != SourceStatus::ok)
            return FromSourceStatus(s);
        // One thread per chunk: the workers already keep every processor busy.
        EncodeBlocksOnThreads(cipher, chunk.Data(), chunk.Data(), static_cast<std::uint32_t>(length), 1);
        if (!output.WriteAt(offset, chunk.Data(), length)) return StreamFailure::writeOutput;
        if (task.progress) task.progress->Advance(Overlap(layout.nameEnd, layout.dataEnd, offset, length).length);
        return StreamFailure::none;
    });
    if (failure != StreamFailure::none) return finish(failure);
    if (const SourceStatus s = input.CheckUnchanged(); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    return finish(CommitOutput(input, output, task.outputPath, task.replaceExisting));
}

}  // namespace quorvane::cli
