// Parsing of the tundrel-sim command line: strict numbers, durations the world can step, known
// options.
#include "sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "world.h"

const char* const SimUsage =
    "usage: tundrel-sim [--seed N] [--seconds S] [--dt D] [--report EVERY] [--csv FILE]\n"
    "                   [--png FILE [--size WxH] [--no-trails] [--no-clock]]\n";

const char* const SimHelp =
    "Runs the Tundrel winter ecosystem without a display and reports its populations.\n"
    "\n"
    "  --seed N        the random generator's seed (default 1)\n"
    "  --seconds S     simulated seconds to run (default 60, at most 10000000)\n"
    "  --dt D          simulated seconds a step (default 1/60, at most 0.25)\n"
    "  --report EVERY  a report line every EVERY simulated seconds (default 10)\n"
    "  --csv FILE      also a table of the reports, one row each: t, trees, herbivores,\n"
    "                  predators, airborne flakes, trail index\n"
    "  --png FILE      render the last frame offscreen into a PNG file\n"
    "  --size WxH      its size in pixels (default 1280x720)\n"
    "  --no-trails     draw it without the trails in the snow\n"
    "  --no-clock      draw it without the clock\n"
    "  --help          print this and exit\n"
    "\n"
    "Exit status: 0 on success, 1 when offscreen rendering is unavailable, 2 for a bad\n"
    "command line or a file that cannot be written.\n";

namespace {

constexpr double MaxSeconds = 1e7;  // simulated seconds, about 116 days
// Steps of one run; it also keeps seconds / dt far inside the step counter's range.
constexpr double MaxSteps = 1e9;

bool ParsePositiveDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v) || v <= 0) return false;
  value = v;
  return true;
}

bool ParseSeed(const std::string& text, uint64_t& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || end != text.c_str() + text.size()) return false;
  value = v;
  return true;
}

// "WxH" with both sides from 1 to 16384 pixels.
bool ParseSize(const std::string& text, int& width, int& height) {
  const size_t x = text.find('x');
  if (x == std::string::npos) return false;
  const std::string w = text.substr(0, x);
  const std::string h = text.substr(x + 1);
  uint64_t wv = 0;
  uint64_t hv = 0;
  if (!ParseSeed(w, wv) || !ParseSeed(h, hv)) return false;
  if (wv < 1 || hv < 1 || wv > 16384 || hv > 16384) return false;
  width = static_cast<int>(wv);
  height = static_cast<int>(hv);
  return true;
}

}  // namespace

bool ParseSimOptions(const std::vector<std::string>& args, TSimOptions& options,
                     std::string& error) {
  bool pngOnlySeen = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--seed" || arg == "--seconds" || arg == "--dt" ||
                            arg == "--report" || arg == "--png" || arg == "--size" ||
                            arg == "--csv";
    if (takesValue && i + 1 >= args.size()) {
      error = "missing value after " + arg;
      return false;
    }
    if (arg == "--seed") {
      if (!ParseSeed(args[++i], options.Seed)) {
        error = "--seed needs a whole number from 0 to 18446744073709551615";
        return false;
      }
    } else if (arg == "--seconds") {
      if (!ParsePositiveDouble(args[++i], options.Seconds) || options.Seconds > MaxSeconds) {
        error = "--seconds needs a number above 0 and at most 10000000";
        return false;
      }
    } else if (arg == "--dt") {
      // The world clamps a longer step, so a run with it would not be what was asked for.
      if (!ParsePositiveDouble(args[++i], options.Dt) || options.Dt > TEnv::MaxStep) {
        char text[96];
        std::snprintf(text, sizeof text,
                      "--dt needs a number above 0 and at most %g (the world's longest step)",
                      TEnv::MaxStep);
        error = text;
        return false;
      }
    } else if (arg == "--report") {
      if (!ParsePositiveDouble(args[++i], options.ReportEvery)) {
        error = "--report needs a positive number";
        return false;
      }
    } else if (arg == "--png") {
      options.PngPath = args[++i];
      if (options.PngPath.empty()) {
        error = "--png needs a file name";
        return false;
      }
    } else if (arg == "--csv") {
      options.CsvPath = args[++i];
      if (options.CsvPath.empty()) {
        error = "--csv needs a file name";
        return false;
      }
    } else if (arg == "--help") {
      options.Help = true;
    } else if (arg == "--size") {
      if (!ParseSize(args[++i], options.Width, options.Height)) {
        error = "--size needs WxH, each from 1 to 16384 pixels";
        return false;
      }
      pngOnlySeen = true;
    } else if (arg == "--no-trails") {
      options.ShowTrail = false;
      pngOnlySeen = true;
    } else if (arg == "--no-clock") {
      options.ShowTime = false;
      pngOnlySeen = true;
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  if (options.ReportEvery < options.Dt) {
    error = "--report must be at least --dt";
    return false;
  }
  if (options.Seconds / options.Dt > MaxSteps) {
    error = "--seconds / --dt must be at most 1000000000 steps";
    return false;
  }
  if (pngOnlySeen && options.PngPath.empty()) {
    error = "--size, --no-trails and --no-clock go with --png";
    return false;
  }
  return true;
}
