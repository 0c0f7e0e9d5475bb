#include "sound/manager/LogChannels.h"

namespace channels {

const debug::Filter soundManager("SoundManager");
const debug::Filter requestManager("RequestManager");
const debug::Filter musicInsonificator("MusicInsonificator");
const debug::Filter landInsonificator("LandInsonificator");

}  // namespace channels
