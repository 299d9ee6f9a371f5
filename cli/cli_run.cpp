#include "cli/cli_options.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <new>

#include "cipher/blowfish_cipher.h"
#include "cli/console.h"
#include "cli/key_input.h"
#include "cli/progress_line.h"
#include "stream/stream_jobs.h"
#include "container/container_record.h"
#include "container/naming.h"
#include "container/text_codec.h"
#include "jobs/platform_file.h"

namespace quorvane::cli {

namespace {

constexpr std::u16string_view kProgram = u"quorvane-cli: ";

void Report(std::u16string_view subject, std::u16string_view reason)
{
    std::u16string line(kProgram);
    if (!subject.empty()) line.append(subject).append(u": ");
    line.append(reason);
    WriteErrorLine(line);
}

// Indexed by KeyFailure; the assertion below catches a value added without its text.
constexpr std::u16string_view kKeyFailureTexts[] = {
    u"key failure",
    u"no terminal to ask for the key; give it with -k KEYFILE (or -k - for standard input)",
    u"is a terminal, which would show the key as it is typed; omit -k to be asked without echo",
    u"no key was entered",
    u"the two keys differ",
    u"empty key",
    u"the key is not valid UTF-8",
    u"the key line is longer than 65536 bytes",
    u"cannot read the key",
};
static_assert(std::size(kKeyFailureTexts) == std::size_t(KeyFailure::unreadable) + 1);

// Indexed by StreamFailure.
constexpr std::u16string_view kStreamFailureTexts[] = {
    u"failed",
    u"cannot open",
    u"not a regular file",
    u"cannot read",
    u"changed while it was being read",
    u"too large to be a container (2 GiB or more)",
    u"wrong key or damaged file",
    u"the container holds no usable file name; give one with -o",
    u"already exists; use -f to replace it",
    u"is an input of this run; not replaced",
    u"was written earlier in this run; not replaced",
    u"is a folder; give the output file's name with -o",
    u"file name too long for the file system; give the output file's name with -o",
    u"is another user's; not written",
    u"cannot create",
    u"cannot write the decrypted data",
    u"cannot move the finished output into place",
    u"was replaced by someone else after it was written; what stands there is not this run's output",
    u"closed by its reader before the end",
    u"stopped",
    u"cannot hold the container for standard output until its first block is known; make room there or set "
    u"TMPDIR to another folder",
};
static_assert(std::size(kStreamFailureTexts) == std::size_t(StreamFailure::spoolFailed) + 1);

std::u16string StreamFailureText(StreamFailure failure, bool encrypting)
{
    if (encrypting && failure == StreamFailure::nameTooLong)
        return u"file name too long for the file system; give a shorter one with -o";
    if (encrypting && failure == StreamFailure::writeOutput) return u"cannot write the encrypted data";
    return std::u16string(kStreamFailureTexts[std::size_t(failure)]);
}

bool IsStandard(std::u16string_view path)
{
    return path == kStandardStreamName;
}

// ": No such file or directory", the system's reason after a fixed text; nothing without one.
std::u16string Because(int systemError)
{
    return systemError == 0 ? std::u16string() : u": " + SystemErrorText(systemError);
}

// A name as the system gave it may hold bytes that are not UTF-8 (FromFsPath keeps them as U+DC80..U+DCFF):
// stored, each is U+FFFD. True when there was one.
bool ReplaceStrayBytes(std::u16string& name)
{
    bool any = false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] < 0xDC80 || name[i] > 0xDCFF || (i > 0 && IsHighSurrogate(name[i - 1]))) continue;
        name[i] = 0xFFFD;
        any = true;
    }
    return any;
}

// A list line without -0: controls escaped and the backslash doubled, so that each shown name is one name.
std::u16string ListedText(std::u16string_view text)
{
    std::u16string doubled;
    for (const char16_t unit : text) {
        if (unit == u'\\') doubled.push_back(u'\\');
        doubled.push_back(unit);
    }
    return EscapeControls(doubled);
}

// An input or a key file in a message.
std::u16string InputSubject(const std::u16string& path)
{
    return IsStandard(path) ? u"standard input" : path;
}

void ForgetTemporaryOutput() noexcept
{
    NoteTemporaryOutput({});
}

// An interrupt removes the temporary output; a reader of standard output that goes away fails the write.
constexpr SinkHooks kConsoleHooks{CreateNotedTemporary, ForgetTemporaryOutput, IgnoreClosedReaders};

// "2,147,483,631": a limit a reader takes in at a glance.
std::u16string GroupedNumber(std::uint64_t n)
{
    std::u16string digits;
    for (int count = 0; count == 0 || n > 0; ++count, n /= 10) {
        if (count > 0 && count % 3 == 0) digits.insert(digits.begin(), u',');
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
    }
    return digits;
}

// Too large to encrypt: the real limit for this name, which the record's 2 GiB shares with the file.
std::u16string TooLargeToEncryptText(std::size_t nameUnits)
{
    return u"too large: with its name, a container holds at most " +
           GroupedNumber(static_cast<std::uint64_t>(MaxFileBytes(static_cast<std::int64_t>(nameUnits)))) +
           u" bytes of a file";
}

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name)
{
    if (folder.empty()) return name;
    return FromFsPath(ToFsPath(folder) / ToFsPath(name));
}

class CRun {
public:
    explicit CRun(const CliOptions& options_) : options(options_) {}

    int Run()
    {
        const bool encrypting = options.command == CliCommand::encrypt;
        const bool listing = options.command == CliCommand::list;
        CSecureText keyText;
        if (const KeyFailure failure = ObtainKey(options.keyFile, encrypting, keyText); failure != KeyFailure::none) {
            const int error = failure == KeyFailure::unreadable ? LastSystemError() : 0;
            std::u16string text(kKeyFailureTexts[std::size_t(failure)]);
            if (failure == KeyFailure::unreadable && options.keyFile && !IsStandard(*options.keyFile)) text += u" file";
            // The key typed on the terminal goes without subject.
            Report(options.keyFile ? InputSubject(*options.keyFile) : u"", text + Because(error));
            const bool usage = failure == KeyFailure::noTerminal || failure == KeyFailure::echoingTerminal;
            return usage ? kExitUsage : kExitFailed;
        }
        const CSecureBuffer keyBytes = MakeKeyBytes(keyText.Text());

        const unsigned columns = StandardErrorColumns();
        // On a terminal the line first blanks whatever progress line stands there.
        const std::u16string blank = columns > 0 ? BlankLine(columns - 1) : std::u16string();
        for (const std::u16string& input : options.inputs)
            inputFiles.push_back(IsStandard(input) ? std::nullopt : IdentifyFile(ToFsPath(input)));
        for (std::size_t i = 0; i < options.inputs.size(); ++i) {
            const std::u16string& input = options.inputs[i];
            current = input;
            currentIndex = i;
            const std::u16string subject = InputSubject(input);
            NoteInterruptMessage(
                std::u16string(blank).append(kProgram).append(EscapeControls(subject)).append(u": interrupted\n"));
            CProgressLine progress(IsStandard(input) ? subject : FromFsPath(ToFsPath(input).filename()), columns);
            TakeSystemError();
            StreamOutcome outcome =
                encrypting ? Encrypt(input, keyBytes, progress) : Decrypt(input, keyBytes, progress);
            if (outcome.systemError == 0) outcome.systemError = TakeSystemError();
            progress.Clear();
            NoteInterruptMessage({});
            if (outcome.failure != StreamFailure::none) {
                const StreamFailure f = outcome.failure;
                const bool aboutOutput = outcome.Subject() == FailureSubject::output;
                std::u16string reason = encrypting && f == StreamFailure::tooLarge
                                            ? TooLargeToEncryptText(StoredName(input).size())
                                        : listing && f == StreamFailure::writeOutput ? u"cannot write the list"
                                                                                     : StreamFailureText(f, encrypting);
                reason += Because(outcome.systemError);
                if (f == StreamFailure::outputOfAnotherUser)
                    reason += u": " + ForeignOwnedObject(ToFsPath(outcome.outputPath)).value_or(u"gone since");
                // The reader of standard output must know that what it got is not the file.
                if (outcome.sentBeforeFailure && f != StreamFailure::outputClosed)
                    reason += u"; throw away the bytes already written to standard output";
                Report(outcome.Subject() == FailureSubject::spool ? SpoolFolder()
                       : !aboutOutput                             ? subject
                       : IsStandard(outcome.outputPath)           ? u"standard output"
                                                                  : outcome.outputPath,
                       reason);
                // A list tells every container; a check, with --keep-going.
                if ((!options.keepGoing && options.command != CliCommand::list) || aboutOutput) return kExitFailed;
                anyFailed = true;
                continue;
            }
            if (std::u16string stored = FileName(input); encrypting && ReplaceStrayBytes(stored))
                Report(subject,
                       u"note: the name is not UTF-8; each byte that is not was stored as U+FFFD (to store "
                       u"another name, encrypt from standard input with --name NAME)");
            if (const auto written =
                    WritesAsStream(outcome.outputPath) ? std::nullopt : IdentifyFile(ToFsPath(outcome.outputPath)))
                outputFiles.push_back(*written);
        }
        return anyFailed ? kExitFailed : kExitDone;
    }

    const std::u16string& Current() const { return current; }

private:
    std::u16string OutputFolder(const std::u16string& input) const
    {
        return options.directory ? *options.directory : FromFsPath(ToFsPath(input).parent_path());
    }

    // The input's name without folder, as the system has it; from standard input, the one given (or none).
    std::u16string FileName(const std::u16string& input) const
    {
        return IsStandard(input) ? options.name.value_or(u"") : StoredNameFor(input);
    }

    // The name as the window stores it: valid UTF-16.
    std::u16string StoredName(const std::u16string& input) const
    {
        std::u16string name = FileName(input);
        ReplaceStrayBytes(name);
        return name;
    }

    // A path that cannot take the output: a folder stands there, or its name is too long. With -f it could also
    // be a file that this run reads later, or one it wrote before: the same file as the file system sees it,
    // under any name. Only the input at hand may be replaced by its own output. Standard output always takes it.
    StreamFailure CheckOutput(const std::u16string& output) const
    {
        if (IsStandard(output)) return StreamFailure::none;
        const std::filesystem::path target = ToFsPath(output);
        // The file systems' limit, which a stored name keeps too: 255 bytes, or UTF-16 units on Windows.
        if (target.filename().native().size() > kMaxStoredNameUnits) return StreamFailure::nameTooLong;
        if (ForeignOwnedObject(target)) return StreamFailure::outputOfAnotherUser;
        const std::optional<FileIdentity> file = IdentifyFile(target);
        if (!file) return StreamFailure::none;
        if (file->folder) return StreamFailure::outputIsFolder;
        for (std::size_t i = 0; i < inputFiles.size(); ++i)
            if (i != currentIndex && inputFiles[i] == file) return StreamFailure::outputIsInput;
        if (std::find(outputFiles.begin(), outputFiles.end(), *file) != outputFiles.end())
            return StreamFailure::outputOfTheRun;
        return StreamFailure::none;
    }

    StreamOutcome Encrypt(const std::u16string& input, const CSecureBuffer& keyBytes, CProgressLine& progress) const
    {
        EncryptTask task;
        task.inputPath = input;
        task.progress = &progress;
        task.storedName = StoredName(input);
        // The output's name comes from the input's as it is, bytes that are not UTF-8 included.
        task.outputPath =
            options.output ? *options.output : JoinPath(OutputFolder(input), MakeContainerName(FileName(input)));
        task.replaceExisting = options.force;
        task.hooks = kConsoleHooks;
        if (const StreamFailure f = CheckOutput(task.outputPath); f != StreamFailure::none) return {f, task.outputPath};
        return IsStandard(input) || WritesAsStream(task.outputPath) ? StreamEncryptInOrder(task, keyBytes)
                                                                    : StreamEncryptFile(task, keyBytes);
    }

    // Decrypt, check and list; a list writes one line once the container's verdict is in: its path, file size and
    // stored name, controls escaped.
    StreamOutcome Decrypt(const std::u16string& input, const CSecureBuffer& keyBytes, CProgressLine& progress) const
    {
        const bool listing = options.command == CliCommand::list;
        DecryptTask task;
        task.inputPath = input;
        task.progress = &progress;
        task.replaceExisting = options.force;
        task.hooks = kConsoleHooks;
        task.discard = options.command != CliCommand::decrypt;
        std::int32_t dataSize = 0;
        std::u16string name;  // none gathered (longer than any file system takes) is shown empty
        task.named = [&](std::int32_t size, const std::optional<std::u16string>& stored) {
            dataSize = size;
            name = stored.value_or(u"");
        };
        task.chooseOutput = [&](const std::optional<std::u16string>& storedName) -> OutputChoice {
            if (options.output) return {*options.output, CheckOutput(*options.output)};
            // A container may come from anyone: its name must not lead into another folder.
            // A lone surrogate must not come out as a byte of its own (ToFsPath): it is U+FFFD there.
            std::u16string safe;
            if (storedName) Utf8ToUtf16(Utf16ToUtf8(MakeSafeFileName(*storedName)), safe);
            if (safe.empty() || safe.size() > kMaxStoredNameUnits) return {};
            const std::u16string path = JoinPath(OutputFolder(input), safe);
            return {path, CheckOutput(path)};
        };
        // A pipe can't skip the file bytes of a list: they are read through and thrown away.
        StreamOutcome outcome = IsStandard(input) || (options.output && WritesAsStream(*options.output))
                                    ? StreamDecryptInOrder(task, keyBytes)
                                : listing ? StreamListFile(task, keyBytes)
                                          : StreamDecryptFile(task, keyBytes);
        if (!listing || outcome.failure != StreamFailure::none) return outcome;
        // With -0 every field ends with NUL and is written as it is (a zero unit in the name, which no text
        // between NULs can carry, as U+FFFD); else a line of fields between tabs, each escaped.
        if (options.nulTerminated) std::replace(name.begin(), name.end(), u'\0', u'\uFFFD');
        const std::u16string size = Ascii(std::to_string(dataSize));
        const std::u16string line = options.nulTerminated
                                        ? input + u'\0' + size + u'\0' + name + u'\0'
                                        : ListedText(input) + u'\t' + size + u'\t' + ListedText(name) + u'\n';
        IgnoreClosedReaders();
        bool readerGone = false;
        if (!WriteOutputUnicode(line, readerGone))
            outcome = {readerGone ? StreamFailure::outputClosed : StreamFailure::writeOutput,
                       std::u16string(kStandardStreamName), false, LastSystemError()};
        return outcome;
    }

    const CliOptions& options;
    bool anyFailed = false;
    std::u16string current;
    std::size_t currentIndex = 0;
    std::vector<std::optional<FileIdentity>> inputFiles;  // none for standard input or a missing file
    std::vector<FileIdentity> outputFiles;                // written so far
};

}  // namespace

int RunCommandLine(const std::vector<std::u16string>& args) noexcept
{
    try {
        const ParsedCommandLine parsed = ParseCommandLine(args);
        if (!parsed.error.empty()) {
            Report({}, parsed.error + u" (see quorvane-cli --help)");
            return kExitUsage;
        }
        if (const CliCommand asked = parsed.options.command;
            asked == CliCommand::help || asked == CliCommand::version) {
            if (WriteOutputText(asked == CliCommand::help ? UsageText() : "quorvane-cli " QUORVANE_VERSION "\n"))
                return kExitDone;
            Report(u"standard output", u"cannot write the " +
                                           std::u16string(asked == CliCommand::help ? u"help" : u"version") +
                                           Because(LastSystemError()));
            return kExitFailed;
        }
        CliOptions options = parsed.options;
        // "-o /dev/stdout" writes into standard output as "-o -" does, never over it.
        if (options.output && NamesStandardOutput(ToFsPath(*options.output)))
            options.output = std::u16string(kStandardStreamName);
        if (options.output && IsStandard(*options.output) && IsTerminal(StandardOutput())) {
            Report(u"standard output", u"is a terminal; the output is binary: redirect it or give -o FILE");
            return kExitUsage;
        }
        CRun run(options);
        const CInterruptGuard guard;
        try {
            return run.Run();
        } catch (const std::bad_alloc&) {
            Report(run.Current(), u"out of memory");
        }
        return kExitFailed;
    } catch (const std::exception& e) {
        Report({}, Ascii(e.what()));
    } catch (...) {
        Report({}, u"unexpected failure");
    }
    return kExitFailed;
}

}  // namespace quorvane::cli
