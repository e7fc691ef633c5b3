#include "untCorrect.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "untBatch.h"
#include "untBmpCopy.h"
#include "untCorrectKernels.h"

namespace {

const char* const kNoMemory = "Memory allocation failed";

// A per-byte map made from the reference, or the reason it was refused.
struct TPreparedMap {
    std::unique_ptr<double[]> map;  // null with no refusal: out of memory
    std::string refusal;
};

// What sets one reference correction apart from the others.
struct TReferenceCorrection {
    std::string referenceTitle;
    std::string statusPrefix;
    std::string referenceName;  // how a refusal names the reference
    std::function<TPreparedMap(const BmpRecord&)> prepare;
    // Corrects a frame in place; BMP_NO_MEMORY ends the command.
    std::function<uint32_t(BmpRecord&, const double*)> apply;
};

struct TRecordGuard {
    BmpRecord& record;
    ~TRecordGuard() { FreeBmpBuffers(record); }
};

struct TRecordDeleter {
    void operator()(BmpRecord* r) const {
        FreeBmpBuffers(r);
        delete r;
    }
};

bool SameGeometry(const BmpRecord& a, const BmpRecord& b) {
    return a.infoHeader->biWidth == b.infoHeader->biWidth && a.infoHeader->biHeight == b.infoHeader->biHeight &&
           a.infoHeader->biBitCount == b.infoHeader->biBitCount;
}

// The batch shared by the three reference corrections: a reference frame,
// a map made from it once, then every light frame copied into one work
// record, corrected there and written over its own file. The work record
// was made with a grey palette, so that is the palette every output gets.
void CorrectWithReference(TMainState& state, TUiPort& port, const TReferenceCorrection& c) {
    BmpRecord reference;
    BmpRecord light;
    TRecordGuard referenceGuard{reference};
    TRecordGuard lightGuard{light};
    TFileDialog& dlg = port.OpenDialog();

    dlg.Title = c.referenceTitle;
    if (!OpenFilesStep(state, port, ofFileMustExist)) return;
    if (dlg.Files.empty()) {
        port.SetStatus("Idle");
        return;
    }
    reference.fileName = dlg.Files.front();
    if (ReadBmpFile(&reference) != BMP_NO_ERROR) {
        port.SetStatus("Idle");
        return;
    }

    auto refuse = [&](const std::string& text) {
        port.MessageBox(text, "Error", TMsgButtons::Ok);
        port.SetStatus("Idle");
    };
    if (RecordByteCount(reference) == 0) return refuse("The " + c.referenceName + " holds no pixels");
    const TPreparedMap prepared = c.prepare(reference);
    if (!prepared.refusal.empty()) return refuse(prepared.refusal);
    if (!prepared.map) return refuse(kNoMemory);

    BmpRecord* made = nullptr;
    if (CreateBmpRecord(made, reference.infoHeader->biWidth, reference.infoHeader->biHeight,
                        BmpBytesPerPixel(reference)) != BMP_NO_ERROR)
        return refuse(kNoMemory);
    const std::unique_ptr<BmpRecord, TRecordDeleter> work(made);

    dlg.Title = "Select Image Frames";
    if (!OpenFilesStep(state, port, ofAllowMultiSelect | ofFileMustExist)) {
        port.SetStatus("Idle");
        return;
    }
    const std::vector<std::string> files = dlg.Files;
    for (const std::string& path : files) {
        port.SetStatus(c.statusPrefix + path);
        port.BeginFile(path);
        light.fileName = path;
        if (ReadBmpFile(&light) != BMP_NO_ERROR) {
            port.MessageBox(BmpErrorText(light.status), "Error", TMsgButtons::Ok);
            continue;
        }
        // The map and the work record are sized for the reference: any other
        // frame would be corrected by the wrong bytes or overrun them.
        if (!SameGeometry(light, reference)) {
            port.MessageBox("All files must be the same size", "Error", TMsgButtons::Ok);
            FreeBmpBuffers(light);
            continue;
        }
        uint32_t status = CopyBmpRecord(*work, light);
        if (status == BMP_NO_ERROR) status = c.apply(*work, prepared.map.get());
        if (status == BMP_NO_MEMORY) return refuse(kNoMemory);
        // The write replaces the file only when it is complete, so a failure
        // leaves the uncorrected frame in place; the user must hear of it.
        if (status == BMP_NO_ERROR) status = WriteBmpFile(work.get());
        if (status != BMP_NO_ERROR) port.MessageBox(BmpErrorText(status), "Error", TMsgButtons::Ok);
        FreeBmpBuffers(light);
    }
    port.SetStatus("Idle");
}

TPreparedMap PrepareDeviationMap(const BmpRecord& dark) { return {DeviationMap(dark), {}}; }

TPreparedMap PrepareGainMap(const BmpRecord& flat) {
    if (!FlatGainUsable(flat)) return {nullptr, "The flat field is too dark to divide by: its mean level is 0"};
    return {FlatGainMap(flat), {}};
}

uint32_t ApplyDeviation(BmpRecord& light, const double* map) {
    ApplyDeviationMap(light, map);
    return BMP_NO_ERROR;
}

uint32_t DivideByGain(BmpRecord& light, const double* gain) {
    DivideByGainMap(light, gain);
    return BMP_NO_ERROR;
}

}  // namespace

void NewNormal(TMainState& state, TUiPort& port) {
    CorrectWithReference(state, port,
                         {"Select Dark Frame", "Dark correcting ", "dark frame", PrepareDeviationMap, ApplyDeviation});
}

void NewMap(TMainState& state, TUiPort& port) {
    CorrectWithReference(state, port,
                         {"Select Dark Frame", "Dark correcting ", "dark frame", PrepareDeviationMap,
                          ApplyMapWithLocalMean});
}

void FlatField(TMainState& state, TUiPort& port) {
    CorrectWithReference(state, port,
                         {"Select Flat Field", "Flat fielding ", "flat field", PrepareGainMap, DivideByGain});
}
