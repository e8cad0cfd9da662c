#include "bids/BidsSidecars.h"

#include "bids/Json.h"
#include "bids/TsvText.h"
#include "session/AveCommand.h"
#include "session/Numbers.h"

#include <array>
#include <filesystem>

namespace solvane::bids {

namespace {

using session::SessionFacts;
using session::SessionReader;

constexpr int Elements = SessionReader::Signals;
constexpr int SamplingFrequency = SessionReader::RecordSamples; // one-second records
/// The element each channel slot reads, where a session has no facts to say so.
constexpr int SlotElement[4] = {0, 4, 1, 5};
constexpr const char* BidsVersion = "1.9.0";

/// What a packet element of a session carries.
struct Element {
    int slot = -1;           ///< the channel slot that reads it; -1 for none
    std::string position;    ///< the scalp position of its slot; empty for none
    std::string sourceLabel; ///< the signal's label at its source
    [[nodiscard]] std::string output() const { return slot % 2 == 0 ? "00" : "01"; }
};

std::array<Element, Elements> elementsOf(const SessionReader& session) {
    std::array<Element, Elements> elements;
    for (int slot = 0; slot < 4; ++slot) {
        int element = SlotElement[slot];
        if (session.facts()) {
            const SessionFacts::Slot& fact = session.facts()->slot[static_cast<std::size_t>(slot)];
            if (fact.element < 0 || fact.element >= Elements)
                continue;
            element = fact.element;
            elements[static_cast<std::size_t>(element)].position = fact.positionName;
            elements[static_cast<std::size_t>(element)].sourceLabel = fact.sourceLabel;
        }
        elements[static_cast<std::size_t>(element)].slot = slot;
    }
    return elements;
}

std::string kindOf(const SessionReader& session) {
    return session.facts() ? session.facts()->source.kind : std::string();
}

/// Where the EEG came from, in words, with a replayed recording named by its file alone: a
/// dataset goes to others, who need not learn the folders of the practitioner's computer.
std::string sourceWords(const SessionReader& session) {
    std::string words = session.source();
    if (const std::optional<SessionFacts>& facts = session.facts();
        facts && !facts->source.recording.empty()) {
        const std::string& path = facts->source.recording;
        const std::string file = std::filesystem::path(path).filename().string();
        for (std::size_t at = words.find(path); at != std::string::npos;
             at = words.find(path, at + file.size()))
            words.replace(at, path.size(), file);
    }
    return words;
}

/// Who made what produced the samples, and what it is.
std::pair<std::string, std::string> maker(const SessionReader& session) {
    const std::string kind = kindOf(session);
    const std::string description = session.source();
    if (kind == "cyton")
        return {"OpenBCI", description.find("with Daisy") != std::string::npos
                               ? "Cyton with Daisy module"
                               : "Cyton"};
    if (kind == "openeeg")
        return {"OpenEEG", "P2 protocol board (ModularEEG or compatible)"};
    if (kind == "lsl") {
        const std::string stream = session.facts()->source.stream;
        return {"n/a", "Lab Streaming Layer stream" + (stream.empty() ? "" : " " + stream)};
    }
    if (kind == "recording")
        return {"Solvane", "simulated DSU, replaying a recording"};
    if (kind == "synthetic")
        return {"Solvane", "simulated DSU, synthetic EEG"};
    return {"Solvane", "simulated DSU"};
}

std::string referenceOf(const SessionReader& session) {
    const std::string kind = kindOf(session);
    if (kind == "synthetic")
        return "n/a (synthetic EEG)";
    if (kind == "recording")
        return "as in the replayed recording";
    if (kind == "cyton")
        return "the board's reference input (SRB2 in its default channel settings)";
    if (kind == "openeeg")
        return "as wired: each channel of the board is a differential pair";
    if (kind == "lsl")
        return "as set up on the amplifier of the stream";
    return "unknown";
}

Json softwareFilters(const SessionReader& session) {
    const std::string kind = kindOf(session);
    if (kind == "synthetic" || kind == "openeeg")
        return "n/a"; // made or sampled at 256 Hz: nothing changes the samples
    Json filters = Json::object();
    filters.set("ResamplingTo256Hz",
                Json::object().set("Description",
                                   "the source's samples, where its rate is not 256 Hz, were "
                                   "resampled to 256 Hz by the simulated DSU, which removes what "
                                   "lies above 128 Hz"));
    return filters;
}

/// The scalp positions of the slots of the group that sets `output`, as "O1 P3"; empty when
/// it has none.
std::string groupOf(const std::array<Element, Elements>& elements, const std::string& output) {
    std::string positions;
    for (int slot : {0, 1, 2, 3})
        for (const Element& element : elements)
            if (element.slot == slot && element.output() == output && !element.position.empty())
                positions += (positions.empty() ? "" : " ") + element.position;
    return positions;
}

std::string optionalInteger(const std::optional<int>& value) {
    return value ? session::integerText(*value) : std::string();
}

/// The run's protocol in words: the groups of channels that balance the two outputs, and the
/// settings at its start.
std::string protocolOf(const SessionReader& session,
                       const std::array<Element, Elements>& elements) {
    std::string text = "Neurofeedback with audio-visual entrainment. Once a second the volume is "
                       "shared between two outputs by the total amplitude over 1 to 35 Hz of "
                       "their groups of channels.";
    for (const std::string output : {"00", "01"}) {
        text += " Output " + output;
        text += output == "00" ? " (left, at the base frequency)"
                               : " (right, at the base plus the desired frequency)";
        text += " follows group " + output + ":";
        bool any = false;
        for (int slot : {0, 1, 2, 3})
            for (int e = 0; e < Elements; ++e) {
                const Element& element = elements[static_cast<std::size_t>(e)];
                if (element.slot != slot || element.output() != output)
                    continue;
                text += std::string(any ? "," : "") + " slot " + session::integerText(slot) + " (" +
                        session.label(e) + ", " +
                        (element.position.empty() ? std::string("no scalp position")
                                                  : element.position) +
                        ")";
                any = true;
            }
        text += any ? "." : " no channel.";
    }
    if (const std::optional<SessionFacts>& facts = session.facts()) {
        const SessionFacts::Settings& settings = facts->settings;
        if (settings.problem.empty())
            text += " At the start: volume " + optionalInteger(settings.volume) +
                    " of 255, base frequency " + optionalInteger(settings.baseFrequency) +
                    " Hz, desired frequency " + optionalInteger(settings.desiredFrequency) + " Hz.";
        else
            text += " The settings at the start are not known: " + settings.problem + ".";
        text += " Gain " + session::shortest(facts->gain) + " counts per microvolt.";
        for (const SessionFacts::Fault& fault : facts->faults)
            text += " At " + session::fixed(fault.onset, 1) + " s: " + fault.what + ".";
    }
    return text + " Source: " + sourceWords(session) + ".";
}

std::string seconds(double value) {
    return session::fixed(value, 4);
}

} // namespace

std::string datasetDescription() {
    return Json::object()
        .set("Name", "Solvane neurofeedback sessions")
        .set("BIDSVersion", BidsVersion)
        .set("DatasetType", "raw")
        .set("GeneratedBy",
             Json::array().add(Json::object()
                                   .set("Name", "Solvane")
                                   .set("Version", SOLVANE_VERSION)
                                   .set("Description", "solvane-view --export-bids")))
        .text();
}

std::string eventsDescription() {
    const auto levels = [](std::initializer_list<std::pair<const char*, const char*>> items) {
        Json json = Json::object();
        for (const auto& [name, meaning] : items)
            json.set(name, meaning);
        return json;
    };
    return Json::object()
        .set("onset", Json::object()
                          .set("Description", "Time of the event from the start of the "
                                              "recording: its packet / 256, to 0.1 ms")
                          .set("Units", "s"))
        .set("duration", Json::object()
                             .set("Description", "How long the event lasted; n/a for a "
                                                 "command, which acts at once")
                             .set("Units", "s"))
        .set("sample",
             Json::object().set("Description", "The packet of the recording the event falls on "
                                               "(256 a second, the first is 0)"))
        .set("trial_type",
             Json::object()
                 .set("Description", "What happened")
                 .set("Levels",
                      levels({{"ave_command", "The DSU received an AVE command: a volume or "
                                              "a frequency of an output was set"},
                              {"ave_state", "The output in force when the run began (kept "
                                            "from the run before), as the command that sets it"},
                              {"ave_sound", "The AVE output as sound (both outputs, as the "
                                            "DSU played them), from the start; see stim_file"},
                              {"gap", "A pause of a live source: no samples came for the "
                                      "duration"},
                              {"recording_stopped", "The recording stopped while the run "
                                                    "went on; value gives the reason"}})))
        .set("value", Json::object().set(
                          "Description",
                          "For ave_command and ave_state the six characters the DSU received: "
                          "WB00xx and WB01xx set the volume of output 00 and 01 (xx: two "
                          "hex digits, 0 to 255), WExxxx and WFxxxx the frequency of output "
                          "00 and 01 (four hex digits of hertz + 32768); decoded in output, "
                          "volume and frequency_hz. For the other events, what happened in "
                          "words."))
        .set("output",
             Json::object()
                 .set("Description", "The output an AVE command sets")
                 .set("Levels", levels({{"00", "Output 00: the left channel, at the base "
                                               "frequency"},
                                        {"01", "Output 01: the right channel, at the second "
                                               "frequency (the base plus the desired one)"}})))
        .set("volume",
             Json::object().set("Description", "The volume an AVE command sets, 0 (silent) to "
                                               "255; n/a for a frequency"))
        .set("frequency_hz", Json::object()
                                 .set("Description", "The frequency an AVE command sets; n/a "
                                                     "for a volume")
                                 .set("Units", "Hz"))
        .set("stim_file",
             Json::object().set("Description", "The session's AVE output as sound, in stimuli/: "
                                               "FLAC, 48 kHz, 16-bit stereo, output 00 left "
                                               "and output 01 right"))
        .text();
}

std::string datasetReadme() {
    return R"(Solvane neurofeedback sessions
==============================

EEG recorded during neurofeedback with audio-visual entrainment (AVE) by Solvane, one session
per run, exported with `solvane-view --export-bids`.

The runs come from Solvane's DSU: 8 packet elements at 256 packets a second. Four channel
slots read four of the elements: slots 0 and 2 form group 00, which sets the volume of output
00 (the left channel, at the base frequency), slots 1 and 3 group 01, output 01 (the right
channel, at the base plus the desired frequency). Once a second the volume is shared between
the outputs by the total amplitude over 1 to 35 Hz of each group.

Layout
------

- `sub-<subject>/ses-<start>/eeg/`: one folder per session, named after the local time its
  run began (`ses-20261208T093000`; a further run that began in the same second gets `r2`,
  `r3`, ...).
- `*_eeg.edf`: the recording as Solvane keeps it (EDF+, one-second records, the AVE commands
  also as annotations), unchanged.
- `*_eeg.json`: the recording's facts, and in `TaskDescription` the run's protocol in words:
  the channels of each group with their scalp positions, the volume and frequencies set at
  its start, the gain (counts per microvolt) and the source of the EEG.
- `sub-<subject>/sub-<subject>_sessions.tsv`: each session's start and length, and its protocol
  as columns (source, the positions of each group, volume, base and desired frequency).
- `*_channels.tsv`: the eight elements. The four that no channel slot reads hold no EEG: they
  are type MISC with status bad.
- `*_events.tsv`: the AVE commands the DSU received (`ave_command`), the output in force at
  the start (`ave_state`), pauses of a live source (`gap`) and recording faults, with each
  command decoded into `output`, `volume` and `frequency_hz`. `events.json` at the top
  explains every column and level.
- `stimuli/`: the AVE output of each session as sound (FLAC, 48 kHz, 16-bit stereo, output 00
  left, output 01 right), as the DSU played it, so that it lines up with the EEG. Each session's
  events name it in `stim_file`, on an `ave_sound` event from onset 0 for the whole recording.
  It is kept in `stimuli/` rather than beside the recording because BIDS defines no sound
  recording beside EEG, and `stimuli/` holds the stimuli presented to a participant.

Before the dataset is shared, its authors (and a licence) belong in
`dataset_description.json`: the export cannot know them. A later export into the same folder
adds the sessions that are not in it yet and leaves everything else as it is, edits to this
file, `dataset_description.json`, `participants.tsv` and the sessions tables included.
)";
}

std::string recordingSidecar(const SessionReader& session, const SidecarSettings& settings) {
    const std::array<Element, Elements> elements = elementsOf(session);
    int eeg = 0;
    bool positions = false;
    for (const Element& element : elements) {
        eeg += element.slot >= 0 ? 1 : 0;
        positions = positions || !element.position.empty();
    }
    const auto [manufacturer, model] = maker(session);
    const std::optional<SessionFacts>& facts = session.facts();
    std::string versions = "Solvane";
    if (facts && !facts->programVersion.empty())
        versions += " " + facts->programVersion;
    if (facts && !facts->libraryVersion.empty())
        versions += ", device library " + facts->libraryVersion;

    // The validator takes no fields beyond those BIDS defines: the protocol is in words.
    Json json = Json::object();
    json.set("TaskName", settings.task);
    json.set("TaskDescription", protocolOf(session, elements));
    json.set("Manufacturer", manufacturer);
    json.set("ManufacturersModelName", model);
    json.set("SoftwareVersions", versions);
    json.set("EEGReference", referenceOf(session));
    json.set("SamplingFrequency", SamplingFrequency);
    json.set("PowerLineFrequency", settings.lineFrequency);
    json.set("SoftwareFilters", softwareFilters(session));
    json.set("EEGChannelCount", eeg);
    json.set("MiscChannelCount", Elements - eeg);
    json.set("ECGChannelCount", 0);
    json.set("EMGChannelCount", 0);
    json.set("EOGChannelCount", 0);
    json.set("TriggerChannelCount", 0);
    json.set("RecordingDuration", session.records()); // one-second records
    json.set("RecordingType", "continuous");
    if (positions)
        json.set("EEGPlacementScheme", "10-20");
    return json.text();
}

TsvRow sessionRow(const SessionReader& session) {
    const std::array<Element, Elements> elements = elementsOf(session);
    TsvRow row{{"source", sourceWords(session)},
               {"group_00", groupOf(elements, "00")},
               {"group_01", groupOf(elements, "01")}};
    if (const std::optional<SessionFacts>& facts = session.facts();
        facts && facts->settings.problem.empty()) {
        row["volume"] = optionalInteger(facts->settings.volume);
        row["base_frequency_hz"] = optionalInteger(facts->settings.baseFrequency);
        row["desired_frequency_hz"] = optionalInteger(facts->settings.desiredFrequency);
    }
    return row;
}

const std::vector<std::string>& sessionColumns() {
    static const std::vector<std::string> columns = {
        "session_id", "acq_time",          "duration_s",          "source", "group_00", "group_01",
        "volume",     "base_frequency_hz", "desired_frequency_hz"};
    return columns;
}

std::string sessionsDescription() {
    const auto described = [](const char* text) { return Json::object().set("Description", text); };
    return Json::object()
        .set("acq_time", described("The local time the run began"))
        .set("duration_s", described("The recording's length, in whole seconds").set("Units", "s"))
        .set("source", described("Where the EEG came from, in words"))
        .set("group_00", described("The scalp positions of the channels of group 00, which "
                                   "set the volume of output 00 (left, base frequency)"))
        .set("group_01", described("The scalp positions of the channels of group 01, which "
                                   "set the volume of output 01 (right, second frequency)"))
        .set("volume", described("The volume set at the start (AVEVolume), 0 to 255"))
        .set("base_frequency_hz", described("The base frequency set at the start "
                                            "(AVEFrequency)")
                                      .set("Units", "Hz"))
        .set("desired_frequency_hz", described("The desired frequency set at the start "
                                               "(AVEDesiredFrequency): output 01 plays the "
                                               "base plus it")
                                         .set("Units", "Hz"))
        .text();
}

std::string channelsTable(const SessionReader& session) {
    const std::array<Element, Elements> elements = elementsOf(session);
    std::string table = tsvLine({"name", "type", "units", "description", "sampling_frequency",
                                 "status", "status_description"});
    const std::string frequency = session::integerText(SamplingFrequency);
    for (int e = 0; e < Elements; ++e) {
        const Element& element = elements[static_cast<std::size_t>(e)];
        const std::string number = session::integerText(e);
        if (element.slot < 0) {
            table += tsvLine({session.label(e), "MISC", "uV",
                              "packet element " + number + ", which no channel slot reads",
                              frequency, "bad", "no channel slot reads it: it holds no EEG"});
            continue;
        }
        std::string description = "slot " + session::integerText(element.slot) + " (group " +
                                  element.output() + ", output " + element.output() +
                                  "), packet element " + number;
        if (element.position.empty())
            description += ", no scalp position set: not used by the feedback";
        if (!element.sourceLabel.empty())
            description += ", from " + element.sourceLabel;
        table += tsvLine({session.label(e), "EEG", "uV", description, frequency, "good", ""});
    }
    return table;
}

std::string eventsTable(const SessionReader& session, const std::optional<std::string>& sound) {
    std::string table = tsvLine({"onset", "duration", "sample", "trial_type", "value", "output",
                                 "volume", "frequency_hz", "stim_file"});
    if (sound)
        table += tsvLine(
            {seconds(0.0), seconds(session.records()), "0", "ave_sound", "", "", "", "", *sound});
    for (const session::SessionEvent& event : session.events()) {
        std::string output;
        std::string volume;
        std::string frequency;
        if (const std::optional<session::AveCommand> command =
                event.setsOutput() ? session::decode(event.value) : std::nullopt) {
            using Target = session::AveCommand::Target;
            const bool first =
                command->target == Target::Volume00 || command->target == Target::BaseFrequency;
            output = first ? "00" : "01";
            const std::string value = session::integerText(command->value);
            if (command->target == Target::Volume00 || command->target == Target::Volume01)
                volume = value;
            else
                frequency = value;
        }
        table += tsvLine({seconds(event.onset), event.duration < 0.0 ? "" : seconds(event.duration),
                          session::integerText(static_cast<long long>(event.packet())), event.type,
                          event.value, output, volume, frequency, ""});
    }
    return table;
}

} // namespace solvane::bids
