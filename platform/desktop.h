#pragma once
// What the app asks of the desktop around it: show a file in the file manager,
// play a theme sound, ask a question in a modal alert. The app installs the real
// one at launch; until then, and in tests, a quiet one does nothing.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace tw {

struct DesktopAlert {
    std::string message;
    std::string informativeText;
    std::vector<std::string> buttons;  // the first is the default
    friend bool operator==(const DesktopAlert&, const DesktopAlert&) = default;
};

// The file: URI of a path, its bytes percent-encoded as they are: a name that is not
// UTF-8 reaches a file manager unchanged, which no Unicode string of it would.
std::string fileUri(const std::filesystem::path& file);

class Desktop {
   public:
    virtual ~Desktop() = default;
    // Shows the file selected in a file-manager window; never opens it.
    virtual void revealFile(const std::filesystem::path& file) = 0;
    // A sound of the sound theme by its name; a missing sound is silent.
    virtual void playSound(const std::string& name) = 0;
    // Runs the alert modally; the index of the chosen button. It appears without taking
    // the keyboard: keys typed into another window stay there until the user clicks it.
    virtual std::size_t runAlert(const DesktopAlert& alert) = 0;

    // The process's desktop. The pointer must outlive its use; nullptr restores the quiet one.
    static Desktop& shared();
    static void installShared(Desktop* desktop);
};

}  // namespace tw
