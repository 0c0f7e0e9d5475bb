#include "sandbox/system/Process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <io.h>

#include <cstdio>

namespace sandboxsystem {

bool outputIsTerminal() { return _isatty(_fileno(stdout)) != 0; }

unsigned long processId() { return GetCurrentProcessId(); }

size_t threadCount() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    const DWORD self = GetCurrentProcessId();
    size_t threads = 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        if (entry.th32OwnerProcessID == self) ++threads;
    CloseHandle(snapshot);
    return threads;
}

}  // namespace sandboxsystem
