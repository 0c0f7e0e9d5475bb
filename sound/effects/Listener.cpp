#include "sound/effects/Listener.h"

Listener::Listener() = default;
Listener::Listener(const Listener& other) = default;
Listener& Listener::operator=(const Listener& other) = default;
Listener::~Listener() = default;
