// Fuzz target: any bytes as a show as text. Reading must never crash nor
// take more than the document's bounds allow; a refusal says where and why,
// and a document that is taken exports to a text that reads back the same.

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "files/show_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto image = std::make_unique<velora::ControllerImage>();
    static auto again = std::make_unique<velora::ControllerImage>();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const velora::ShowTextResult read = velora::showFromText(text, *image);
    if (!read.ok) {
        if (read.error.empty()) std::abort();
        return 0;
    }
    const std::string exported = velora::showToText(*image);
    if (!velora::showFromText(exported, *again).ok) std::abort();
    if (velora::showToText(*again) != exported) std::abort();
    return 0;
}
