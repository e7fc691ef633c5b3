// Argument handling shared by every velmora-cli command.
#pragma once

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "untCliPort.h"
#include "untMainState.h"

struct TCliOption {
    std::string longName;   // without the dashes
    char shortName = 0;     // 0: none
    std::string valueName;  // empty: a flag without a value
    std::string help;
    bool repeatable = false;  // may be given more than once; see TCliArgs::sequence
};

struct TCliArgs {
    std::map<std::string, std::string> values;  // options with a value, by long name
    std::map<std::string, bool> flags;          // flags given
    std::vector<std::string> files;
    // Every option with a value as given, in command-line order, repeats
    // included (values keeps only the last of a repeatable option).
    std::vector<std::pair<std::string, std::string>> sequence;

    bool Has(const std::string& name) const { return values.count(name) || flags.count(name); }
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
};

// Thrown for a command line that does not make sense: exit status 2.
class ECliUsage : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TCliCommand {
    std::string name;
    std::string summary;      // one line for the program's --help
    std::string synopsis;     // the usage line after "velmora-cli NAME "
    std::string description;  // paragraphs for the command's --help
    std::vector<TCliOption> options;
    size_t minFiles = 1;
    std::function<void(const TCliArgs&, TCliPort&, TMainState&)> run;
};

// Parses argv[first..] for command; throws ECliUsage. Sets *help when --help was asked.
TCliArgs ParseCliArgs(const TCliCommand& command, int argc, char** argv, int first, bool* help);
std::string CommandHelp(const TCliCommand& command);
