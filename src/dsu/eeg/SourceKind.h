#pragma once
// The kinds of source the bundled DSU reads its EEG from, and the words of its configuration
// that name them; any other Source names a recording.

#include "dsu/common/Text.h"

#include <string_view>

namespace solvane::dsusim {

/// Where the EEG comes from.
enum class SourceKind { Synthetic, Cyton, OpenEeg, Lsl, Recording };

/// Whether `kind` is a board on a serial port, which SetComPorts opens already.
constexpr bool serialBoard(SourceKind kind) {
    return kind == SourceKind::Cyton || kind == SourceKind::OpenEeg;
}

/// Whether the counts of `kind` go into the packets as they are, so that Gain does not apply
/// and MicrovoltsPerCount gives their scale.
constexpr bool ownCounts(SourceKind kind) {
    return kind == SourceKind::OpenEeg;
}

/// One word that Source takes (in any case).
struct SourceWord {
    std::string_view word;
    SourceKind kind;
    std::string_view description; ///< what it reads, for somebody choosing a source
};

/// Every word Source takes, in the order a list of them shows: the DSU, its set-up and their
/// messages all read this one list.
inline constexpr SourceWord SourceWords[] = {
    {"synthetic", SourceKind::Synthetic, "synthetic EEG"},
    {"cyton", SourceKind::Cyton, "OpenBCI Cyton (8 channels, 16 with a Daisy module)"},
    {"openeeg", SourceKind::OpenEeg, "OpenEEG P2 (ModularEEG and its kin, 6 channels)"},
    {"lsl", SourceKind::Lsl, "a Lab Streaming Layer stream"},
};

/// The Source word of `value` (any case, blanks around it ignored), or nothing when it names a
/// recording.
inline const SourceWord* findSourceWord(std::string_view value) {
    const std::string word = lower(trim(value));
    for (const SourceWord& known : SourceWords)
        if (known.word == word)
            return &known;
    return nullptr;
}

/// The kind of source `value` of Source names.
inline SourceKind sourceKind(std::string_view value) {
    const SourceWord* word = findSourceWord(value);
    return word != nullptr ? word->kind : SourceKind::Recording;
}

/// The word a run's facts give `kind`: its Source word, or "recording".
constexpr std::string_view kindWord(SourceKind kind) {
    for (const SourceWord& known : SourceWords)
        if (known.kind == kind)
            return known.word;
    return "recording";
}

} // namespace solvane::dsusim
