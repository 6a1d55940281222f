#pragma once
// What the transfer engine is doing and what it tells as it goes: the
// states, actions and outcomes of its runs, and the events a program maps
// onto its menus, status bar, progress line and exit status.

#include <cstddef>
#include <cstdint>
#include <string>

#include "image/controller_image.h"

namespace velora {

enum class TransferState {
    Idle = 0,
    SendFrame = 1,
    AwaitWrite = 2,
    AwaitReply = 3,
    NextBlock = 4,
};
// What a run does: move blocks of the data memory (with an Action), move
// firmware records, ask the controller for its firmware version, or restart
// the controller.
enum class RunKind { Memory, Firmware, Version, Restart };
enum class Action {
    WriteController = 0,
    ReadController = 1,
    Verify = 2,
    FileRead = 3,
    FileWrite = 4,
    NoAction = 5
};

// How a run ended, so that no interrupted or failed run can pass for a
// finished one.
enum class RunOutcome { None, Running, Completed, Stopped, Failed };

// A fault on the line during a run.
struct LineFault {
    enum Kind {
        WriteFailed,      // the write completed with a system error
        ReadFailed,       // the read completed with a system error
        NotAcknowledged,  // a written frame was not acknowledged
        BadReply,         // a data reply failed its checks (NAK, count, checksum, address)
        WrongKind,        // a data reply of another kind than asked for
        PortLost,         // the port that went away could not be opened again
    };
    Kind kind = WriteFailed;
    int error = 0;            // the system's error number, for WriteFailed, ReadFailed and PortLost
    std::string text;         // the message the user was shown
    std::uint32_t block = 0;  // block or record address of the frame
    bool retried = false;     // the user answered Retry: the frame goes out again
};

class EngineEvents {
  public:
    virtual ~EngineEvents() = default;

    // A run started: a command was accepted (a run refused at once, for want
    // of a port, starts nothing). `region` is the region of a memory run.
    virtual void runStarted(RunKind /*kind*/, Action /*action*/, Region /*region*/) {}
    // A block or firmware record went through: `done` of the run's `total`.
    virtual void blockDone(std::size_t /*done*/, std::size_t /*total*/) {}
    // A block of a memory run went through: acknowledged (WriteController),
    // stored (ReadController) or compared (Verify).
    virtual void blockMoved(Action /*action*/, std::uint32_t /*block*/) {}
    // A memory run went on into the next region (an "&All" run: the
    // settings, then the MIDI assignments).
    virtual void regionEntered(Region /*region*/) {}
    // An upgrade's run went on to its next pass: the verification pass
    // (Firmware, Verify) after the install pass, then the version query.
    virtual void passStarted(RunKind /*kind*/, Action /*action*/) {}
    // The controller told its firmware version: "\tFW : 1.05b".
    virtual void firmwareKnown(const std::string& /*text*/) {}
    // Verification found at least one difference in `block`.
    virtual void differenceFound(std::uint32_t /*block*/) {}
    // A fault on the line, after the user has answered it.
    virtual void lineError(const LineFault& /*fault*/) {}
    // The run ended, whichever way.
    virtual void runEnded(RunOutcome /*outcome*/) {}
    // Whether stopping, and repeating the last run, make sense now.
    virtual void stopPossible(bool /*possible*/) {}
    virtual void repeatPossible(bool /*possible*/) {}
};

}  // namespace velora
