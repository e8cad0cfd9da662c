// libFuzzer target for the reader of a session's events file (EventsReader). The input is the
// file's text; its first byte sets the size of the pieces it is taken in, as a file that grows
// is read a piece at a time.
//
// On any text, reading never crashes or hangs, and it reads the same however the text is cut:
// the events, their number and the damaged lines are those of the text taken whole. Every
// event it gives has an onset of 0 or more and a trial type.

#include "session/EventsFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

using solvane::session::EventsReader;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "events reader fuzzer: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = data[0] % 64 + 1;
    const std::span<const char> text(reinterpret_cast<const char*>(data) + 1, size - 1);
    EventsReader whole;
    whole.take(text);
    EventsReader pieces;
    for (std::size_t at = 0; at < text.size(); at += piece)
        pieces.take(text.subspan(at, std::min(piece, text.size() - at)));
    if (pieces.events().size() != whole.events().size() ||
        pieces.damagedLines() != whole.damagedLines() || pieces.problem() != whole.problem())
        fail("the text read in pieces is not the text read whole");
    for (std::size_t i = 0; i < whole.events().size(); ++i) {
        const auto& a = whole.events()[i];
        const auto& b = pieces.events()[i];
        if (a.onset != b.onset || a.duration != b.duration || a.type != b.type ||
            a.value != b.value)
            fail("an event read in pieces differs");
        if (!(a.onset >= 0.0) || a.type.empty())
            fail("an event without an onset or a trial type");
    }
    return 0;
}
