#pragma once
// The texts of a BIDS dataset made from Solvane's sessions: the dataset's own files
// (dataset_description.json, README, the events.json that explains the events of every
// session) and, for one session read through the session library, its _eeg.json (the
// recording's facts and the run's protocol), _channels.tsv (the eight packet elements: the
// four that the channel slots read are EEG, the four that no slot reads MISC and bad),
// _events.tsv (the session's events with the AVE commands decoded, and the sound as the
// stimulus presented from the start) and its row of the subject's sessions table (its start
// and protocol). Numbers through std::to_chars, whatever the locale.

#include "bids/TsvText.h"
#include "session/SessionReader.h"

#include <optional>
#include <string>
#include <vector>

namespace solvane::bids {

struct SidecarSettings {
    std::string task = "neurofeedback";
    int lineFrequency = 50; ///< Hz
};

std::string datasetDescription();
std::string datasetReadme();
std::string eventsDescription();

/// The columns of a subject's sessions table, and their description (its sessions.json).
const std::vector<std::string>& sessionColumns();
std::string sessionsDescription();
/// A session's row of its subject's sessions table, but its id, time and length.
TsvRow sessionRow(const session::SessionReader& session);

std::string recordingSidecar(const session::SessionReader& session,
                             const SidecarSettings& settings);
std::string channelsTable(const session::SessionReader& session);
/// `sound`: the sound's file name in stimuli/, or nothing when the session has none.
std::string eventsTable(const session::SessionReader& session,
                        const std::optional<std::string>& sound);

} // namespace solvane::bids
