#include "support/SessionFiles.h"

#include <ctime>

namespace solvane::testing {

namespace {

session::RecordingSetup setup(const std::string& source, const std::vector<std::string>& labels) {
    session::RecordingSetup setup;
    for (std::size_t e = 0; e < session::RecordingSetup::Elements; ++e)
        setup.labels[e] = e < labels.size() ? labels[e] : "Element " + std::to_string(e);
    setup.source = source;
    std::tm start{};
    start.tm_year = 2026 - 1900;
    start.tm_mon = 11;
    start.tm_mday = 8;
    start.tm_hour = 14;
    start.tm_min = 30;
    start.tm_sec = 5;
    start.tm_isdst = -1;
    setup.start = std::chrono::system_clock::from_time_t(std::mktime(&start));
    return setup;
}

} // namespace

SessionFiles::SessionFiles(const std::filesystem::path& folder, const std::string& stamp,
                           Samples samples, const std::string& source,
                           const std::vector<std::string>& labels)
    : paths_(folder, stamp), samples_(std::move(samples)),
      recording_(
          std::make_unique<session::RecordingWriter>(paths_.working(), setup(source, labels))),
      events_(std::make_unique<session::EventsWriter>(paths_.events())) {}

void SessionFiles::addPackets(long count) {
    for (long n = 0; n < count; ++n, ++packets_) {
        int32_t packet[8];
        for (int e = 0; e < 8; ++e)
            packet[e] = samples_(e, static_cast<long>(packets_));
        recording_->add(packet);
    }
}

void SessionFiles::command(const std::string& text) {
    recording_->annotate(packets_, text);
    events_->command(packets_, text);
}

void SessionFiles::mark(const std::string& type, const std::string& value, double duration) {
    events_->mark(packets_, duration, type, value);
}

void SessionFiles::facts(const session::SessionFacts& facts) const {
    session::writeFacts(paths_.facts(), facts);
}

std::filesystem::path SessionFiles::finish() {
    recording_->finish(paths_.kept());
    return paths_.kept();
}

} // namespace solvane::testing
