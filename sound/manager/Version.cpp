#include "sound/manager/Version.h"

namespace zulsound {

const char* getVersion() { return ZULSOUND_VERSION_STRING; }

int getVersionNumber() { return ZULSOUND_VERSION; }

}  // namespace zulsound
