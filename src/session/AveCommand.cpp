#include "session/AveCommand.h"

#include <cstddef>

namespace solvane::session {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";
constexpr int FrequencyOffset = 32768;

/// The value of `digits` upper-case hex digits, or -1.
int hexValue(std::string_view digits) noexcept {
    int value = 0;
    for (const char c : digits) {
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

AveCommandText encode(const AveCommand& command) noexcept {
    AveCommandText result;
    const char* prefix = "WB00";
    int prefixLength = 4;
    auto payload = static_cast<unsigned>(command.value);
    switch (command.target) {
    case AveCommand::Target::Volume00:
        break;
    case AveCommand::Target::Volume01:
        prefix = "WB01";
        break;
    case AveCommand::Target::BaseFrequency:
    case AveCommand::Target::SecondFrequency:
        prefix = command.target == AveCommand::Target::BaseFrequency ? "WE" : "WF";
        prefixLength = 2;
        payload = static_cast<unsigned>(command.value) + static_cast<unsigned>(FrequencyOffset);
        break;
    }
    for (int i = 0; i < prefixLength; ++i)
        result.text[i] = prefix[i];
    for (int i = 5; i >= prefixLength; --i) {
        result.text[i] = HexDigits[payload & 0xFU];
        payload >>= 4U;
    }
    return result;
}

std::optional<AveCommand> decode(std::string_view text) noexcept {
    if (text.size() != 6)
        return std::nullopt;
    AveCommand command;
    std::string_view digits = text.substr(2);
    int offset = FrequencyOffset;
    if (text.starts_with("WB00") || text.starts_with("WB01")) {
        command.target =
            text[3] == '0' ? AveCommand::Target::Volume00 : AveCommand::Target::Volume01;
        digits = text.substr(4);
        offset = 0;
    } else if (text.starts_with("WE")) {
        command.target = AveCommand::Target::BaseFrequency;
    } else if (text.starts_with("WF")) {
        command.target = AveCommand::Target::SecondFrequency;
    } else {
        return std::nullopt;
    }
    const int value = hexValue(digits);
    if (value < 0)
        return std::nullopt;
    command.value = value - offset;
    return command;
}

void AveOutputState::apply(const AveCommand& command) noexcept {
    // By target, in the order of AveCommand::Target.
    constexpr int AveOutputState::*Set[] = {&AveOutputState::volume00, &AveOutputState::volume01,
                                            &AveOutputState::baseFrequency,
                                            &AveOutputState::secondFrequency};
    this->*Set[static_cast<std::size_t>(command.target)] = command.value;
}

bool AveOutputState::apply(std::string_view text) noexcept {
    const std::optional<AveCommand> command = decode(text);
    if (command)
        apply(*command);
    return command.has_value();
}

} // namespace solvane::session
