#include "setup/SourceCheck.h"

#include "device/KardemoDLL.h"
#include "dsu/device/SimulatedDsu.h"
#include "run/RunController.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

namespace solvane::setup {

namespace {

using Clock = std::chrono::steady_clock;

// A folder of its own for whatever the library writes during the check, removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string name = (std::filesystem::temp_directory_path() / "solvane-check-XXXXXX");
        if (::mkdtemp(name.data()) != nullptr)
            path_ = name;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Silences and terminates the DSU once it has been initialised, however the check ends.
class OpenDevice {
public:
    OpenDevice(const KardemoFunctions& dsu, std::string sessionFile)
        : dsu_(dsu), sessionFile_(std::move(sessionFile)) {}
    ~OpenDevice() {
        char silence00[] = "WB0000";
        char silence01[] = "WB0100";
        dsu_.SendCommandToDSU(silence00, 6);
        dsu_.SendCommandToDSU(silence01, 6);
        dsu_.TerminateDSU(1, 1, sessionFile_.data());
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

private:
    const KardemoFunctions& dsu_;
    std::string sessionFile_;
};

std::vector<std::string> logLines(const std::filesystem::path& log) {
    std::ifstream in(log);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// What the device's log says went wrong: its failure lines, or else its last lines.
std::string deviceWords(const std::vector<std::string>& lines) {
    constexpr std::size_t Longest = 600;
    std::string words;
    for (const std::string& line : lines)
        if (line.find("failed") != std::string::npos || line.rfind("GetP3Data:", 0) == 0)
            words += (words.empty() ? "" : "\n") + line;
    if (words.empty())
        for (std::size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i)
            words += (words.empty() ? "" : "\n") + lines[i];
    if (words.size() > Longest)
        words = words.substr(0, Longest) + "...";
    return words.empty() ? std::string() : "\nThe device's log says:\n" + words;
}

std::string sourceLine(const std::vector<std::string>& lines) {
    constexpr std::string_view Marker = "InitialiseDSU: ";
    for (const std::string& line : lines)
        if (line.rfind(Marker, 0) == 0 && line.find(", speed ") != std::string::npos)
            return line.substr(Marker.size());
    return {};
}

} // namespace

SourceCheck::SourceCheck(KardemoDLL& device, bool bundled, const Settings& settings)
    : device_(device), bundled_(bundled), settings_(settings),
      analysis_(settings_, static_cast<ScalpMapView&>(*this), static_cast<AveCommandSink&>(*this)) {
    // The transform of DSUSampleRate points is planned when it is first used, and FFTW plans
    // on one thread at a time: one block of the centre value is analysed here, on the thread
    // that makes the check, and forgotten.
    analysis_.ApplyChannelSelection();
    const PacketAnalysis::Packet centre = {512, 512, 512, 512, 512, 512, 512, 512};
    for (int packet = 0; packet <= settings_.DSUSampleRate; ++packet)
        analysis_.drawThePieChartsAndGenerateTones(centre);
    analysis_.state() = AnalysisState{};
}

SourceCheck::~SourceCheck() = default;

void SourceCheck::setFillColour(int element, uint32_t colour) {
    if (element < 0 || element >= 21)
        return;
    if (colour == PacketAnalysis::GoodContactFill)
        contact_[element + 1] = SlotFigures::Contact::Good;
    else if (colour == PacketAnalysis::PoorContactFill)
        contact_[element + 1] = SlotFigures::Contact::Poor;
}

CheckResult SourceCheck::run(const std::optional<std::string>& configuration,
                             const std::atomic<bool>& cancel) {
    CheckResult result;
    const KardemoFunctions* library = nullptr;
    try {
        library = &device_.functions();
    } catch (const DeviceLibraryError& error) {
        result.failure = error.what();
        return result;
    }
    const KardemoFunctions& dsu = *library;
    const ScratchFolder scratch;
    const std::filesystem::path log = scratch.path() / "debug.txt";
    std::string debugFile = log.string();

    // A device maker's library gets the program's own texts; the meaning of others is its own.
    std::string text1 = bundled_ && configuration ? *configuration : std::string();
    std::string text2 = bundled_ && configuration ? dsusim::SimulatedDsu::CheckMarker : "";
    const std::string refused = RunController::SetUpDevice(dsu, debugFile, settings_.ActiveComPort,
                                                           text1.data(), text2.data());
    if (!refused.empty()) {
        result.failure = refused + deviceWords(logLines(log));
        return result;
    }

    analysis_.ApplyChannelSelection();
    analysis_.FirstDrawDone = -1; // nothing is shown: no greying pass
    double totals[4] = {};
    {
        int32_t one = 1;
        result.initialiseStatus = dsu.InitialiseDSU(&one);
        const OpenDevice open(dsu, (scratch.path() / "kardemo.SES").string());
        if (result.initialiseStatus < 0) {
            result.failure = "The DSU refused to start (InitialiseDSU status " +
                             std::to_string(result.initialiseStatus) + ").";
        } else {
            int32_t packet[KARDEMO_PACKET_ELEMENTS] = {};
            int32_t count = 0;
            int32_t reserved = 0;
            auto lastData = Clock::now();
            const auto stall = std::chrono::milliseconds(RunController::StallMilliseconds);
            while (result.packets < Packets && !cancel.load()) {
                one = 1;
                const int32_t status = dsu.GetP3Data(packet, 8, &one, &count, &reserved);
                if (status != 0 || count <= 0) {
                    if (Clock::now() - lastData >= stall) {
                        result.failure = RunController::StallMessage;
                        break;
                    }
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                    continue;
                }
                lastData = Clock::now();
                ++result.packets;
                const int16_t stored = analysis_.state().SampleCount;
                analysis_.draw(packet);
                if (stored > 0 && analysis_.state().SampleCount == 0) {
                    ++result.blocks;
                    for (int slot = 0; slot < 4; ++slot)
                        totals[slot] += analysis_.state().SlotTotal[slot];
                }
            }
            if (cancel.load() && result.packets < Packets)
                result.failure = "The check was cancelled.";
        }
    }
    const std::vector<std::string> lines = logLines(log);
    result.source = sourceLine(lines);
    if (!result.failure.empty())
        result.failure += deviceWords(lines);

    const ChannelSelection& selection = analysis_.selection();
    for (int slot = 0; slot < 4; ++slot) {
        SlotFigures& figures = result.perSlot[slot];
        figures.position = selection.ChannelMap[slot];
        if (figures.position <= 0 || figures.position > 21)
            continue;
        figures.amplitude = result.blocks > 0 ? totals[slot] / result.blocks : 0.0;
        figures.contact = contact_[figures.position];
    }
    return result;
}

} // namespace solvane::setup
