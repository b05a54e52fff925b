// The ride: texts from the port until a stop, each one that holds two angles planned and sent to
// the controller as one move; the seat levelled when the angles stop coming, when the other
// side's receiver is gone and before closing, as the settings ask.
#pragma once

#include "app/output_channel.h"
#include "app/ride_log.h"
#include "app/settings.h"
#include "app/side_profile.h"
#include "app/status_line.h"
#include "controller/controller.h"
#include "net/datagram_receiver.h"

namespace app {

// Returns once a stop has been asked for and, when the settings ask for it, the seat levelled.
void rideUntilStopped(const SideProfile& profile, const Settings& settings,
                      controller::Controller& controller, net::DatagramReceiver& receiver,
                      RunOutput& output, StatusLine& status, RideLog& log);

}  // namespace app
