// tundrel-sim: runs the ecosystem without a window on a simulated clock and prints population
// reports with a hash of the world, so runs can be compared line for line, and with --csv a
// table of them for plotting.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "clock.h"
#include "population.h"
#include "random.h"
#include "sim_options.h"
#if TUNDREL_SIM_SNAPSHOT
#include "snapshot.h"
#endif
#include "species.h"
#include "world.h"

namespace {

// One report: a line on stdout and, with --csv, a row of the table.
void Report(const TEnv& env, double t, FILE* csv) {
  int airborne = 0;
  for (size_t i = 0; i < env.Snowflakes.size(); ++i)
    if (env.Snowflakes.Height(i) > 0) ++airborne;
  const int trees = env.CountOf<TTree>();
  const int herbivores = env.CountOf<THerbivore>();
  const int predators = env.CountOf<TPredator>();
  std::printf(
      "t=%.3f trees=%d herbivores=%d predators=%d units=%d trail_index=%d airborne=%d "
      "hash=%016" PRIx64 "\n",
      t, trees, herbivores, predators, env.CountOf<TEnvUnit>(), env.TrailIndex, airborne,
      WorldHash(env));
  // A line at a time, so a watcher (the soak test) sees each report as it happens.
  std::fflush(stdout);
  if (csv != nullptr)
    std::fprintf(csv, "%.3f,%d,%d,%d,%d,%d\n", t, trees, herbivores, predators, airborne,
                 env.TrailIndex);
}

// Says why the file cannot be written; the status of the refused run.
int CannotWrite(const std::string& path, int error) {
  std::fprintf(stderr, "tundrel-sim: cannot write %s: %s\n", path.c_str(), std::strerror(error));
  return 2;
}

// Whether the folder of a file to write lets us write there; says why not.
bool CanWriteInto(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (access(folder.c_str(), W_OK) == 0) return true;
  CannotWrite(path, errno);
  return false;
}

// The table of --csv. It is written to a new file beside its path and renamed into place at the
// end of a run that went well, so a run that cannot start or fails leaves an existing table as
// it was. A path that names no regular file (a device, a pipe) is written directly.
class TTableFile {
 public:
  ~TTableFile() {
    if (File) std::fclose(File);
    if (Written != Path) std::remove(Written.c_str());
  }

  // Opens the file to write; false with errno set when it cannot be made.
  bool Open(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    Path = path;
    // A link is kept and the table it points to replaced.
    if (fs::is_symlink(fs::symlink_status(path, error))) {
      const fs::path target = fs::canonical(path, error);
      if (!error) Path = target.string();
    }
    const fs::file_status status = fs::status(Path, error);
    Written = Path;
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      File = std::fopen(Path.c_str(), "w");
      return File != nullptr;
    }
    const fs::path folder = fs::path(Path).parent_path();
    const std::string temp =
        "." + fs::path(Path).filename().string() + ".tmp-" + std::to_string(getpid()) + "-";
    // The first free name: one left by a run that died is not touched.
    int fd = -1;
    for (int n = 0; fd < 0 && n < 100; ++n) {
      const std::string name = (folder / (temp + std::to_string(n))).string();
      fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
      if (fd >= 0) Written = name;
      if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    File = fdopen(fd, "w");
    if (File == nullptr) {
      const int reason = errno;
      close(fd);
      errno = reason;
      return false;
    }
    if (fs::exists(status)) fs::permissions(Written, status.permissions(), error);
    return true;
  }

  FILE* Get() const { return File; }

  // Writes out what is left and puts the table in place; 0, or the reason it could not. 0 for a
  // table never opened.
  int Finish() {
    if (File == nullptr) return 0;
    errno = 0;
    const bool written = std::fflush(File) == 0 && !std::ferror(File);
    // A write that failed before the last flush left no reason behind that can still be trusted.
    int reason = written ? 0 : errno != 0 ? errno : EIO;
    errno = 0;
    if (std::fclose(File) != 0 && reason == 0) reason = errno != 0 ? errno : EIO;
    File = nullptr;
    if (reason != 0 || Written == Path) return reason;
    std::error_code error;
    std::filesystem::rename(Written, Path, error);
    if (error) return error.value();
    Written = Path;
    return 0;
  }

 private:
  std::string Path;     // the table, its link resolved
  std::string Written;  // the file being written: a temporary one, or Path
  FILE* File = nullptr;
};

}  // namespace

int main(int argc, char** argv) {
  TSimOptions options;
  std::string error;
  if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "tundrel-sim: %s\n%s", error.c_str(), SimUsage);
    return 2;
  }
  if (options.Help) {
    std::printf("%s\n%s", SimUsage, SimHelp);
    return 0;
  }
#if !TUNDREL_SIM_SNAPSHOT
  if (!options.PngPath.empty()) {
    std::fprintf(stderr,
                 "tundrel-sim: --png is not available: this build has no offscreen "
                 "OpenGL (EGL)\n");
    return 2;
  }
#endif
  // A file that could not be written is reported before the run, not after it.
  if (!options.PngPath.empty() && !CanWriteInto(options.PngPath)) return 2;
  TTableFile table;
  if (!options.CsvPath.empty()) {
    if (!table.Open(options.CsvPath)) return CannotWrite(options.CsvPath, errno);
    std::fputs("t,trees,herbivores,predators,airborne,trail_index\n", table.Get());
  }
  FILE* const csv = table.Get();  // null without --csv

  // The simulated clock reads step * dt, as the real monotonic clock would.
  TManualClock clock(0.0);
  SetClockSource(&clock);
  Randomize(options.Seed);

  // Steps needed to reach the end; a tolerance keeps 600 / (1/60) from becoming 36001.
  const double tolerance = 1e-9;
  const int64_t steps = static_cast<int64_t>(std::ceil(options.Seconds / options.Dt - tolerance));
  auto env = std::make_unique<TEnv>(1000.0);
  TPredator* lastPredator = CreateStartPopulation(*env);
#if TUNDREL_SIM_SNAPSHOT
  // With --png the real renderer follows the world from the start, as in the saver's window.
  std::unique_ptr<TSnapshotRenderer> snapshot;
  if (!options.PngPath.empty()) {
    TSnapshotOptions snapshotOptions;
    snapshotOptions.Width = options.Width;
    snapshotOptions.Height = options.Height;
    snapshotOptions.ShowTrail = options.ShowTrail;
    snapshotOptions.ShowTime = options.ShowTime;
    snapshot = TSnapshotRenderer::Create(*env, lastPredator, snapshotOptions, error);
    if (!snapshot) {
      std::fprintf(stderr, "tundrel-sim: cannot render offscreen: %s\n", error.c_str());
      SetClockSource(nullptr);
      return 1;
    }
  }
#else
  (void)lastPredator;
#endif
  Report(*env, 0.0, csv);

  int64_t nextReport = 1;  // the multiple of ReportEvery to report next
  bool reportedEnd = false;
  for (int64_t step = 1; step <= steps; ++step) {
    const double t = static_cast<double>(step) * options.Dt;
    clock.Set(t);
    const double dt = env->Step();
#if TUNDREL_SIM_SNAPSHOT
    if (snapshot) snapshot->UpdateCamera(dt);
#else
    (void)dt;
#endif
    TopUpPopulation(*env);
    reportedEnd = false;
    if (t + tolerance >= static_cast<double>(nextReport) * options.ReportEvery) {
      Report(*env, t, csv);
      reportedEnd = true;
      while (static_cast<double>(nextReport) * options.ReportEvery <= t + tolerance) ++nextReport;
    }
  }
  if (!reportedEnd && steps > 0) Report(*env, static_cast<double>(steps) * options.Dt, csv);
  // A table cut short by a full disk is an error, not a success.
  const int reason = table.Finish();
  if (reason != 0) {
    SetClockSource(nullptr);
    return CannotWrite(options.CsvPath, reason);
  }
#if TUNDREL_SIM_SNAPSHOT
  if (snapshot) {
    error = snapshot->Finish(options.PngPath);
    snapshot.reset();
    if (!error.empty()) {
      std::fprintf(stderr, "tundrel-sim: %s\n", error.c_str());
      SetClockSource(nullptr);
      return 2;
    }
  }
#endif
  SetClockSource(nullptr);
  return 0;
}
