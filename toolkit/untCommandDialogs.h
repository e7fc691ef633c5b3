// The questions that only one command asks, as against what every command
// needs of the platform (the interaction port, untUiPort.h). The window
// answers them with its own dialogs, velmora-cli from the command's options,
// and the tests' scripted port from queued answers. A command's new dialog is
// one method here and its answer in each of those three; the port stays as it is.
#pragma once

#include <string>
#include <utility>
#include <vector>

// What "Rename" asks: the root of the new names, and numbers padded with
// zeros to the width of the file count ("01".."12") instead of plain ones.
struct TRenameParms {
    std::string root;
    bool padded = false;
};

// Rows of (label, value), top row first.
using TResultRows = std::vector<std::pair<std::string, std::string>>;

class TCommandDialogs {
public:
    virtual ~TCommandDialogs() = default;

    // "Prescale" / "Manual": shows defaultText in the factor field and hands
    // back the field's text as it stands when the dialog closes, however it
    // closed. Reading a number from it is the command's business.
    virtual std::string AskPrescaleFactor(const std::string& defaultText) = 0;

    // "Rename": there is no cancel; hands back the root and the numbering
    // style as they stand when the dialog closes, however it closed.
    virtual TRenameParms AskRenameParms() = 0;

    // "Find High and Low": shows the rows until the user closes them.
    virtual void ShowResults(const TResultRows& rows) = 0;
};
