#pragma once
// The six-character AVE commands, encoded and decoded in one place for the program that sends
// them, the DSU that plays them and everything that reads them back from a session:
//   WB00xx  volume of output 00 (two upper-case hex digits, the volume's low 8 bits)
//   WB01xx  volume of output 01
//   WExxxx  base frequency: four hex digits of hertz + 32768 (low 16 bits)
//   WFxxxx  second frequency, the same way
// Only these texts are commands; lower-case digits are not, as the DSU does not take them.

#include <optional>
#include <string_view>

namespace solvane::session {

/// One decoded command: what it sets and to what.
struct AveCommand {
    enum class Target { Volume00, Volume01, BaseFrequency, SecondFrequency };
    Target target = Target::Volume00;
    /// A volume 0..255, or a frequency in Hz, -32768..32767, as the six characters carry it.
    int value = 0;

    friend bool operator==(const AveCommand&, const AveCommand&) = default;
};

/// A command's text, NUL-terminated.
struct AveCommandText {
    char text[7] = {};
    [[nodiscard]] std::string_view view() const noexcept { return {text, 6}; }
};

/// The text of `command`; a value outside the range above keeps its low bits, as the device
/// would receive it (a volume of -1 is FF, a frequency of 32768 Hz is 0000).
AveCommandText encode(const AveCommand& command) noexcept;
/// The command `text` is, or nothing when it is none.
std::optional<AveCommand> decode(std::string_view text) noexcept;

/// What the commands have set so far: the two volumes and the two frequencies.
struct AveOutputState {
    int volume00 = 0;
    int volume01 = 0;
    int baseFrequency = 0;   ///< Hz
    int secondFrequency = 0; ///< Hz

    void apply(const AveCommand& command) noexcept;
    /// Applies `text` when it is a command; false when it is none (the state stays).
    bool apply(std::string_view text) noexcept;

    friend bool operator==(const AveOutputState&, const AveOutputState&) = default;
};

} // namespace solvane::session
