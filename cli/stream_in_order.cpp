#include "cli/stream_in_order.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"
#include "cli/ordered_io.h"
#include "cli/progress_line.h"
#include "cli/stream_steps.h"
#include "container/container_record.h"

namespace quorvane::cli {

StreamOutcome StreamEncryptInOrder(const EncryptTask& task, const CSecureBuffer& keyBytes)
{
    StreamOutcome outcome{StreamFailure::none, task.outputPath};
    auto finish = [&outcome](StreamFailure failure) {
        outcome.failure = failure;
        return outcome;
    };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);
    const std::size_t nameUnits = task.storedName.size();

    COrderedSource source;
    if (const SourceStatus s = source.Open(task.inputPath); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    const std::optional<std::uint64_t> known = source.Size();
    if (known && IsTooLargeToEncrypt(nameUnits, *known)) return finish(StreamFailure::tooLarge);
    const bool toFile = !WritesAsStream(task.outputPath);
    if (toFile && !task.replaceExisting && PathIsTaken(task.outputPath)) return finish(StreamFailure::outputExists);

    // Without a size the first block is a stand-in until the end.
    CSecureBuffer head(kRecordHeaderBytes + 2 * nameUnits);
    WriteRecordHead(head.Data(), task.storedName, static_cast<std::int32_t>(known.value_or(0)));
    COrderedSink sink;
    if (const StreamFailure f = sink.Open(task.outputPath, !known); f != StreamFailure::none) return finish(f);

    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    if (task.progress) task.progress->Begin(known.value_or(kUnknownTotal));
    CSecureBuffer chunk(chunkBytes);
    std::uint64_t offset = 0, dataSize = 0;
    for (bool ended = false; !ended;) {
        const ChunkSpan headSpan = Overlap(0, head.Size(), offset, chunkBytes);
        std::memcpy(chunk.Data() + headSpan.offset, head.Data() + offset + headSpan.offset, headSpan.length);
        std::size_t length = headSpan.offset + headSpan.length, got = 0;
        if (const SourceStatus s = source.Read(chunk.Data() + length, chunkBytes - length, got); s != SourceStatus::ok)
            return finish(FromSourceStatus(s));
        dataSize += got;
        if (IsTooLargeToEncrypt(nameUnits, dataSize)) return finish(StreamFailure::tooLarge);
        length += got;
        if (length < chunkBytes) {
            // The end of the input: 1 to 8 zero bytes complete the last block.
            const std::size_t fill = 8 - length % 8;
            std::memset(chunk.Data() + length, 0, fill);
            length += fill;
            ended = true;
        }
        EncodeBlocksOnThreads(cipher, chunk.Data(), chunk.Data(), static_cast<std::uint32_t>(length),
                              AutomaticThreadCount(static_cast<std::uint32_t>(length)));
        if (const StreamFailure f = sink.Write(offset, chunk.Data(), length); f != StreamFailure::none)
            return finish(f);
        offset += length;
        if (task.progress) task.progress->Advance(got);
    }
    if (known && dataSize != *known) return finish(StreamFailure::inputChanged);
    if (const SourceStatus s = source.CheckUnchanged(); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    if (!known) {
        WriteRecordHead(head.Data(), task.storedName, static_cast<std::int32_t>(dataSize));
        cipher.EncodeBlocks(head.Data(), head.Data(), 8);
        if (const StreamFailure f = sink.WriteFirstBlock(head.Data()); f != StreamFailure::none) return finish(f);
    }
    return finish(sink.Finish(source.File(), task.outputPath, task.replaceExisting, chunkBytes));
}

StreamOutcome StreamDecryptInOrder(const DecryptTask& task, const CSecureBuffer& keyBytes)
{
    StreamOutcome outcome;
    COrderedSink sink;
    auto finish = [&outcome, &sink](StreamFailure failure) {
        // What went out before a later check failed must be thrown away by the reader.
        if (failure == StreamFailure::wrongKeyOrDamaged && sink.HasSent()) failure = StreamFailure::damagedAfterOutput;
        outcome.failure = failure;
        outcome.sentBeforeFailure = failure != StreamFailure::none && sink.HasSent();
        return outcome;
    };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);

    COrderedSource source;
    if (const SourceStatus s = source.Open(task.inputPath); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    const std::optional<std::uint64_t> known = source.Size();
    if (known && IsTooLargeToDecrypt(*known)) return finish(StreamFailure::tooLarge);
    if (known && !IsContainerLength(*known)) return finish(StreamFailure::wrongKeyOrDamaged);
    CBlowfishCipher cipher;
    cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));

    CSecureBuffer chunk(chunkBytes);
    CRecordReader record;
    bool opened = false;
    std::uint64_t offset = 0;
    for (bool ended = false; !ended;) {
        std::size_t length = 0;
        if (const SourceStatus s = source.Read(chunk.Data(), chunkBytes, length); s != SourceStatus::ok)
            return finish(FromSourceStatus(s));
        ended = length < chunkBytes;
        if (length % 8 != 0 || (offset == 0 && length == 0)) return finish(StreamFailure::wrongKeyOrDamaged);
        DecodeBlocksOnThreads(cipher, chunk.Data(), chunk.Data(), static_cast<std::uint32_t>(length),
                              AutomaticThreadCount(static_cast<std::uint32_t>(length)));
        if (offset == 0) {
            // Sizes that don't fit the input, or that the encrypt side never writes, settle a wrong key before
            // any output.
            std::optional<std::uint64_t> recordLength = known;
            if (!recordLength) recordLength = WrittenRecordLength(chunk.Data());
            if (!recordLength || !record.Begin(chunk.Data(), *recordLength))
                return finish(StreamFailure::wrongKeyOrDamaged);
            if (task.progress) task.progress->Begin(record.Layout().length);
        }
        const RecordLayout& layout = record.Layout();
        if (offset + length > layout.length || (ended && offset + length < layout.length))
            return finish(StreamFailure::wrongKeyOrDamaged);
        const ChunkSpan data = record.Take(chunk.Data(), offset, length);
        // The last chunk is looked at whole, and the input's end confirmed, before its bytes go out.
        if (offset + length == layout.length) {
            std::uint8_t more = 0;
            std::size_t extra = 0;
            if (const SourceStatus s = ended ? SourceStatus::ok : source.Read(&more, 1, extra); s != SourceStatus::ok)
                return finish(FromSourceStatus(s));
            if (extra != 0) return finish(StreamFailure::wrongKeyOrDamaged);
            if (!record.FillIsZero()) return finish(StreamFailure::wrongKeyOrDamaged);
            ended = true;
        }
        // The name precedes the file bytes, so it is whole before the first of them.
        if (!opened && offset + length >= layout.nameEnd) {
            if (!known && !record.IsWrittenName()) return finish(StreamFailure::wrongKeyOrDamaged);
            outcome.outputPath = task.chooseOutput(record.Name());
            if (outcome.outputPath.empty()) return finish(StreamFailure::noUsableName);
            const bool toFile = !WritesAsStream(outcome.outputPath);
            if (toFile && !task.replaceExisting && PathIsTaken(outcome.outputPath))
                return finish(StreamFailure::outputExists);
            if (const StreamFailure f = sink.Open(outcome.outputPath, false); f != StreamFailure::none)
                return finish(f);
            opened = true;
        }
        if (opened && data.length > 0) {
            const StreamFailure f =
                sink.Write(offset + data.offset - layout.nameEnd, chunk.Data() + data.offset, data.length);
            if (f != StreamFailure::none) return finish(f);
        }
        offset += length;
        if (task.progress) task.progress->Advance(length);
    }
    if (const SourceStatus s = source.CheckUnchanged(); s != SourceStatus::ok) return finish(FromSourceStatus(s));
    return finish(sink.Finish(source.File(), outcome.outputPath, task.replaceExisting, chunkBytes));
}

}  // namespace quorvane::cli
