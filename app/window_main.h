#pragma once
// The window program, in a module of its own: the toolkit and the window are
// loaded only when there is a display to show them on, so that a run without
// one starts no more than it needs. The program loads it (app/window_loader.h
// says what else the two share).

#ifdef _WIN32
#define CONTARDC_WINDOW_EXPORT __declspec(dllexport)
#else
#define CONTARDC_WINDOW_EXPORT __attribute__((visibility("default")))
#endif

// The module's file name: in UTF-16 on Windows, as the
// system names files there.
#ifdef _WIN32
inline constexpr const wchar_t* kWindowModuleName = L"contardc_window.dll";
#else
inline constexpr const char* kWindowModuleName = "libcontardc_window.so";
#endif

// The module's folder: the program's own unless the build names another
// (CONTARDC_WINDOW_MODULE_DIR), relative to the program's folder or absolute.
// An installed package keeps the program in /usr/bin and the module in the
// library folder (../lib/<multiarch>/contardc from there).
#ifndef CONTARDC_WINDOW_MODULE_DIR
#define CONTARDC_WINDOW_MODULE_DIR ""
#endif
#ifdef _WIN32
inline constexpr const wchar_t* kWindowModuleFolder = L"" CONTARDC_WINDOW_MODULE_DIR;
#else
inline constexpr const char* kWindowModuleFolder = CONTARDC_WINDOW_MODULE_DIR;
#endif
inline constexpr const char* kWindowEntryName = "contardcWindowMain";
inline constexpr const char* kErrorEntryName = "contardcShowError";

// Runs the window until it closes; returns the exit code. argc, argv: the
// process's own, as main() was given them. Only C types cross here, so that
// the program and the module need not agree on any C++ type's layout: the
// module splits the program's arguments itself, by the program's own rules
// (programArguments in config/command_line.h), which on Windows read the
// process's command line and so give the words the program saw. The toolkit
// sees only the program's name.
using WindowMain = int (*)(int argc, char** argv);
extern "C" CONTARDC_WINDOW_EXPORT int contardcWindowMain(int argc, char** argv);

// Shows the error message (the system's error box, with the application
// title) for a run refused before it began, and returns 1 once the user has
// dismissed it. text: the program's text (Windows-1252), NUL-terminated,
// already worded for the box.
using ShowError = int (*)(const char* text);
extern "C" CONTARDC_WINDOW_EXPORT int contardcShowError(const char* text);
