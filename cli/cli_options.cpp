#include "cli/cli_options.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "container/container_record.h"

namespace quorvane::cli {

namespace {

struct LongOption {
    std::u16string_view name;
    char16_t letter;
};
// --name has no letter of its own; 'n' stands for it here only.
constexpr LongOption kLongOptions[] = {
    {u"key-file", u'k'}, {u"output", u'o'}, {u"directory", u'd'}, {u"force", u'f'}, {u"name", u'n'}};

bool TakesValue(char16_t letter)
{
    return letter == u'k' || letter == u'o' || letter == u'd' || letter == u'n';
}

// True when `arg` is an option whose value is the next argument, which is then never read as an option.
bool TakesNextArgument(std::u16string_view arg)
{
    if (arg.size() < 2 || arg[0] != u'-') return false;
    if (arg[1] == u'-') {
        const std::u16string_view name = arg.substr(2);
        return std::any_of(std::begin(kLongOptions), std::end(kLongOptions), [name](const LongOption& option) {
            return option.name == name && TakesValue(option.letter);
        });
    }
    for (std::size_t k = 1; k < arg.size(); ++k) {
        if (arg[k] == u'f') continue;
        return TakesValue(arg[k]) && arg[k] != u'n' && k + 1 == arg.size();
    }
    return false;
}

class CParser {
public:
    explicit CParser(const std::vector<std::u16string>& args_) : args(args_) {}

    ParsedCommandLine Run()
    {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::u16string& arg = args[i];
            if (arg == u"--") break;
            if (arg == u"--help" || arg == u"-h") return Done(CliCommand::help);
            if (arg == u"--version") return Done(CliCommand::version);
            if (TakesNextArgument(arg)) ++i;
        }
        if (args.empty()) return Fail(u"missing command: encrypt or decrypt");
        if (args[0] == u"encrypt") {
            result.options.command = CliCommand::encrypt;
        } else if (args[0] == u"decrypt") {
            result.options.command = CliCommand::decrypt;
        } else {
            return Fail(u"unknown command '" + args[0] + u"': use encrypt or decrypt");
        }

        bool optionsEnded = false;
        for (next = 1; next < args.size();) {
            const std::u16string& arg = args[next++];
            if (optionsEnded || arg.size() < 2 || arg[0] != u'-') {
                result.options.inputs.push_back(arg);
            } else if (arg == u"--") {
                optionsEnded = true;
            } else if (arg[1] == u'-') {
                if (!LongArgument(arg)) return result;
            } else if (!ShortArguments(arg)) {
                return result;
            }
        }
        return Check();
    }

private:
    ParsedCommandLine Done(CliCommand command)
    {
        result.options.command = command;
        result.ok = true;
        return result;
    }

    bool Error(std::u16string error)
    {
        result.ok = false;
        result.error = std::move(error);
        return false;
    }

    ParsedCommandLine Fail(std::u16string error)
    {
        Error(std::move(error));
        return result;
    }

    bool LongArgument(const std::u16string& arg)
    {
        const auto equals = arg.find(u'=');
        const std::u16string_view name = std::u16string_view(arg).substr(2, equals == arg.npos ? arg.npos : equals - 2);
        for (const LongOption& option : kLongOptions) {
            if (option.name != name) continue;
            const std::u16string shown = u"--" + std::u16string(name);
            if (!TakesValue(option.letter)) {
                if (equals != arg.npos) return Error(u"option '" + shown + u"' takes no value");
                return Apply(option.letter, {}, shown);
            }
            if (equals != arg.npos) return Apply(option.letter, arg.substr(equals + 1), shown);
            if (next == args.size()) return Error(u"option '" + shown + u"' needs a value");
            return Apply(option.letter, args[next++], shown);
        }
        return Error(u"unknown option '" + arg + u"'");
    }

    // "-f", "-k KEY", "-kKEY", and bundles such as "-fo OUT".
    bool ShortArguments(const std::u16string& arg)
    {
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const char16_t letter = arg[k];
            const std::u16string shown = std::u16string(u"-") + letter;
            if (letter == u'f') {
                Apply(letter, {}, shown);
            } else if (TakesValue(letter) && letter != u'n') {
                if (k + 1 < arg.size()) return Apply(letter, arg.substr(k + 1), shown);
                if (next == args.size()) return Error(u"option '" + shown + u"' needs a value");
                return Apply(letter, args[next++], shown);
            } else {
                return Error(u"unknown option '" + shown + u"'");
            }
        }
        return true;
    }

    bool Apply(char16_t letter, const std::u16string& value, const std::u16string& shown)
    {
        CliOptions& o = result.options;
        if (letter == u'f') {
            o.force = true;
            return true;
        }
        std::optional<std::u16string>& slot = letter == u'k'   ? o.keyFile
                                              : letter == u'o' ? o.output
                                              : letter == u'n' ? o.name
                                                               : o.directory;
        if (slot) return Error(u"option '" + shown + u"' given twice");
        if (value.empty()) return Error(u"option '" + shown + u"' needs a non-empty value");
        slot = value;
        return true;
    }

    ParsedCommandLine Check()
    {
        const CliOptions& o = result.options;
        if (o.inputs.empty())
            return Fail(o.command == CliCommand::encrypt ? u"no FILE to encrypt" : u"no CONTAINER to decrypt");
        if (o.output && o.directory) return Fail(u"-o and -d can't be used together");
        if (o.output && o.inputs.size() > 1) return Fail(u"-o takes a single input; use -d for several");
        if (const auto r = CheckStandardStreams(); !r.ok) return r;
        result.ok = true;
        return result;
    }

    ParsedCommandLine CheckStandardStreams()
    {
        const CliOptions& o = result.options;
        const bool fromInput = std::find(o.inputs.begin(), o.inputs.end(), kStandardStreamName) != o.inputs.end();
        result.ok = true;
        if (fromInput && o.inputs.size() > 1) return Fail(u"standard input (-) must be the only input");
        // Standard input carries the data, so the key comes from a file.
        if (fromInput && (!o.keyFile || *o.keyFile == kStandardStreamName))
            return Fail(u"reading standard input (-) needs the key from -k KEYFILE");
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
    std::size_t next = 1;
    ParsedCommandLine result;
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
           "       quorvane-cli --help | --version\n"
           "\n"
           "Encrypts files into Quorvane containers and decrypts containers, byte for\n"
           "byte as the Quorvane window does.\n"
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
           "Files are processed in order; the run stops at the first failure.\n"
           "Exit status: 0 all done, 1 a file failed, 2 wrong usage.\n";
}

}  // namespace quorvane::cli
