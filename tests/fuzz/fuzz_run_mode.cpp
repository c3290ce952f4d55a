// Fuzzes the start-up decisions: an argument list (NUL-separated) and an XSCREENSAVER_WINDOW
// value (after the first 0x01 byte) must give a run mode and a drawing target without a crash,
// and the choices must agree with each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "run_mode.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::string environment;
  bool hasEnvironment = false;
  const size_t split = input.find('\x01');
  if (split != std::string::npos) {
    environment = input.substr(split + 1);
    input.resize(split);
    hasEnvironment = true;
  }
  std::vector<std::string> arguments;
  if (!input.empty()) {
    size_t start = 0;
    for (;;) {
      const size_t end = input.find('\0', start);
      arguments.push_back(input.substr(start, end - start));
      if (end == std::string::npos) break;
      start = end + 1;
    }
  }

  const TRunMode mode = DecideRunMode(arguments);
  Require((mode == TRunMode::UserRun) == arguments.empty());
  const TTargetChoice choice =
      ChooseTargetWindow(arguments, hasEnvironment ? environment.c_str() : nullptr);
  Require((choice.Kind == TTargetChoice::Invalid) == !choice.Error.empty());
  if (choice.Kind == TTargetChoice::PreviewWindow) Require(mode == TRunMode::Preview);
  if (choice.Kind == TTargetChoice::HostWindow || choice.Kind == TTargetChoice::RootWindow)
    Require(mode == TRunMode::FullScreen);
  if (mode == TRunMode::UserRun || mode == TRunMode::Settings)
    Require(choice.Kind == TTargetChoice::OwnWindow);

  TWindowHandle id = 0;
  if (!arguments.empty() && ParseDecimalWindowId(arguments[0], id)) {
    Require(arguments[0].find_first_not_of("0123456789") == std::string::npos);
    Require(id <= UINT32_MAX);
    Require(std::to_string(id) == arguments[0].substr(arguments[0].find_first_not_of('0') ==
                                                              std::string::npos
                                                          ? arguments[0].size() - 1
                                                          : arguments[0].find_first_not_of('0')));
  }
  return 0;
}
