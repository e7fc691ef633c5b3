// What every velmora-cli command shares: its description and the one way to
// make it, argument handling, and the checks several commands make.
#pragma once

#include <cstdint>
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

// Runs a command once its line is parsed and its files (at least one, all
// existing) answer the open dialog; throws ECliUsage for what the parser
// cannot see.
using TCliRun = std::function<void(const TCliArgs&, TCliPort&, TMainState&)>;

struct TCliCommand {
    std::string name;
    std::string summary;      // one line for the program's --help
    std::string synopsis;     // the usage line after "velmora-cli NAME "
    std::string description;  // paragraphs for the command's --help
    std::vector<TCliOption> options;
    TCliRun run;
    // A command that has something to do without files (stack continues
    // from its state file).
    bool filesOptional = false;
};

// How the exit status is told, in the program's help and every command's.
extern const char* const kCliExitStatus;
// What the help of every command that writes over its frames file by file says.
extern const char* const kCliOverwritesEachFrame;

// Every command is made here: the exit-status text closes its help.
TCliCommand MakeCliCommand(std::string name, std::string summary, std::string synopsis, const std::string& description,
                           std::vector<TCliOption> options, TCliRun run);

// Parses argv[first..] for command; throws ECliUsage. Sets *help when --help was asked.
TCliArgs ParseCliArgs(const TCliCommand& command, int argc, char** argv, int first, bool* help);
std::string CommandHelp(const TCliCommand& command);

// The text of a whole-number option (fallback when it is not given), after
// checking it is one of at least least. The window's prompt turns any text
// it cannot read into 2; a script gets a usage error naming the meaning
// instead of a silent default.
std::string CliWholeNumber(const TCliArgs& args, const std::string& option, const std::string& fallback,
                           int32_t least, const std::string& meaning);

// Reads the reference frame (a dark or a flat) once: the window ends quietly
// on a reference it cannot read, a script must learn that nothing was done.
// False after the error message naming it.
bool ReferenceReadable(TCliPort& port, const std::string& path);
