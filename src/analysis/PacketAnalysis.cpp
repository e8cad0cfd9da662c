#include "PacketAnalysis.h"

#include "ScalpMapView.h"
#include "ave/AveCommandSink.h"
#include "runtime/Checked.h"

namespace solvane {

namespace {

constexpr uint32_t Green = 0x00FF00;      // RGB(0, 255, 0)
constexpr uint32_t Red = 0x0000FF;        // RGB(255, 0, 0)
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
    const int16_t channels[4] = {settings_.AVEChannel1, settings_.AVEChannel2,
                                 settings_.AVEChannel3, settings_.AVEChannel4};
    for (int slot = 0; slot < 4; ++slot)
        selection_.ChannelMap[slot] = channels[slot];
    for (int16_t& entry : selection_.PositionInUse)
        entry = -1;
    selection_.ChannelCount = 0;
    for (const int16_t p : channels) {
        if (p != 0) {
            checked::at(selection_.PositionInUse, p - 1L, "ApplyChannelSelection") = p;
            selection_.ChannelCount =
                checked::to16(selection_.ChannelCount + 1L, "ApplyChannelSelection");
        }
    }
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
