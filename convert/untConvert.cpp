#include "untConvert.h"

#include <sys/stat.h>

#include <string>

#include "untBatch.h"
#include "untConvertKernels.h"
#include "untFits.h"

namespace {

TPerFileCommand ConversionCommand() {
    TPerFileCommand command;
    command.verb = "Converting ";
    command.processMessages = false;
    command.processAfterFile = true;  // not for a file that could not be read
    return command;
}

// A bitmap whose own name already ends in ".fts" would have its FITS copy
// written over it.
bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

struct TFitsGuard {
    FitsRecord& fits;
    ~TFitsGuard() { FreeFitsRecord(&fits); }
};

}  // namespace

void RunToFits(TMainState& state, TUiPort& port) {
    TPerFileCommand command = ConversionCommand();
    command.writeBack = false;  // the bitmap stays as it is
    command.operation = [&port](BmpRecord& record) {
        FitsRecord fits;
        TFitsGuard guard{fits};
        uint32_t code = PrepareFits(&record, &fits);
        if (code == BMP_NO_ERROR && SameFile(fits.fileName, record.fileName)) {
            port.MessageBox("Cannot write " + fits.fileName + ": it is the frame being converted.", "Error",
                            TMsgButtons::Ok);
            return true;
        }
        if (code == BMP_NO_ERROR) code = WriteFits(&fits);
        if (code == BMP_NO_ERROR)
            port.FileWritten(record.fileName);
        else
            ReportFileError(port, code, fits.systemError);
        return true;
    };
    RunPerFileCommand(state, port, command);
}

void RunToGrayscale(TMainState& state, TUiPort& port) {
    TPerFileCommand command = ConversionCommand();
    command.operation = [&port](BmpRecord& record) {
        const uint32_t code = ConvertToGrayscale(&record);
        if (code == BMP_NO_ERROR) return true;
        port.MessageBox(BmpErrorText(code), "Warning", TMsgButtons::Ok);
        return false;
    };
    RunPerFileCommand(state, port, command);
}
