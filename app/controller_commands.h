// The command seam between the planner and the loaded controller library: the planner's two
// commands go to this side's single axis.
#pragma once

#include <cstdint>

#include "controller/controller_library.h"
#include "motion/planner.h"

namespace app {

// Each receiver drives one actuator through a controller of its own: always axis 0.
constexpr int kAxis = 0;

class ControllerCommands final : public motion::ActuatorCommands {
 public:
  explicit ControllerCommands(const controller::Operations& axcl) : axcl_(axcl) {}
  void writeVelocity(std::int32_t speed, std::int32_t acceleration) override {
    axcl_.write_velocity(kAxis, speed, acceleration);
  }
  void moveAbs(std::int32_t position) override { axcl_.move_abs(kAxis, position); }

 private:
  const controller::Operations& axcl_;
};

}  // namespace app
