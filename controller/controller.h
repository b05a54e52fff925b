// The actuator controller for one run: opened with retries, checked, homed, commanded, and
// closed once on every road out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "controller/controller_library.h"
#include "motion/planner.h"

namespace controller {

// The controller's states, as get_axcl_state gives them, that the program acts on.
constexpr int kStateOpenGivenUp = 2;  // during the open retries: it will not open
constexpr int kStateReady = 4;        // after opening: ready for motion

// How a call that a stop may cut short ended: it did what it was asked, or a stop came first.
enum class Outcome { Done, Stopped };

class Controller {
 public:
  using StopCheck = std::function<bool()>;

  // `stop` is looked at before every call that starts a move: a stop asked for never starts one.
  Controller(const Operations& operations, StopCheck stop);
  // Closes the controller if an open was ever attempted.
  ~Controller();
  Controller(const Controller&) = delete;
  Controller& operator=(const Controller&) = delete;

  // Tries to open on `portName`, again every 5 ms until it opens, the controller gives up (state
  // 2) or a stop is asked for; `slow` runs once when it is still trying after 2 s.
  Outcome open(const std::string& portName, const std::function<void()>& slow);
  int state();
  // Starts the origin move, unless a stop has been asked for.
  Outcome home();
  // The velocity and the position of one move, both or (once a stop has been asked for) neither.
  Outcome move(const motion::Move& move);
  // The same, even after a stop: the moves a stop may start, to level the seat before closing.
  void moveDespiteStop(const motion::Move& move);
  // Closes now if it was opened; later calls do nothing.
  void close();

 private:
  const Operations& operations_;
  StopCheck stop_;
  bool opened_ = false;
  unsigned char parameterBlock_[AXCLCOM_PARAMETER_BLOCK_SIZE];
};

}  // namespace controller
