#pragma once
// The steps of beginning, finishing and recovering a run, each named as it is about to be
// taken, for a hook that may end the process there: the files a run leaves must be whole at
// every step, since a kill, a crash or a power cut can come between any two. Without a hook a
// step costs the test of a pointer.

#include <string_view>

namespace solvane::dsusim {

namespace Step {
// Beginning a run, after its lock is taken.
inline constexpr std::string_view CreateEvents = "create the events file";
inline constexpr std::string_view CreateRecording = "create the recording";
inline constexpr std::string_view WriteFacts = "write the facts";
inline constexpr std::string_view CreateSound = "create the sound file";
// Finishing it.
inline constexpr std::string_view CompleteSound = "complete the sound file";
inline constexpr std::string_view KeepSound = "keep the sound file";
inline constexpr std::string_view KeepRecording = "keep the recording";
inline constexpr std::string_view ReleaseLock = "release the lock";
inline constexpr std::string_view CopySession = "copy the session";
// Recovering it, and KeepSound, KeepRecording, ReleaseLock.
inline constexpr std::string_view CutRecording = "cut the recording";
inline constexpr std::string_view CutEvents = "cut the events file";
inline constexpr std::string_view RemoveWorkingFiles = "remove the working files";
} // namespace Step

/// Called with the name of each step before it is taken.
using StepHook = void (*)(std::string_view step);

/// Sets the hook (nullptr for none); returns the one before.
StepHook setStepHook(StepHook hook) noexcept;
/// A step about to be taken.
void step(std::string_view name) noexcept;

} // namespace solvane::dsusim
