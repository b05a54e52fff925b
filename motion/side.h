// Which actuator a receiver drives: fixed when the program is built.
#pragma once

namespace motion {

enum class Side { Left, Right };

}  // namespace motion
