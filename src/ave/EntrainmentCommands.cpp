#include "EntrainmentCommands.h"

#include "session/AveCommand.h"

#include <cstring>

namespace solvane {

namespace {

using Target = session::AveCommand::Target;

AveCommand text(Target target, int32_t value) {
    AveCommand result;
    std::memcpy(result.text, session::encode({target, static_cast<int>(value)}).text,
                sizeof result.text);
    return result;
}

} // namespace

AveCommand VolumeCommand(int output, int32_t volume) {
    return text(output == 0 ? Target::Volume00 : Target::Volume01, volume);
}

AveCommand BaseFrequencyCommand(int32_t frequency) {
    return text(Target::BaseFrequency, frequency);
}

AveCommand SecondFrequencyCommand(int32_t baseFrequency, int32_t desiredFrequency) {
    return text(Target::SecondFrequency, baseFrequency + desiredFrequency);
}

} // namespace solvane
