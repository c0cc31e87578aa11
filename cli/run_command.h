#pragma once

namespace cli {

/// `cellwick-cli run FILE MACRO [--save OUT] [--answer TEXT]...`
int runRunCommand(int argc, char** argv);

} // namespace cli
