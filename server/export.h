// Marks the few symbols the library exports; everything else is built hidden.
#pragma once

#if defined(_WIN32)
#define VELMARIS_EXPORT __declspec(dllexport)
#else
#define VELMARIS_EXPORT __attribute__((visibility("default")))
#endif
