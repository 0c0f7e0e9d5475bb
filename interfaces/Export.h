#pragma once
// ZULSOUND_API marks the classes and singleton pointers that the library
// exports to the game (libzulsound.so, zulsound.dll). Everything else is
// built with hidden visibility, and on Windows is not exported.
//
// On Windows the library's own code (ZULSOUND_BUILDING) exports them, a
// game that links the import library imports them, and a program that links
// the library's objects statically (ZULSOUND_STATIC: its tests and tools)
// does neither.
#if defined(_WIN32)
#if defined(ZULSOUND_BUILDING)
#define ZULSOUND_API __declspec(dllexport)
#elif defined(ZULSOUND_STATIC)
#define ZULSOUND_API
#else
#define ZULSOUND_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define ZULSOUND_API __attribute__((visibility("default")))
#else
#define ZULSOUND_API
#endif
