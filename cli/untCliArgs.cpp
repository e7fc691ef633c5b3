#include "untCliArgs.h"

#include <sstream>

#include "untBatch.h"
#include "untBmpUtil.h"
#include "untFileNames.h"

const char* const kCliExitStatus =
    "Exit status: 0 when every file was processed, 1 when a file failed or the\n"
    "command was refused, 2 for a usage error, 130 after Ctrl-C and 143 after\n"
    "SIGTERM. Messages go to standard error. The first interrupt lets the file in\n"
    "hand finish and stops there, a second stops at once; no frame is left\n"
    "half-written either way.";

const char* const kCliOverwritesEachFrame =
    "WRITES THE RESULT OVER EACH INPUT FILE; work on copies. A frame that cannot\n"
    "be read or is refused is reported and left untouched, and the next one is\n"
    "processed.";

TCliCommand MakeCliCommand(std::string name, std::string summary, std::string synopsis, const std::string& description,
                           std::vector<TCliOption> options, TCliRun run) {
    options.push_back({"quiet", 'q', "", "no progress line: only warnings and errors"});
    return {std::move(name),    std::move(summary), std::move(synopsis), description + "\n\n" + kCliExitStatus,
            std::move(options), std::move(run)};
}

std::string TCliArgs::Value(const std::string& name, const std::string& fallback) const {
    auto it = values.find(name);
    return it == values.end() ? fallback : it->second;
}

namespace {

// The save rule would turn "" into a hidden ".bmp" and "sub/" into "sub/.bmp".
void CheckOutputName(const TCliArgs& args) {
    if (!args.Has("output")) return;
    const std::string out = args.Value("output");
    if (out.empty()) throw ECliUsage("the output file name is empty");
    if (out.back() == '/' || FolderExists(out) || FolderExists(ApplySaveExtension(out)))
        throw ECliUsage("the output must name a file, not a folder: " + out);
}

const TCliOption* FindLong(const TCliCommand& c, const std::string& name) {
    for (const auto& o : c.options)
        if (o.longName == name) return &o;
    return nullptr;
}

const TCliOption* FindShort(const TCliCommand& c, char name) {
    for (const auto& o : c.options)
        if (o.shortName != 0 && o.shortName == name) return &o;
    return nullptr;
}

}  // namespace

TCliArgs ParseCliArgs(const TCliCommand& command, int argc, char** argv, int first, bool* help) {
    TCliArgs args;
    *help = false;
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            args.files.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "--help" || a == "-h") {
            *help = true;
            return args;
        }
        const TCliOption* opt = nullptr;
        std::string value;
        bool hasInlineValue = false;
        if (a.rfind("--", 0) == 0) {
            std::string name = a.substr(2);
            auto eq = name.find('=');
            if (eq != std::string::npos) {
                value = name.substr(eq + 1);
                name = name.substr(0, eq);
                hasInlineValue = true;
            }
            opt = FindLong(command, name);
        } else if (a.size() == 2) {
            opt = FindShort(command, a[1]);
        }
        if (!opt) throw ECliUsage("unknown option '" + a + "'");
        if (opt->valueName.empty()) {
            if (hasInlineValue) throw ECliUsage("option '--" + opt->longName + "' takes no value");
            args.flags[opt->longName] = true;
            continue;
        }
        if (!hasInlineValue) {
            if (i + 1 >= argc) throw ECliUsage("option '" + a + "' needs a value (" + opt->valueName + ")");
            value = argv[++i];
        }
        if (args.values.count(opt->longName) && !opt->repeatable)
            throw ECliUsage("option '--" + opt->longName + "' given twice");
        args.values[opt->longName] = value;
        args.sequence.emplace_back(opt->longName, value);
    }
    CheckOutputName(args);
    return args;
}

std::string CommandHelp(const TCliCommand& c) {
    std::ostringstream s;
    s << "Usage: velmora-cli " << c.name << " " << c.synopsis << "\n\n" << c.description << "\n\nOptions:\n";
    for (const auto& o : c.options) {
        std::string left = "  ";
        left += o.shortName ? std::string("-") + o.shortName + ", " : std::string("    ");
        left += "--" + o.longName;
        if (!o.valueName.empty()) left += " " + o.valueName;
        if (left.size() < 26) left.resize(26, ' ');
        else left += "  ";
        s << left << o.help << "\n";
    }
    s << "  -h, --help              show this help and exit\n";
    return s.str();
}

std::string CliWholeNumber(const TCliArgs& args, const std::string& option, const std::string& fallback,
                           int32_t least, const std::string& meaning) {
    const std::string text = args.Value(option, fallback);
    int32_t value = 0;
    if (!ReadWholeNumber(text, &value) || value < least)
        throw ECliUsage("--" + option + " must be " + meaning + " (got '" + text + "')");
    return text;
}

bool ReferenceReadable(TCliPort& port, const std::string& path) {
    TOwnedBmpRecord probe;
    const uint32_t status = probe.Read(path);
    if (status == BMP_NO_ERROR) return true;
    port.ShowFileError(TrimRight(BmpErrorText(status)) + ": " + path, probe->systemError);
    return false;
}
