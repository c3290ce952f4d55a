// PNG files for offscreen frames and golden images: 8-bit RGB (every pixel opaque) or RGBA.
// A write goes to a temporary file in the target's folder that is renamed into place only when
// complete, so a failed write leaves any earlier file as it was and no partial file behind.
#pragma once

#include <string>

#include "image.h"

// Saves `image`; on failure returns false and, when `error` is given, a message naming the
// file and the cause.
bool WritePng(const std::string& path, const TImage& image, std::string* error);

// Loads any PNG as 8-bit RGBA (opaque pixels get alpha 255); on failure returns false, leaves
// `image` unchanged and fills `error` when given.
bool ReadPng(const std::string& path, TImage& image, std::string* error);
