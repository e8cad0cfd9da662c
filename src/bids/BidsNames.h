#pragma once
// The names a session gets in a BIDS dataset. A label is letters and digits only. A
// session's label is the time its run began, from its stamp: 2026-12-08_09-30-00 is
// 20261208T093000, and a further run that began in the same second, stamp suffix _2, is
// 20261208T093000r2; so the same session always gets the same label. A recording whose
// name is no stamp gets the start its header gives. Its files are
//   sub-<subject>/ses-<label>/eeg/sub-<subject>_ses-<label>_task-<task>_<suffix>
// and its sound stimuli/sub-<subject>_ses-<label>_task-<task>_sound.flac.

#include <optional>
#include <string>
#include <string_view>

namespace solvane::bids {

/// True when `text` can be a label: one or more ASCII letters and digits.
bool isLabel(std::string_view text) noexcept;
/// The label of the run of `stamp` ("2026-12-08_09-30-00", "..._2"); nothing when it is
/// not a stamp.
std::optional<std::string> labelOfStamp(std::string_view stamp);
/// The label of a start "2026-12-08 09:30:00" as a recording's header gives it; nothing
/// when it is none.
std::optional<std::string> labelOfStart(std::string_view start);
/// The acquisition time a label stands for ("2026-12-08T09:30:00"); empty for none.
std::string acquisitionTime(std::string_view label);

/// What names one session's files.
struct SessionName {
    std::string subject; ///< without "sub-"
    std::string session; ///< without "ses-"
    std::string task;    ///< without "task-"

    /// "sub-01/ses-20261208T093000", relative to the dataset.
    [[nodiscard]] std::string folder() const;
    /// "sub-01_ses-20261208T093000_task-neurofeedback_" + suffix ("eeg.edf").
    [[nodiscard]] std::string file(std::string_view suffix) const;
    /// The sound's name in stimuli/.
    [[nodiscard]] std::string sound() const { return file("sound.flac"); }
};

} // namespace solvane::bids
