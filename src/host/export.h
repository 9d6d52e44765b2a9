// Marks the entry points a deliverable exports; every other symbol stays hidden.
#pragma once

#if defined(_WIN32)
#define SVG_EXPORT extern "C" __declspec(dllexport)
#else
#define SVG_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The three entry points of a deliverable named <Product>: Init<Product>DLL,
// Step<Product>DLL and Terminate<Product>DLL, which hand the host's calls to the shared host
// side with the deliverable's configuration (a `svg::HostConfig` expression).
#define SVG_ENTRY_POINTS(Product, config)                                                          \
    SVG_EXPORT int Init##Product##DLL(void** instance, int, int input_count, int output_count,     \
                                      double* host_parameters, double* inputs, double* outputs,    \
                                      int, void* storage, double time, double) noexcept {          \
        return svg::HostInit(config, instance, input_count, output_count, host_parameters, inputs, \
                             outputs, storage, time);                                              \
    }                                                                                              \
    SVG_EXPORT int Step##Product##DLL(void* instance, int, double* inputs, double* outputs, int,   \
                                      void* storage, double time) noexcept {                       \
        return svg::HostStep(instance, inputs, outputs, storage, time);                            \
    }                                                                                              \
    SVG_EXPORT int Terminate##Product##DLL(void* instance) noexcept {                              \
        return svg::HostTerminate(instance);                                                       \
    }
