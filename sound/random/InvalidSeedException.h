#pragma once
// Thrown by a generator given a seed it cannot use; the text says which.
#include <string>

#include "interfaces/Debug.h"

namespace random_ {

class InvalidSeedException : public debug::Exception {
public:
    explicit InvalidSeedException(std::string text);
};

}  // namespace random_
