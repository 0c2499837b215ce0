#pragma once
// The desktop services as Qt and the freedesktop interfaces provide them.

#include "platform.h"

namespace tessaly {

Platform makeQtPlatform();

}  // namespace tessaly
