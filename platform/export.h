// Symbol visibility for shared libraries, the one place that knows how each platform spells it.
#pragma once

#if defined(_WIN32)
#define BRENIK_EXPORT __declspec(dllexport)
#define BRENIK_IMPORT __declspec(dllimport)
#elif defined(__GNUC__)
#define BRENIK_EXPORT __attribute__((visibility("default")))
#define BRENIK_IMPORT
#else
#define BRENIK_EXPORT
#define BRENIK_IMPORT
#endif
