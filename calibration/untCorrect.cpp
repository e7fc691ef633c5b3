#include "untCorrect.h"

#include <memory>
#include <string>
#include <vector>

#include "untBatch.h"
#include "untBmpCopy.h"
#include "untCorrectKernels.h"

namespace {

const char* const kNoMemory = "Memory allocation failed";

bool SameGeometry(const BmpRecord& a, const BmpRecord& b) {
    return a.infoHeader->biWidth == b.infoHeader->biWidth && a.infoHeader->biHeight == b.infoHeader->biHeight &&
           a.infoHeader->biBitCount == b.infoHeader->biBitCount;
}

}  // namespace

// Every light frame is copied into one work record, corrected there and
// written from it. The work record was made with a grey palette, so that is
// the palette every output gets.
void CorrectWithReference(TMainState& state, TUiPort& port, const TReferenceCorrection& c) {
    TOwnedBmpRecord reference;
    TOwnedBmpRecord light;
    TOwnedBmpRecord work;
    TFileDialog& dlg = port.OpenDialog();

    dlg.Title = c.referenceTitle;
    if (!OpenFilesStep(state, port, ofFileMustExist)) return;
    if (dlg.Files.empty()) {
        port.SetStatus("Idle");
        return;
    }
    if (reference.Read(dlg.Files.front()) != BMP_NO_ERROR) {
        port.SetStatus("Idle");
        return;
    }

    auto refuse = [&](const std::string& text) {
        port.MessageBox(text, "Error", TMsgButtons::Ok);
        port.SetStatus("Idle");
    };
    if (RecordByteCount(*reference) == 0) return refuse("The " + c.referenceName + " holds no pixels");
    const TPreparedMap prepared = c.prepare(*reference);
    if (!prepared.refusal.empty()) return refuse(prepared.refusal);
    if (!prepared.map) return refuse(kNoMemory);

    if (work.Create(reference->infoHeader->biWidth, reference->infoHeader->biHeight, BmpBytesPerPixel(*reference)) !=
        BMP_NO_ERROR)
        return refuse(kNoMemory);

    dlg.Title = "Select Image Frames";
    if (!OpenFilesStep(state, port, ofAllowMultiSelect | ofFileMustExist)) {
        port.SetStatus("Idle");
        return;
    }
    const std::vector<std::string> files = dlg.Files;
    if (RefuseRepeatedFile(port, files) || RefuseReferenceAmong(port, c.referenceName, reference->fileName, files)) {
        port.SetStatus("Idle");
        return;
    }
    port.BeginBatch(files);
    for (size_t i = 0; i < files.size(); ++i) {
        const std::string& path = files[i];
        if (!BeginItem(port, i + 1, files.size(), c.statusPrefix + path, path)) break;
        port.BeginFile(path);
        if (light.Read(path) != BMP_NO_ERROR) {
            ReportFileError(port, light->status, light->systemError);
            continue;
        }
        // The map and the work record are sized for the reference: any other
        // frame would be corrected by the wrong bytes or overrun them.
        if (!SameGeometry(*light, *reference)) {
            port.MessageBox("All files must be the same size", "Error", TMsgButtons::Ok);
            light.Release();
            continue;
        }
        uint32_t status = CopyBmpRecord(*work, *light);
        if (status == BMP_NO_ERROR) status = c.apply(*work, prepared.map.get());
        if (status == BMP_NO_MEMORY) return refuse(kNoMemory);
        // The write replaces the file only when it is complete, so a failure
        // leaves the uncorrected frame in place; the user must hear of it.
        int reason = 0;
        if (status == BMP_NO_ERROR) {
            status = WriteBmpFile(work.get());
            reason = work->systemError;
            if (status == BMP_NO_ERROR) port.FileWritten(path);
        }
        if (status != BMP_NO_ERROR) ReportFileError(port, status, reason);
        light.Release();
    }
    port.SetStatus("Idle");
}
