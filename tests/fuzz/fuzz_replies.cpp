// Fuzz target: any bytes as a reply on the line, and as a stream into the
// emulated controller. Judging must look at no byte beyond those received
// and never crash; the controller must never crash nor grow without bound.

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "emulator/controller_model.h"
#include "link/frames.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Copy into a buffer of exactly `size` bytes so that a sanitizer sees any
    // read past the end.
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::span<const std::uint8_t> received(bytes.data(), bytes.size());
    const auto j = velora::judgeDataReply(received, size > 2 ? bytes[2] : 0);
    if (j.valid()) {
        if (j.payload.size() + velora::kFrameOverhead != size) std::abort();
        (void)velora::replyMatchesRequest(j, velora::Request::ReadMemoryBlock);
    } else if (j.errorText().rfind("Communication error : ", 0) != 0) {
        std::abort();
    }
    (void)velora::isAcknowledgement(received);

    static velora::ControllerModel model;
    std::size_t at = 0;
    while (at < size) {  // in pieces, as a line delivers them
        const std::size_t piece = 1 + (bytes[at] % 17);
        const std::size_t n = piece < size - at ? piece : size - at;
        const auto reply = model.feed(received.subspan(at, n));
        if (reply.size() > 64 * 1024) std::abort();
        at += n;
    }
    return 0;
}
