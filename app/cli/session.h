#pragma once
// One velora-cli command's objects on the line: the program's wiring with a
// terminal for a face, the port opened or found, runs pumped to their end,
// and the words and statuses the commands share.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/cli.h"
#include "app/cli/terminal_ui.h"
#include "engine/engine.h"
#include "engine/run_loop.h"
#include "link/serial_link.h"
#include "shell/application.h"

namespace velora::cli {

// The memory regions of the options' REGION.
inline std::vector<Region> regionsOf(const Options& o) {
    if (o.region == "all") return {kMemoryRegions.begin(), kMemoryRegions.end()};
    if (o.region == "settings") return {Region::Settings};
    if (o.region == "midi") return {Region::Midi};
    return {Region::Scenes};
}

// One command's objects: the program's wiring with a terminal for a face.
class Session {
  public:
    Session(const Options& o, const CommandContext& c)
        : options_(o),
          factory_(c.factory),
          clock_(c.clock),
          ui_(c.err, Answers{o.yes, o.retries, o.ignoreDifferences}, c.progressBar),
          app_(c.factory, ui_, c.clock, &ui_),
          interrupted_(c.interrupted),
          started_(c.clock.now()) {
        ui_.setContext([this] { return where(); });
        ui_.followProgress(app_.progress());
    }

    // The port in use, and the block or firmware record of a run on it.
    std::string where() {
        const std::string port = app_.connection().port();
        if (port.empty() || engine().idle()) return port;
        switch (engine().runKind()) {
            case RunKind::Memory:
                return port + ", block " + std::to_string(engine().currentBlock());
            case RunKind::Firmware: {
                char address[16];
                std::snprintf(address, sizeof address, "0x%05X", engine().currentBlock());
                return port + ", record at " + address;
            }
            default:
                return port;
        }
    }
    // Seconds since the command started, as "82.7 s".
    std::string elapsed() const { return seconds(clock_.now() - started_); }
    static std::string seconds(Duration d) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(d).count());
        return text;
    }
    TimePoint now() const { return clock_.now(); }
    // Blocks done by the last run, as "2048 blocks".
    std::string blocks() const {
        const std::size_t n = app_.progress().done();
        return std::to_string(n) + (n == 1 ? " block" : " blocks");
    }

    Application& app() { return app_; }
    TerminalUi& ui() { return ui_; }
    TransferEngine& engine() { return app_.engine(); }
    SerialLink& link() { return app_.link(); }
    bool interrupted() const { return interrupted_.load(); }

    // Runs the engine to Idle, calling `onStep` (if any) before every step;
    // true when the run completed.
    bool pump(const std::function<void()>& onStep = {}) {
        const RunOutcome outcome = runUntilIdle(engine(), link(), clock_, [this, &onStep] {
            if (onStep) onStep();
            return interrupted();
        });
        ui_.finishProgress();
        return outcome == RunOutcome::Completed;
    }

    // Opens the port named by --port, or searches for the controller; then
    // the version query.
    bool connect(std::ostream& err) {
        std::vector<std::string> table = buildPortTable(factory_.enumerate());
        if (options_.port) {
            auto it = std::find(table.begin(), table.end(), *options_.port);
            if (it == table.end()) it = table.insert(table.end(), *options_.port);
            link().setPortTable(table);
            link().choosePort(static_cast<int>(it - table.begin()));
            if (!link().isOpen()) return false;
            return pump();  // the version query that follows a chosen port
        }
        if (table.empty()) {
            err << "velora-cli: no serial ports (name one with --port)\n";
            return false;
        }
        link().setPortTable(table);
        if (!link().searchController()) {
            ui_.messageBoxWithReason(kNotFoundAutoText, kNotFoundCaption, Icon::Warning, Buttons::Ok,
                                     link().searchReport());
            return false;
        }
        engine().startVersionQuery();
        return pump();
    }

    // A run of `action` over the options' region; true when it completed.
    bool runRegion(Action action) {
        engine().setSceneRange(options_.firstScene, options_.lastScene);
        if (options_.region == "all")
            engine().startAll(action);
        else
            engine().startRun(regionsOf(options_).front(), action);
        ran_ = !engine().idle();
        if (!ran_) return false;  // refused
        return pump();
    }
    // True once a run of runRegion started (it was not refused).
    bool ran() const { return ran_; }
    // Why a run that started ended early, in words.
    std::string whyCutShort() {
        if (interrupted()) return "interrupted";
        return app_.link().lineLost() ? "the line was lost" : "stopped";
    }

  private:
    const Options& options_;
    SerialPortFactory& factory_;
    const Clock& clock_;
    TerminalUi ui_;
    Application app_;
    const std::atomic<bool>& interrupted_;
    TimePoint started_;
    bool ran_ = false;
};

inline int statusAfterFailure(const Session& s) {
    return s.interrupted() ? kInterrupted : kError;
}

// A success says so on the standard output, in one line (not with --quiet).
inline int summary(const Options& o, const CommandContext& c, const std::string& line) {
    if (!o.quiet) c.out << "velora-cli: " << line << "\n";
    return kSuccess;
}

}  // namespace velora::cli
