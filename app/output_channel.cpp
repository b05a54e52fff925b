// The writer threads behind the receiver's output.
#include "app/output_channel.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/clock.h"

namespace app {

struct OutputChannel::Shared {
  enum class Kind { Message, Report, KeptReport };
  struct Entry {
    std::string text;
    Kind kind;
  };

  OutputChannel::Writer writer;
  std::string programName;
  std::mutex mutex;
  std::condition_variable changed;
  // At most kMostPendingMessages messages, as many kept reports and one other report.
  std::deque<Entry> pending;
  std::size_t messages = 0;      // of them
  std::size_t keptReports = 0;   // of them
  std::size_t dropped = 0;    // since the last count was said
  bool writing = false;       // an entry taken from `pending` is being written
  bool closing = false;

  // Written by the channel's own thread until the channel goes and nothing is left.
  void write() {
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      changed.wait(lock, [this] { return !pending.empty() || closing; });
      if (pending.empty()) return;
      Entry entry = std::move(pending.front());
      pending.pop_front();
      if (entry.kind == Kind::Message) --messages;
      if (entry.kind == Kind::KeptReport) --keptReports;
      writing = true;
      lock.unlock();
      const bool written = writer(entry.text);
      lock.lock();
      // Output flows again: say what could not wait for it.
      if (written && dropped > 0) {
        const std::string count = programName + ": " + std::to_string(dropped) +
                                  (dropped == 1 ? " message was" : " messages were") +
                                  " dropped while the output was held up\n";
        dropped = 0;
        lock.unlock();
        writer(count);
        lock.lock();
      }
      writing = false;
      changed.notify_all();
    }
  }
};

OutputChannel::OutputChannel(platform::StandardStream stream, std::string programName)
    : OutputChannel([stream](const std::string& text) {
        return platform::writeStandardStream(stream, text);
      }, std::move(programName)) {}

OutputChannel::OutputChannel(Writer writer, std::string programName)
    : shared_(std::make_shared<Shared>()) {
  shared_->writer = std::move(writer);
  shared_->programName = std::move(programName);
  writer_ = std::thread([shared = shared_] { shared->write(); });
}

OutputChannel::~OutputChannel() {
  bool idle = false;
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->closing = true;
    idle = shared_->pending.empty() && !shared_->writing;
    shared_->changed.notify_all();
  }
  // An idle writer ends at once and is waited for, so that no thread outlives the program's own
  // end (Wine may kill a process whose threads still run as it exits); one held up in a write
  // is left behind, so that it never holds up the end of the process.
  if (idle) {
    writer_.join();
  } else {
    writer_.detach();
  }
}

bool OutputChannel::message(std::string text) {
  const std::lock_guard<std::mutex> lock(shared_->mutex);
  if (shared_->messages == kMostPendingMessages) {
    ++shared_->dropped;
    return false;
  }
  shared_->pending.push_back({std::move(text), Shared::Kind::Message});
  ++shared_->messages;
  shared_->changed.notify_all();
  return true;
}

void OutputChannel::report(std::string text, bool kept) {
  const std::lock_guard<std::mutex> lock(shared_->mutex);
  std::deque<Shared::Entry>& pending = shared_->pending;
  const auto replaced = std::find_if(pending.begin(), pending.end(), [](const Shared::Entry& entry) {
    return entry.kind == Shared::Kind::Report;
  });
  if (replaced != pending.end()) pending.erase(replaced);
  const bool keep = kept && shared_->keptReports < kMostPendingMessages;
  pending.push_back({std::move(text), keep ? Shared::Kind::KeptReport : Shared::Kind::Report});
  if (keep) ++shared_->keptReports;
  shared_->changed.notify_all();
}

bool OutputChannel::drain(double deadline) {
  std::unique_lock<std::mutex> lock(shared_->mutex);
  for (;;) {
    if (shared_->pending.empty() && !shared_->writing) return true;
    const double left = deadline - platform::monotonicSeconds();
    if (left <= 0.0) return false;
    shared_->changed.wait_for(lock, std::chrono::duration<double>(left));
  }
}

RunOutput::RunOutput(const char* programName)
    : programName_(programName),
      status_(platform::StandardStream::Output, programName),
      messages_(platform::StandardStream::Error, programName) {}

RunOutput::~RunOutput() {
  const double deadline = platform::monotonicSeconds() + kExitOutputSeconds;
  messages_.drain(deadline);
  status_.drain(deadline);
}

void RunOutput::say(const std::string& line) {
  const bool written = messages_.message(programName_ + ": " + line + "\n");
  if (also_) also_(line, !written);
}

}  // namespace app
