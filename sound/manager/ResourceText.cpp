#include "sound/manager/ResourceText.h"

#include <new>

#include "interfaces/Resource.h"
#include "sound/manager/Globals.h"

bool readResourceText(const std::string& path, std::string* text) {
    ResourceManager* resources = theResourceManager;
    if (!resources) return false;
    ResourceLock guard(resources);
    if (resources->notFound(path.c_str())) return false;
    ResourceStream* stream = resources->openStream(path.c_str());
    if (!stream) return false;
    const long size = stream->seek(ResourceStream::End, 0);
    bool ok = size >= 0 && stream->seek(ResourceStream::Begin, 0) == 0;
    if (ok) {
        try {
            text->assign(static_cast<size_t>(size), '\0');
            long done = 0;
            while (ok && done < size) {
                const long got = stream->read(&(*text)[static_cast<size_t>(done)], size - done);
                ok = got > 0;
                done += got;
            }
        } catch (const std::bad_alloc&) {
            ok = false;  // too large to hold: as unreadable
        }
    }
    resources->closeStream(stream);
    return ok;
}
