// "Rename": a batch of frames gets one root name and a running number, so
// that series from different captures can be numbered in one sequence.
#pragma once

#include <cstddef>
#include <string>

#include "untMainState.h"
#include "untUiPort.h"

// The number text of the index-th file (from 0) of count files: plain "%d",
// or padded with zeros to the width of count when padded (count below 1000).
std::string RenameNumber(size_t index, size_t count, bool padded);

// Asks for the files, then for the root and style (AskRenameParms), and
// renames file i to folder + root + number + extension, where the folder is
// that of the first file and the extension is the file name's text from its
// first "." on (empty without a dot). A name that is taken is reported as
// "File [name] exists." and skipped; no file is ever overwritten, not even
// by one that appears between the check and the rename. A rename the file
// system refuses is reported and the batch goes on. Padded style with 1000
// or more files is refused before anything is renamed.
void RunRename(TMainState& state, TUiPort& port);
