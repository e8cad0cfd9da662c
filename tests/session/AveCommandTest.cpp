// The AVE command codec that the program, the DSU and the session readers share.

#include "session/AveCommand.h"
#include "ave/EntrainmentCommands.h"

#include <gtest/gtest.h>

namespace solvane::session {
namespace {

using Target = AveCommand::Target;

void expectDecodes(const char* text, Target target, int value) {
    const std::optional<AveCommand> decoded = decode(text);
    ASSERT_TRUE(decoded) << text;
    EXPECT_EQ(decoded->target, target) << text;
    EXPECT_EQ(decoded->value, value) << text;
    EXPECT_EQ(encode(*decoded).view(), std::string_view(text, 6));
}

// Catches a command the entrainment sends that the DSU and the readers take for another: a
// hex digit, the frequencies' offset, the output addressed or the bits kept on the way back.
TEST(AveCommand, EverythingTheEntrainmentSendsDecodesBackToItself) {
    for (int v = -32768; v <= 32767; ++v) {
        expectDecodes(VolumeCommand(0, v).text, Target::Volume00, v & 0xFF);
        expectDecodes(VolumeCommand(1, v).text, Target::Volume01, v & 0xFF);
        expectDecodes(BaseFrequencyCommand(v).text, Target::BaseFrequency, v);
        for (const int desired : {-32768, -15, 0, 15, 32767}) {
            const int second = static_cast<int16_t>(static_cast<uint16_t>(v + desired));
            expectDecodes(SecondFrequencyCommand(v, desired).text, Target::SecondFrequency, second);
        }
        if (::testing::Test::HasFailure())
            break;
    }
}

// Catches a reader that takes a text the DSU does not play (and so shows an output the
// listener never heard).
TEST(AveCommand, TextsTheDsuDoesNotPlayAreNoCommands) {
    for (const char* text :
         {"wb0010", "WB001a", "WB0210", "WB00G0", "WX1234", "WB001", "WB00100", "WE80D ", ""}) {
        EXPECT_FALSE(decode(text)) << text;
        AveOutputState state;
        EXPECT_FALSE(state.apply(text)) << text;
        EXPECT_EQ(state, AveOutputState{}) << text;
    }
}

} // namespace
} // namespace solvane::session
