#pragma once
// The set-up's check: three seconds of packets read from the chosen source through the device
// library, with the program's own set-up calls and its own analysis, and nothing recorded. It
// gives each slot's total amplitude (1 to 35 Hz, per one-second block, as the balance weighs
// it) and its electrode contact by the contact monitor's rule, or what failed in the device's
// own words (its debug log). The bundled DSU is handed the configuration to check through
// SetDataTransferMode, and then records nothing and plays nothing; a device maker's library
// gets exactly the program's calls. Its debug log and any session file it writes go into a
// temporary folder that is removed afterwards. However the check ends, an initialised DSU is
// silenced and then terminated.

#include "analysis/PacketAnalysis.h"
#include "analysis/ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "config/Settings.h"
#include "device/kardemo.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace solvane {
class KardemoDLL;
}

namespace solvane::setup {

struct SlotFigures {
    enum class Contact { NotJudged, Good, Poor };
    int16_t position = 0;   ///< 0: the slot has no channel and is not analysed
    double amplitude = 0.0; ///< mean over the blocks of the slot's total of bins 1..35
    Contact contact = Contact::NotJudged;
};

struct CheckResult {
    int32_t initialiseStatus = 0;
    uint64_t packets = 0;
    int blocks = 0; ///< analysis passes
    std::array<SlotFigures, 4> perSlot{};
    std::string source;  ///< what the device says it reads, when it says so
    std::string failure; ///< empty when the packets came; else what failed, with its words

    [[nodiscard]] bool passed() const { return failure.empty(); }
};

class SourceCheck : private ScalpMapView, private AveCommandSink {
public:
    /// Three seconds at 256 packets a second.
    static constexpr uint64_t Packets = 3ULL * KARDEMO_PACKET_RATE;

    /// Made (and destroyed) on the thread that plans FFTW transforms, the window's: the
    /// analysis plans its transform here, for any DSUSampleRate. `settings` are the program's with the channels to
    /// check; `bundled` says whether the library takes a check's configuration.
    SourceCheck(KardemoDLL& device, bool bundled, const Settings& settings);
    ~SourceCheck() override;
    SourceCheck(const SourceCheck&) = delete;
    SourceCheck& operator=(const SourceCheck&) = delete;

    /// Reads Packets packets, or until none has come for the program's stall time, or
    /// `cancel` is set. `configuration` is the dsu-simulator.ini text to check (the bundled
    /// DSU only). May run on a thread of its own; it is the only user of the library then.
    CheckResult run(const std::optional<std::string>& configuration,
                    const std::atomic<bool>& cancel);

private:
    void setFillColour(int element, uint32_t colour) override;
    void setFillTransparent(int /*element*/) override {}
    void setTextColour(int /*element*/, uint32_t /*colour*/) override {}
    void repaintNow() override {}
    void sendCommand(const char* /*command*/) override {}

    KardemoDLL& device_;
    bool bundled_;
    Settings settings_;
    PacketAnalysis analysis_;
    SlotFigures::Contact contact_[22] = {}; ///< the last verdict per scalp position
};

} // namespace solvane::setup
