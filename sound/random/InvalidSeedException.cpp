#include "sound/random/InvalidSeedException.h"

#include <utility>

namespace random_ {

InvalidSeedException::InvalidSeedException(std::string text) : debug::Exception(std::move(text)) {}

}  // namespace random_
