#include "serial_win32/win32_serial.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velora {

namespace {

// While a read waits for its first bytes, or for the last few of a reply,
// the line is looked at this often (about a byte's time on the line): a
// system read returns at once with what the driver holds, and the driver's
// arrival events are not to be relied on everywhere (wine's never end a read
// that waits for a first byte once a write has gone out meanwhile).
constexpr Duration kLookEvery = std::chrono::microseconds(250);

// What one system read takes at most: more than a frame, and the driver's
// receive queue.
constexpr std::size_t kLineChunk = 512;

// The longest single wait in the system; the caller's loop comes back for more.
constexpr Duration kLongestWait = std::chrono::seconds(60);

DWORD waitMilliseconds(Duration timeout) {
    const auto ms =
        std::chrono::ceil<std::chrono::milliseconds>(std::clamp(timeout, Duration::zero(), kLongestWait));
    return static_cast<DWORD>(ms.count());
}

// Sleeps for `d`, to a fraction of a millisecond where the system can
// (Sleep itself counts whole milliseconds).
void sleepFor(Duration d) {
    using Delay = LONG(WINAPI*)(BOOLEAN, const LARGE_INTEGER*);
    static const Delay delay = [] {
        Delay found = nullptr;
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        const FARPROC entry = ntdll != nullptr ? ::GetProcAddress(ntdll, "NtDelayExecution") : nullptr;
        static_assert(sizeof found == sizeof entry);
        if (entry != nullptr) std::memcpy(&found, &entry, sizeof found);
        return found;
    }();
    if (d <= Duration::zero()) return;
    if (delay == nullptr) {
        ::Sleep(waitMilliseconds(d));
        return;
    }
    LARGE_INTEGER relative;
    relative.QuadPart = -std::max<long long>(1, d.count() / 100);  // in 100 ns, negative: from now
    delay(FALSE, &relative);
}

DWORD milliseconds(std::chrono::milliseconds ms) {
    return static_cast<DWORD>(std::clamp<long long>(ms.count(), 0, MAXDWORD - 1));
}

char parityLetter(LineSettings::Parity parity) {
    switch (parity) {
        case LineSettings::Parity::None:
            return 'N';
        case LineSettings::Parity::Even:
            return 'E';
        case LineSettings::Parity::Odd:
            return 'O';
        case LineSettings::Parity::Mark:
            return 'M';
        case LineSettings::Parity::Space:
            return 'S';
    }
    return 'N';
}

const char* stopBitsText(LineSettings::StopBits stopBits) {
    switch (stopBits) {
        case LineSettings::StopBits::One:
            return "1";
        case LineSettings::StopBits::OneAndHalf:
            return "1.5";
        case LineSettings::StopBits::Two:
            return "2";
    }
    return "1";
}

// Finishes an overlapped operation that was aborted, so that its record and
// buffer may be used again.
void settleAborted(HANDLE port, OVERLAPPED& record) {
    DWORD ignored = 0;
    (void)::GetOverlappedResult(port, &record, &ignored, TRUE);
}

bool stillRunning(DWORD error) {
    return error == ERROR_IO_INCOMPLETE || error == ERROR_IO_PENDING;
}

}  // namespace

Win32SerialDevice::Win32SerialDevice(const Clock& clock) : clock_(clock), lineBuffer_(kLineChunk) {
    writeIo_.record.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    readIo_.record.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

Win32SerialDevice::~Win32SerialDevice() {
    if (port_ != INVALID_HANDLE_VALUE) {
        abortAll();
        ::CloseHandle(port_);
    }
    if (writeIo_.record.hEvent != nullptr) ::CloseHandle(writeIo_.record.hEvent);
    if (readIo_.record.hEvent != nullptr) ::CloseHandle(readIo_.record.hEvent);
}

int Win32SerialDevice::open(const std::string& name) {
    if (writeIo_.record.hEvent == nullptr || readIo_.record.hEvent == nullptr) return EIO;
    const HANDLE port = ::CreateFileA(win32DeviceName(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return openErrorFromWindows(::GetLastError());
    DCB state{};
    state.DCBlength = sizeof state;
    if (!::GetCommState(port, &state)) {
        ::CloseHandle(port);
        return ENOTTY;
    }
    port_ = port;
    // What arrived before the port was ours is not an answer to us.
    ::PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    return 0;
}

bool Win32SerialDevice::configure(const LineSettings& settings) {
    settings_ = settings;
    if (port_ == INVALID_HANDLE_VALUE || !settings.valid()) return false;
    // Every step is tried, even after one failed.
    char format[80];
    std::snprintf(format, sizeof format, "baud=%d parity=%c data=%d stop=%s", settings.baud,
                  parityLetter(settings.parity), settings.dataBits, stopBitsText(settings.stopBits));
    DCB state{};
    state.DCBlength = sizeof state;
    bool ok = ::GetCommState(port_, &state) && ::BuildCommDCBA(format, &state);
    if (ok) {
        state.fBinary = TRUE;
        ok = ::SetCommState(port_, &state);
    }
    ok = ::SetupComm(port_, static_cast<DWORD>(settings.receiveQueue),
                     static_cast<DWORD>(settings.sendQueue)) &&
         ok;
    // A system read returns at once with what the driver holds, even
    // nothing; a write has its time per byte.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = milliseconds(settings.writePerByteTimeout);
    timeouts.WriteTotalTimeoutConstant = 0;
    ok = ::SetCommTimeouts(port_, &timeouts) && ok;
    return ok;
}

void Win32SerialDevice::abortAll() {
    if (!writeIo_.busy && !readIo_.busy) return;
    ::PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT);
    ::CancelIoEx(port_, nullptr);
    if (writeIo_.busy) settleAborted(port_, writeIo_.record);
    if (readIo_.busy) settleAborted(port_, readIo_.record);
    writeIo_.busy = false;
    readIo_.busy = false;
}

void Win32SerialDevice::purge() {
    if (port_ != INVALID_HANDLE_VALUE) {
        abortAll();
        ::PurgeComm(port_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
    writePhase_ = Phase::Idle;
    readPhase_ = Phase::Idle;
    spare_.clear();
    taking_.clear();
    napping_ = false;
}

int Win32SerialDevice::startWrite(std::span<const std::uint8_t> bytes) {
    if (writeIo_.busy) {  // an earlier write still running: it is given up
        ::CancelIoEx(port_, &writeIo_.record);
        settleAborted(port_, writeIo_.record);
        writeIo_.busy = false;
    }
    writePhase_ = Phase::Idle;
    if (lineError_ != 0) return lineError_;
    if (port_ == INVALID_HANDLE_VALUE) return EBADF;
    writeBytes_.assign(bytes.begin(), bytes.end());
    writeCount_ = bytes.size();
    writtenAt_ = clock_.now();
    writtenCount_ = bytes.size();
    writePhase_ = Phase::Pending;
    if (bytes.empty()) {
        writePhase_ = Phase::Done;
        return 0;
    }
    OVERLAPPED& record = writeIo_.record;
    record.Internal = record.InternalHigh = 0;
    record.Offset = record.OffsetHigh = 0;
    ::ResetEvent(record.hEvent);
    if (!::WriteFile(port_, writeBytes_.data(), static_cast<DWORD>(writeBytes_.size()), nullptr, &record)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            writePhase_ = Phase::Failed;
            writeError_ = lineErrorFromWindows(error);
            if (writeError_ == EIO) loseLine(EIO);
            return writeError_;
        }
    }
    writeIo_.busy = true;  // done or not, the poll collects it
    return 0;
}

IoStatus Win32SerialDevice::pollWrite() {
    if (writePhase_ == Phase::Pending && writeIo_.busy) {
        DWORD written = 0;
        if (::GetOverlappedResult(port_, &writeIo_.record, &written, FALSE)) {
            writeIo_.busy = false;
            if (written == writeCount_) {
                writePhase_ = Phase::Done;
            } else {  // the system's write time-out
                writePhase_ = Phase::Failed;
                writeError_ = ETIMEDOUT;
            }
            notifyActivity();
        } else if (const DWORD error = ::GetLastError(); !stillRunning(error)) {
            writeIo_.busy = false;
            writePhase_ = Phase::Failed;
            writeError_ = lineErrorFromWindows(error);
            if (writeError_ == EIO) loseLine(EIO);
        }
    }
    if (writePhase_ == Phase::Pending && lineError_ != 0) {
        writePhase_ = Phase::Failed;
        writeError_ = lineError_;
    }
    switch (writePhase_) {
        case Phase::Done:
            return IoStatus::done(writeCount_);
        case Phase::Failed:
            return IoStatus::failed(writeError_);
        case Phase::Pending:
            return IoStatus::pending();
        case Phase::Idle:
            break;
    }
    return IoStatus::failed(ECANCELED);
}

void Win32SerialDevice::startRead(std::size_t count) {
    const TimePoint now = clock_.now();
    readPhase_ = Phase::Pending;
    rule_ = ReadRule::reply(count, now, settings_);
    taking_.clear();
    taking_.reserve(count);
    // The first byte of a reply to the frame just written cannot be there
    // before that frame and the byte have crossed the line: until then the
    // line is not looked at. A line found faster than its rate (a
    // pseudo-terminal) is looked at at once.
    replyTo_ = writtenCount_;
    writtenCount_ = 0;
    const TimePoint firstByte = writtenAt_ + settings_.byteTime() * static_cast<long>(replyTo_ + 1);
    napping_ = !fasterThanLine_ && replyTo_ > 0 && firstByte > now;
    napEnd_ = firstByte;
    advanceRead();
}

void Win32SerialDevice::startQuiet(Duration quiet, Duration limit) {
    readPhase_ = Phase::Pending;
    rule_ = ReadRule::quiet(clock_.now(), quiet, limit);
    taking_.clear();
    napping_ = false;
    advanceRead();
}

void Win32SerialDevice::take(const std::uint8_t* bytes, std::size_t n, TimePoint at) {
    if (n == 0) return;
    if (readPhase_ != Phase::Pending) {
        spare_.insert(spare_.end(), bytes, bytes + n);
        return;
    }
    if (!rule_.keepsBytes()) {
        rule_.took(n, at);
        return;
    }
    const std::size_t kept = std::min(n, rule_.room());
    if (kept > 0 && rule_.taken() == 0 && replyTo_ > 0 && settings_.byteTime() > Duration::zero()) {
        // More bytes than the line can have carried since the frame went out.
        const auto carried = (at - writtenAt_) / settings_.byteTime();
        if (static_cast<long long>(replyTo_ + kept) > carried + 2) fasterThanLine_ = true;
    }
    taking_.insert(taking_.end(), bytes, bytes + kept);
    rule_.took(kept, at);
    spare_.insert(spare_.end(), bytes + kept, bytes + n);
    // The rest of the reply cannot come faster than the line carries it.
    const std::size_t room = rule_.room();
    if (kept > 0 && room > 0) {
        napping_ = true;
        napEnd_ = at + settings_.byteTime() * static_cast<long>(room);
    }
}

void Win32SerialDevice::takeSpare(TimePoint now) {
    if (spare_.empty() || readPhase_ != Phase::Pending) return;
    std::vector<std::uint8_t> bytes;
    bytes.swap(spare_);
    take(bytes.data(), bytes.size(), now);
}

void Win32SerialDevice::startLineRead() {
    const std::size_t want = std::min(rule_.room(), lineBuffer_.size());
    OVERLAPPED& record = readIo_.record;
    record.Internal = record.InternalHigh = 0;
    record.Offset = record.OffsetHigh = 0;
    ::ResetEvent(record.hEvent);
    if (!::ReadFile(port_, lineBuffer_.data(), static_cast<DWORD>(want), nullptr, &record)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            loseLine(lineErrorFromWindows(error));
            return;
        }
    }
    readIo_.busy = true;
}

std::optional<std::size_t> Win32SerialDevice::collectLineRead(TimePoint now) {
    DWORD got = 0;
    if (!::GetOverlappedResult(port_, &readIo_.record, &got, FALSE)) {
        const DWORD error = ::GetLastError();
        if (stillRunning(error)) return std::nullopt;
        readIo_.busy = false;
        if (error != ERROR_OPERATION_ABORTED) loseLine(lineErrorFromWindows(error));
        return 0;
    }
    readIo_.busy = false;
    take(lineBuffer_.data(), got, now);
    if (got > 0) notifyActivity();
    return got;
}

void Win32SerialDevice::advanceRead() {
    if (port_ == INVALID_HANDLE_VALUE) return;
    const TimePoint now = clock_.now();
    takeSpare(now);
    // A system read that brought bytes is followed by another, as long as
    // the read wants more; one that found the driver empty ends the look.
    for (int round = 0; round < 4; ++round) {
        if (readIo_.busy) {
            const auto got = collectLineRead(now);
            if (!got || *got == 0) return;
        }
        if (readPhase_ != Phase::Pending || lineError_ != 0 || rule_.room() == 0) return;
        if (napping_ && now < napEnd_) return;
        napping_ = false;
        startLineRead();
    }
}

void Win32SerialDevice::settleRead(TimePoint now) {
    if (readPhase_ != Phase::Pending) return;
    // A full read is complete even on a line that went away just after.
    if (rule_.room() == 0 || (lineError_ == 0 && rule_.completeBy(now))) {
        readCount_ = rule_.taken();
        received_ = std::move(taking_);
        taking_.clear();
        readPhase_ = Phase::Done;
        napping_ = false;
    } else if (lineError_ != 0) {
        readPhase_ = Phase::Failed;
    }
}

IoStatus Win32SerialDevice::pollRead() {
    if (readPhase_ == Phase::Pending) {
        const TimePoint now = clock_.now();
        // A deadline that falls in a nap ends it: what the line holds is
        // taken before the read is judged.
        if (napping_ && now >= rule_.deadline()) napping_ = false;
        advanceRead();
        settleRead(clock_.now());
    }
    switch (readPhase_) {
        case Phase::Done:
            return IoStatus::done(readCount_);
        case Phase::Failed:
            return IoStatus::failed(lineError_ != 0 ? lineError_ : EIO);
        case Phase::Pending:
            return IoStatus::pending();
        case Phase::Idle:
            break;
    }
    return IoStatus::failed(ECANCELED);
}

std::optional<TimePoint> Win32SerialDevice::nextDeadline() const {
    const bool writing = writePhase_ == Phase::Pending;
    const bool reading = readPhase_ == Phase::Pending;
    if (!writing && !reading) return std::nullopt;
    const TimePoint now = clock_.now();
    // An operation that a poll would complete right now: the pump must not
    // sleep on it.
    const bool writeReady = writing && (!writeIo_.busy || HasOverlappedIoCompleted(&writeIo_.record));
    const bool readReady = reading && (rule_.room() == 0 || !spare_.empty() ||
                                       (readIo_.busy && HasOverlappedIoCompleted(&readIo_.record)));
    if (lineError_ != 0 || writeReady || readReady) return now;
    std::optional<TimePoint> next;
    if (writing) next = now + settings_.writePerByteTimeout * static_cast<long>(writeCount_);
    if (reading) {
        const TimePoint readNext = napping_ ? std::min(napEnd_, rule_.deadline()) : rule_.deadline();
        next = next ? std::min(*next, readNext) : readNext;
    }
    return next;
}

void Win32SerialDevice::wait(Duration timeout) {
    if (lineError_ != 0 || port_ == INVALID_HANDLE_VALUE) return;
    const Duration limit = std::clamp(timeout, Duration::zero(), kLongestWait);
    if (writePhase_ == Phase::Pending && writeIo_.busy) {
        ::WaitForSingleObject(writeIo_.record.hEvent, waitMilliseconds(limit));
        return;
    }
    if (readPhase_ != Phase::Pending) return;
    if (!napping_ && !readIo_.busy) advanceRead();
    const Duration nap = napping_ ? napEnd_ - clock_.now() : kLookEvery;
    sleepFor(std::min(nap, limit));
}

void Win32SerialDevice::loseLine(int error) {
    if (lineError_ != 0) return;
    lineError_ = error;
    notifyActivity();
}

void Win32SerialDevice::notifyActivity() {
    if (activity_) activity_();
}

}  // namespace velora
