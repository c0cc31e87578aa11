#pragma once
// The commands that paint (render, print) need Qt's GUI module; the others
// do not. Linking Qt costs every start of the tool tens of milliseconds in
// the dynamic loader and Qt's initialisers, more than converting a small
// file, so the Qt side lives in a module loaded only by the commands that
// paint. Nothing here names a Qt type.

#include "platform/printer.h"

#include <memory>

namespace cli {

/// A PDF file being written page by page; the file appears under its name
/// only when finished with `keep`.
class PdfOutput {
public:
  virtual ~PdfOutput() = default;
  virtual platform::PrintDevice& device() = 0;
  /// Ends the document, then keeps it (false when it cannot be written) or
  /// throws it away. Called once; the device is gone after it.
  virtual bool finish(bool keep) = 0;
};

/// For its life: a GUI application on the offscreen platform (unless
/// QT_QPA_PLATFORM names another), Qt's text metrics and the raster
/// renderer behind platform::makeRasterSurface.
class HeadlessPainting {
public:
  virtual ~HeadlessPainting() = default;
  /// Null when the file cannot be begun.
  virtual std::unique_ptr<PdfOutput> openPdf(const char* utf8Path) = 0;
};

/// Loads the module and starts its headless painting; null (after saying
/// why on stderr, as "cellwick-cli COMMAND: ...") when the module is
/// missing or was not built.
std::unique_ptr<HeadlessPainting> startHeadlessPainting(const char* command);

/// The module's one entry point, `cellwickStartPainting`, looked up by name.
using StartPaintingFn = HeadlessPainting* (*)();

} // namespace cli
