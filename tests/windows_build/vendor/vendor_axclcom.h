// Written for the test of building against a vendor's controller header: the six operations in
// a vendor's own spelling, __stdcall as 32-bit vendor libraries mostly are (64-bit Windows has
// one convention and ignores the word).
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

__declspec(dllimport) int __stdcall init_axcl_config(const char* port, int a, int b, int c, int d,
                                                     unsigned char* block);
__declspec(dllimport) int __stdcall get_axcl_state(void);
__declspec(dllimport) void __stdcall move_org(int axis, int mode);
__declspec(dllimport) void __stdcall write_velocity(int axis, int speed, int acceleration);
__declspec(dllimport) void __stdcall move_abs(int axis, int position);
__declspec(dllimport) void __stdcall close_axcl(void);

#ifdef __cplusplus
}
#endif
