#pragma once
// The window program, in a module of its own: the toolkit and the window are
// loaded only when there is a display to show them on, so that a run without
// one starts no more than it needs.

#include <string>
#include <vector>

#ifdef _WIN32
#define CONTARDC_WINDOW_EXPORT __declspec(dllexport)
#else
#define CONTARDC_WINDOW_EXPORT __attribute__((visibility("default")))
#endif

// The module's file name, beside the program.
#ifdef _WIN32
inline constexpr const char* kWindowModuleName = "contardc_window.dll";
#else
inline constexpr const char* kWindowModuleName = "libcontardc_window.so";
#endif
inline constexpr const char* kWindowEntryName = "contardcWindowMain";

// Runs the window until it closes; returns the exit code. argc, argv: the
// process's own, of which the toolkit sees only the program's name;
// arguments: the program's arguments 1.. as split from the command line.
using WindowMain = int (*)(int argc, char** argv, const std::vector<std::string>* arguments);
extern "C" CONTARDC_WINDOW_EXPORT int contardcWindowMain(int argc, char** argv,
                                                        const std::vector<std::string>* arguments);
