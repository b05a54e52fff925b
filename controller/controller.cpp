// Every call into the controller library, in one place: the open retried every 5 ms, the stop
// looked at before each move, and the close made once.
#include "controller/controller.h"

#include <cstring>

#include "platform/foreign_call.h"
#include "platform/clock.h"

namespace controller {
namespace {

// The four numbers of the open call and the homing mode are the controller's own settings,
// opaque to this program: passed exactly as the controller expects them.
constexpr int kOpenSetting1 = 20;
constexpr int kOpenSetting2 = 3;
constexpr int kOpenSetting3 = 0;
constexpr int kOpenSetting4 = 1;
constexpr unsigned char kParameterFill = 0xFF;
constexpr unsigned kOpenRetryMs = 5;
constexpr int kOpened = 1;
constexpr int kHomingMode = 7;
// Each receiver drives one actuator through a controller of its own: always axis 0.
constexpr int kAxis = 0;
// After this long without opening, the person at the console is told it is still trying.
constexpr double kSlowOpenSeconds = 2.0;

}  // namespace

Controller::Controller(const Operations& operations, StopCheck stop)
    : operations_(operations), stop_(std::move(stop)) {
  // Kept for the whole run: the controller library may hold on to it.
  std::memset(parameterBlock_, kParameterFill, sizeof parameterBlock_);
}

Controller::~Controller() { close(); }

Outcome Controller::open(const std::string& portName, const std::function<void()>& slow) {
  opened_ = true;  // from the first attempt on, the library may hold the port: close it at the end
  const auto attempt = [&] {
    return platform::callForeign(operations_.init_axcl_config, portName.c_str(), kOpenSetting1,
                                 kOpenSetting2, kOpenSetting3, kOpenSetting4, parameterBlock_);
  };
  const double start = platform::monotonicSeconds();
  bool saidSlow = false;
  const platform::TimerResolutionGuard fineSleeps;  // the 5 ms pause, not a 15.6 ms tick
  for (int result = attempt(); result != kOpened; result = attempt()) {
    platform::sleepMilliseconds(kOpenRetryMs);
    if (stop_()) return Outcome::Stopped;
    if (state() == kStateOpenGivenUp) break;
    if (!saidSlow && platform::monotonicSeconds() - start >= kSlowOpenSeconds) {
      slow();
      saidSlow = true;
    }
  }
  // An open that took long may have outlasted a stop: nothing may move after it.
  return stop_() ? Outcome::Stopped : Outcome::Done;
}

int Controller::state() { return platform::callForeign(operations_.get_axcl_state); }

Outcome Controller::home() {
  if (stop_()) return Outcome::Stopped;
  platform::callForeign(operations_.move_org, kAxis, kHomingMode);
  return Outcome::Done;
}

Outcome Controller::move(const motion::Move& move) {
  // Looked at once before the pair: a velocity and its position go together or not at all.
  if (stop_()) return Outcome::Stopped;
  moveDespiteStop(move);
  return Outcome::Done;
}

void Controller::moveDespiteStop(const motion::Move& move) {
  platform::callForeign(operations_.write_velocity, kAxis, move.speed, move.acceleration);
  platform::callForeign(operations_.move_abs, kAxis, move.position);
}

void Controller::close() {
  if (!opened_) return;
  opened_ = false;
  platform::callForeign(operations_.close_axcl);
}

}  // namespace controller
