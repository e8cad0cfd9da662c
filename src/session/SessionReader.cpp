#include "session/SessionReader.h"

#include "session/AveCommand.h"
#include "session/Numbers.h"
#include "session/ReadableFile.h"
#include "session/RecordingWriter.h"
#include "session/SessionError.h"
#include "session/SessionLock.h"

#include <algorithm>

namespace solvane::session {

namespace {

std::size_t commandsIn(const std::vector<SessionEvent>& events) {
    return static_cast<std::size_t>(std::count_if(
        events.begin(), events.end(), [](const SessionEvent& e) { return e.setsOutput(); }));
}

std::string seconds(long long count) {
    return integerText(count) + (count == 1 ? " second" : " seconds");
}

} // namespace

SessionReader::SessionReader(const std::filesystem::path& recording)
    : paths_(SessionPaths::ofRecording(recording)), recording_(recording),
      working_(recording.filename().string().ends_with(SessionPaths::WorkingSuffix)),
      edf_(recording.string(), working_) {
    {
        const ReadableFile file(recording_);
        FileSource source(file.fd());
        const uint64_t size = source.size();
        edf_.update(source);
        if (!edf_.headerRead() && !working_)
            throw SessionError(recording_.string() +
                               (size == 0 ? " is empty: it holds no recording"
                                          : " is too short to be an EDF+ recording (" +
                                                integerText(static_cast<long long>(size)) +
                                                " bytes, no whole header)"));
    }
    readFacts();
    update();
}

bool SessionReader::update() {
    const bool wasLive = live_;
    if (working_) {
        live_ = SessionLock::held(paths_.lock());
        // A run that ended renamed its recording; follow it to the kept name.
        std::error_code error;
        if (!std::filesystem::exists(recording_, error) &&
            std::filesystem::exists(paths_.kept(), error)) {
            recording_ = paths_.kept();
            working_ = false;
            live_ = false;
            edf_.setGrowing(false);
        }
    }
    const int recordsBefore = edf_.records();
    {
        const ReadableFile file(recording_);
        FileSource source(file.fd());
        edf_.update(source);
    }
    const std::size_t eventsBefore = events().size();
    readEvents();
    if (!facts_ && factsFault_.empty())
        readFacts();
    judge();
    return edf_.records() != recordsBefore || events().size() != eventsBefore || live_ != wasLive;
}

void SessionReader::readEvents() {
    if (!eventsFault_.empty())
        return;
    try {
        std::optional<ReadableFile> file = ReadableFile::ifPresent(paths_.events());
        eventsPresent_ = file.has_value();
        if (file) {
            FileSource source(file->fd());
            eventsFile_.follow(source);
        }
    } catch (const SessionError& e) {
        eventsPresent_ = true;
        eventsFault_ = e.what();
    }
    // The recording's annotations as events: its commands and the pauses it marks.
    const std::vector<Annotation>& annotations = edf_.annotations();
    for (; annotationsTaken_ < annotations.size(); ++annotationsTaken_) {
        const Annotation& a = annotations[annotationsTaken_];
        if (decode(a.text))
            fromAnnotations_.push_back({a.onset, -1.0, std::string(EventType::Command), a.text});
        else if (a.text.starts_with("Gap "))
            fromAnnotations_.push_back({a.onset, a.duration, std::string(EventType::Gap), a.text});
    }
}

void SessionReader::readFacts() {
    try {
        facts_ = session::readFacts(paths_.facts());
    } catch (const SessionError& e) {
        factsFault_ = e.what();
    }
}

// Which events to trust, and the notes. The events file leads the recording (its lines go
// out as the commands come; the annotations with each whole second), so it holds at least
// the commands of the annotations unless it is damaged.
void SessionReader::judge() {
    notes_.clear();
    const RecordingHeader& header = edf_.header();
    if (edf_.missingRecords() > 0)
        notes_.push_back("The recording's last " + seconds(edf_.missingRecords()) +
                         " are missing: its header counts " + integerText(header.recordCount) +
                         " records, and the file holds " + integerText(edf_.records()) +
                         " whole ones, which are shown.");
    else if (!working_ && header.recordCount < 0 && edf_.headerRead())
        notes_.push_back("The recording was not closed (its header gives no record count); its " +
                         seconds(edf_.records()) + " of whole records are shown.");

    const std::size_t inFile = commandsIn(eventsFile_.events());
    const std::size_t inAnnotations = commandsIn(fromAnnotations_);
    std::string problem;
    if (!eventsFault_.empty())
        problem = "cannot be read: " + eventsFault_;
    else if (!eventsPresent_)
        problem = "is missing";
    else if (const std::string what = eventsFile_.problem();
             !eventsFile_.hasHeader() && !what.empty())
        problem = what;
    else if (inFile < inAnnotations && eventsFile_.linesBeyond() == 0)
        problem = "holds fewer commands (" + integerText(static_cast<long long>(inFile)) +
                  ") than the recording's annotations (" +
                  integerText(static_cast<long long>(inAnnotations)) + "): it is cut short";
    useFile_ = problem.empty();
    const std::string file = "The events file " + paths_.events().filename().string() + " ";
    if (!useFile_)
        notes_.push_back(file + problem + "; the commands come from the recording's " +
                         "annotations" + (inAnnotations == 0 ? ", which hold none." : "."));
    else if (eventsFile_.damagedLines() > 0)
        notes_.push_back(file + eventsFile_.problem() + "; they are left out.");
    if (commandsIn(events()) == 0 && edf_.records() > 0 && useFile_)
        notes_.push_back("No AVE command was recorded: the output's volumes and tones are not "
                         "known.");
    if (useFile_ && eventsFile_.linesBeyond() > 0)
        notes_.push_back(file + "holds " +
                         integerText(static_cast<long long>(eventsFile_.linesBeyond())) +
                         " lines more than the " +
                         integerText(static_cast<long long>(EventsReader::MostEvents)) +
                         " events shown; they are not read.");
    for (const SessionFacts::Fault& fault : faults()) {
        const std::string at = " at " + shortest(fault.onset) + " s: ";
        const std::string_view sound = SessionFacts::Fault::SoundOnly;
        if (fault.what.starts_with(sound))
            notes_.push_back("The sound file stopped" + at + fault.what.substr(sound.size()) +
                             "; the sound up to there is kept.");
        else
            notes_.push_back("The recording stopped" + at + fault.what +
                             "; the EEG and sound up to there are kept.");
    }
    if (!factsFault_.empty())
        notes_.push_back("The run's facts cannot be read: " + factsFault_);
}

std::vector<SessionFacts::Fault> SessionReader::faults() const {
    std::vector<SessionFacts::Fault> found;
    for (const SessionEvent& event : events())
        if (event.type == EventType::Stopped)
            found.push_back({event.onset, event.value});
        else if (event.type == EventType::SoundStopped)
            found.push_back(
                {event.onset, std::string(SessionFacts::Fault::SoundOnly) + event.value});
    if (found.empty() && facts_)
        found = facts_->faults;
    return found;
}

std::optional<double> SessionReader::endsAt() const {
    const std::vector<Annotation>& annotations = edf_.annotations();
    for (auto a = annotations.rbegin(); a != annotations.rend(); ++a)
        if (a->text == RecordingWriter::EndsAnnotation)
            return a->onset;
    return std::nullopt;
}

std::string SessionReader::label(int signal) const {
    return edf_.headerRead() ? edf_.label(signal) : "Element " + integerText(signal);
}

std::string SessionReader::source() const {
    if (facts_ && !facts_->source.description.empty())
        return facts_->source.description;
    // "Startdate dd-MMM-yyyy admincode technician equipment additional..."
    const std::string& field = edf_.header().recording;
    std::string rest = field;
    for (int skip = 0; skip < 5 && !rest.empty(); ++skip) {
        const std::size_t space = rest.find(' ');
        rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
    }
    if (!field.starts_with("Startdate ") || rest.empty())
        rest = field;
    std::replace(rest.begin(), rest.end(), '_', ' ');
    return rest;
}

std::string SessionReader::start() const {
    const RecordingHeader& header = edf_.header();
    const std::string& date = header.startDate; // dd.mm.yy
    const std::string& time = header.startTime; // hh.mm.ss
    if (date.size() != 8 || time.size() != 8)
        return {};
    const long long year = parseInteger(date.substr(6, 2)).value_or(0);
    std::string text = integerText(year < 85 ? 2000 + year : 1900 + year) + "-" +
                       date.substr(3, 2) + "-" + date.substr(0, 2) + " " + time.substr(0, 2) + ":" +
                       time.substr(3, 2) + ":" + time.substr(6, 2);
    // The EDF+ recording field carries the four-digit year.
    if (header.recording.size() >= 21 && header.recording.starts_with("Startdate "))
        text.replace(0, 4, header.recording.substr(17, 4));
    return text;
}

} // namespace solvane::session
