#include "serial_qt/qt_serial.h"

#include <QMetaObject>
#include <algorithm>
#include <cerrno>
#include <thread>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "serial_qt/serial_ports.h"

namespace velora {

namespace {

// Qt keeps what arrives in its own buffer until the link reads it; bounded so
// that a babbling line cannot grow it without end, large enough never to
// hold back a frame.
constexpr qint64 kReadBufferLimit = 64 * 1024;

// The longest single sleep in the system; the caller's loop comes back for more.
constexpr Duration kLongestWait = std::chrono::seconds(60);

#ifndef Q_OS_LINUX
int waitMilliseconds(Duration timeout) {
    const auto ms =
        std::chrono::ceil<std::chrono::milliseconds>(std::clamp(timeout, Duration::zero(), kLongestWait));
    return static_cast<int>(ms.count());
}
#endif

// Qt reports permission and busy as one kind; the system tells them apart.
int openErrorNumber(QSerialPort::SerialPortError error, const std::string& name) {
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return ENOENT;
        case QSerialPort::OpenError:
            return EBUSY;
        case QSerialPort::UnsupportedOperationError:
            return ENOTTY;
        case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
            if (::access(systemLocation(name).c_str(), R_OK | W_OK) != 0) return errno;
#else
            Q_UNUSED(name);
#endif
            return EBUSY;
        default:
            return EIO;
    }
}

}  // namespace

QtSerialDevice::QtSerialDevice(const Clock& clock) : clock_(clock) {
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] {
        if (beginNap()) {
            notifyActivity();  // the pump learns when the nap ends
            return;
        }
        takeAvailable();
        notifyActivity();
    });
    QObject::connect(&port_, &QSerialPort::bytesWritten, &port_, [this](qint64) { notifyActivity(); });
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
}

QtSerialDevice::~QtSerialDevice() {
    QObject::disconnect(&port_, nullptr, nullptr, nullptr);
    if (port_.isOpen()) port_.close();
}

int QtSerialDevice::open(const std::string& name) {
    port_.setPortName(QString::fromStdString(name));
    openError_ = QSerialPort::NoError;
    opening_ = true;
    const bool opened = port_.open(QIODevice::ReadWrite);
    opening_ = false;
    if (!opened) return openErrorNumber(openError_, name);
#ifdef Q_OS_UNIX
    // The exclusive mode keeps out a second opener of the same name only, and
    // not at all when it runs as root; a lock on the open device itself keeps
    // out a second program of ours whatever name it used (a link, /dev/pts/N).
    if (::flock(port_.handle(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        port_.close();
        return EBUSY;
    }
#endif
    port_.setReadBufferSize(kReadBufferLimit);
    port_.clear(QSerialPort::Input);
    return 0;
}

namespace {

QSerialPort::Parity qtParity(LineSettings::Parity parity) {
    switch (parity) {
        case LineSettings::Parity::None:
            return QSerialPort::NoParity;
        case LineSettings::Parity::Even:
            return QSerialPort::EvenParity;
        case LineSettings::Parity::Odd:
            return QSerialPort::OddParity;
        case LineSettings::Parity::Mark:
            return QSerialPort::MarkParity;
        case LineSettings::Parity::Space:
            return QSerialPort::SpaceParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(LineSettings::StopBits stopBits) {
    switch (stopBits) {
        case LineSettings::StopBits::One:
            return QSerialPort::OneStop;
        case LineSettings::StopBits::OneAndHalf:
            return QSerialPort::OneAndHalfStop;
        case LineSettings::StopBits::Two:
            return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

}  // namespace

bool QtSerialDevice::configure(const LineSettings& settings) {
    settings_ = settings;
    if (!port_.isOpen() || !settings.valid()) return false;
    // Every step is tried, even after one failed.
    bool ok = port_.setBaudRate(settings.baud);
    ok = port_.setDataBits(static_cast<QSerialPort::DataBits>(settings.dataBits)) && ok;
    ok = port_.setParity(qtParity(settings.parity)) && ok;
    ok = port_.setStopBits(qtStopBits(settings.stopBits)) && ok;
    ok = port_.setFlowControl(QSerialPort::NoFlowControl) && ok;
    // The driver's queues are the system's own; they only need to hold a frame.
    return ok;
}

// While a reply trickles in, the rest cannot arrive faster than the line
// carries it: rather than wake for every few bytes, the device naps until the
// moment all but the last kTailBytes of the `toCome` bytes can be there,
// counted from `from`. The last bytes are waited for on the line itself, so
// the end of the reply is seen the moment it arrives.
TimePoint QtSerialDevice::napEnd(TimePoint from, std::size_t toCome) const {
    return from + settings_.byteTime() * (static_cast<int>(toCome) - static_cast<int>(kTailBytes));
}

// Under an event loop the nap is taken by no longer taking bytes in: Qt's
// buffer is held at its size, so Qt turns its notifier off, and the bytes
// wait in the driver.
bool QtSerialDevice::beginNap() {
    if (napping_ || read_.phase != Phase::Pending || !read_.rule.keepsBytes() || lineError_ != 0)
        return false;
    const auto available = static_cast<std::size_t>(std::max<qint64>(port_.bytesAvailable(), 0));
    const std::size_t room = read_.rule.room();
    if (available == 0 || room <= available + kTailBytes) return false;
    // What Qt holds now is taken after the nap, but counts as received now:
    // a reply that ends here (an acknowledgement where a longer frame could
    // come) must not have its silence start only when the nap is over.
    const TimePoint now = clock_.now();
    napping_ = true;
    napEnd_ = napEnd(now, room - available);
    held_ = available;
    heldSince_ = now;
    port_.setReadBufferSize(static_cast<qint64>(available));
    return true;
}

void QtSerialDevice::endNap() {
    if (!napping_) return;
    napping_ = false;
    if (port_.isOpen()) port_.setReadBufferSize(kReadBufferLimit);
}

void QtSerialDevice::purge() {
    endNap();
    if (port_.isOpen()) port_.clear(QSerialPort::AllDirections);
    write_ = {};
    read_ = {};
    held_ = 0;
}

int QtSerialDevice::startWrite(std::span<const std::uint8_t> bytes) {
    endNap();
    closeIfLost();
    write_ = {};
    if (lineError_ != 0) return lineError_;
    if (!port_.isOpen()) return EBADF;
    write_.phase = Phase::Pending;
    write_.count = bytes.size();
    write_.deadline = clock_.now() + settings_.writePerByteTimeout * static_cast<int>(bytes.size());
    if (bytes.empty()) {
        write_.phase = Phase::Done;
        return 0;
    }
    const qint64 queued =
        port_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    if (queued != static_cast<qint64>(bytes.size())) {
        write_ = {Phase::Failed, 0, {}, EIO};
        return EIO;
    }
    port_.waitForBytesWritten(0);  // hands what the driver takes now
    closeIfLost();
    if (lineError_ != 0) return lineError_;
    if (write_.phase == Phase::Failed) return write_.error;
    return 0;
}

IoStatus QtSerialDevice::pollWrite() {
    if (write_.phase == Phase::Pending) {
        if (lineError_ == 0 && port_.isOpen() && port_.bytesToWrite() > 0) port_.waitForBytesWritten(0);
        settleWrite(clock_.now());
        closeIfLost();
    }
    switch (write_.phase) {
        case Phase::Done:
            return IoStatus::done(write_.count);
        case Phase::Failed:
            return IoStatus::failed(write_.error);
        case Phase::Pending:
            return IoStatus::pending();
        case Phase::Idle:
            break;
    }
    return IoStatus::failed(ECANCELED);
}

void QtSerialDevice::settleWrite(TimePoint now) {
    if (write_.phase != Phase::Pending) return;
    if (lineError_ != 0) {
        write_.phase = Phase::Failed;
        write_.error = lineError_;
    } else if (port_.bytesToWrite() == 0) {
        write_.phase = Phase::Done;
    } else if (now >= write_.deadline) {
        port_.clear(QSerialPort::Output);  // what is left must not go out later
        write_.phase = Phase::Failed;
        write_.error = ETIMEDOUT;
    }
}

void QtSerialDevice::startRead(std::size_t count) {
    beginRead(ReadRule::reply(count, clock_.now(), settings_));
}

void QtSerialDevice::startQuiet(Duration quiet, Duration limit) {
    beginRead(ReadRule::quiet(clock_.now(), quiet, limit));
}

void QtSerialDevice::beginRead(ReadRule rule) {
    endNap();
    closeIfLost();
    read_ = {};
    held_ = 0;
    read_.phase = Phase::Pending;
    read_.rule = rule;
    if (rule.keepsBytes()) read_.bytes.reserve(rule.room());
    pullFromLine();
    takeAvailable();
}

IoStatus QtSerialDevice::pollRead() {
    if (napping_) {
        if (clock_.now() < napEnd_ && lineError_ == 0) return IoStatus::pending();
        endNap();
    }
    if (read_.phase == Phase::Pending) {
        pullFromLine();
        takeAvailable();
        settleRead(clock_.now());
        closeIfLost();
    }
    switch (read_.phase) {
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

void QtSerialDevice::settleRead(TimePoint now) {
    if (read_.phase != Phase::Pending) return;
    // A full read is complete even on a line that went away just after.
    if (read_.rule.room() == 0 || (lineError_ == 0 && read_.rule.completeBy(now))) {
        readCount_ = read_.rule.taken();
        received_ = std::move(read_.bytes);
        read_.bytes.clear();
        read_.phase = Phase::Done;
    } else if (lineError_ != 0) {
        read_.phase = Phase::Failed;
    }
}

void QtSerialDevice::takeAvailable() {
    if (read_.phase != Phase::Pending || !port_.isOpen()) return;
    // Bytes are stamped with the moment they are noticed: whatever Qt has
    // taken in arrived by then, and a reply that came in time is never
    // refused because the program looked late. Those held over a nap were
    // noticed when it began; they come first in Qt's buffer.
    const TimePoint now = clock_.now();
    if (read_.rule.room() == 0) return;
    if (!read_.rule.keepsBytes()) {
        const QByteArray thrownAway = port_.readAll();
        read_.rule.took(static_cast<std::size_t>(thrownAway.size()), now);
        return;
    }
    const QByteArray chunk = port_.read(static_cast<qint64>(read_.rule.room()));
    if (chunk.isEmpty()) return;
    read_.bytes.insert(read_.bytes.end(), chunk.begin(), chunk.end());
    const auto count = static_cast<std::size_t>(chunk.size());
    const std::size_t wereHeld = std::min(held_, count);
    read_.rule.took(wereHeld, heldSince_);
    read_.rule.took(count - wereHeld, now);
    held_ -= wereHeld;
}

void QtSerialDevice::pullFromLine() {
    if (lineError_ != 0 || !port_.isOpen()) return;
#ifdef Q_OS_UNIX
    pollfd line{port_.handle(), POLLIN, 0};
    if (::poll(&line, 1, 0) <= 0) return;
    if ((line.revents & POLLIN) && port_.bytesAvailable() < kReadBufferLimit) port_.waitForReadyRead(0);
    if (line.revents & (POLLHUP | POLLERR | POLLNVAL)) loseLine(EIO);
#else
    port_.waitForReadyRead(0);
#endif
}

bool QtSerialDevice::hungUp() const {
#ifdef Q_OS_UNIX
    pollfd line{port_.handle(), POLLIN, 0};
    return ::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return port_.error() == QSerialPort::ResourceError;
#endif
}

void QtSerialDevice::onError(QSerialPort::SerialPortError error) {
    if (error == QSerialPort::NoError) return;  // clearError() reports this too
    if (opening_) {
        if (openError_ == QSerialPort::NoError) openError_ = error;
        port_.clearError();
        return;
    }
    switch (error) {
        case QSerialPort::TimeoutError:  // a wait of ours that found nothing
            break;
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
        case QSerialPort::UnknownError:
            // Qt reports a full driver queue like a lost line; the system
            // tells whether the line is really gone.
            if (port_.isOpen() && hungUp()) {
                loseLine(EIO);
            } else if (error == QSerialPort::WriteError && write_.phase == Phase::Pending) {
                write_.phase = Phase::Failed;
                write_.error = EIO;
                notifyActivity();
            }
            break;
        default:
            break;
    }
    port_.clearError();
}

void QtSerialDevice::loseLine(int error) {
    if (lineError_ != 0) return;
    lineError_ = error;
    // Closing stops Qt's notifiers from firing on the dead line; it must not
    // happen inside Qt's own handler, so it waits for our next poll or the
    // next turn of the event loop, whichever comes first.
    closePending_ = true;
    QMetaObject::invokeMethod(
        &port_, [this] { closeIfLost(); }, Qt::QueuedConnection);
    notifyActivity();
}

void QtSerialDevice::closeIfLost() {
    if (!closePending_) return;
    closePending_ = false;
    if (port_.isOpen()) port_.close();
}

std::optional<TimePoint> QtSerialDevice::nextDeadline() const {
    const bool busy = write_.phase == Phase::Pending || read_.phase == Phase::Pending;
    if (!busy) return std::nullopt;
    // An operation that a poll would complete right now: the pump must not
    // sleep on it (the reply may have been waiting when the read started).
    const bool writeReady = write_.phase == Phase::Pending && port_.isOpen() && port_.bytesToWrite() == 0;
    const bool readReady = read_.phase == Phase::Pending && read_.rule.room() == 0;
    if (lineError_ != 0 || writeReady || readReady) return clock_.now();
    std::optional<TimePoint> next;
    if (write_.phase == Phase::Pending) next = write_.deadline;
    if (read_.phase == Phase::Pending) {
        const TimePoint readNext =
            napping_ ? std::min(napEnd_, read_.rule.deadline()) : read_.rule.deadline();
        next = next ? std::min(*next, readNext) : readNext;
    }
    return next;
}

void QtSerialDevice::wait(Duration timeout) {
    closeIfLost();
    const bool writing = write_.phase == Phase::Pending && port_.isOpen() && port_.bytesToWrite() > 0;
    const bool reading = read_.phase == Phase::Pending;
    if (lineError_ != 0 || !port_.isOpen() || (!writing && !reading)) return;
    // Blocking, the nap is a sleep of at most 10 ms at a time.
    const ReadRule& rule = read_.rule;
    if (reading && !writing && rule.keepsBytes() && rule.taken() > 0 && rule.room() > 0) {
        const Duration nap = std::min({napEnd(rule.lastByte(), rule.room()) - clock_.now(),
                                       Duration(std::chrono::milliseconds(10)), timeout});
        if (nap > Duration::zero()) {
            std::this_thread::sleep_for(nap);
            return;
        }
    }
#ifdef Q_OS_UNIX
    pollfd line{port_.handle(), 0, 0};
    if (port_.bytesAvailable() < kReadBufferLimit) line.events |= POLLIN;
    if (writing) line.events |= POLLOUT;
#ifdef Q_OS_LINUX
    // To the nanosecond: a read that ends on a silence ends when its
    // deadline comes, not up to a millisecond after it, once per frame.
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::clamp(timeout, Duration::zero(), kLongestWait));
    const timespec limit{static_cast<time_t>(ns.count() / 1'000'000'000),
                         static_cast<long>(ns.count() % 1'000'000'000)};
    ::ppoll(&line, 1, &limit, nullptr);
#else
    ::poll(&line, 1, waitMilliseconds(timeout));
#endif
#else
    const int ms = waitMilliseconds(timeout);
    if (writing)
        port_.waitForBytesWritten(ms);
    else
        port_.waitForReadyRead(ms);
#endif
}

void QtSerialDevice::notifyActivity() {
    if (activity_) activity_();
}

}  // namespace velora
