#pragma once
// ZULSOUND_API marks the classes and singleton pointers that libzulsound.so
// exports to the game. Everything else is built with hidden visibility.
#if defined(__GNUC__) || defined(__clang__)
#define ZULSOUND_API __attribute__((visibility("default")))
#else
#define ZULSOUND_API
#endif
