#pragma once
// The device thread's scheduling: it asks the system for the priority of
// real-time audio, as the sound server's own threads run, because on a busy
// machine an ordinary thread may wait longer than the sink's buffer lasts,
// which is heard as a gap. It is safe: the thread never spins (it blocks on
// the sink or on the clock every period). Without the right to it, the
// thread stays an ordinary one.
//
// Threads: called by the device thread about itself.
#include <string>

namespace aldevice {

// Raises the calling thread's priority; false (and *why, when given) when
// the system refused.
bool raiseDeviceThreadPriority(std::string* why);

}  // namespace aldevice
