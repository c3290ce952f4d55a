// The two user settings (trails, clock) in the record both windows share, and their load from
// and save to the per-user registry key "Software\Ombrix\Tundrel".
#pragma once

#include <stdexcept>

struct TSettings {
  bool ShowTrail;  // draw the animals' trails in the snow
  bool ShowTime;   // draw the clock
};

// The settings of this run; all false until LoadSettings fills them.
extern TSettings Settings;

// A value that could not be written to the registry; the message names it.
class ESettingsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Fills settings from the registry; never fails. A missing or unopenable key, or a missing
// or malformed value, makes both settings true.
void LoadSettings(TSettings& settings);

// Writes both settings as 32-bit values 1 or 0, creating the key when missing. A failed write
// throws ESettingsError ("Failed to set data for 'ShowTrail'"), and a value written before it
// stays written; a key that cannot be opened or created fails the first write.
void SaveSettings(const TSettings& settings);
