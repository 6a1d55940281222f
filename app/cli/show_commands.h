#pragma once
// velora-cli's commands on data files alone: a show as text (export and
// import) and the differences between two shows. They touch no line.

#include <iosfwd>

#include "app/cli/cli.h"

namespace velora::cli {

// export BASE [-o FILE]: BASE's three files as one JSON document.
int runExport(const Options& options, std::ostream& out, std::ostream& err);
// import FILE BASE: the document checked whole, then saved as one set.
int runImport(const Options& options, std::ostream& out, std::ostream& err);
// diff BASE1 BASE2 [--limit N]: 0 equal, 1 different, 2 on errors.
int runDiff(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace velora::cli
