// The user's long time format applied to a given moment; LongTimeText (text_surface.h) is this
// applied to the current local time. Reads the locale from the environment on every call and
// never changes the program's global locale.
#pragma once

#include <ctime>
#include <string>

// The time of day of `time` as the locale named by LC_ALL, LC_TIME or LANG writes it, in
// UTF-8; "%H:%M:%S" when that locale is not installed or gives no format.
std::string FormatLongTime(const std::tm& time);
