#pragma once
// Standard input and output as the data of a run ("-"), always in binary, and
// the spool file that holds a container until its first block can be written.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "cli/positional_file.h"

namespace quorvane::cli {

// Puts /dev/null, opened the other way, on a closed descriptor 0, 1 or 2: a file
// opened later can't take one of them, and using a closed one still fails.
// Nothing to do on Windows, where no file takes a standard handle's place.
void OccupyClosedStandardDescriptors() noexcept;

// True when the path names the file that standard output is (as /dev/stdout does): it is written as "-".
bool NamesStandardOutput(const std::filesystem::path& path);

// True when standard output is a terminal (a console on Windows): binary output has no place there.
bool StandardOutputIsTerminal();

enum class PipeStatus {
    ok,
    failed,
    closed,  // the reader of standard output went away
};

class CStandardInput {
public:
    CStandardInput();  // switches standard input to binary
    CStandardInput(const CStandardInput&) = delete;
    CStandardInput& operator=(const CStandardInput&) = delete;

    // The bytes left when standard input is a regular file (a redirection); none for a pipe.
    std::optional<std::uint64_t> KnownSize() const;
    // Up to `length` bytes, fewer only at the end of the input; the count, or none on an error.
    std::optional<std::size_t> Read(std::uint8_t* buffer, std::size_t length);
};

class CStandardOutput {
public:
    // Switches standard output to binary; a reader that goes away then makes a
    // write fail (closed) instead of ending the process by SIGPIPE.
    CStandardOutput();
    ~CStandardOutput();
    CStandardOutput(const CStandardOutput&) = delete;
    CStandardOutput& operator=(const CStandardOutput&) = delete;

    // Writes into a character device or a FIFO instead, opened as a shell's ">" opens it (POSIX).
    bool OpenDestination(const std::filesystem::path& path);

    PipeStatus Write(const std::uint8_t* data, std::size_t length);

private:
    NativeFile destination = -1;  // when one was opened
};

// A temporary file without a name, or one the system deletes when it is
// closed: nothing of it is left behind, whatever ends the process.
class CSpoolFile {
public:
    CSpoolFile() = default;
    ~CSpoolFile();
    CSpoolFile(const CSpoolFile&) = delete;
    CSpoolFile& operator=(const CSpoolFile&) = delete;

    bool Create();
    // Where Create makes it: TMPDIR (else /tmp), or the Windows temporary folder.
    static std::u16string Folder();
    bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t length) const;
    bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t length) const;

private:
    NativeFile file = -1;
};

}  // namespace quorvane::cli
