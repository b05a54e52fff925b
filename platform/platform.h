// The operating system layer, one header per concern; include the one you need.
#pragma once

#include "platform/clock.h"                   // the clock, sleeps, timer resolution
#include "platform/console.h"                 // standard streams, the console, the Enter wait
#include "platform/failure.h"                 // Failure and Result: how a failure is said
#include "platform/files.h"                   // InputFile, the working folder, profile lookup
#include "platform/program_folder_library.h"  // the controller library's loader
#include "platform/single_instance_lock.h"    // the one-copy lock
#include "platform/sockets.h"                 // UDP sockets and the receive
#include "platform/stop.h"                    // stop requests
