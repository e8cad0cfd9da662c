// Settings files the fuzzers found mishandled, kept as regression cases: each is loaded and
// saved twice the way the program does at start-up and after runs.

#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "config/processINIFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace solvane {
namespace {

using testing::TempFolder;

struct FoundFile {
    const char* name;
    std::string contents;
    std::string firstWrite; ///< the file after the first save
};

void PrintTo(const FoundFile& row, std::ostream* out) {
    *out << row.name;
}

const std::string KardemoKeys = "DSUSampleRate= 256\r\nBMFFTBinSize= 0\r\nActiveComPort= 0\r\n";
const std::string AveKeys = "AVEFrequency= 210\r\nAVEDesiredFrequency= 15\r\nAVEChannel1= 1\r\n"
                            "AVEChannel2= 0\r\nAVEChannel3= 0\r\nAVEChannel4= 0\r\n";

class FuzzFindings : public ::testing::TestWithParam<FoundFile> {
protected:
    FuzzFindings() { processINIFile::SetProgramFolder(folder.path()); }
    ~FuzzFindings() override { settings = Settings{}; }
    TempFolder folder;
};

// A last line ending in a carriage return without its line feed: the line break is completed,
// not doubled, so the second save writes exactly what the first wrote.
TEST_P(FuzzFindings, ASecondSaveChangesNothing) {
    folder.write("solvane.ini", GetParam().contents);
    processINIFile::LoadSettings();
    const Settings loaded = settings;
    processINIFile::SaveSettings();
    const std::string first = folder.read("solvane.ini");
    EXPECT_EQ(first, GetParam().firstWrite);
    processINIFile::SaveSettings();
    EXPECT_EQ(folder.read("solvane.ini"), first);
    settings = Settings{};
    processINIFile::LoadSettings();
    EXPECT_EQ(settings.AVEVolume, loaded.AVEVolume);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FuzzFindings,
    ::testing::Values(
        FoundFile{"KeyLineEndingInTwoCarriageReturns", "[Kardemo]\r\n[AVE]\r\nAVEVolume = 12  \r\r",
                  "[Kardemo]\r\n" + KardemoKeys + "[AVE]\r\nAVEVolume= 12\r\n" + AveKeys},
        FoundFile{"UnknownLineEndingInACarriageReturn", "[AVE]\r\nAVEVolume= 12\r\nNote=x\r",
                  "[AVE]\r\nAVEVolume= 12\r\nNote=x\r\n" + AveKeys + "[Kardemo]\r\n" + KardemoKeys},
        FoundFile{"OtherSectionEndingInACarriageReturn", "[Other]\r\nx=1\r",
                  "[Other]\r\nx=1\r\n[Kardemo]\r\n" + KardemoKeys + "[AVE]\r\nAVEVolume= 12\r\n" +
                      AveKeys}),
    [](const ::testing::TestParamInfo<FoundFile>& row) { return row.param.name; });

} // namespace
} // namespace solvane
