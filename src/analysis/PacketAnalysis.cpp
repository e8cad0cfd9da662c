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
    if (state_.ContactPacketCount < ContactWindowPackets) {
        for (int slot = 0; slot < 4; ++slot) {
            const int16_t p = channels[slot];
            const int32_t sample = nChannels[SlotElement[slot]];
            if (p != 0 && (sample < LowestGoodSample || sample > HighestGoodSample)) {
                int16_t& counter = checked::at(state_.OutOfRangeCount, p, "CheckElectrodeContact");
                counter = checked::to16(counter + 1L, "CheckElectrodeContact");
            }
        }
        ++state_.ContactPacketCount;
        return;
    }

    for (const int16_t p : channels) {
        if (p == 0)
            continue;
        const int16_t count = checked::at(state_.OutOfRangeCount, p, "CheckElectrodeContact");
        if (count < PoorContactSamples) {
            map_.setFillColour(p - 1, Green);
            map_.setTextColour(p - 1, Black);
        } else {
            map_.setFillColour(p - 1, Red);
            map_.setTextColour(p - 1, White);
        }
    }
    for (int16_t& counter : state_.OutOfRangeCount)
        counter = 0;
    state_.ContactPacketCount = 0;
    map_.repaintNow();
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
