#include <algorithm>
#include <cstring>
#include <limits>

#include "cipher/blowfish_cipher.h"
#include "cli/chunk_writer.h"
#include "cli/interrupt.h"
#include "cli/record_stream.h"
#include "cli/stream_jobs.h"
#include "cli/stream_steps.h"
#include "container/container_record.h"

namespace quorvane::cli {

namespace {

// Lays out the record bytes [offset, offset + length) in `chunk`: the head and
// name from `head`, the file bytes straight from the source, zeros after them.
SourceStatus FillRecordChunk(const CSecureBuffer& head, const RecordLayout& layout, CChunkSource& source,
                             std::uint64_t offset, std::size_t length, std::uint8_t* chunk)
{
    const ChunkSpan headSpan = Overlap(0, head.Size(), offset, length);
    std::memcpy(chunk + headSpan.offset, head.Data() + (offset + headSpan.offset), headSpan.length);

    const ChunkSpan fillSpan = Overlap(layout.dataEnd, layout.length, offset, length);
    std::memset(chunk + fillSpan.offset, 0, fillSpan.length);

    const ChunkSpan dataSpan = Overlap(layout.nameEnd, layout.dataEnd, offset, length);
    if (dataSpan.length == 0) return SourceStatus::ok;
    return source.Read(chunk + dataSpan.offset, dataSpan.length);
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

    CChunkSource source;
    if (const SourceStatus s = source.Open(task.inputPath); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    // Both limits are known before a byte is read: the file bytes are a signed
    // 32-bit count, and so is the whole record.
    const std::uint64_t size = source.Size();
    if (size > std::uint64_t(std::numeric_limits<std::int32_t>::max()) ||
        ContainerRecordLength(std::int64_t(task.storedName.size()), std::int64_t(size)) > kMaxRecordLength)
        return finish(StreamFailure::tooLarge);
    const auto dataSize = static_cast<std::int32_t>(size);
    if (!task.replaceExisting && PathIsTaken(task.outputPath)) return finish(StreamFailure::outputExists);

    const RecordLayout layout = LayoutForWriting(task.storedName.size(), dataSize);
    CSecureBuffer head(kRecordHeaderBytes + 2 * task.storedName.size());
    WriteRecordHead(head.Data(), task.storedName, dataSize);

    CFileStream output;
    if (!output.OpenFileStream(task.outputPath, false)) return finish(StreamFailure::createOutput);

    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    const auto chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, layout.length));
    CSecureBuffer chunk(chunkSize);
    CChunkWriter writer(output);  // destroyed (joined) before `output`
    std::size_t length = 0;
    for (std::uint64_t offset = 0; offset < layout.length; offset += length) {
        if (InterruptRequested()) return finish(StreamFailure::interrupted);
        // The buffer handed back after the first write is still empty.
        if (chunk.Size() == 0) chunk = CSecureBuffer(chunkSize);
        length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.Size(), layout.length - offset));
        if (const SourceStatus s = FillRecordChunk(head, layout, source, offset, length, chunk.Data());
            s != SourceStatus::ok)
            return finish(FromSourceStatus(s));
        cipher.EncodeBlocks(chunk.Data(), chunk.Data(), static_cast<std::uint32_t>(length));
        if (!writer.Submit(chunk, 0, length)) return finish(StreamFailure::writeOutput);
    }
    if (!writer.Finish()) return finish(StreamFailure::writeOutput);
    if (const SourceStatus s = source.CheckAtEnd(); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    return finish(CommitOutput(source, output, task.outputPath, task.replaceExisting));
}

}  // namespace quorvane::cli
