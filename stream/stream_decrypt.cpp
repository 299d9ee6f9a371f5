// Decrypting, from a file by offset on every processor, or in order from standard input or to a stream. Both
// drivers hand each chunk to the same coder; the record's rules are the container's reader's.
#include <algorithm>
#include <optional>

#include "cipher/blowfish_cipher.h"
#include "cipher/ecb_parallel.h"
#include "container/container_record.h"
#include "stream/stream_jobs.h"

namespace quorvane {

namespace {

// One container's chunks: each is deciphered in place and read into the record, its file bytes written at their
// place in the output. One alone in flight may take every processor for its blocks.
class CDecryptChunks {
public:
    explicit CDecryptChunks(const CSecureBuffer& keyBytes)
    {
        cipher.SetKey(keyBytes.Data(), static_cast<std::int32_t>(keyBytes.Size()));
    }

    void Decode(std::uint8_t* chunk, std::size_t length, bool alone) const
    {
        const auto n = static_cast<std::uint32_t>(length);
        // Among the workers one thread: they already keep every processor busy.
        DecodeBlocksOnThreads(cipher, chunk, chunk, n, alone ? AutomaticThreadCount(n) : 1);
    }

    // Once the output is open: the chunk's file bytes (Take from any thread, once the name is whole); without a
    // sink they go nowhere.
    StreamFailure Put(CSink* sink, const std::uint8_t* chunk, std::uint64_t offset, std::size_t length)
    {
        const ChunkSpan data = record.Take(chunk, offset, length);
        if (!sink || data.length == 0) return StreamFailure::none;
        return sink->Write(offset + data.offset - record.Layout().nameEnd, chunk + data.offset, data.length);
    }

    CRecordReader record;

private:
    CBlowfishCipher cipher;
};

// Once the name is whole: a check or a list is told of it, a decrypt opens the output the caller chooses for it.
StreamFailure OpenOutput(const DecryptTask& task, const CRecordReader& record, CSink& sink, std::u16string& path,
                         bool inOrder)
{
    if (task.discard) {
        if (task.named) task.named(record.Layout().dataSize, record.Name());
        return StreamFailure::none;
    }
    const OutputChoice choice = task.chooseOutput(record.Name());
    path = choice.path;
    if (choice.failure != StreamFailure::none) return choice.failure;
    if (path.empty()) return StreamFailure::noUsableName;
    return inOrder ? sink.Open(path, task.replaceExisting, false) : sink.OpenFile(path, task.replaceExisting);
}

StreamFailure OpenContainer(CSource& input, const std::u16string& path)
{
    const StreamFailure f = input.Open(path);
    return f != StreamFailure::none ? f : CheckContainerSize(input);
}

// `bytes` more done, unless the progress asks to stop.
StreamFailure Advanced(CStreamProgress* progress, std::uint64_t bytes)
{
    return !progress || progress->Advance(bytes) ? StreamFailure::none : StreamFailure::stopped;
}

}  // namespace

StreamFailure CheckContainerSize(const CSource& input)
{
    const std::optional<std::uint64_t> size = input.Size();
    if (size && IsTooLargeToDecrypt(*size)) return StreamFailure::tooLarge;
    return !size || IsContainerLength(*size) ? StreamFailure::none : StreamFailure::wrongKeyOrDamaged;
}

StreamOutcome StreamDecryptFile(const DecryptTask& task, const CSecureBuffer& keyBytes)
{
    CSource input;
    if (const StreamFailure f = OpenContainer(input, task.inputPath); f != StreamFailure::none) return {f};
    return StreamDecryptOpened(input, task, keyBytes);
}

StreamOutcome StreamDecryptOpened(CSource& input, const DecryptTask& task, const CSecureBuffer& keyBytes)
{
    std::u16string outputPath;
    const auto finish = [&outputPath](StreamFailure failure) { return StreamOutcome{failure, outputPath}; };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);
    const std::uint64_t size = *input.Size();

    CDecryptChunks chunks(keyBytes);
    const auto chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(chunkBytes, size));
    const auto lengthOf = [&](std::uint64_t index) {
        return static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, size - index * chunkSize));
    };
    const auto read = [&](std::uint64_t index, CSecureBuffer& chunk) {
        const StreamFailure f = input.ReadAt(index * chunkSize, chunk.Data(), lengthOf(index));
        if (f == StreamFailure::none) chunks.Decode(chunk.Data(), lengthOf(index), false);
        return f;
    };
    CSink sink(task.hooks);
    CSink* const out = task.discard ? nullptr : &sink;
    const auto put = [&](std::uint64_t index, const CSecureBuffer& chunk) {
        const StreamFailure f = chunks.Put(out, chunk.Data(), index * chunkSize, lengthOf(index));
        return f != StreamFailure::none ? f : Advanced(task.progress, lengthOf(index));
    };
    if (task.progress) task.progress->Begin(size);

    // The chunks up to the end of the stored name go one by one: the head
    // settles almost every wrong key before anything is written, and the name
    // decides where the output goes. Only the fill's bytes are checked later.
    std::uint64_t index = 0;
    {
        CSecureBuffer chunk(chunkSize);
        for (;; ++index) {
            if (const StreamFailure f = read(index, chunk); f != StreamFailure::none) return finish(f);
            if (index == 0 && !chunks.record.Begin(chunk.Data(), size)) return finish(StreamFailure::wrongKeyOrDamaged);
            chunks.record.Take(chunk.Data(), index * chunkSize, lengthOf(index));
            if (index * chunkSize + lengthOf(index) >= chunks.record.Layout().nameEnd) break;
            if (const StreamFailure f = Advanced(task.progress, lengthOf(index)); f != StreamFailure::none)
                return finish(f);
        }
        StreamFailure f = OpenOutput(task, chunks.record, sink, outputPath, false);
        if (f == StreamFailure::none) f = put(index, chunk);
        if (f != StreamFailure::none) return finish(f);
    }

    const StreamFailure failure = RunChunks(index + 1, size, chunkSize, [&](std::uint64_t i, CSecureBuffer& chunk) {
        const StreamFailure f = read(i, chunk);
        return f != StreamFailure::none ? f : put(i, chunk);
    });
    if (failure != StreamFailure::none) return finish(failure);
    if (const StreamFailure f = input.CheckUnchanged(); f != StreamFailure::none) return finish(f);
    // Leaving now drops the finished output: a record whose fill isn't zero was never written by us.
    if (!chunks.record.FillIsZero()) return finish(StreamFailure::wrongKeyOrDamaged);
    return finish(task.discard ? StreamFailure::none : sink.Finish(input, chunkBytes));
}

StreamOutcome StreamDecryptInOrder(const DecryptTask& task, const CSecureBuffer& keyBytes)
{
    StreamOutcome outcome;
    CSink sink(task.hooks);
    auto finish = [&outcome, &sink](StreamFailure failure) {
        // What went out before a later check failed must be thrown away by the reader.
        outcome.failure = failure;
        outcome.sentBeforeFailure = failure != StreamFailure::none && sink.HasSent();
        return outcome;
    };
    const std::size_t chunkBytes = CheckedChunkBytes(task.chunkBytes);

    CSource source;
    if (const StreamFailure f = OpenContainer(source, task.inputPath); f != StreamFailure::none) return finish(f);
    const std::optional<std::uint64_t> known = source.Size();
    CDecryptChunks chunks(keyBytes);
    CRecordReader& record = chunks.record;

    CSecureBuffer buffer(chunkBytes);
    std::uint8_t* chunk = buffer.Data();
    std::uint64_t offset = 0;
    bool opened = false;  // the output, or for a check the name handed over
    for (bool ended = false; !ended;) {
        std::size_t length = 0;
        if (const StreamFailure f = source.Read(chunk, chunkBytes, length); f != StreamFailure::none) return finish(f);
        ended = length < chunkBytes;
        if (length % 8 != 0 || (offset == 0 && length == 0)) return finish(StreamFailure::wrongKeyOrDamaged);
        chunks.Decode(chunk, length, true);
        if (offset == 0) {
            // Sizes that don't fit the input, or that the encrypt side never writes, settle a wrong key before
            // any output.
            const std::optional<std::uint64_t> recordLength = known ? known : WrittenRecordLength(chunk);
            if (!recordLength || !record.Begin(chunk, *recordLength)) return finish(StreamFailure::wrongKeyOrDamaged);
            if (task.progress) task.progress->Begin(*recordLength);
        }
        const RecordLayout& layout = record.Layout();
        if (offset + length > layout.length || (ended && offset + length < layout.length))
            return finish(StreamFailure::wrongKeyOrDamaged);
        record.Take(chunk, offset, length);
        // The last chunk is looked at whole, and the input's end confirmed, before its bytes go out.
        if (offset + length == layout.length) {
            std::uint8_t more = 0;
            std::size_t extra = 0;
            if (!ended)
                if (const StreamFailure f = source.Read(&more, 1, extra); f != StreamFailure::none) return finish(f);
            if (extra != 0 || !record.FillIsZero()) return finish(StreamFailure::wrongKeyOrDamaged);
            ended = true;
        }
        // The name precedes the file bytes, so it is whole before the first of them.
        if (!opened && offset + length >= layout.nameEnd) {
            if (!known && !record.IsWrittenName()) return finish(StreamFailure::wrongKeyOrDamaged);
            if (const StreamFailure f = OpenOutput(task, record, sink, outcome.outputPath, true);
                f != StreamFailure::none)
                return finish(f);
            opened = true;
        }
        if (opened)
            if (const StreamFailure f = chunks.Put(task.discard ? nullptr : &sink, chunk, offset, length);
                f != StreamFailure::none)
                return finish(f);
        offset += length;
        if (const StreamFailure f = Advanced(task.progress, length); f != StreamFailure::none) return finish(f);
    }
    if (const StreamFailure f = source.CheckUnchanged(); f != StreamFailure::none) return finish(f);
    return finish(task.discard ? StreamFailure::none : sink.Finish(source, chunkBytes));
}

StreamFailure ReadContainerHead(const CSource& input, const CSecureBuffer& keyBytes, ContainerHead& head)
{
    const std::uint64_t size = *input.Size();
    CDecryptChunks chunks(keyBytes);
    CRecordReader& record = chunks.record;
    // Each stretch is read and deciphered alone, in order, a few blocks at a time: every block stands alone, and
    // the longest name gathered takes many of them.
    CSecureBuffer buffer(4096);
    const auto take = [&](std::uint64_t from, std::uint64_t to) {
        for (std::uint64_t at = from; at < to; at += buffer.Size()) {
            const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.Size(), to - at));
            if (const StreamFailure f = input.ReadAt(at, buffer.Data(), length); f != StreamFailure::none) return f;
            chunks.Decode(buffer.Data(), length, true);
            if (at == 0 && !record.Begin(buffer.Data(), size)) return StreamFailure::wrongKeyOrDamaged;
            record.Take(buffer.Data(), at, length);
        }
        return StreamFailure::none;
    };
    if (const StreamFailure f = take(0, kRecordHeaderBytes); f != StreamFailure::none) return f;
    const RecordLayout layout = record.Layout();
    // The name's blocks, as far as a name is gathered; then the last block, which holds the whole fill (1 to 8 bytes
    // at the end of a record of whole blocks).
    const std::uint64_t gathered = kRecordHeaderBytes + 2 * CRecordReader::kMaxGatheredUnits;
    const std::uint64_t nameRead = (std::min<std::uint64_t>(layout.nameEnd, gathered) + 7) / 8 * 8;
    if (const StreamFailure f = take(kRecordHeaderBytes, nameRead); f != StreamFailure::none) return f;
    if (const StreamFailure f = take(std::max(nameRead, size - 8), size); f != StreamFailure::none) return f;
    if (const StreamFailure f = input.CheckUnchanged(); f != StreamFailure::none) return f;
    if (!record.FillIsZero()) return StreamFailure::wrongKeyOrDamaged;
    head = {layout.dataSize, record.Name()};
    return StreamFailure::none;
}

StreamOutcome StreamListFile(const DecryptTask& task, const CSecureBuffer& keyBytes)
{
    CSource input;
    ContainerHead head;
    StreamFailure f = OpenContainer(input, task.inputPath);
    if (f == StreamFailure::none) f = ReadContainerHead(input, keyBytes, head);
    if (f == StreamFailure::none && task.named) task.named(head.dataSize, head.storedName);
    return {f};
}

}  // namespace quorvane
