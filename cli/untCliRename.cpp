#include "untCliRename.h"

#include "untRename.h"

TCliCommand CliRename() {
    return MakeCliCommand(
        "rename", "rename frames into one numbered series", "[--root NAME] [--padded] FRAME...",
        "Renames the frames, in the order given, to NAME followed by 1, 2, 3...\n"
        "and each file's own extension (its file name from the first dot on), in\n"
        "the folder of the first FRAME. With --padded the numbers are padded with\n"
        "zeros to the width of the count (01..12, 001..150); padding is refused for\n"
        "1000 frames or more, before any file is renamed. Without --root the new\n"
        "names are the numbers alone. A name that is already taken is reported\n"
        "and that frame keeps its name; no file is ever overwritten. The files'\n"
        "contents are not changed.",
        {{"root", 0, "NAME", "the start of every new name (default: empty)"},
         {"padded", 0, "", "pad the numbers with zeros to the width of the count"}},
        [](const TCliArgs& args, TCliPort& port, TMainState& state) {
            port.dialogs.renameParms = {args.Value("root"), args.Has("padded")};
            RunRename(state, port);
        });
}
