// The ride log a person asks for with rideLog=1: one line per event of the run, with the local
// date and time, appended to the program's own log in the settings folder. Lines are handed to a
// thread of their own, as the console's are: a slow disk never holds up the ride.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/output_channel.h"

namespace app {

// At this size the log moves to "<name>.1", taking the place of an older one, and a new log
// starts: two logs at most, whatever the ride's length.
constexpr std::uint64_t kRideLogBytes = 1000 * 1000;
// Texts skipped are counted and said at most once in this many seconds.
constexpr double kSkippedLogSeconds = 60.0;
// The datagram rate is measured over windows this long.
constexpr double kRateWindowSeconds = 1.0;

// Watches the datagram rate window by window: a fall below half of the recent rate for a whole
// window is said once, and so is its coming back to half or more.
class RateWatch {
 public:
  // The rate of the window just ended; what to say about it, if anything.
  std::optional<std::string> window(double hertz);

 private:
  static constexpr std::size_t kRecentWindows = 5;  // the recent rate: the mean of this many windows
  // Below this the rate is too low to tell a fall from chance.
  static constexpr double kLeastWatchedHertz = 2.0;
  double recent() const;
  void remember(double hertz);

  std::array<double, kRecentWindows> windows_{};  // the last ones, oldest overwritten first
  std::size_t count_ = 0;                         // windows seen, up to kRecentWindows
  std::size_t next_ = 0;
  double before_ = 0.0;  // the recent rate when it fell
  bool fallen_ = false;
};

class RideLog {
 public:
  // Off unless `on`; when the file cannot be opened for appending, the reason is in `failure`
  // and the ride goes on without a log.
  RideLog(bool on, std::string path, const char* programName);
  ~RideLog();
  RideLog(const RideLog&) = delete;
  RideLog& operator=(const RideLog&) = delete;

  bool on() const { return channel_ != nullptr; }
  const std::string& failure() const { return failure_; }
  const std::string& path() const { return path_; }

  // One event, "2026-12-09 14:05:09 <text>".
  void event(const std::string& text);
  // A text without two angles, skipped at `now`.
  void skipped(double now);
  void datagrams(std::uint64_t count) { datagrams_ += count; }
  // When the rate window and the skipped count are next looked at; never when off.
  double nextCheck() const;
  void check(double now);
  // Waits for what was handed over, at most until `deadline` (platform::monotonicSeconds()).
  void drain(double deadline);

  struct File;

 private:
  std::string path_;
  std::string failure_;
  std::shared_ptr<File> file_;
  std::unique_ptr<OutputChannel> channel_;
  std::uint64_t skipped_ = 0;        // since the last line that said them
  std::uint64_t skippedTotal_ = 0;
  double skippedSaid_ = -kSkippedLogSeconds;
  std::uint64_t datagrams_ = 0;      // in the window that runs
  double windowStart_ = -1.0;        // before the first check: no window yet
  RateWatch rate_;
};

}  // namespace app
