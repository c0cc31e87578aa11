#pragma once

namespace cli {

/// `render FILE [--sheet NAME] --png OUT [--size WxH]`: paints a sheet with
/// the window's own painter into a PNG image, without a display.
int runRenderCommand(int argc, char** argv);

} // namespace cli
