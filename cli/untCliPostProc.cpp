#include "untCliPostProc.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "untBatch.h"
#include "untBitmap.h"
#include "untFileNames.h"
#include "untPostOps.h"

namespace {

struct TValueRule {
    const char* name;
    int32_t low, high;
};

struct TOpSyntax {
    const char* option;
    const char* valueName;
    std::vector<TValueRule> values;  // in command-line order
    TPostOperation (*make)(const std::vector<int32_t>& v);
};

// The ranges are the dialogs' spinner ranges: a script gets nothing the
// window could not have given.
const std::vector<TOpSyntax>& Syntaxes() {
    static const std::vector<TOpSyntax> syntaxes = {
        {"histogram", "LO,HI", {{"low", 0, 255}, {"high", 0, 255}},
         [](const std::vector<int32_t>& v) -> TPostOperation { return THistogramParms{v[0], v[1]}; }},
        {"ddp", "LO,HI,FUZZ", {{"low", 1, 255}, {"high", 1, 255}, {"fuzz", 0, 5}},
         [](const std::vector<int32_t>& v) -> TPostOperation { return TDDPParms{v[0], v[1], v[2]}; }},
        {"unsharp", "APERTURE,INTENSITY", {{"aperture", 1, 5}, {"intensity", 1, 100}},
         [](const std::vector<int32_t>& v) -> TPostOperation { return TUnsharpMaskParms{v[0], v[1]}; }},
    };
    return syntaxes;
}

std::string Describe(const TOpSyntax& s) {
    std::string d;
    for (const auto& v : s.values) {
        if (!d.empty()) d += ", ";
        d += std::string(v.name) + " " + std::to_string(v.low) + ".." + std::to_string(v.high);
    }
    return d;
}

// Whole numbers only, separated by commas: "1, 64" or "1,64," is a typing
// slip a script should hear about, not a guess.
bool ParseValues(const std::string& text, std::vector<int32_t>* out) {
    out->clear();
    size_t i = 0;
    while (true) {
        int64_t v = 0;
        const size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 6) v = v * 10 + (text[i++] - '0');
        if (i == start || (i < text.size() && text[i] >= '0' && text[i] <= '9')) return false;
        out->push_back(static_cast<int32_t>(v));
        if (i == text.size()) return true;
        if (text[i++] != ',') return false;
    }
}

// The operations of a process command line, in the order given; throws
// ECliUsage for a value that is malformed or outside its dialog's range.
std::vector<TPostOperation> ParsePostOperations(const std::vector<std::pair<std::string, std::string>>& sequence) {
    std::vector<TPostOperation> ops;
    for (const auto& [option, text] : sequence) {
        for (const auto& s : Syntaxes()) {
            if (option != s.option) continue;
            std::vector<int32_t> v;
            bool ok = ParseValues(text, &v) && v.size() == s.values.size();
            for (size_t k = 0; ok && k < v.size(); ++k) ok = v[k] >= s.values[k].low && v[k] <= s.values[k].high;
            if (!ok)
                throw ECliUsage("--" + option + " takes " + s.valueName + " (" + Describe(s) + "), got '" + text + "'");
            ops.push_back(s.make(v));
        }
    }
    return ops;
}

}  // namespace

TCliCommand CliProcess() {
    return MakeCliCommand(
        "process", "histogram modification, DDP and unsharp mask on one picture",
        "IN [--histogram LO,HI] [--ddp LO,HI,FUZZ] [--unsharp APERTURE,INTENSITY]... -o OUT",
        "Post-processes one picture as File / \"Process\" does and writes the result to\n"
        "OUT. The operations run in the order given, each as often as it is given,\n"
        "each on the result of the one before, exactly as \"Calculate\" then \"Ok\" in\n"
        "its dialog: the picture is taken as 24-bit colour, the operation runs, and\n"
        "the result is drawn back into the picture's own pixel format and palette\n"
        "(in a grey ramp, grey g is entry g; otherwise the nearest colour).\n\n"
        "  --histogram LO,HI        scale every byte by (HI - LO, in 8 bits) /\n"
        "                           (brightest - darkest byte); each 0..255; the\n"
        "                           dialog starts at 0,255\n"
        "  --ddp LO,HI,FUZZ         digital development (256 - LO) * X / (D + HI) + LO,\n"
        "                           D the mean within FUZZ pixels; LO 1..255, HI\n"
        "                           1..255, FUZZ 0..5; the dialog starts at 1,64,1\n"
        "  --unsharp APERTURE,INTENSITY\n"
        "                           subtract INTENSITY percent of the mean within\n"
        "                           APERTURE pixels, then lift the result so the\n"
        "                           brightest point keeps its value; APERTURE 1..5,\n"
        "                           INTENSITY 1..100; the dialog starts at 1,100\n\n"
        "With no operation the picture is written as it was loaded. OUT is written\n"
        "as a bitmap file in the picture's own pixel format and palette; when OUT\n"
        "has no dot anywhere in it, folders included, \".bmp\" is added. An existing\n"
        "OUT is replaced whole. IN is never changed: an OUT that names it is\n"
        "refused. A value outside its range is a usage error, and nothing is\n"
        "written.",
        {{"histogram", 0, "LO,HI", "histogram modification (low, high)", true},
         {"ddp", 0, "LO,HI,FUZZ", "digital development processing (low, high, fuzz)", true},
         {"unsharp", 0, "APERTURE,INTENSITY", "unsharp mask (aperture, intensity)", true},
         {"output", 'o', "OUT", "the file to write; \".bmp\" is added when OUT has no dot"}},
        [](const TCliArgs& args, TCliPort& port, TMainState&) {
            if (args.files.size() != 1) throw ECliUsage("process takes one picture");
            if (!args.Has("output")) throw ECliUsage("the output file is missing (-o OUT)");
            const std::vector<TPostOperation> ops = ParsePostOperations(args.sequence);
            const std::string out = ApplySaveExtension(args.Value("output"));
            if (RefuseOutputAmong(port, out, args.files)) return;
            TBitmap picture;
            picture.LoadFromFile(args.files[0]);
            for (const auto& op : ops) ApplyPostOperation(picture, op);
            picture.SaveToFile(out);
        });
}
