#pragma once
// Watching directories of the file system for files that change: written,
// created, deleted or moved in or out, with what is known of each (written
// and closed, moved into place, still being written, removed). A directory is watched with every
// directory below it, and directories created later below it are watched
// as they appear (their files count as changed).
//
// Threads: one thread waits (wait); any thread may call stop, after which
// wait returns at once, now and later. addDirectory may be called before
// the waiting starts or from the waiting thread.
#include <memory>
#include <string>
#include <vector>

#include "interfaces/Export.h"

namespace filewatch {

enum class AddResult {
    Watched,       // the directory and what could be watched below it
    NotDirectory,  // an archive or a plain file: nothing to watch
    Failed,        // the system refused (the reason comes as a notice)
};

// What a watch knows of a file that changed. A watch that sees a writer close
// the file says Written; one that cannot (ReadDirectoryChangesW, for one)
// says Modified only, and its completesOnQuiet() is true.
enum class ChangeKind {
    Written,   // written and closed: the writer is done with it
    MovedIn,   // moved or renamed into place: whole as it arrives
    Modified,  // created or written, perhaps still being written
    Removed,   // deleted or moved away
};

struct Change {
    std::string path;  // full path
    ChangeKind kind;   // the last thing seen of it
};

struct Changes {
    // Files that changed, in the order first seen, each once with the last
    // thing seen of it (Modified then Written is Written; Written then
    // Modified is Modified: a writer is at it again).
    std::vector<Change> files;
    // What the caller should tell its log, each once: directories that went
    // away, the system's limit of watches reached, a watch that failed.
    std::vector<std::string> notices;
    // The watch was stopped: nothing more will come.
    bool stopped = false;
};

class ZULSOUND_API FileWatch {
public:
    virtual ~FileWatch() = default;
    virtual AddResult addDirectory(const std::string& directory) = 0;
    // Blocks until something changes or stop() is called.
    virtual Changes wait() = 0;
    virtual void stop() = 0;
    // False when the watch reports Written as writers close their files, so
    // a file last seen Modified is still being written; true when it cannot,
    // so a Modified file counts as complete once it has been quiet.
    virtual bool completesOnQuiet() const = 0;
};

// The system's watch (inotify; ReadDirectoryChangesW on Windows). maxDirectories > 0 caps the directories it
// watches below the system's own limit (tests of the limit).
ZULSOUND_API std::unique_ptr<FileWatch> createFileWatch(size_t maxDirectories = 0);

}  // namespace filewatch
