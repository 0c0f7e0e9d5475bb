#pragma once
// The sound system's own messages. Without a sound card ALSA and OpenAL Soft
// each print their complaints on standard error before the device library
// falls back to the null output; the device library silences both before
// its first OpenAL call, unless debug logging is asked for: the environment
// variable ZULSOUND_DEBUG set (to anything but "" or "0"). A level or log file
// the user gave OpenAL Soft (ALSOFT_LOGLEVEL, ALSOFT_LOGFILE) is kept.
//
// Threads: any thread; the work is done once per process.
namespace aldevice {

void quietOutputLibraries();

}  // namespace aldevice
