#pragma once
// Everything the program's logic asks of a person, and everything it shows,
// goes through this interface. The desktop program implements it with
// widgets; tests use a scripted implementation; the command-line program
// answers from its options.
//
// All texts are UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velora {

enum class Icon { Information, Warning, Error, Question };
enum class Buttons { Ok, YesNo, RetryCancel, AbortRetryIgnore };
enum class Answer { Ok, Yes, No, Retry, Cancel, Abort, Ignore };

// The button's caption: "OK", "Yes", "No", "Retry", "Cancel", "Abort", "Ignore".
const char* nameOf(Answer answer);

// Options of the open and save dialogs.
enum FileDialogFlag : unsigned {
    PathMustExist = 1u << 0,
    FileMustExist = 1u << 1,
    OverwritePrompt = 1u << 2,
    HideReadOnly = 1u << 3,
    CreatePrompt = 1u << 4,
    NoReadOnlyReturn = 1u << 5,
};

struct FileFilter {
    std::string name;
    std::string pattern;
};

// The one open/save request shared by every file choice of the program, so
// the last chosen name and filter are offered again.
struct FileDialogRequest {
    std::vector<FileFilter> filters;
    int filterIndex = 1;  // 1-based
    std::string path;     // chosen file; kept between uses
    std::string title;
    std::string defaultExtension;  // without the dot
    unsigned flags = 0;

    static constexpr std::size_t kMaxPath = 260;
    static constexpr std::size_t kMaxTitle = 35;

    // The program's filter list with filter index 1 and an empty path.
    static FileDialogRequest standard() {
        FileDialogRequest r;
        r.filters = {{"Scene definitions", "*.K5s"},
                     {"Programm settings", "*.K5p"},
                     {"MIDI assigments", "*.K5m"},
                     {"Upgrades", "kq318*.upg"},
                     {"All files", "*.*"}};
        return r;
    }
};

class UserInterface {
  public:
    virtual ~UserInterface() = default;

    // Modal message box; returns the button pressed. The first button is the
    // default one (what Enter gives) unless `defaultButton` names another: a
    // question that could destroy what the technician made defaults to No.
    virtual Answer messageBox(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                              std::optional<Answer> defaultButton = std::nullopt) = 0;
    // The same box, its fixed text followed by the system's reason ("the
    // path: permission denied ..."), shown where the user looks: under the
    // text in the box, on a line of its own on a terminal. A user interface
    // with no place for it shows the box alone.
    virtual Answer messageBoxWithReason(const std::string& text, const std::string& caption, Icon icon,
                                        Buttons buttons, const std::string& /*reason*/,
                                        std::optional<Answer> defaultButton = std::nullopt) {
        return messageBox(text, caption, icon, buttons, defaultButton);
    }
    // The same box with a short `informative` text under its fixed text (a
    // count) and a `detailed` text the user may open below it (a list, one
    // line each). A user interface with no place for the detailed text
    // shows the informative one as a reason.
    virtual Answer messageBoxWithDetails(const std::string& text, const std::string& caption, Icon icon,
                                         Buttons buttons, const std::string& informative,
                                         const std::string& /*detailed*/,
                                         std::optional<Answer> defaultButton = std::nullopt) {
        return messageBoxWithReason(text, caption, icon, buttons, informative, defaultButton);
    }

    // Status-bar parts 0 (firmware), 1 (region) and 2 (action).
    virtual void setStatusText(int part, const std::string& text) = 0;
    virtual void setProgress(int position) = 0;  // 0..100

    // Enables or greys an entry of the Action menu by position.
    virtual void enableActionEntry(int position, bool enabled) = 0;
    // Checks or unchecks an entry of the Port menu by position.
    virtual void checkPortEntry(int position, bool checked) = 0;

    // Repaints the client window, which refreshes the status-bar texts.
    virtual void repaint() = 0;

    // The "Zakres" dialog: edits the first and last absolute scene numbers.
    // True when a range was chosen; on false both stay unchanged.
    virtual bool sceneRangeDialog(std::uint32_t& firstScene, std::uint32_t& lastScene) = 0;

    // Open and save dialogs; false when cancelled. On true `request.path`
    // holds the chosen file.
    virtual bool openFileDialog(FileDialogRequest& request) = 0;
    virtual bool saveFileDialog(FileDialogRequest& request) = 0;
};

}  // namespace velora
