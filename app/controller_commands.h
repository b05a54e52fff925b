// The command seam between the planner and the controller: the planner's two commands of one
// datagram go to the controller as one move.
#pragma once

#include <cstdint>

#include "controller/controller.h"
#include "motion/planner.h"

namespace app {

class ControllerCommands final : public motion::ActuatorCommands {
 public:
  // `despiteStop`: the level move before closing, the one move a stop may start.
  explicit ControllerCommands(controller::Controller& controller, bool despiteStop = false)
      : controller_(controller), despiteStop_(despiteStop) {}
  // The planner always follows a velocity with its position: both leave together.
  void writeVelocity(std::int32_t speed, std::int32_t acceleration) override {
    speed_ = speed;
    acceleration_ = acceleration;
  }
  void moveAbs(std::int32_t position) override {
    if (despiteStop_) {
      controller_.moveDespiteStop(speed_, acceleration_, position);
    } else {
      controller_.move(speed_, acceleration_, position);
    }
  }

 private:
  controller::Controller& controller_;
  bool despiteStop_;
  std::int32_t speed_ = 0;
  std::int32_t acceleration_ = 0;
};

}  // namespace app
