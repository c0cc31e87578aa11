#include "qt_module.h"

#include <cstdio>
#include <string>

#if defined(CELLWICK_QT_MODULE)
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace cli {

#if defined(CELLWICK_QT_MODULE)
namespace {

// The folder of the running program, with its final "/"; empty when the
// system does not say.
std::string programFolder() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size())
    return {};
  path.resize(static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

std::unique_ptr<HeadlessPainting> startHeadlessPainting(const char* command) {
  // Beside the program in a build, where the install puts it otherwise.
  const std::string folder = programFolder();
  void* module = nullptr;
  std::string why = "the program's folder is unknown";
  if (!folder.empty()) {
    for (const std::string& path : {folder + CELLWICK_QT_MODULE, folder + CELLWICK_QT_MODULE_INSTALLED}) {
      module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (module)
        break;
      const char* error = dlerror();
      why = error ? error : path + " cannot be loaded";
    }
  }
  if (!module) {
    std::fprintf(stderr, "cellwick-cli %s: cannot load the painting module: %s\n", command, why.c_str());
    return nullptr;
  }
  // Never unloaded: its objects and Qt's live until the process ends.
  const auto start = reinterpret_cast<StartPaintingFn>(dlsym(module, "cellwickStartPainting"));
  if (!start) {
    std::fprintf(stderr, "cellwick-cli %s: the painting module has no entry point\n", command);
    return nullptr;
  }
  return std::unique_ptr<HeadlessPainting>(start());
}
#else
std::unique_ptr<HeadlessPainting> startHeadlessPainting(const char* command) {
  std::fprintf(stderr, "cellwick-cli %s: this build cannot paint (Qt 6 was not found)\n", command);
  return nullptr;
}
#endif

} // namespace cli
