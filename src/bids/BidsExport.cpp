#include "bids/BidsExport.h"

#include "bids/BidsNames.h"
#include "bids/ExportError.h"
#include "bids/TsvText.h"
#include "files/FileDescriptor.h"
#include "files/FileIo.h"
#include "session/Numbers.h"
#include "session/ReadableFile.h"
#include "session/SessionError.h"
#include "session/SessionPaths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace solvane::bids {

namespace {

namespace fs = std::filesystem;
using session::SessionReader;

constexpr std::string_view PartialPrefix = ".solvane-partial-";
constexpr const char* Description = "dataset_description.json";
constexpr const char* Participants = "participants.tsv";
constexpr std::size_t CopyBytes = std::size_t{1} << 20;

std::string systemError(int error) {
    return std::strerror(error);
}

using Descriptor = files::FileDescriptor;

void writeAll(int fd, const char* bytes, std::size_t length, const fs::path& file) {
    if (!files::writeAll(fd, bytes, length))
        throw ExportError(file.string() + " cannot be written: " + systemError(errno));
}

/// Creates `file`, which must not exist, for writing.
Descriptor create(const fs::path& file) {
    Descriptor fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (fd.get() < 0)
        throw ExportError(file.string() + " cannot be created: " + systemError(errno));
    return fd;
}

/// Puts what was written to the disk and closes it.
void complete(Descriptor& fd, const fs::path& file) {
    if (::fsync(fd.get()) != 0 || !fd.close())
        throw ExportError(file.string() + " cannot be written: " + systemError(errno));
}

void writeNew(const fs::path& file, std::string_view text) {
    Descriptor fd = create(file);
    writeAll(fd.get(), text.data(), text.size(), file);
    complete(fd, file);
}

/// Replaces `file` whole with `text`, through a temporary file in the dataset's folder
/// `dataset` (on the same disk; hidden, and removed by the next export if this one is cut
/// short).
void writeReplacing(const fs::path& file, std::string_view text, const fs::path& dataset) {
    const fs::path part = dataset / (std::string(PartialPrefix) + file.filename().string());
    files::removeQuietly(part);
    try {
        writeNew(part, text);
    } catch (...) {
        files::removeQuietly(part);
        throw;
    }
    std::error_code error;
    fs::rename(part, file, error);
    if (error) {
        files::removeQuietly(part);
        throw ExportError(file.string() + " cannot be replaced: " + error.message());
    }
}

/// The bytes of a plain file; nothing when there is none. Throws ExportError.
std::optional<std::string> readText(const fs::path& file) {
    try {
        std::optional<session::ReadableFile> in = session::ReadableFile::ifPresent(file);
        if (!in)
            return std::nullopt;
        session::FileSource source(in->fd());
        std::string text(static_cast<std::size_t>(source.size()), '\0');
        if (!source.readAt(0, text))
            throw ExportError(file.string() + " cannot be read");
        return text;
    } catch (const session::SessionError& e) {
        throw ExportError(e.what());
    }
}

/// Copies the plain file `source` to the new file `target`, byte for byte.
void copyFile(const fs::path& source, const fs::path& target) {
    try {
        const session::ReadableFile in(source);
        session::FileSource bytes(in.fd());
        const uint64_t size = bytes.size();
        Descriptor out = create(target);
        std::vector<char> buffer(CopyBytes);
        for (uint64_t at = 0; at < size;) {
            const auto length = static_cast<std::size_t>(std::min<uint64_t>(CopyBytes, size - at));
            if (!bytes.readAt(at, std::span(buffer.data(), length)))
                throw ExportError(source.string() + " cannot be read whole (" +
                                  session::integerText(static_cast<long long>(size)) +
                                  " bytes when the copy began)");
            writeAll(out.get(), buffer.data(), length, target);
            at += length;
        }
        complete(out, target);
    } catch (const session::SessionError& e) {
        throw ExportError(e.what());
    }
}

/// True when the two plain files hold the same bytes.
bool sameBytes(const fs::path& a, const fs::path& b) {
    const session::ReadableFile first(a);
    const session::ReadableFile second(b);
    session::FileSource one(first.fd());
    session::FileSource other(second.fd());
    const uint64_t size = one.size();
    if (other.size() != size)
        return false;
    std::vector<char> x(CopyBytes);
    std::vector<char> y(CopyBytes);
    for (uint64_t at = 0; at < size;) {
        const auto length = static_cast<std::size_t>(std::min<uint64_t>(CopyBytes, size - at));
        if (!one.readAt(at, std::span(x.data(), length)) ||
            !other.readAt(at, std::span(y.data(), length)) ||
            std::memcmp(x.data(), y.data(), length) != 0)
            return false;
        at += length;
    }
    return true;
}

/// The recording in a session's folder of the dataset, whatever its task.
std::optional<fs::path> recordingIn(const fs::path& folder) {
    std::error_code error;
    for (fs::directory_iterator entry(folder / "eeg", error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (name.ends_with("_eeg.edf"))
            return entry->path();
    }
    return std::nullopt;
}

void makeFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directory(folder, error);
    if (error || !fs::is_directory(folder, error))
        throw ExportError("the folder " + folder.string() + " cannot be made: " +
                          (error ? error.message() : "a file of that name is in the way"));
}

/// "YYYY-MM-DD" as "YYYYMMDD", or nothing.
std::optional<std::string> dayOf(const std::string& date) {
    const std::optional<std::string> label = labelOfStart(date + " 00:00:00");
    if (!label)
        return std::nullopt;
    const auto month = session::parseInteger(label->substr(4, 2)).value_or(0);
    const auto day = session::parseInteger(label->substr(6, 2)).value_or(0);
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    return label->substr(0, 8);
}

std::string damageOf(const SessionReader& reader) {
    const long long counted = reader.header().recordCount;
    if (reader.records() == 0)
        return "it holds no whole second of EEG";
    if (counted < 0)
        return "its recording was not closed (its header gives no record count)";
    if (counted > reader.records())
        return "its recording is damaged: its header counts " + session::integerText(counted) +
               " seconds and the file holds " + session::integerText(reader.records());
    return {};
}

/// Why the session cannot be exported as it is (still being recorded, its run not ended, its
/// recording damaged); empty when it can.
std::string notFinished(const SessionReader& reader) {
    if (reader.live())
        return "it is still being recorded";
    if (reader.working())
        return "its run did not end; the simulated DSU finishes it when it next starts a run";
    return damageOf(reader);
}

ExportedSession skipped(ExportedSession result, const std::string& why) {
    result.outcome = ExportedSession::Outcome::Skipped;
    result.reason = why;
    return result;
}

/// The dataset folder, held by this export alone while it runs.
class DatasetLock {
public:
    explicit DatasetLock(const fs::path& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_.get() < 0)
            throw ExportError("the dataset folder " + folder.string() +
                              " cannot be opened: " + systemError(errno));
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0)
            throw ExportError(errno == EWOULDBLOCK
                                  ? "another export is writing into " + folder.string()
                                  : "the dataset folder " + folder.string() +
                                        " cannot be locked: " + systemError(errno));
    }

private:
    Descriptor fd_;
};

} // namespace

BidsExport::BidsExport(std::filesystem::path dataset, ExportOptions options)
    : dataset_(std::move(dataset)), options_(std::move(options)) {
    if (!isLabel(options_.subject))
        throw ExportError("the subject \"" + options_.subject +
                          "\" is no BIDS label: letters and digits only");
    if (!isLabel(options_.sidecar.task))
        throw ExportError("the task \"" + options_.sidecar.task +
                          "\" is no BIDS label: letters and digits only");
    for (const std::string* date : {&options_.from, &options_.to})
        if (!date->empty() && !dayOf(*date))
            throw ExportError("\"" + *date + "\" is no date: YYYY-MM-DD");
    if (options_.sidecar.lineFrequency < 1 || options_.sidecar.lineFrequency > 1000)
        throw ExportError("a line frequency of " +
                          session::integerText(options_.sidecar.lineFrequency) +
                          " Hz is out of range (1 to 1000)");
}

bool BidsExport::inRange(const std::string& label) const {
    const std::string day = label.substr(0, 8);
    return (options_.from.empty() || day >= dayOf(options_.from).value_or("")) &&
           (options_.to.empty() || day <= dayOf(options_.to).value_or("99999999"));
}

std::vector<fs::path> BidsExport::selection() const {
    std::vector<fs::path> chosen = options_.recordings;
    if (chosen.empty()) {
        try {
            for (const fs::path& recording : session::recordingsIn(options_.sessions))
                if (!recording.filename().string().ends_with(session::SessionPaths::WorkingSuffix))
                    chosen.push_back(recording);
        } catch (const session::SessionError& e) {
            throw ExportError(e.what());
        }
        std::reverse(chosen.begin(), chosen.end());
    }
    // A stamp tells the date without reading the session; other names are judged once read.
    std::erase_if(chosen, [this](const fs::path& recording) {
        const std::optional<std::string> label =
            labelOfStamp(session::SessionPaths::ofRecording(recording).stamp());
        return label && !inRange(*label);
    });
    return chosen;
}

std::vector<ExportedSession>
BidsExport::run(const std::function<bool(const ExportedSession&)>& progress) {
    const std::vector<fs::path> chosen = selection();
    std::error_code error;
    if (!fs::exists(dataset_, error))
        fs::create_directories(dataset_, error);
    if (error || !fs::is_directory(dataset_, error))
        throw ExportError("the dataset folder " + dataset_.string() + " cannot be made: " +
                          (error ? error.message() : "a file of that name is in the way"));
    const DatasetLock lock(dataset_);

    // What an export that was cut short left behind is removed; any other file of a folder
    // that is no dataset yet belongs to someone else.
    bool others = false;
    for (fs::directory_iterator entry(dataset_, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->path().filename().string().starts_with(PartialPrefix)) {
            std::error_code ignored;
            fs::remove_all(entry->path(), ignored);
        } else {
            others = true;
        }
    }
    if (error)
        throw ExportError("the dataset folder " + dataset_.string() +
                          " cannot be read: " + error.message());
    const bool dataset = fs::exists(dataset_ / Description, error);
    if (others && !dataset)
        throw ExportError(dataset_.string() + " holds other files and no BIDS dataset (no " +
                          Description + "): export into a new or empty folder, or a dataset");
    if (!dataset)
        writeReplacing(dataset_ / Description, datasetDescription(), dataset_);
    if (!fs::exists(dataset_ / "README", error))
        writeReplacing(dataset_ / "README", datasetReadme(), dataset_);
    if (!fs::exists(dataset_ / "events.json", error))
        writeReplacing(dataset_ / "events.json", eventsDescription(), dataset_);

    std::vector<ExportedSession> done;
    std::vector<std::string> labels;
    for (const fs::path& recording : chosen) {
        std::optional<ExportedSession> session = exportSession(recording, labels);
        if (!session)
            continue;
        done.push_back(std::move(*session));
        if (progress && !progress(done.back()))
            break;
    }
    return done;
}

std::optional<ExportedSession> BidsExport::exportSession(const fs::path& recording,
                                                         std::vector<std::string>& labels) {
    ExportedSession result;
    result.recording = recording;
    std::optional<SessionReader> reader;
    try {
        reader.emplace(recording);
    } catch (const session::SessionError& e) {
        return skipped(result, std::string("it cannot be read: ") + e.what());
    }
    if (const std::string why = notFinished(*reader); !why.empty())
        return skipped(result, why);
    std::optional<std::string> label = labelOfStamp(reader->paths().stamp());
    if (!label)
        label = labelOfStart(reader->start());
    if (!label)
        return skipped(result, "its recording gives no start to name it after");
    if (!inRange(*label))
        return std::nullopt;
    const SessionName name{options_.subject, *label, options_.sidecar.task};
    result.folder = name.folder();
    if (std::find(labels.begin(), labels.end(), *label) != labels.end())
        return skipped(result, "another session of this export began in the same second (" +
                                   result.folder + ")");
    labels.push_back(*label);

    TsvRow row = sessionRow(*reader);
    row["duration_s"] = session::integerText(reader->records());
    const fs::path target = dataset_ / name.folder();
    std::error_code error;
    if (fs::exists(target, error))
        return keptAlready(std::move(result), target, *label, row);
    try {
        placeSession(*reader, recording, name, target);
    } catch (const std::exception& e) {
        return skipped(result, e.what());
    }
    result.outcome = ExportedSession::Outcome::Exported;
    for (const std::string& note : reader->notes())
        result.reason += (result.reason.empty() ? "" : " ") + note;
    try {
        addRows(*label, row);
    } catch (const ExportError& e) {
        result.reason += (result.reason.empty() ? "" : " ") + std::string(e.what());
    }
    return result;
}

ExportedSession BidsExport::keptAlready(ExportedSession result, const fs::path& target,
                                        const std::string& label, const TsvRow& row) {
    const std::optional<fs::path> there = recordingIn(target);
    try {
        if (!there || !sameBytes(*there, result.recording))
            return skipped(result, result.folder + " in the dataset holds another recording");
    } catch (const session::SessionError& e) {
        return skipped(result, result.folder + " in the dataset cannot be compared: " + e.what());
    }
    result.outcome = ExportedSession::Outcome::AlreadyThere;
    try {
        addRows(label, row); // where an export that was cut short left them out
    } catch (const ExportError& e) {
        result.reason = e.what();
    }
    return result;
}

void BidsExport::placeSession(const SessionReader& reader, const fs::path& recording,
                              const SessionName& name, const fs::path& target) {
    const session::SessionPaths& paths = reader.paths();
    std::error_code error;
    const bool sound = fs::exists(paths.sound(), error) || fs::is_symlink(paths.sound(), error);
    const fs::path partial =
        dataset_ / (std::string(PartialPrefix) + name.subject + "-" + name.session);
    const fs::path stimulus = dataset_ / "stimuli" / name.sound();
    bool stimulusPlaced = false;
    try {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        makeFolder(partial);
        makeFolder(partial / "eeg");
        const fs::path eeg = partial / "eeg";
        copyFile(recording, eeg / name.file("eeg.edf"));
        writeNew(eeg / name.file("eeg.json"), recordingSidecar(reader, options_.sidecar));
        writeNew(eeg / name.file("channels.tsv"), channelsTable(reader));
        writeNew(eeg / name.file("events.tsv"),
                 eventsTable(reader, sound ? std::optional(name.sound()) : std::nullopt));
        if (sound) {
            copyFile(paths.sound(), partial / name.sound());
            makeFolder(dataset_ / "stimuli");
            fs::rename(partial / name.sound(), stimulus);
            stimulusPlaced = true;
        }
        makeFolder(dataset_ / ("sub-" + name.subject));
        fs::rename(partial, target);
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(partial, ignored);
        if (stimulusPlaced)
            files::removeQuietly(stimulus);
        throw;
    }
}

void BidsExport::addRows(const std::string& label, TsvRow row) {
    const fs::path participants = dataset_ / Participants;
    const std::optional<std::string> before = readText(participants);
    const std::string after =
        withRows(before, {"participant_id"}, {{{"participant_id", "sub-" + options_.subject}}},
                 Participants);
    if (after != before)
        writeReplacing(participants, after, dataset_);
    const fs::path subject = dataset_ / ("sub-" + options_.subject);
    const std::string name = "sub-" + options_.subject + "_sessions.tsv";
    const std::optional<std::string> was = readText(subject / name);
    row["session_id"] = "ses-" + label;
    row["acq_time"] = acquisitionTime(label);
    const std::string now = withRows(was, sessionColumns(), {row}, name);
    if (now != was)
        writeReplacing(subject / name, now, dataset_);
    const fs::path description = subject / ("sub-" + options_.subject + "_sessions.json");
    std::error_code error;
    if (!fs::exists(description, error))
        writeReplacing(description, sessionsDescription(), dataset_);
}

} // namespace solvane::bids
