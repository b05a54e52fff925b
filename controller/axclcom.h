// The six operations of the closed AXCLCOM actuator controller library, as the receivers call them.
#pragma once

#include "platform/export.h"

#ifndef AXCLCOM_CALL
#define AXCLCOM_CALL  // the C convention; a stand-in may be built in another
#endif

#ifdef AXCLCOM_BUILDING
#define AXCLCOM_API BRENIK_EXPORT
#else
#define AXCLCOM_API BRENIK_IMPORT
#endif

// Size of the parameter block handed to every open attempt.
#define AXCLCOM_PARAMETER_BLOCK_SIZE 64

#ifdef BRENIK_CONTROLLER_VENDOR_HEADER
// Building against the real library: its own header declares the six operations.
#include BRENIK_CONTROLLER_VENDOR_HEADER
#else
extern "C" {

// Opens the controller on a serial port; 1 means opened, anything else means try again. The four
// settings and the block's contents are the controller's own, opaque to the receivers.
AXCLCOM_API int AXCLCOM_CALL init_axcl_config(const char* portName, int setting1, int setting2,
                                              int setting3, int setting4,
                                              unsigned char* parameterBlock);
// 2 while opening ends the retries; 4 afterwards means ready for motion.
AXCLCOM_API int AXCLCOM_CALL get_axcl_state(void);
AXCLCOM_API void AXCLCOM_CALL move_org(int axis, int mode);
AXCLCOM_API void AXCLCOM_CALL write_velocity(int axis, int speed, int acceleration);
AXCLCOM_API void AXCLCOM_CALL move_abs(int axis, int position);
AXCLCOM_API void AXCLCOM_CALL close_axcl(void);

}  // extern "C"
#endif
