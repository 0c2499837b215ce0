#pragma once
// The real update service: the vendor's manifest over HTTPS and the self-installer.

#include <memory>

#include "platform.h"

std::unique_ptr<Updates> makeSystemUpdates();
