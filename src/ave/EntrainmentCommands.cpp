#include "EntrainmentCommands.h"

namespace solvane {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr int32_t FrequencyOffset = 32768;

// Writes the low `digits` hex digits of `value` (two's complement) after a fixed prefix.
AveCommand compose(const char (&prefix)[5], int prefixLength, uint32_t value, int digits) {
    AveCommand command;
    for (int i = 0; i < prefixLength; ++i)
        command.text[i] = prefix[i];
    for (int i = digits - 1; i >= 0; --i) {
        command.text[prefixLength + i] = HexDigits[value & 0xFU];
        value >>= 4U;
    }
    command.text[6] = '\0';
    return command;
}

} // namespace

AveCommand VolumeCommand(int output, int32_t volume) {
    return compose(output == 0 ? "WB00" : "WB01", 4, static_cast<uint32_t>(volume), 2);
}

AveCommand BaseFrequencyCommand(int32_t frequency) {
    return compose("WE\0\0", 2, static_cast<uint32_t>(frequency + FrequencyOffset), 4);
}

AveCommand SecondFrequencyCommand(int32_t baseFrequency, int32_t desiredFrequency) {
    return compose("WF\0\0", 2,
                   static_cast<uint32_t>(baseFrequency + FrequencyOffset + desiredFrequency), 4);
}

} // namespace solvane
