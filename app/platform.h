#pragma once
// The desktop services the model needs, behind small interfaces so that tests can answer them
// from a script. The application uses the Qt versions (qt_platform.h).

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QString>

// Open and save panels.
class Panels {
  public:
    virtual ~Panels() = default;
    // Files and folders together, several at once, in the panel's order; nothing when the
    // user cancelled.
    virtual std::optional<std::vector<std::filesystem::path>> chooseInputs(
        const QString& prompt, const QString& message) = 0;
    // Where to save; nothing when the user cancelled.
    virtual std::optional<std::filesystem::path> chooseSaveDestination(
        const QString& proposedName) = 0;
};

class Pasteboard {
  public:
    virtual ~Pasteboard() = default;
    virtual void setText(const std::string& utf8) = 0;
};

// The desktop around the application.
class Workspace {
  public:
    virtual ~Workspace() = default;
    // Brings the application's window to the front before a panel opens.
    virtual void activate() = 0;
    // Shows the file manager with the file selected.
    virtual void reveal(const std::filesystem::path& file) = 0;
};

struct Platform {
    std::unique_ptr<Panels> panels;
    std::unique_ptr<Pasteboard> pasteboard;
    std::unique_ptr<Workspace> workspace;
};
