// The per-user registry on Linux: each key below "Software" is one .reg text file under the
// user's configuration folder ("Software\Ombrix\Tundrel" is $XDG_CONFIG_HOME/Ombrix/Tundrel.reg).
// Every write replaces the whole file atomically; files over 1 MiB are refused as damaged.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "reg_document.h"
#include "registry.h"
#include "small_file.h"
#include "user_folders.h"

struct TRegistryKeyData {
  std::string FilePath;  // the file that holds the key
  std::string KeyName;   // the key's full name, as the file's section header spells it
};

namespace {

// A settings file is a few hundred bytes; anything past this is not one of ours.
constexpr size_t MaxFileSize = 1 << 20;  // bytes

bool IsSafeSegment(const std::string& segment) {
  if (segment.empty() || segment == "." || segment == "..") return false;
  for (char c : segment) {
    if (c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
  }
  return true;
}

bool IsSoftware(const std::string& segment) {
  const char* const name = "software";
  if (segment.size() != 8) return false;
  for (size_t i = 0; i < 8; ++i) {
    if (AsciiLower(static_cast<unsigned char>(segment[i])) != name[i]) return false;
  }
  return true;
}

// "Software\A\B\C" -> <config>/A/B/C.reg, and folder receives <config>/A/B. Only keys
// below "Software" have a file; other paths are refused.
TRegistryResult LocateKey(const char* path, TRegistryKeyData& key, std::string& folder) {
  if (!path) return RegistryInvalidParameter;
  const std::string keyPath = path;
  std::vector<std::string> segments;
  for (size_t start = 0;;) {
    const size_t end = keyPath.find('\\', start);
    segments.push_back(keyPath.substr(start, end - start));
    if (!IsSafeSegment(segments.back())) return RegistryInvalidParameter;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (segments.size() < 2 || !IsSoftware(segments[0])) return RegistryInvalidParameter;
  folder = ConfigHome();
  if (folder.empty()) return RegistryNotFound;
  for (size_t i = 1; i + 1 < segments.size(); ++i) folder += "/" + segments[i];
  key.FilePath = folder + "/" + segments.back() + ".reg";
  key.KeyName = "HKEY_CURRENT_USER\\" + keyPath;
  return RegistrySuccess;
}

// Full access: the file exists, is a regular file, and this process may read and write it.
TRegistryResult CheckFullAccess(const std::string& file) {
  struct stat info;
  if (stat(file.c_str(), &info) != 0)
    return errno == ENOENT ? RegistryNotFound : RegistryAccessDenied;
  if (!S_ISREG(info.st_mode) || access(file.c_str(), R_OK | W_OK) != 0) return RegistryAccessDenied;
  return RegistrySuccess;
}

// The file's whole text; RegistryNotFound when it is gone, RegistryCorrupt when it cannot be
// read, is no regular file (a FIFO would block) or is larger than MaxFileSize.
TRegistryResult ReadKeyFile(const std::string& file, std::string& text) {
  switch (ReadSmallFile(file, MaxFileSize, text)) {
    case TSmallFileRead::Read:
      return RegistrySuccess;
    case TSmallFileRead::Missing:
      return RegistryNotFound;
    case TSmallFileRead::Unreadable:
      break;
  }
  return RegistryCorrupt;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// A save writes ".<file>.tmp-XXXXXX" beside the file and renames it into place. The name is
// only ever made here, so one left by a crash is recognised and removed at the next save.
std::string TempPrefix(const std::string& target) {
  const size_t slash = target.rfind('/');
  return "." + target.substr(slash + 1) + ".tmp-";
}

// A temporary file being written. Its writer holds an exclusive lock on it until it is renamed
// or removed, so a lock that can be taken means its writer has died.
class TTempFile {
 public:
  // The name goes before the lock, so no other save ever sees it unlocked.
  ~TTempFile() {
    if (!Path.empty()) unlink(Path.c_str());
    if (Fd >= 0) close(Fd);
  }

  // Writes text to a new temporary file beside target and flushes it to the disk. Keeps an
  // existing target's permission bits.
  bool Write(const std::string& target, const std::string& text) {
    Path = target.substr(0, target.rfind('/') + 1) + TempPrefix(target) + "XXXXXX";
    Fd = mkostemp(&Path[0], O_CLOEXEC);
    if (Fd < 0) {
      Path.clear();
      return false;
    }
    // A file system without locks still saves; its leftovers are then never removed.
    flock(Fd, LOCK_EX | LOCK_NB);
    struct stat info;
    if (stat(target.c_str(), &info) == 0 && fchmod(Fd, info.st_mode & 07777) != 0) return false;
    return WriteAll(Fd, text) && fsync(Fd) == 0;
  }

  // Called once the file has its final name (or a link to it): it is no longer removed.
  void Keep() { Path.clear(); }

  std::string Path;
  int Fd = -1;
};

// Removes the temporary files of saves of target that died before their rename: regular files
// of the temporary name's pattern whose lock is free. Anything else is left alone.
void RemoveLeftovers(const std::string& target) {
  const std::string folder = target.substr(0, target.rfind('/') + 1);
  const std::string prefix = TempPrefix(target);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  const int dirFd = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
      unlinkat(dirFd, name.c_str(), 0);
    close(fd);
  }
  closedir(dir);
}

void SyncFolder(const std::string& file) {
  const int fd =
      open(file.substr(0, file.rfind('/') + 1).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);  // the rename is already visible; this only hurries it to the disk
  close(fd);
}

// Replaces the file with text in one rename, so readers and a crash see the old text or the
// new, never a mixture. A symbolic link is kept and the file it points to replaced; nothing is
// written into a folder that is not the user's or that others can write into.
TRegistryResult ReplaceKeyFile(const std::string& file, const std::string& text) {
  std::string target, reason;
  if (!OwnFileToWrite(file, target, reason)) return RegistryAccessDenied;
  RemoveLeftovers(target);
  TTempFile temp;
  if (!temp.Write(target, text) || rename(temp.Path.c_str(), target.c_str()) != 0)
    return RegistryWriteFault;
  temp.Keep();
  SyncFolder(target);
  return RegistrySuccess;
}

// Creates the folder and its missing parents, private to the user as XDG asks (mode 0700).
bool MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat info;
  return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Creates the key's file with only the file header and the key's section, unless another
// process created it first: link() never replaces an existing file.
bool CreateKeyFile(const TRegistryKeyData& key) {
  TRegDocument document(key.KeyName);
  document.AddKeyIfMissing();
  std::string text;
  TTempFile temp;
  if (!document.Bytes(text)) return false;
  RemoveLeftovers(key.FilePath);
  if (!temp.Write(key.FilePath, text)) return false;
  bool ok = link(temp.Path.c_str(), key.FilePath.c_str()) == 0 || errno == EEXIST;
  // Folders without hard links (some network and FAT mounts) get a plain rename.
  if (!ok && (errno == EPERM || errno == ENOSYS || errno == EOPNOTSUPP)) {
    ok = rename(temp.Path.c_str(), key.FilePath.c_str()) == 0;
    if (ok) temp.Keep();
  }
  if (ok) SyncFolder(key.FilePath);
  return ok;
}

TRegistryResult LoadDocument(const TRegistryKeyData& key, TRegDocument& document) {
  std::string text;
  const TRegistryResult result = ReadKeyFile(key.FilePath, text);
  if (result != RegistrySuccess) return result;
  return document.Load(text) ? RegistrySuccess : RegistryCorrupt;
}

}  // namespace

TRegistryResult RegistryOpenKey(const char* path, TRegistryKey* key) {
  if (!key) return RegistryInvalidParameter;
  *key = nullptr;
  TRegistryKeyData data;
  std::string folder;
  TRegistryResult result = LocateKey(path, data, folder);
  if (result == RegistrySuccess) result = CheckFullAccess(data.FilePath);
  if (result == RegistrySuccess) *key = new TRegistryKeyData(data);
  return result;
}

TRegistryResult RegistryCreateKey(const char* path, TRegistryKey* key) {
  if (!key) return RegistryInvalidParameter;
  *key = nullptr;
  TRegistryKeyData data;
  std::string folder;
  TRegistryResult result = LocateKey(path, data, folder);
  if (result != RegistrySuccess) return result;
  std::string reason;
  if (CheckFullAccess(data.FilePath) == RegistryNotFound &&
      !(MakeFolders(folder) && IsOwnFolder(folder, reason) && CreateKeyFile(data)))
    return RegistryAccessDenied;
  result = CheckFullAccess(data.FilePath);
  if (result == RegistrySuccess) *key = new TRegistryKeyData(data);
  return result;
}

TRegistryResult RegistryQueryValue(TRegistryKey key, const char* name, TRegistryValueType* type,
                                   unsigned char data[RegistryDataSize], uint32_t* size) {
  if (!key) return RegistryInvalidHandle;
  if (!name || !type || !data || !size) return RegistryInvalidParameter;
  TRegDocument document(key->KeyName);
  const TRegistryResult result = LoadDocument(*key, document);
  if (result != RegistrySuccess) return result;
  TRegValue value;
  if (!document.Find(name, value)) return RegistryNotFound;
  *type = value.Type;
  *size = static_cast<uint32_t>(value.Data.size());
  if (value.Data.size() > RegistryDataSize) return RegistryMoreData;
  for (size_t i = 0; i < value.Data.size(); ++i) data[i] = value.Data[i];
  return RegistrySuccess;
}

TRegistryResult RegistrySetDwordValue(TRegistryKey key, const char* name, uint32_t value) {
  if (!key) return RegistryInvalidHandle;
  if (!name) return RegistryInvalidParameter;
  TRegDocument document(key->KeyName);
  TRegistryResult result = LoadDocument(*key, document);
  // A file removed since the key was opened is written afresh; a file that cannot be read
  // is left alone rather than replaced by one without its other lines.
  if (result == RegistryNotFound) result = RegistrySuccess;
  if (result != RegistrySuccess) return result;
  document.SetDword(name, value);
  std::string text;
  return document.Bytes(text) ? ReplaceKeyFile(key->FilePath, text) : RegistryWriteFault;
}

TRegistryResult RegistryCloseKey(TRegistryKey key) {
  if (!key) return RegistryInvalidHandle;
  delete key;
  return RegistrySuccess;
}
