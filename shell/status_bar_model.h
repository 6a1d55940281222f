#pragma once
// The four parts of the status bar, the place of the progress bar in the
// last one, and how a status text is shown.

#include <array>
#include <string>
#include <string_view>

#include "engine/engine_events.h"

namespace velora {

inline constexpr int kStatusParts = 4;
inline constexpr int kFirmwarePart = 0;
inline constexpr int kRegionPart = 1;
inline constexpr int kActionPart = 2;

struct StatusPartEdges {
    // Right edges of parts 0, 1 and 2; part 3 runs to the end of the bar.
    std::array<int, 3> rightEdges{};
    // Where the progress bar begins: the right edge of part 2.
    int progressLeft() const { return rightEdges[2]; }
};

// Edges for a main window `outerWidth` wide whose font has the average
// character width `charWidth`: 12, 21 and 43 character widths, or shares of
// the width when the window is narrower than 52 character widths.
StatusPartEdges statusPartEdges(int outerWidth, int charWidth);

struct PartRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const PartRect&) const = default;
};

// The progress bar inside the last part of a bar `barWidth` x `barHeight`:
// 2 units in from every side.
PartRect progressBarRect(int barWidth, int barHeight, int progressLeft);

// The extent of part `part` (0..3) across a bar `barWidth` wide.
PartRect statusPartRect(const StatusPartEdges& edges, int part, int barWidth, int barHeight);

// What parts 0, 1 and 2 say when the window is repainted, and the progress
// bar's position, made from the engine's events: the firmware version, what
// the run does and over what region, and the run's action ("\tReady" once
// the engine is idle).
class StatusTexts {
  public:
    void runStarted(RunKind kind, Action action, Region region);
    void regionEntered(Region region) { region_ = region; }
    void passStarted(RunKind kind, Action action);
    void firmwareKnown(std::string text) { firmware_ = std::move(text); }
    std::string text(int part, bool idle) const;
    // What part 1 says of the run: its region, or what it does.
    std::string runPart() const;

    void setProgress(int position) { progress_ = position; }
    int progress() const { return progress_; }
    // True, once, when the progress bar shows more than 0: the idle pump
    // puts it back to 0.
    bool takeProgressReset();

  private:
    RunKind kind_ = RunKind::Version;
    Action action_ = Action::WriteController;
    Region region_ = Region::Scenes;
    std::string firmware_;
    int progress_ = 0;
};

// A status text as shown: the leading tab asks for centring and is not drawn.
struct ShownStatusText {
    std::string text;
    bool centred = false;
};
ShownStatusText shownStatusText(std::string_view text);

}  // namespace velora
