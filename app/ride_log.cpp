// Writing the ride log, its bound, and the watch on the datagram rate.
#include "app/ride_log.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/clock.h"

namespace app {

double RateWatch::recent() const {
  double sum = 0.0;
  for (std::size_t i = 0; i < count_; ++i) sum += windows_[i];
  return count_ > 0 ? sum / static_cast<double>(count_) : 0.0;
}

std::optional<std::string> RateWatch::window(double hertz) {
  const auto whole = [](double value) { return std::to_string(std::llround(value)) + " Hz"; };
  if (fallen_) {
    // The rate it fell from stays the mark, until it comes back to half of that.
    if (hertz < before_ / 2) return std::nullopt;
    fallen_ = false;
    remember(hertz);
    return "the datagram rate is back at " + whole(hertz);
  }
  const double recent = this->recent();
  if (count_ > 0 && recent >= kLeastWatchedHertz && hertz < recent / 2) {
    fallen_ = true;
    before_ = recent;
    return "the datagram rate fell to " + whole(hertz) + " from " + whole(recent);
  }
  remember(hertz);
  return std::nullopt;
}

void RateWatch::remember(double hertz) {
  windows_[next_] = hertz;
  next_ = (next_ + 1) % kRecentWindows;
  count_ = std::min(count_ + 1, kRecentWindows);
}

// The log file, used by the writer thread alone once the log runs.
struct RideLog::File {
  std::string path;
  std::FILE* file = nullptr;
  std::uint64_t bytes = 0;

  ~File() {
    if (file != nullptr) std::fclose(file);
  }

  bool open() {
    file = std::fopen(path.c_str(), "ab");
    if (file == nullptr) return false;
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    bytes = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    return true;
  }

  bool write(const std::string& text) {
    if (bytes > 0 && bytes + text.size() > kRideLogBytes) {
      // Closed first: Windows moves no file that is open.
      std::fclose(file);
      file = nullptr;
      const std::string older = path + ".1";
      std::remove(older.c_str());
      std::rename(path.c_str(), older.c_str());
      if (!open()) return false;
    }
    if (file == nullptr && !open()) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                         std::fflush(file) == 0;
    bytes += text.size();
    return written;
  }
};

RideLog::RideLog(bool on, std::string path, const char* programName) : path_(std::move(path)) {
  if (!on) return;
  file_ = std::make_shared<File>();
  file_->path = path_;
  if (!file_->open()) {
    failure_ = std::strerror(errno);
    file_.reset();
    return;
  }
  channel_ = std::make_unique<OutputChannel>(
      [file = file_](const std::string& text) { return file->write(text); }, programName);
}

RideLog::~RideLog() = default;

void RideLog::event(const std::string& text) {
  if (on()) channel_->message(platform::localDateTime() + " " + text + "\n");
}

void RideLog::skipped(double now) {
  if (!on()) return;
  ++skipped_;
  ++skippedTotal_;
  if (now - skippedSaid_ >= kSkippedLogSeconds) check(now);
}

double RideLog::nextCheck() const {
  if (!on()) return std::numeric_limits<double>::infinity();
  return windowStart_ < 0.0 ? 0.0 : windowStart_ + kRateWindowSeconds;
}

void RideLog::check(double now) {
  if (!on()) return;
  if (skipped_ > 0 && now - skippedSaid_ >= kSkippedLogSeconds) {
    event(std::to_string(skipped_) + (skipped_ == 1 ? " text" : " texts") +
          " without two angles skipped (" + std::to_string(skippedTotal_) + " since the start)");
    skipped_ = 0;
    skippedSaid_ = now;
  }
  if (windowStart_ < 0.0) {
    windowStart_ = now;
    datagrams_ = 0;
    return;
  }
  const double elapsed = now - windowStart_;
  if (elapsed < kRateWindowSeconds) return;
  if (const std::optional<std::string> said = rate_.window(static_cast<double>(datagrams_) / elapsed)) {
    event(*said);
  }
  windowStart_ = now;
  datagrams_ = 0;
}

void RideLog::drain(double deadline) {
  if (on()) channel_->drain(deadline);
}

}  // namespace app
