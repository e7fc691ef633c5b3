#include "untCliFindHighLow.h"

#include "untFindHighLow.h"

TCliCommand CliFindHighAndLow() {
    return MakeCliCommand(
        "find-high-low", "print a frame's highest, lowest and average byte", "FRAME",
        "Measures one 8-bit or 24-bit frame and prints three lines to standard\n"
        "output: \"Highest N\", \"Lowest N\" and \"Average N\", the average truncated\n"
        "to a whole number. In a 24-bit frame the blue, green and red bytes count\n"
        "alike. The file is not changed.",
        {}, [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            if (args.files.size() != 1) throw ECliUsage("find-high-low measures one frame");
            RunFindHighAndLow(state, port);
        });
}
