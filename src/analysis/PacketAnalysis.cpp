#include "PacketAnalysis.h"

#include "ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "runtime/Checked.h"

namespace solvane {

namespace {

constexpr uint32_t Green = PacketAnalysis::GoodContactFill;
constexpr uint32_t Red = PacketAnalysis::PoorContactFill;
constexpr uint32_t Black = 0x000000;      // RGB(0, 0, 0)
constexpr uint32_t White = 0xFFFFFF;      // RGB(255, 255, 255)
constexpr uint32_t GreyedText = 0x0A0A0A; // RGB(10, 10, 10)

} // namespace

PacketAnalysis::PacketAnalysis(const Settings& sharedSettings, ScalpMapView& map,
                               AveCommandSink& commands)
    : settings_(sharedSettings), map_(map), commands_(commands),
      spectra_(sharedSettings, selection_, state_),
      entrainment_(sharedSettings, selection_, state_, commands) {}

void PacketAnalysis::ApplyChannelSelection() {
    selection_ = SelectChannels(settings_);
}

ChannelSelection PacketAnalysis::SelectChannels(const Settings& chosen) {
    const int16_t channels[4] = {chosen.AVEChannel1, chosen.AVEChannel2, chosen.AVEChannel3,
                                 chosen.AVEChannel4};
    ChannelSelection selection;
    for (int slot = 0; slot < 4; ++slot)
        selection.ChannelMap[slot] = channels[slot];
    for (int16_t& entry : selection.PositionInUse)
        entry = -1;
    selection.ChannelCount = 0;
    for (const int16_t p : channels) {
        if (p != 0) {
            checked::at(selection.PositionInUse, p - 1L, "ApplyChannelSelection") = p;
            selection.ChannelCount =
                checked::to16(selection.ChannelCount + 1L, "ApplyChannelSelection");
        }
    }
    return selection;
}

void PacketAnalysis::draw(const Packet& nChannels) {
    if (FirstDrawDone == 0) {
        for (int i = 0; i < 21; ++i) {
            if (selection_.PositionInUse[i] < 0) {
                map_.setFillTransparent(i);
                map_.setTextColour(i, GreyedText);
            }
        }
        FirstDrawDone = -1;
    }
    CheckElectrodeContact(nChannels);
    drawThePieChartsAndGenerateTones(nChannels);
}

void PacketAnalysis::CheckElectrodeContact(const Packet& nChannels) {
    const int16_t channels[4] = {settings_.AVEChannel1, settings_.AVEChannel2,
                                 settings_.AVEChannel3, settings_.AVEChannel4};
    bool poor[4] = {};
    if (!JudgeContact(channels, nChannels, state_, poor))
        return;
    for (int slot = 0; slot < 4; ++slot) {
        const int16_t p = channels[slot];
        if (p == 0)
            continue;
        map_.setFillColour(p - 1, poor[slot] ? Red : Green);
        map_.setTextColour(p - 1, poor[slot] ? White : Black);
    }
    map_.repaintNow();
}

bool PacketAnalysis::JudgeContact(const int16_t (&positions)[4], const Packet& nChannels,
                                  AnalysisState& state, bool (&poor)[4]) {
    if (state.ContactPacketCount < ContactWindowPackets) {
        for (int slot = 0; slot < 4; ++slot) {
            const int16_t p = positions[slot];
            const int32_t sample = nChannels[SlotElement[slot]];
            if (p != 0 && (sample < LowestGoodSample || sample > HighestGoodSample)) {
                int16_t& counter = checked::at(state.OutOfRangeCount, p, "CheckElectrodeContact");
                counter = checked::to16(counter + 1L, "CheckElectrodeContact");
            }
        }
        ++state.ContactPacketCount;
        return false;
    }
    for (int slot = 0; slot < 4; ++slot) {
        const int16_t p = positions[slot];
        poor[slot] = p != 0 && checked::at(state.OutOfRangeCount, p, "CheckElectrodeContact") >=
                                   PoorContactSamples;
    }
    for (int16_t& counter : state.OutOfRangeCount)
        counter = 0;
    state.ContactPacketCount = 0;
    return true;
}

void PacketAnalysis::drawThePieChartsAndGenerateTones(const Packet& nChannels) {
    if (spectra_.takePacket(nChannels))
        UpdateEntrainment();
}

void PacketAnalysis::UpdateEntrainment() {
    entrainment_.UpdateEntrainment();
}

void PacketAnalysis::SilenceEntrainment() {
    entrainment_.SilenceEntrainment();
}

float PacketAnalysis::SumSpectrum(int16_t first, int16_t last, const double (&values)[51]) {
    return SpectralAnalysis::SumSpectrum(first, last, values);
}

} // namespace solvane
