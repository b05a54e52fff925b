// The actuator controller for one run: opened with retries, checked, homed, commanded, and
// closed once on every road out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "controller/controller_library.h"

namespace controller {

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
  // 2) or a stop is asked for; `slow` runs once when it is still trying after 2 s. False when
  // stopped.
  bool open(const std::string& portName, const std::function<void()>& slow);
  int state();
  // Starts the origin move, unless a stop has been asked for; false then.
  bool home();
  // The velocity and the position of one move, both or (once a stop has been asked for) neither.
  bool move(std::int32_t speed, std::int32_t acceleration, std::int32_t position);
  // The same, even after a stop: the one move a stop may start, to level the seat before closing.
  void moveDespiteStop(std::int32_t speed, std::int32_t acceleration, std::int32_t position);
  // Closes now if it was opened; later calls do nothing.
  void close();

 private:
  const Operations& operations_;
  StopCheck stop_;
  bool opened_ = false;
  unsigned char parameterBlock_[AXCLCOM_PARAMETER_BLOCK_SIZE];
};

}  // namespace controller
