#pragma once
// Encrypting and decrypting when the input or the output is "-", standard
// input or standard output: a pipe is read and written strictly in order, one
// chunk at a time, and its size may be known only at its end. The containers
// are byte for byte those of the file-to-file path.
#include "cipher/secure_memory.h"
#include "cli/stream_jobs.h"

namespace quorvane::cli {

// From a pipe, the first block (the sizes) comes last: an output file gets it
// at offset 0 before it is moved into place; standard output gets the whole
// container from a spool of ciphertext once it is complete.
StreamOutcome StreamEncryptInOrder(const EncryptTask& task, const CSecureBuffer& keyBytes);

// The head and the limits are checked before the first byte goes out, the fill
// and the length with the last chunk, before that chunk's bytes go out. Bytes
// of earlier chunks already sent to standard output can't be taken back:
// damagedAfterOutput says so.
StreamOutcome StreamDecryptInOrder(const DecryptTask& task, const CSecureBuffer& keyBytes);

}  // namespace quorvane::cli
