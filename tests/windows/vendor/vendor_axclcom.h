// Written for the test of building against a vendor's controller header: the six operations in
// a vendor's own spelling, imported from AXCLCOM.dll.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) int init_axcl_config(const char* port, int a, int b, int c, int d,
                                           unsigned char* block);
__declspec(dllimport) int get_axcl_state(void);
__declspec(dllimport) void move_org(int axis, int mode);
__declspec(dllimport) void write_velocity(int axis, int speed, int acceleration);
__declspec(dllimport) void move_abs(int axis, int position);
__declspec(dllimport) void close_axcl(void);

#ifdef __cplusplus
}
#endif
