#include "platform/serial.h"

namespace velora {

bool LineSettings::valid() const {
    return baud > 0 && dataBits >= 5 && dataBits <= 8 && receiveQueue > 0 && sendQueue > 0;
}

int LineSettings::bitsPerByte() const {
    const int parityBits = parity == Parity::None ? 0 : 1;
    const int stop = stopBits == StopBits::One ? 1 : 2;
    return 1 + dataBits + parityBits + stop;
}

Duration LineSettings::byteTime() const {
    if (baud <= 0) return Duration::zero();
    return Duration(std::chrono::seconds(1)) * bitsPerByte() / baud;
}

}  // namespace velora
