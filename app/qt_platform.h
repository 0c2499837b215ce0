#pragma once
// The desktop services as Qt and the freedesktop interfaces provide them.

#include "platform.h"

Platform makeQtPlatform();
