#include "platform/qt/qt_serial.h"

#include <QMetaObject>
#include <QSerialPortInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <thread>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <unistd.h>
#endif

namespace velora {

namespace {

// Qt keeps what arrives in its own buffer until the link reads it; bounded so
// that a babbling line cannot grow it without end, large enough never to
// hold back a frame.
constexpr qint64 kReadBufferLimit = 64 * 1024;

struct LineFormat {
    qint32 baud = 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// "baud=38400 parity=N data=8 stop=2"; nullopt on anything it does not know.
std::optional<LineFormat> parseLineFormat(const std::string& text) {
    LineFormat format;
    std::istringstream in(text);
    std::string item;
    while (in >> item) {
        const auto eq = item.find('=');
        if (eq == std::string::npos) return std::nullopt;
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
        if (key == "baud") {
            if (value.empty() || value.size() > 7 ||
                !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return std::nullopt;
            format.baud = std::stoi(value);
        } else if (key == "parity") {
            if (value == "N" || value == "n")
                format.parity = QSerialPort::NoParity;
            else if (value == "E" || value == "e")
                format.parity = QSerialPort::EvenParity;
            else if (value == "O" || value == "o")
                format.parity = QSerialPort::OddParity;
            else if (value == "M" || value == "m")
                format.parity = QSerialPort::MarkParity;
            else if (value == "S" || value == "s")
                format.parity = QSerialPort::SpaceParity;
            else
                return std::nullopt;
        } else if (key == "data") {
            if (value.size() != 1 || value[0] < '5' || value[0] > '8') return std::nullopt;
            format.dataBits = static_cast<QSerialPort::DataBits>(value[0] - '0');
        } else if (key == "stop") {
            if (value == "1")
                format.stopBits = QSerialPort::OneStop;
            else if (value == "1.5")
                format.stopBits = QSerialPort::OneAndHalfStop;
            else if (value == "2")
                format.stopBits = QSerialPort::TwoStop;
            else
                return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (format.baud <= 0) return std::nullopt;
    return format;
}

int waitMilliseconds(Duration timeout) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(timeout, Duration::zero()));
    return static_cast<int>(std::min<std::chrono::milliseconds::rep>(ms.count(), 60'000));
}

#ifdef Q_OS_UNIX
std::string systemLocation(const std::string& name) {
    return name.starts_with('/') || name.starts_with("./") || name.starts_with("../") ? name : "/dev/" + name;
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

std::vector<std::string> splitPortList(const std::string& value) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    while (start <= value.size()) {
        const std::size_t end = std::min(value.find(':', start), value.size());
        if (end > start) paths.push_back(value.substr(start, end - start));
        start = end + 1;
    }
    return paths;
}

QtSerialDevice::QtSerialDevice(const Clock& clock) : clock_(clock) {
    QObject::connect(&port_, &QSerialPort::readyRead, &port_, [this] {
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
    port_.setReadBufferSize(kReadBufferLimit);
    port_.clear(QSerialPort::Input);
    return 0;
}

bool QtSerialDevice::configure(const LineSettings& settings) {
    settings_ = settings;
    bool ok = port_.isOpen();
    if (const auto format = parseLineFormat(settings.format)) {
        // Start bit, data bits, parity bit and stop bits of one byte on the line.
        const int bits = 1 + static_cast<int>(format->dataBits) + (format->parity == QSerialPort::NoParity ? 0 : 1) +
                         (format->stopBits == QSerialPort::TwoStop ? 2 : 1);
        byteTime_ = std::chrono::duration_cast<Duration>(std::chrono::duration<double>(bits / double(format->baud)));
        ok = port_.setBaudRate(format->baud) && ok;
        ok = port_.setDataBits(format->dataBits) && ok;
        ok = port_.setParity(format->parity) && ok;
        ok = port_.setStopBits(format->stopBits) && ok;
        ok = port_.setFlowControl(QSerialPort::NoFlowControl) && ok;
    } else {
        ok = false;
    }
    // The driver's queues are the system's own; they only need to hold a frame.
    ok = settings.receiveQueue > 0 && settings.sendQueue > 0 && ok;
    return ok;
}

void QtSerialDevice::purge() {
    if (port_.isOpen()) port_.clear(QSerialPort::AllDirections);
    write_ = {};
    read_ = {};
}

int QtSerialDevice::startWrite(std::span<const std::uint8_t> bytes) {
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
    closeIfLost();
    read_ = {};
    read_.phase = Phase::Pending;
    read_.count = count;
    read_.deadline = clock_.now() + settings_.perByteTimeout * static_cast<int>(count);
    read_.bytes.reserve(count);
    pullFromLine();
    takeAvailable();
}

IoStatus QtSerialDevice::pollRead() {
    if (read_.phase == Phase::Pending) {
        pullFromLine();
        takeAvailable();
        settleRead(clock_.now());
        closeIfLost();
    }
    switch (read_.phase) {
        case Phase::Done:
            return IoStatus::done(received_.size());
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
    const auto silence = silenceDeadline();
    if (read_.bytes.size() >= read_.count ||
        (lineError_ == 0 && ((silence && now >= *silence) || now >= read_.deadline))) {
        received_ = std::move(read_.bytes);
        read_.bytes.clear();
        read_.phase = Phase::Done;
    } else if (lineError_ != 0) {
        read_.phase = Phase::Failed;
    }
}

// "More than" the inter-byte time-out: the first moment past it.
std::optional<TimePoint> QtSerialDevice::silenceDeadline() const {
    if (!read_.lastArrival) return std::nullopt;
    return *read_.lastArrival + settings_.interByteTimeout + Duration(1);
}

void QtSerialDevice::takeAvailable() {
    if (read_.phase != Phase::Pending || !port_.isOpen()) return;
    const std::size_t wanted = read_.count - std::min(read_.count, read_.bytes.size());
    if (wanted == 0) return;
    const QByteArray chunk = port_.read(static_cast<qint64>(wanted));
    if (chunk.isEmpty()) return;
    read_.bytes.insert(read_.bytes.end(), chunk.begin(), chunk.end());
    read_.lastArrival = clock_.now();
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
    const bool readReady = read_.phase == Phase::Pending && read_.bytes.size() >= read_.count;
    if (lineError_ != 0 || writeReady || readReady) return clock_.now();
    std::optional<TimePoint> next;
    if (write_.phase == Phase::Pending) next = write_.deadline;
    if (read_.phase == Phase::Pending) {
        TimePoint readNext = read_.deadline;
        if (const auto silence = silenceDeadline()) readNext = std::min(readNext, *silence);
        next = next ? std::min(*next, readNext) : readNext;
    }
    return next;
}

void QtSerialDevice::wait(Duration timeout) {
    closeIfLost();
    const bool writing = write_.phase == Phase::Pending && port_.isOpen() && port_.bytesToWrite() > 0;
    const bool reading = read_.phase == Phase::Pending;
    if (lineError_ != 0 || !port_.isOpen() || (!writing && !reading)) return;
    // While a reply trickles in, the rest cannot arrive faster than the line
    // carries it: sleep for part of that time instead of waking for every
    // byte, but never past the moment the last byte could be there.
    if (reading && !writing && read_.lastArrival && read_.bytes.size() < read_.count) {
        // The last few bytes are waited for on the line itself, so that the
        // end of the reply is seen the moment it arrives.
        const int early = static_cast<int>(read_.count - read_.bytes.size()) - 3;
        const TimePoint napEnd = *read_.lastArrival + byteTime_ * early;
        const Duration nap = std::min({napEnd - clock_.now(), Duration(std::chrono::milliseconds(10)), timeout});
        if (nap > Duration::zero()) {
            std::this_thread::sleep_for(nap);
            return;
        }
    }
    const int ms = waitMilliseconds(timeout);
#ifdef Q_OS_UNIX
    pollfd line{port_.handle(), 0, 0};
    if (port_.bytesAvailable() < kReadBufferLimit) line.events |= POLLIN;
    if (writing) line.events |= POLLOUT;
    ::poll(&line, 1, ms);
#else
    if (writing)
        port_.waitForBytesWritten(ms);
    else
        port_.waitForReadyRead(ms);
#endif
}

void QtSerialDevice::notifyActivity() {
    if (activity_) activity_();
}

std::optional<std::vector<std::string>> QtSerialPortFactory::enumerate() {
    std::vector<std::string> names;
    const auto add = [&names](const std::string& name) {
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
#ifdef Q_OS_WIN
        add(info.portName().toStdString());
#else
        add(info.systemLocation().toStdString());
#endif
    }
#ifndef Q_OS_WIN
    if (const char* extra = std::getenv("VELORA_PORTS")) {
        for (const std::string& path : splitPortList(extra)) add(path);
    }
#endif
    return names;
}

std::unique_ptr<SerialDevice> QtSerialPortFactory::open(const std::string& name, int& error) {
    auto device = std::make_unique<QtSerialDevice>(clock_);
    error = device->open(name);
    if (error != 0) return nullptr;
    return device;
}

}  // namespace velora
