// Marks the entry points a deliverable exports; every other symbol stays hidden.
#pragma once

#if defined(_WIN32)
#define SVG_EXPORT extern "C" __declspec(dllexport)
#else
#define SVG_EXPORT extern "C" __attribute__((visibility("default")))
#endif
