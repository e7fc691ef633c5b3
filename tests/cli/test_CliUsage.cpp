// velmora-cli as a script meets it before any work: the help, which says
// whether a command writes over its inputs, and the command lines it refuses
// without touching a file.
#include "CliTest.h"

using namespace vcli;

TEST(Cli, HelpAndRefusedCommandLinesChangeNoFile) {
    vt::TempDir dir;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) vt::WriteFrame(dir.file(name), {10, 20, 100, 40});
    vt::WriteFrame(dir.file("wide.bmp"), {1, 2, 3, 4, 5});
    vt::WriteBytes(dir.file("junk.bmp"), Bytes(40, 'x'));
    const auto before = vt::Manifest(dir);
    // Command line, status (0 for help, 2 for a usage error, 1 for a
    // refusal), and part of the help's or a usage error's output, or all of a
    // refusal's.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"--help", 0, "Commands that write over their input files say so in their help."},
        {"create-median --help", 0, "The input files are not"},
        {"dark-subtract --help", 0, "WRITES THE RESULT OVER EACH\nINPUT FILE"},
        {"prescale --help", 0, "WRITES THE RESULT OVER EACH INPUT FILE"},
        {"", 2, "Usage: velmora-cli COMMAND"},
        {"no-such-command", 2, "unknown command 'no-such-command'"},
        {"create-median a.bmp b.bmp c.bmp", 2, "create-median: the output file is missing"},
        {"create-median --bogus a.bmp b.bmp c.bmp -o m.bmp", 2, "unknown option '--bogus'"},
        {"create-median a.bmp b.bmp absent.bmp -o m.bmp", 2, "create-median: no such file: absent.bmp"},
        {"dark-subtract --yes --dark c.bmp a.bmp", 2, "dark-subtract: the mode is missing"},
        {"dark-subtract --mode normal --yes a.bmp", 2, "the dark frame is missing"},
        {"dark-subtract --mode normal --yes --dark x.bmp a.bmp", 2, "no such file: x.bmp"},
        {"create-flat a.bmp b.bmp", 2, "create-flat: the output file is missing"},
        {"flat-field a.bmp", 2, "the flat field is missing"},
        {"prescale --mode bright a.bmp", 2, "unknown mode 'bright'"},
        {"prescale --mode wide --factor 2 a.bmp", 2, "--factor goes with --mode manual only"},
        {"prescale --mode manual --factor 0 a.bmp", 2, "--factor must be a number above 0, such as 1.5 (got '0')"},
        {"prescale --mode manual --factor 1.5x a.bmp", 2, "(got '1.5x')"},
        {"prescale --mode manual --factor 1e999 a.bmp", 2, "(got '1e999')"},
        {"find-high-low a.bmp b.bmp", 2, "find-high-low measures one frame"},
        {"find-high-low", 2, "find-high-low: no input files given"},
        {"resize --factor 0 a.bmp", 2, "--factor must be a whole number of 1 or more (got '0')"},
        {"resize --factor 1.5 a.bmp", 2, "(got '1.5')"},
        {"erode --passes 99999999999 a.bmp", 2, "(got '99999999999')"},
        {"process a.bmp", 2, "the output file is missing"},
        {"process a.bmp a.bmp -o o", 2, "process takes one picture"},
        {"process a.bmp --ddp 0,64,1 -o o", 2, "--ddp takes LO,HI,FUZZ (low 1..255, high 1..255, fuzz 0..5), got '0,64,1'"},
        {"process a.bmp --ddp 1,64 -o o", 2, "got '1,64'"},
        {"process a.bmp --unsharp 1,0 -o o", 2, "(aperture 1..5, intensity 1..100), got '1,0'"},
        {"process a.bmp --histogram 1,2, -o o", 2, "got '1,2,'"},
        {"create-median a.bmp b.bmp -o m.bmp", 1, "Error: A minimum of three files is required for a median\n"},
        {"create-median a.bmp junk.bmp b.bmp c.bmp -o m.bmp", 1, "Error: junk.bmp is not a bitmap file\n"},
        {"flat-field --flat junk.bmp a.bmp", 1, "Error: File error: junk.bmp\n"},
        {"flat-field --flat c.bmp junk.bmp wide.bmp", 1,
         "Error: File error: junk.bmp\nError: All files must be the same size: wide.bmp\n"},
        {"process junk.bmp --histogram 0,255 -o o", 1, "Error: junk.bmp is not a bitmap file\n"},
        // Without --yes the modes that ask "are these copies?" are answered no.
        {"dark-subtract --mode normal --dark c.bmp a.bmp b.bmp", 1,
         "Warning: This will overwrite your input files - are these copies?\n  (answered no: pass --yes to go on)\n"},
        // The series modes load every frame before writing any.
        {"dark-subtract --mode normal -y --dark c.bmp a.bmp junk.bmp b.bmp", 1,
         "Error: junk.bmp is not a bitmap file\n"},
        {"dark-subtract --mode normal --yes --dark c.bmp a.bmp wide.bmp", 1,
         "Error: All files must be of the same size\n"},
    };
    for (const auto& [args, status, says] : cases) {
        const auto r = Cli(args, dir.path());
        EXPECT_EQ(r.status, status) << args;
        EXPECT_TRUE(status == 1 ? r.output == says : r.output.find(says) != npos) << args << "\n" << r.output;
    }
    EXPECT_EQ(vt::Manifest(dir), before);
}
