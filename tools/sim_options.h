// The command line of tundrel-sim, parsed without side effects so that every bad input ends in
// a usage message and status 2 instead of a half-run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TSimOptions {
  uint64_t Seed = 1;
  double Seconds = 60.0;      // simulated seconds
  double Dt = 1.0 / 60.0;     // simulated seconds per step
  double ReportEvery = 10.0;  // simulated seconds between report lines
  std::string PngPath;        // empty: no snapshot
  int Width = 1280;           // pixels
  int Height = 720;
  bool ShowTrail = true;
  bool ShowTime = true;
  std::string CsvPath;  // empty: no table of the reports
  bool Help = false;
};

// Parses argv[1..]; on failure returns false and sets error to a one-line reason.
bool ParseSimOptions(const std::vector<std::string>& args, TSimOptions& options,
                     std::string& error);

extern const char* const SimUsage;
// --help's text: the usage and what each option does.
extern const char* const SimHelp;
