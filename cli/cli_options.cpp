#include "cli/cli_options.h"

#include <getopt.h>

#include <algorithm>
#include <optional>
#include <string_view>

#include "container/container_record.h"

namespace quorvane::cli {

namespace {

// --name, --version and --keep-going have no letter of their own; 'n', 'v' and 'g' stand for them here only.
const option kLongOptions[] = {{"key-file", required_argument, nullptr, 'k'},
                               {"output", required_argument, nullptr, 'o'},
                               {"directory", required_argument, nullptr, 'd'},
                               {"name", required_argument, nullptr, 'n'},
                               {"force", no_argument, nullptr, 'f'},
                               {"help", no_argument, nullptr, 'h'},
                               {"version", no_argument, nullptr, 'v'},
                               {"keep-going", no_argument, nullptr, 'g'},
                               {}};
// The leading "-" hands operands back in place: options may follow them, and POSIXLY_CORRECT changes nothing.
constexpr char kShortOptions[] = "-f0k:o:d:h";

class CParser {
public:
    explicit CParser(const std::vector<std::u16string>& args_) : args(args_), bytes{"quorvane-cli"}
    {
        // getopt needs only the ASCII syntax: any other unit stands as one byte, so offsets stay those of `args`.
        for (const std::u16string& arg : args) {
            std::string& text = bytes.emplace_back();
            for (const char16_t unit : arg) text += unit > 0 && unit < 0x80 ? char(unit) : '\x80';
        }
        for (std::string& text : bytes) argv.push_back(text.data());
        argv.push_back(nullptr);  // MinGW-w64 reads argv[argc] for a missing value
    }

    ParsedCommandLine Run()
    {
        if (args.empty()) return Fail(u"missing command: encrypt, decrypt, check or list");
        if (const std::optional<CliCommand> command = CommandNamed(args[0])) {
            result.options.command = *command;
        } else {
            Fail(u"unknown command '" + args[0] + u"': use encrypt, decrypt, check or list");
        }
        // --help and --version win over any fault, unless they are an option's value or follow "--".
        for (std::size_t from = 0; from < args.size();) from = Scan(from);
        if (asked) {
            result = {};
            result.options.command = *asked;
        }
        return asked || failed() ? result : Check();
    }

private:
    static std::optional<CliCommand> CommandNamed(std::u16string_view name)
    {
        if (name == u"encrypt") return CliCommand::encrypt;
        if (name == u"decrypt") return CliCommand::decrypt;
        if (name == u"check") return CliCommand::check;
        if (name == u"list") return CliCommand::list;
        return std::nullopt;
    }

    // Reads args[from...] with getopt started afresh. After an argument getopt refuses, or takes where the
    // exact names don't (an abbreviation, "-fh"), reading goes on from the next argument: returns its index.
    std::size_t Scan(std::size_t from)
    {
        char* const* const v = argv.data() + from;  // v[k] is args[from + k - 1]; v[0] stands for the program
        optind = 0;                                 // a full reset in glibc and in MinGW-w64 alike
        opterr = 0;
        for (;;) {
            const int at = std::max(optind, 1);  // the argument this call reads
            int longIndex = -1;
            const int letter = getopt_long(int(args.size() - from) + 1, v, kShortOptions, kLongOptions, &longIndex);
            if (letter == -1) break;
            const std::u16string& given = args[from + at - 1];
            if (letter == 1) {
                if (from + at > 1 && !failed()) result.options.inputs.push_back(given);
                continue;
            }
            const std::u16string shown =
                longIndex >= 0 ? given.substr(0, given.find(u'=')) : std::u16string{u'-', char16_t(letter)};
            const std::string_view name = v[at] + 2;  // a long option as given; its full name only is taken
            const bool exact = longIndex >= 0 ? name.substr(0, name.find('=')) == kLongOptions[longIndex].name
                                              : letter != 'h' || given == shown;
            // -0 and --keep-going are unknown to the commands they aren't for.
            const CliCommand command = result.options.command;
            const bool foreign =
                (letter == '0' && command != CliCommand::list) || (letter == 'g' && command != CliCommand::check);
            if (!exact || foreign || std::string_view("f0gkodnhv").find(char(letter)) == std::string_view::npos) {
                Refused(given);
                return from + at;
            }
            if (letter == 'h' || letter == 'v') {
                asked = letter == 'h' ? CliCommand::help : CliCommand::version;
                return args.size();
            }
            if (failed()) continue;
            if (letter == 'f' || letter == '0' || letter == 'g') {
                bool& flag = letter == 'f'   ? result.options.force
                             : letter == '0' ? result.options.nulTerminated
                                             : result.options.keepGoing;
                flag = true;
            } else {
                // The value is the rest of its argument, or the next argument whatever it begins with.
                Apply(letter, args[from + optind - 2].substr(optarg - v[optind - 1]), shown);
            }
        }
        if (!failed())
            result.options.inputs.insert(result.options.inputs.end(), args.begin() + (from + optind - 1), args.end());
        return args.size();
    }

    bool failed() const { return !result.error.empty(); }

    // The first fault is the one told.
    ParsedCommandLine Fail(std::u16string error)
    {
        if (!failed()) result.error = std::move(error);
        return result;
    }

    // What getopt refused in `given`, told by the first letter or the name at fault.
    void Refused(const std::u16string& given)
    {
        const bool isLong = given.rfind(u"--", 0) == 0;
        // A refused cluster may begin with this command's letters that take no value.
        const char16_t* flags = result.options.command == CliCommand::list ? u"f0" : u"f";
        const std::u16string name =
            isLong ? given.substr(0, given.find(u'=')) : std::u16string{u'-', given[given.find_first_not_of(flags, 1)]};
        if (name == u"--force" || (name == u"--keep-going" && result.options.command == CliCommand::check)) {
            Fail(u"option '" + name + u"' takes no value");
        } else if (name == u"--key-file" || name == u"--output" || name == u"--directory" || name == u"--name" ||
                   name == u"-k" || name == u"-o" || name == u"-d") {
            Fail(u"option '" + name + u"' needs a value");
        } else {
            Fail(u"unknown option '" + (isLong ? given : name) + u"'");
        }
    }

    void Apply(int letter, const std::u16string& value, const std::u16string& shown)
    {
        CliOptions& o = result.options;
        std::optional<std::u16string>& slot = letter == 'k'   ? o.keyFile
                                              : letter == 'o' ? o.output
                                              : letter == 'n' ? o.name
                                                              : o.directory;
        if (slot) {
            Fail(u"option '" + shown + u"' given twice");
        } else if (value.empty()) {
            Fail(u"option '" + shown + u"' needs a non-empty value");
        } else {
            slot = value;
        }
    }

    ParsedCommandLine Check()
    {
        const CliOptions& o = result.options;
        const bool fromInput = std::find(o.inputs.begin(), o.inputs.end(), kStandardStreamName) != o.inputs.end();
        const bool reading = o.command == CliCommand::check || o.command == CliCommand::list;
        // args[0] is the command's name.
        if (o.inputs.empty())
            return Fail((o.command == CliCommand::encrypt ? u"no FILE to " : u"no CONTAINER to ") + args[0]);
        // Check and list write nothing: an output has no place there.
        if (reading && (o.output || o.directory || o.force))
            return Fail(std::u16string(o.output      ? u"-o"
                                       : o.directory ? u"-d"
                                                     : u"-f") +
                        u" is for encrypt and decrypt");
        if (o.output && o.directory) return Fail(u"-o and -d can't be used together");
        if (o.output && o.inputs.size() > 1) return Fail(u"-o takes a single input; use -d for several");
        if (fromInput && o.inputs.size() > 1) return Fail(u"standard input (-) must be the only input");
        // Standard input carries the data, so the key comes from a file.
        if (fromInput && !o.keyFile) return Fail(u"reading standard input (-) needs the key from -k KEYFILE");
        if (fromInput && *o.keyFile == kStandardStreamName)
            return Fail(u"standard input (-) can't carry both the key and the data; give the key with -k KEYFILE");
        if (o.name && (o.command != CliCommand::encrypt || !fromInput))
            return Fail(u"--name is for encrypting standard input (-)");
        if (o.name && o.name->find_first_of(u"/\\") != std::u16string::npos)
            return Fail(u"--name takes a file name without folder");
        if (o.name && o.name->size() > kMaxStoredNameUnits)
            return Fail(u"--name takes at most 255 UTF-16 units: no file system takes a longer file name");
        if (fromInput && o.command == CliCommand::encrypt && !o.output && !o.name)
            return Fail(u"encrypting standard input (-) needs -o OUT or --name NAME");
        return result;
    }

    const std::vector<std::u16string>& args;
    std::vector<std::string> bytes;  // args as getopt reads them
    std::vector<char*> argv;
    ParsedCommandLine result;
    std::optional<CliCommand> asked;  // --help or --version
};

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::u16string>& args)
{
    return CParser(args).Run();
}

const char* UsageText()
{
    return "Usage: quorvane-cli encrypt [-k KEYFILE] [-o OUT | -d DIR] [-f] FILE...\n"
           "       quorvane-cli encrypt -k KEYFILE [--name NAME] [-o OUT | -d DIR] [-f] -\n"
           "       quorvane-cli decrypt [-k KEYFILE] [-o OUT | -d DIR] [-f] CONTAINER...\n"
           "       quorvane-cli check [-k KEYFILE] [--keep-going] CONTAINER...\n"
           "       quorvane-cli list [-k KEYFILE] [-0] CONTAINER...\n"
           "       quorvane-cli --help | --version\n"
           "\n"
           "Encrypts files into Quorvane containers and decrypts containers, byte for\n"
           "byte as the Quorvane window does. check decrypts and writes nothing: it tells\n"
           "whether the key opens each container. list prints a line per container:\n"
           "its path, a tab, the file's size in bytes, a tab, the stored name.\n"
           "\n"
           "  -k, --key-file KEYFILE  the key is the first line of KEYFILE (UTF-8);\n"
           "                          \"-\" reads it from standard input (not from a\n"
           "                          terminal). Without -k the key is asked on the\n"
           "                          terminal without echo.\n"
           "  -o, --output OUT        write the result to OUT (a single input only);\n"
           "                          \"-\" writes it to standard output\n"
           "  -d, --directory DIR     write the results into DIR\n"
           "                          (default: the folder of each input)\n"
           "  -f, --force             replace outputs that exist\n"
           "      --name NAME         the file name stored when encrypting standard input\n"
           "                          (without it none is stored: decrypting needs -o)\n"
           "      --keep-going        check: go on after a container that fails\n"
           "  -0                      list: end each field with NUL and escape nothing\n"
           "      --help              show this help\n"
           "      --version           show the version\n"
           "\n"
           "An option's value is the next argument even when it begins with \"-\"\n"
           "(\"-o --help\" writes to a file named --help). After \"--\" every argument\n"
           "is an input, and \"-\" is still standard input (write ./- for a file named -).\n"
           "An input of \"-\" is standard input: the only input, with the key from -k.\n"
           "Output names: encrypt replaces the file's extension with \".dat\" (or appends\n"
           "it); decrypt uses the file name stored in the container.\n"
           "Decrypting to standard output, the last block is checked before its bytes go\n"
           "out; if a check fails after earlier bytes went out (exit status 1), throw\n"
           "those bytes away.\n"
           "Files are processed in order; the run stops at the first failure (check\n"
           "with --keep-going, and list, go on and tell each failure).\n"
           "Exit status: 0 all done, 1 a file failed, 2 wrong usage.\n";
}

}  // namespace quorvane::cli
