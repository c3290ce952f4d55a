// PNG reading and writing through libpng's simplified API. Writes go through a temporary file
// beside the target (created 0644), flushed and synced before the rename, so readers only ever
// see the old file or the complete new one.
#include "png/png_writer.h"

#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace {

// Larger pictures are refused on reading rather than allocated: 2^28 pixels is 1 GiB of RGBA.
constexpr uint64_t kMaxReadPixels = uint64_t{1} << 28;

void SetError(std::string* error, const std::string& message) {
  if (error != nullptr) *error = message;
}

std::string Quoted(const std::string& path) {
  return "'" + path + "'";
}

bool AllOpaque(const TImage& image) {
  for (size_t i = 3; i < image.Pixels.size(); i += 4) {
    if (image.Pixels[i] != 255) return false;
  }
  return true;
}

// Encodes `image` into the open file; the message is libpng's own when it fails.
bool Encode(FILE* file, const TImage& image, std::string& message) {
  const bool opaque = AllOpaque(image);
  std::vector<uint8_t> rgb;
  const uint8_t* pixels = image.Pixels.data();
  if (opaque) {
    rgb.resize(image.Pixels.size() / 4 * 3);
    for (size_t from = 0, to = 0; from < image.Pixels.size(); from += 4, to += 3) {
      rgb[to] = image.Pixels[from];
      rgb[to + 1] = image.Pixels[from + 1];
      rgb[to + 2] = image.Pixels[from + 2];
    }
    pixels = rgb.data();
  }
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.Width);
  png.height = static_cast<png_uint_32>(image.Height);
  png.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
  const png_int_32 stride = static_cast<png_int_32>(image.Width) * (opaque ? 3 : 4);
  const bool written = png_image_write_to_stdio(&png, file, 0, pixels, stride, nullptr) != 0;
  if (!written) message = png.message;
  png_image_free(&png);
  return written;
}

// Makes a rename durable; failures only weaken that guarantee, so they are not reported.
void SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

bool WritePng(const std::string& path, const TImage& image, std::string* error) {
  const std::string failed = "Cannot write " + Quoted(path) + ": ";
  if (image.Width <= 0 || image.Height <= 0 ||
      static_cast<uint64_t>(image.Width) > static_cast<uint64_t>(INT32_MAX / 4) ||
      image.Pixels.size() !=
          static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height) * 4) {
    SetError(error, failed + "the image is empty or its pixel buffer does not match its size");
    return false;
  }
  const size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty()) {
    SetError(error, failed + "the path names a folder, not a file");
    return false;
  }

  std::string temporary = folder + "/." + name + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) {
    SetError(error, failed + "cannot create a temporary file in " + Quoted(folder) + ": " +
                        std::strerror(errno));
    return false;
  }
  fchmod(fd, 0644);
  FILE* file = fdopen(fd, "wb");
  if (file == nullptr) {
    const int cause = errno;
    close(fd);
    unlink(temporary.c_str());
    SetError(error, failed + std::strerror(cause));
    return false;
  }

  std::string message;
  bool ok = false;
  try {
    ok = Encode(file, image, message);
  } catch (const std::bad_alloc&) {
    message = "out of memory";
  }
  // Buffered data reaches the disk only here, so a full disk often shows up at this point.
  if (ok && (std::fflush(file) != 0 || (fsync(fileno(file)) != 0 && errno != EINVAL))) {
    ok = false;
    message = std::strerror(errno);
  }
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    message = std::strerror(errno);
  }
  if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
    ok = false;
    message = std::strerror(errno);
  }
  if (!ok) {
    unlink(temporary.c_str());
    SetError(error, failed + message);
    return false;
  }
  SyncFolder(folder);
  return true;
}

bool ReadPng(const std::string& path, TImage& image, std::string* error) {
  const std::string failed = "Cannot read " + Quoted(path) + ": ";
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
    SetError(error, failed + png.message);
    png_image_free(&png);
    return false;
  }
  png.format = PNG_FORMAT_RGBA;
  if (static_cast<uint64_t>(png.width) * png.height > kMaxReadPixels ||
      png.width > static_cast<png_uint_32>(INT32_MAX / 4)) {
    SetError(error, failed + "the image is too large");
    png_image_free(&png);
    return false;
  }
  std::vector<uint8_t> pixels;
  try {
    pixels.resize(PNG_IMAGE_SIZE(png));
  } catch (const std::bad_alloc&) {
    SetError(error, failed + "out of memory");
    png_image_free(&png);
    return false;
  }
  if (png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr) == 0) {
    SetError(error, failed + png.message);
    png_image_free(&png);
    return false;
  }
  image.Width = static_cast<int>(png.width);
  image.Height = static_cast<int>(png.height);
  image.Pixels = std::move(pixels);
  png_image_free(&png);
  return true;
}
