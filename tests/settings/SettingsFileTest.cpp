// solvane.ini: loading and saving the ten settings, the conversion of value texts, and the
// values that are refused with the file left untouched.

#include "config/ProfileFile.h"
#include "config/processINIFile.h"
#include "checked/RunTimeError.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <variant>

#include <sys/stat.h>

namespace solvane {
namespace {

using testing::TempFolder;

constexpr Settings Defaults{256, 0, 0, 12, 210, 15, 1, 0, 0, 0};

std::string testData(const std::string& name) {
    const char* folder = std::getenv("SOLVANE_TEST_DATA");
    std::ifstream in(std::string(folder != nullptr ? folder : "tests/data") + "/" + name,
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        processINIFile::SetProgramFolder(folder.path());
        settings = Settings{};
    }
    void TearDown() override { settings = Settings{}; }

    /// The program's start-up: read the file, then write every setting straight back.
    void loadAndSave() {
        processINIFile::LoadSettings();
        processINIFile::SaveSettings();
    }
    [[nodiscard]] std::string file() const { return folder.read("solvane.ini"); }

    TempFolder folder;
};

TEST_F(SettingsFile, FirstStartCreatesTheFileWithTheDefaults) {
    loadAndSave();
    EXPECT_EQ(settings, Defaults);
    const std::string golden = testData("solvane-new.ini");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(file(), golden);
}

TEST_F(SettingsFile, PartialFileKeepsItsValuesAndGainsTheMissingKeys) {
    folder.write("solvane.ini", "; written by hand\n"
                                "[AVE]\n"
                                "AVEVolume=40\n"
                                "MyNote = keep me \n"
                                "\n"
                                "[Mine]\n"
                                "DSUSampleRate=1\n");
    loadAndSave();
    Settings expected = Defaults;
    expected.AVEVolume = 40;
    EXPECT_EQ(settings, expected);
    EXPECT_EQ(file(), "; written by hand\n"
                      "[AVE]\n"
                      "AVEVolume= 40\n"
                      "MyNote = keep me \n"
                      "AVEFrequency= 210\n"
                      "AVEDesiredFrequency= 15\n"
                      "AVEChannel1= 1\n"
                      "AVEChannel2= 0\n"
                      "AVEChannel3= 0\n"
                      "AVEChannel4= 0\n"
                      "\n"
                      "[Mine]\n"
                      "DSUSampleRate=1\n"
                      "[Kardemo]\n"
                      "DSUSampleRate= 256\n"
                      "BMFFTBinSize= 0\n"
                      "ActiveComPort= 0\n");
}

TEST_F(SettingsFile, NamesAreReadWithoutRegardToCaseAndReplacedInPlace) {
    folder.write("solvane.ini", "[kardemo]\r\n"
                                "dsusamplerate=128\r\n"
                                "UnknownKey = 1\r\n"
                                "; comment\r\n"
                                "bmfftbinsize = -7\r\n"
                                "ACTIVECOMPORT=3\r\n"
                                "[ave]\r\n"
                                "aveVolume=20\r\n"
                                "AVEFREQUENCY=200\r\n"
                                "avedesiredfrequency=10\r\n"
                                "avechannel1=5\r\n"
                                "avechannel2=21\r\n"
                                "avechannel3=0\r\n"
                                "avechannel4=2\r\n");
    loadAndSave();
    EXPECT_EQ(settings, (Settings{128, -7, 3, 20, 200, 10, 5, 21, 0, 2}));
    EXPECT_EQ(file(), "[kardemo]\r\n"
                      "DSUSampleRate= 128\r\n"
                      "UnknownKey = 1\r\n"
                      "; comment\r\n"
                      "BMFFTBinSize=-7\r\n"
                      "ActiveComPort= 3\r\n"
                      "[ave]\r\n"
                      "AVEVolume= 20\r\n"
                      "AVEFrequency= 200\r\n"
                      "AVEDesiredFrequency= 10\r\n"
                      "AVEChannel1= 5\r\n"
                      "AVEChannel2= 21\r\n"
                      "AVEChannel3= 0\r\n"
                      "AVEChannel4= 2\r\n");
}

TEST_F(SettingsFile, NegativeValuesRoundTrip) {
    loadAndSave();
    settings.ActiveComPort = -5;
    settings.BMFFTBinSize = -32768;
    processINIFile::SaveSettings();
    EXPECT_NE(file().find("\nActiveComPort=-5\n"), std::string::npos) << file();
    EXPECT_NE(file().find("\nBMFFTBinSize=-32768\n"), std::string::npos) << file();
    settings = Settings{};
    processINIFile::LoadSettings();
    EXPECT_EQ(settings.ActiveComPort, -5);
    EXPECT_EQ(settings.BMFFTBinSize, -32768);
}

TEST_F(SettingsFile, ValuesLongerThan254CharactersComeBackCut) {
    const std::string value(300, '7');
    folder.write("solvane.ini", "[AVE]\nLong=" + value + "\n");
    EXPECT_EQ(processINIFile::ReadIniValue("AVE", "Long", "x"), value.substr(0, 254));
    EXPECT_EQ(processINIFile::ReadIniValue("AVE", "Missing", "dflt"), "dflt");
}

// What a value text converts to: a number, or the kind of run-time error it raises.
struct ConversionRow {
    const char* text;
    std::variant<int16_t, RunTimeErrorKind> expected;
};

void PrintTo(const ConversionRow& row, std::ostream* out) {
    *out << '"' << row.text << '"';
}

class ValueConversion : public ::testing::TestWithParam<ConversionRow> {};

TEST_P(ValueConversion, FollowsTheRuleForSixteenBitIntegers) {
    const ConversionRow& row = GetParam();
    if (std::holds_alternative<int16_t>(row.expected)) {
        EXPECT_EQ(processINIFile::ConvertToInteger(row.text, "Key"),
                  std::get<int16_t>(row.expected));
        return;
    }
    try {
        const int16_t value = processINIFile::ConvertToInteger(row.text, "Key");
        ADD_FAILURE() << "converted to " << value;
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.kind(), std::get<RunTimeErrorKind>(row.expected)) << error.what();
    }
}

constexpr auto Mismatch = RunTimeErrorKind::TypeMismatch;
constexpr auto Overflow = RunTimeErrorKind::Overflow;

INSTANTIATE_TEST_SUITE_P(
    Rows, ValueConversion,
    ::testing::Values(ConversionRow{" 256", int16_t{256}}, ConversionRow{"256", int16_t{256}},
                      ConversionRow{" \t 7 \t", int16_t{7}}, ConversionRow{"+7", int16_t{7}},
                      ConversionRow{"-5", int16_t{-5}}, ConversionRow{" -5", int16_t{-5}},
                      ConversionRow{"-0", int16_t{0}}, ConversionRow{"007", int16_t{7}},
                      ConversionRow{"32767", int16_t{32767}},
                      ConversionRow{"-32768", int16_t{-32768}}, ConversionRow{"32768", Overflow},
                      ConversionRow{"-32769", Overflow},
                      ConversionRow{"99999999999999999999", Overflow},
                      ConversionRow{"0.5", int16_t{0}}, ConversionRow{"1.5", int16_t{2}},
                      ConversionRow{"12.5", int16_t{12}}, ConversionRow{"13.5", int16_t{14}},
                      ConversionRow{"-12.5", int16_t{-12}}, ConversionRow{"-13.5", int16_t{-14}},
                      ConversionRow{"12.50001", int16_t{13}}, ConversionRow{"12.4999", int16_t{12}},
                      ConversionRow{"12.", int16_t{12}}, ConversionRow{".6", int16_t{1}},
                      ConversionRow{"32767.4", int16_t{32767}}, ConversionRow{"32767.5", Overflow},
                      ConversionRow{"-32768.5", int16_t{-32768}},
                      ConversionRow{"-32768.51", Overflow}, ConversionRow{"", Mismatch},
                      ConversionRow{"   ", Mismatch}, ConversionRow{"abc", Mismatch},
                      ConversionRow{"12abc", Mismatch}, ConversionRow{"1 2", Mismatch},
                      ConversionRow{"-", Mismatch}, ConversionRow{".", Mismatch},
                      ConversionRow{"--5", Mismatch}, ConversionRow{"1e3", Mismatch}));

TEST_F(SettingsFile, HandEditedValuesReadTheSameAndAreWrittenWithTheBlank) {
    folder.write("solvane.ini", "[Kardemo]\nBMFFTBinSize=32767\n[AVE]\nAVEVolume=  12.5  \n");
    loadAndSave();
    EXPECT_EQ(settings.BMFFTBinSize, 32767);
    EXPECT_EQ(settings.AVEVolume, 12);
    EXPECT_NE(file().find("\nBMFFTBinSize= 32767\n"), std::string::npos) << file();
    EXPECT_NE(file().find("\nAVEVolume= 12\n"), std::string::npos) << file();
}

// A value the program cannot run with: the load stops with a message that names the file, the
// key, the text found and what is allowed, and neither the file nor the settings change.
struct RefusedRow {
    const char* name;
    const char* section;
    const char* key;
    const char* text;
    RunTimeErrorKind kind;
    const char* allowed;
};

void PrintTo(const RefusedRow& row, std::ostream* out) {
    *out << row.name;
}

class RefusedSetting : public SettingsFile, public ::testing::WithParamInterface<RefusedRow> {};

TEST_P(RefusedSetting, LeavesFileAndSettingsUntouched) {
    const RefusedRow& row = GetParam();
    const std::string before =
        "; mine\n[" + std::string(row.section) + "]\n" + row.key + "=" + row.text + "\nOther=1\n";
    folder.write("solvane.ini", before);
    const Settings inMemory{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    settings = inMemory;
    try {
        processINIFile::LoadSettings();
        FAIL() << "the value was accepted";
    } catch (const RunTimeError& error) {
        EXPECT_EQ(error.kind(), row.kind);
        const std::string message = error.what();
        // A long text is quoted cut, with a mark.
        const std::string text = row.text;
        const std::string textFound =
            text.size() <= 200 ? "\"" + text + "\"" : "\"" + text.substr(0, 200) + "...\" (cut;";
        for (const std::string& part : {processINIFile::SettingsFilePath().string(),
                                        std::string(row.key), textFound, std::string(row.allowed)})
            EXPECT_NE(message.find(part), std::string::npos) << part << " not in: " << message;
    }
    EXPECT_EQ(file(), before);
    EXPECT_EQ(settings, inMemory);
}

constexpr const char* Positions = "a scalp position from 1 to 21, or 0 for none";
constexpr const char* SampleRates = "a whole number from 1 to 256";
constexpr const char* AnyNumber = "a number from -32768 to 32767";
constexpr const char* Volumes = "a volume from 0 to 32767";
const std::string LongVolume = std::string(298, '0') + "12";

INSTANTIATE_TEST_SUITE_P(
    Rows, RefusedSetting,
    ::testing::Values(
        RefusedRow{"sampleRateZero", "Kardemo", "DSUSampleRate", "0", RunTimeErrorKind::BadSetting,
                   SampleRates},
        RefusedRow{"sampleRate257", "Kardemo", "DSUSampleRate", "257", RunTimeErrorKind::BadSetting,
                   SampleRates},
        RefusedRow{"sampleRateNegative", "Kardemo", "DSUSampleRate", "-1",
                   RunTimeErrorKind::BadSetting, SampleRates},
        RefusedRow{"sampleRateText", "Kardemo", "DSUSampleRate", "fast", Mismatch, SampleRates},
        RefusedRow{"channel1Above21", "AVE", "AVEChannel1", "22", RunTimeErrorKind::BadSetting,
                   Positions},
        RefusedRow{"channel4Negative", "AVE", "AVEChannel4", "-1", RunTimeErrorKind::BadSetting,
                   Positions},
        RefusedRow{"channel2Overflow", "AVE", "AVEChannel2", "70000", Overflow, Positions},
        RefusedRow{"emptyVolume", "AVE", "AVEVolume", "", Mismatch, Volumes},
        RefusedRow{"binSize32768", "Kardemo", "BMFFTBinSize", "32768", Overflow, AnyNumber},
        RefusedRow{"portText", "Kardemo", "ActiveComPort", "COM1", Mismatch, AnyNumber},
        // A negative volume was sent as its low 8 bits and played near full level.
        RefusedRow{"negativeVolume", "AVE", "AVEVolume", "-12", RunTimeErrorKind::BadSetting,
                   Volumes},
        // A value longer than ReadIniValue returns was read cut and saved back as 0.
        RefusedRow{"volumeLongerThan254", "AVE", "AVEVolume", LongVolume.c_str(),
                   RunTimeErrorKind::BadSetting, "at most 254 characters"}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST_F(SettingsFile, TheRangeLimitsThemselvesAreAccepted) {
    folder.write("solvane.ini", "[Kardemo]\nDSUSampleRate=1\n[AVE]\nAVEChannel1=21\n"
                                "AVEChannel2=0\nAVEChannel3=1\n");
    processINIFile::LoadSettings();
    EXPECT_EQ(settings.DSUSampleRate, 1);
    EXPECT_EQ(settings.AVEChannel1, 21);
    folder.write("solvane.ini", "[Kardemo]\nDSUSampleRate=256\n");
    processINIFile::LoadSettings();
    EXPECT_EQ(settings.DSUSampleRate, 256);
}

// A settings file that is there but cannot be read stops the load, and no save replaces it by
// a file of defaults or adds to it. A FIFO hung the start before the window appeared; a UTF-16
// file got ASCII sections appended.
struct UnreadableRow {
    const char* name;
    const char* reason;
};

void PrintTo(const UnreadableRow& row, std::ostream* out) {
    *out << row.name;
}

class UnreadableSettingsFile : public SettingsFile,
                               public ::testing::WithParamInterface<UnreadableRow> {};

TEST_P(UnreadableSettingsFile, IsReportedAndNeverReplaced) {
    const auto path = processINIFile::SettingsFilePath();
    const std::string kind = GetParam().name;
    const std::string utf16 = std::string("\xFF\xFE[\0A\0V\0E\0]\0\n\0", 12);
    if (kind == "folder")
        std::filesystem::create_directory(path);
    else if (kind == "fifo")
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    else if (kind == "utf16")
        folder.write("solvane.ini", utf16);
    else
        std::filesystem::create_symlink(path, path);
    const std::string reason = GetParam().reason;
    auto expectNamesFileAndReason = [&](const std::string& message) {
        EXPECT_NE(message.find(path.string()), std::string::npos) << message;
        EXPECT_NE(message.find(reason), std::string::npos) << message;
    };
    try {
        processINIFile::LoadSettings();
        ADD_FAILURE() << "the load should have failed";
    } catch (const ProfileReadError& error) {
        expectNamesFileAndReason(error.what());
    }
    try {
        processINIFile::SaveSettings();
        ADD_FAILURE() << "the save should have failed";
    } catch (const ProfileWriteError& error) {
        expectNamesFileAndReason(error.what());
    }
    std::error_code ignored;
    if (kind == "utf16")
        EXPECT_EQ(file(), utf16);
    else
        EXPECT_FALSE(std::filesystem::is_regular_file(path, ignored));
    EXPECT_EQ(settings, Settings{});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnreadableSettingsFile,
    ::testing::Values(UnreadableRow{"folder", "it is a folder, not a plain file"},
                      UnreadableRow{"fifo", "it is a FIFO, not a plain file"},
                      UnreadableRow{"utf16", "UTF-16"},
                      UnreadableRow{"linkLoop", "Too many levels of symbolic links"}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST_F(SettingsFile, AFailedWriteIsReportedAndTheSettingsStay) {
    folder.write("notAFolder", "x");
    processINIFile::SetProgramFolder(folder.path() / "notAFolder");
    processINIFile::LoadSettings(); // nothing to read there: the defaults
    settings.AVEVolume = 33;
    try {
        processINIFile::SaveSettings();
        FAIL() << "the write should have failed";
    } catch (const ProfileWriteError& error) {
        const std::string message = error.what();
        EXPECT_NE(message.find(processINIFile::SettingsFilePath().string()), std::string::npos)
            << message;
        EXPECT_NE(message.find("Not a directory"), std::string::npos) << message;
    }
    Settings expected = Defaults;
    expected.AVEVolume = 33;
    EXPECT_EQ(settings, expected);
    EXPECT_EQ(folder.read("notAFolder"), "x");
}

} // namespace
} // namespace solvane
