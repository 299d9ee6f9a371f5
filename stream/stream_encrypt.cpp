// Encrypting, from a file by offset on every processor, or in order from standard input or to a stream. Both
// drivers lay out the same record bytes chunk by chunk and hand each chunk to the same coder.
#include <algorithm>
#include <cstring>

#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"
#include "container/container_record.h"
#include "stream/stream_jobs.h"

namespace quorvane {

namespace {

// A chunk of the record: the head and the name come from here, the file bytes from the driver. Each chunk is
// enciphered in place and written at its offset; one alone in flight may take every processor for its blocks.
class CEncryptChunks {
public:
    CEncryptChunks(const EncryptTask& task, std::int32_t dataSize, const CSecureBuffer& keyBytes, CSink& sink_)
        : storedName(task.storedName),
          head(kRecordHeaderBytes + 2 * storedName.size()),
          sink(sink_),
          progress(task.progress)
    {
        WriteRecordHead(head.Data(), storedName, dataSize);
        cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    }

    // The head's bytes of the chunk at `offset`; the file bytes follow them.
    std::size_t PutHead(std::uint8_t* chunk, std::uint64_t offset, std::size_t length) const
    {
        const ChunkSpan span = Overlap(0, head.Size(), offset, length);
        std::memcpy(chunk + span.offset, head.Data() + offset + span.offset, span.length);
        return span.offset + span.length;
    }

    StreamFailure Put(std::uint8_t* chunk, std::uint64_t offset, std::size_t length, std::uint64_t fileBytes,
                      bool alone) const
    {
        const auto n = static_cast<std::uint32_t>(length);
        // Among the workers one thread: they already keep every processor busy.
        EncodeBlocksOnThreads(cipher, chunk, chunk, n, alone ? AutomaticThreadCount(n) : 1);
        if (const StreamFailure f = sink.Write(offset, chunk, length); f != StreamFailure::none) return f;
        return !progress || progress->Advance(fileBytes) ? StreamFailure::none : StreamFailure::stopped;
    }

    // The first block once the size is known at the end.
    StreamFailure PutFirstBlock(std::int32_t dataSize)
    {
        WriteRecordHead(head.Data(), storedName, dataSize);
        cipher.EncodeBlocks(head.Data(), head.Data(), 8);
        return sink.Write(0, head.Data(), 8);
    }

private:
    const std::u16string& storedName;
    CSecureBuffer head;
    CBlowfishCipher cipher;
    CSink& sink;
    CStreamProgress* const progress;
};

}  // namespace

StreamOutcome StreamEncryptFile(const EncryptTask& task, const CSecureBuffer& keyBytes)
{
    CSource input;
    if (const StreamFailure f = input.Open(task.inputPath); f != StreamFailure::none) return {f, task.outputPath};
    return StreamEncryptOpened(input, task, keyBytes);
}

StreamOutcome StreamEncryptOpened(CSource& input, const EncryptTask& task, const CSecureBuffer& keyBytes)
{
    const auto finish = [&task](StreamFailure failure) { return StreamOutcome{failure, task.outputPath}; };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);

    // Both limits are known before a byte is read.
    const std::uint64_t size = *input.Size();
    if (IsTooLargeToEncrypt(task.storedName.size(), size)) return finish(StreamFailure::tooLarge);
    const auto dataSize = static_cast<std::int32_t>(size);

    const RecordLayout layout = LayoutForWriting(task.storedName.size(), dataSize);
    CSink sink(task.hooks);
    if (const StreamFailure f = sink.OpenFile(task.outputPath, task.replaceExisting); f != StreamFailure::none)
        return finish(f);
    const CEncryptChunks chunks(task, dataSize, keyBytes, sink);
    const auto chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, layout.length));
    if (task.progress) task.progress->Begin(size);

    const StreamFailure failure =
        RunChunks(0, layout.length, chunkSize, [&](std::uint64_t index, CSecureBuffer& buffer) {
            const std::uint64_t offset = index * chunkSize;
            const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, layout.length - offset));
            std::uint8_t* chunk = buffer.Data();
            chunks.PutHead(chunk, offset, length);
            const ChunkSpan fill = Overlap(layout.dataEnd, layout.length, offset, length);
            std::memset(chunk + fill.offset, 0, fill.length);
            const ChunkSpan data = Overlap(layout.nameEnd, layout.dataEnd, offset, length);
            if (data.length > 0)
                if (const StreamFailure f =
                        input.ReadAt(offset + data.offset - layout.nameEnd, chunk + data.offset, data.length);
                    f != StreamFailure::none)
                    return f;
            return chunks.Put(chunk, offset, length, data.length, false);
        });
    if (failure != StreamFailure::none) return finish(failure);
    if (const StreamFailure f = input.CheckUnchanged(); f != StreamFailure::none) return finish(f);
    return finish(sink.Finish(input, chunkBytes));
}

StreamOutcome StreamEncryptInOrder(const EncryptTask& task, const CSecureBuffer& keyBytes)
{
    const auto finish = [&task](StreamFailure failure) { return StreamOutcome{failure, task.outputPath}; };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);
    const std::size_t nameUnits = task.storedName.size();

    CSource source;
    if (const StreamFailure f = source.Open(task.inputPath); f != StreamFailure::none) return finish(f);
    const std::optional<std::uint64_t> known = source.Size();
    if (known && IsTooLargeToEncrypt(nameUnits, *known)) return finish(StreamFailure::tooLarge);

    // Without a size the first block is a stand-in until the end.
    CSink sink(task.hooks);
    if (const StreamFailure f = sink.Open(task.outputPath, task.replaceExisting, !known); f != StreamFailure::none)
        return finish(f);
    CEncryptChunks chunks(task, static_cast<std::int32_t>(known.value_or(0)), keyBytes, sink);
    if (task.progress) task.progress->Begin(known.value_or(kUnknownTotal));
    CSecureBuffer buffer(chunkBytes);
    std::uint8_t* chunk = buffer.Data();
    std::uint64_t offset = 0, dataSize = 0;
    for (bool ended = false; !ended;) {
        std::size_t length = chunks.PutHead(chunk, offset, chunkBytes), got = 0;
        if (const StreamFailure f = source.Read(chunk + length, chunkBytes - length, got); f != StreamFailure::none)
            return finish(f);
        dataSize += got;
        if (IsTooLargeToEncrypt(nameUnits, dataSize)) return finish(StreamFailure::tooLarge);
        length += got;
        if (length < chunkBytes) {
            // The end of the input: 1 to 8 zero bytes complete the last block.
            const std::size_t fill = 8 - length % 8;
            std::memset(chunk + length, 0, fill);
            length += fill;
            ended = true;
        }
        if (const StreamFailure f = chunks.Put(chunk, offset, length, got, true); f != StreamFailure::none)
            return finish(f);
        offset += length;
    }
    if (known && dataSize != *known) return finish(StreamFailure::inputChanged);
    if (const StreamFailure f = source.CheckUnchanged(); f != StreamFailure::none) return finish(f);
    if (!known)
        if (const StreamFailure f = chunks.PutFirstBlock(static_cast<std::int32_t>(dataSize)); f != StreamFailure::none)
            return finish(f);
    return finish(sink.Finish(source, chunkBytes));
}

}  // namespace quorvane
