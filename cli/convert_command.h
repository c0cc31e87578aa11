#pragma once

namespace cli {

/// cellwick-cli convert IN OUT [--excel95] [--recalc]: 0 on success, 1 when
/// IN could not be read or OUT not written, 2 for bad arguments.
int runConvertCommand(int argc, char** argv);

} // namespace cli
