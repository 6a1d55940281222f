// Fuzz target: any bytes as an upgrade file. Reading must never crash nor
// give out a record of a refused file; an accepted file holds at least one
// record, each within the address and length limits, and its records packed
// again under its version read back the same.

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "upgrade/upgrade_file.h"
#include "upgrade/upgrade_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velora;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size), std::ios::binary);
    UpgradeFile file;
    file.records.resize(1);  // a refused file must leave this as it is
    if (readUpgradeFile(in, file) != UpgradeError::None) {
        if (file.records.size() != 1 || !file.version.empty()) std::abort();
        return 0;
    }
    if (file.records.empty() || file.version.size() != 4) std::abort();
    for (const UpgradeRecord& r : file.records)
        if (r.address > kUpgradeMaxAddress || r.length > kUpgradeMaxLength) std::abort();

    std::string why;
    const auto again = buildUpgradeFile(file.version, file.records, why);
    if (!again) std::abort();
    std::istringstream back(again->bytes, std::ios::binary);
    UpgradeFile reread;
    if (readUpgradeFile(back, reread) != UpgradeError::None || reread.records != file.records) std::abort();
    return 0;
}
