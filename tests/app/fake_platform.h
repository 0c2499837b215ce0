#pragma once
// Desktop services that answer from a script and record what the model asked of them.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform.h"

struct PlatformScript {
    // What the open panel returns; nothing means cancelled.
    std::optional<std::vector<std::filesystem::path>> inputs;
    std::optional<std::filesystem::path> saveDestination;

    // What was asked, in order: "activate", "choose", "save", "copy", "reveal".
    std::vector<std::string> calls;
    QString prompt, message, proposedName;
    std::string pasteboard;
    std::vector<std::filesystem::path> revealed;
    // Runs when the file manager is asked to reveal a file (to look at the model then).
    std::function<void()> onReveal;
};

// The platform reads and writes the script, which outlives it.
Platform fakePlatform(PlatformScript& script);
