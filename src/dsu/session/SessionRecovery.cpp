#include "dsu/session/SessionRecovery.h"

#include "dsu/session/SessionEvents.h"
#include "dsu/session/SessionLock.h"
#include "dsu/session/SessionRecorder.h"
#include "dsu/session/SessionSoundFile.h"

#include <edflib.h>

#include <algorithm>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <set>
#include <unistd.h>

namespace solvane::dsusim {

namespace {

constexpr const char* WorkingEdf = ".working.edf";
constexpr const char* WorkingFlac = ".working.flac";

bool endsWith(const std::string& text, std::string_view end) {
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string trimmed(const char* text) {
    std::string result(text);
    while (!result.empty() && result.back() == ' ')
        result.pop_back();
    return result;
}

void removeQuietly(const std::filesystem::path& file) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
}

/// Cuts the working file back to its whole records; their number (0 when none, or no file).
long long wholeRecords(const std::filesystem::path& working) {
    const int fd = ::open(working.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return 0;
    const long long records = SessionRecorder::keepWholeRecords(fd);
    ::close(fd);
    return std::max(0LL, records);
}

/// Writes the records of `working` with `commands` as annotations into `target`; the packets.
uint64_t finishRecording(const std::filesystem::path& working, const std::filesystem::path& target,
                         const std::vector<SessionEvents::Event>& commands) {
    auto header = std::make_unique<edf_hdr_struct>();
    if (edfopen_file_readonly(working.c_str(), header.get(), EDFLIB_DO_NOT_READ_ANNOTATIONS) != 0)
        throw SessionFileError("the working file " + working.string() +
                               " cannot be read (EDFlib error " + std::to_string(header->filetype) +
                               ")");
    struct Reader {
        int handle;
        ~Reader() { edfclose_file(handle); }
    } reader{header->handle};
    constexpr int Elements = SessionRecorder::Elements;
    constexpr int Samples = SessionRecorder::RecordSamples;
    if (header->edfsignals != Elements)
        throw SessionFileError("the working file " + working.string() + " is not a session");
    std::string labels[Elements];
    for (int e = 0; e < Elements; ++e)
        labels[e] = trimmed(header->signalparam[e].label);
    const double top = header->signalparam[0].phys_max;
    const double gain = top > 0.0 ? (1023 - 512) / top : 1.0;
    std::tm local{};
    local.tm_year = header->startdate_year - 1900;
    local.tm_mon = header->startdate_month - 1;
    local.tm_mday = header->startdate_day;
    local.tm_hour = header->starttime_hour;
    local.tm_min = header->starttime_minute;
    local.tm_sec = header->starttime_second;
    local.tm_isdst = -1;
    const auto start = std::chrono::system_clock::from_time_t(std::mktime(&local)) +
                       std::chrono::microseconds(header->starttime_subsecond / 10);

    std::filesystem::path part = target;
    part += ".part";
    SessionRecorder recorder(part, labels, gain, trimmed(header->recording_additional), start);
    auto next = commands.begin();
    std::vector<int> samples(static_cast<std::size_t>(Elements * Samples));
    int32_t packet[Elements];
    for (long long r = 0; r < header->datarecords_in_file; ++r) {
        for (int e = 0; e < Elements; ++e)
            if (edfread_digital_samples(reader.handle, e, Samples,
                                        samples.data() +
                                            static_cast<std::ptrdiff_t>(e) * Samples) != Samples)
                throw SessionFileError("the working file " + working.string() +
                                       " cannot be read at record " + std::to_string(r));
        for (int i = 0; i < Samples; ++i) {
            for (; next != commands.end() && next->packet <= recorder.packets(); ++next)
                recorder.command(next->value, next->packet);
            for (int e = 0; e < Elements; ++e)
                packet[e] = samples[static_cast<std::size_t>(e * Samples + i)];
            recorder.add(packet);
        }
    }
    for (; next != commands.end(); ++next)
        recorder.command(next->value, next->packet);
    const uint64_t packets = recorder.packets();
    recorder.finish(target);
    return packets;
}

/// Renders the sound of `commands` up to `packets` into `target` again.
void renderSound(const std::filesystem::path& working, const std::filesystem::path& target,
                 const std::vector<SessionEvents::Event>& commands, uint64_t packets,
                 const CommandPlayer& play) {
    SessionSoundFile sound(working);
    ToneSettings settings;
    for (const SessionEvents::Event& command : commands) {
        play(command.value, settings);
        sound.set(settings, std::min(command.packet, packets));
        sound.follow(std::min(command.packet, packets));
    }
    sound.finish(packets, target);
}

std::string recoverRun(const std::filesystem::path& folder, const std::string& stamp,
                       const CommandPlayer& play) {
    const std::unique_ptr<SessionLock> lock =
        SessionLock::takeOver(folder / (stamp + SessionLock::Suffix));
    if (!lock)
        return {}; // going on in another process, or finished by one meanwhile
    const std::filesystem::path working = folder / (stamp + WorkingEdf);
    const std::filesystem::path workingSound = folder / (stamp + WorkingFlac);
    const std::filesystem::path events = folder / (stamp + SessionEvents::Suffix);
    std::error_code error;
    if (!std::filesystem::exists(working, error)) {
        std::filesystem::remove(workingSound, error);
        lock->release();
        return {};
    }
    std::vector<SessionEvents::Event> commands;
    for (SessionEvents::Event& event : SessionEvents::read(events))
        if (event.trialType == SessionEvents::CommandType)
            commands.push_back(std::move(event));
    std::string line = "InitialiseDSU: the run " + stamp + " did not end: ";
    try {
        if (wholeRecords(working) == 0) {
            std::filesystem::remove(working, error);
            std::filesystem::remove(workingSound, error);
            lock->release();
            return line + "it had no whole second of EEG; its working files are removed";
        }
        const std::filesystem::path target = folder / (stamp + ".edf");
        const uint64_t packets = finishRecording(working, target, commands);
        std::filesystem::remove(working, error);
        line += "kept in " + target.string() + " with its " + std::to_string(packets / 256) +
                " whole seconds and " + std::to_string(commands.size()) + " commands";
        if (std::filesystem::exists(workingSound, error)) {
            std::filesystem::path sound = target;
            sound.replace_extension(".flac");
            renderSound(workingSound, sound, commands, packets, play);
            line += ", its sound rendered again into " + sound.string();
        }
    } catch (const SessionFileError& e) {
        line += std::string("it cannot be finished: ") + e.what();
        removeQuietly(folder / (stamp + ".edf.part"));
    }
    lock->release();
    return line;
}

} // namespace

std::vector<std::string> recoverSessions(const std::filesystem::path& folder,
                                         const CommandPlayer& play) {
    std::set<std::string> stamps;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        if (endsWith(name, SessionLock::Suffix))
            stamps.insert(
                name.substr(0, name.size() - std::string_view(SessionLock::Suffix).size()));
        else if (endsWith(name, WorkingEdf))
            stamps.insert(name.substr(0, name.size() - std::string_view(WorkingEdf).size()));
    }
    std::vector<std::string> lines;
    for (const std::string& stamp : stamps)
        if (std::string line = recoverRun(folder, stamp, play); !line.empty())
            lines.push_back(std::move(line));
    return lines;
}

} // namespace solvane::dsusim
