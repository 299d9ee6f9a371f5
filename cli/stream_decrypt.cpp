#include <algorithm>
#include <limits>
#include <optional>

#include "cipher/blowfish_cipher.h"
#include "cli/chunk_writer.h"
#include "cli/interrupt.h"
#include "cli/record_stream.h"
#include "cli/stream_jobs.h"
#include "cli/stream_steps.h"

namespace quorvane::cli {

StreamOutcome StreamDecryptFile(const DecryptTask& task, const CSecureBuffer& keyBytes)
{
    StreamOutcome outcome;
    auto finish = [&outcome](StreamFailure failure) {
        outcome.failure = failure;
        return outcome;
    };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);

    CChunkSource source;
    if (const SourceStatus s = source.Open(task.inputPath); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    const std::uint64_t size = source.Size();
    if (size > std::uint64_t(std::numeric_limits<std::int32_t>::max())) return finish(StreamFailure::tooLarge);
    // Every container is a non-empty run of whole blocks.
    if (size == 0 || size % 8 != 0) return finish(StreamFailure::wrongKeyOrDamaged);

    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    const auto chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, size));
    CSecureBuffer chunk(chunkSize);

    RecordLayout layout;
    std::optional<CStoredNameCollector> name;
    CFileStream output;
    std::optional<CChunkWriter> writer;  // destroyed (joined) before `output`
    bool fillIsZero = true;
    std::size_t length = 0;
    for (std::uint64_t offset = 0; offset < size; offset += length) {
        if (InterruptRequested()) return finish(StreamFailure::interrupted);
        // A buffer handed back by the writer after its first write is still empty.
        if (chunk.Size() == 0) chunk = CSecureBuffer(chunkSize);
        length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.Size(), size - offset));
        if (const SourceStatus s = source.Read(chunk.Data(), length); s != SourceStatus::ok)
            return finish(FromSourceStatus(s));
        cipher.DecodeBlocks(chunk.Data(), chunk.Data(), static_cast<std::uint32_t>(length));

        if (offset == 0) {
            // The head and the file's length settle almost every wrong key
            // before anything is written; only the fill's bytes come later.
            if (!ReadRecordLayout(chunk.Data(), size, layout)) return finish(StreamFailure::wrongKeyOrDamaged);
            name.emplace(layout.nameBytes);
        }
        name->Take(chunk.Data(), offset, length);

        // The name precedes the file bytes, so it is whole before the first of them.
        if (!writer && offset + length >= layout.nameEnd) {
            outcome.outputPath = task.chooseOutput(name->Name());
            if (outcome.outputPath.empty()) return finish(StreamFailure::noUsableName);
            if (!task.replaceExisting && PathIsTaken(outcome.outputPath)) return finish(StreamFailure::outputExists);
            if (!output.OpenFileStream(outcome.outputPath, false)) return finish(StreamFailure::createOutput);
            writer.emplace(output);
        }

        // The fill is looked at before the chunk goes to the writer, which takes the buffer.
        fillIsZero = fillIsZero && IsZeroSpan(chunk.Data(), Overlap(layout.dataEnd, layout.length, offset, length));
        const ChunkSpan data = Overlap(layout.nameEnd, layout.dataEnd, offset, length);
        if (data.length > 0 && !writer->Submit(chunk, data.offset, data.length))
            return finish(StreamFailure::writeOutput);
    }
    if (!writer->Finish()) return finish(StreamFailure::writeOutput);
    if (const SourceStatus s = source.CheckAtEnd(); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    // Leaving now drops the finished output: a record whose fill isn't zero was never written by us.
    if (!fillIsZero) return finish(StreamFailure::wrongKeyOrDamaged);
    return finish(CommitOutput(source, output, outcome.outputPath, task.replaceExisting));
}

}  // namespace quorvane::cli
