// TRegDocument: reading and editing the text of a .reg file without disturbing the lines
// it does not understand.
#include "reg_document.h"

#include <cctype>
#include <cstdio>
#include <utility>

namespace {

const char* const FileHeader = "Windows Registry Editor Version 5.00";

std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(s[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(s[end - 1]))) --end;
  return s.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && SameName(s.substr(0, prefix.size()), prefix);
}

// A line of the form "Name"=data (quotes and backslashes in the name escaped with '\').
bool ParseValueLine(const std::string& line, std::string& name, std::string& data) {
  if (line.empty() || line[0] != '"') return false;
  name.clear();
  size_t i = 1;
  for (; i < line.size() && line[i] != '"'; ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) ++i;
    name += line[i];
  }
  if (i + 1 >= line.size() || line[i + 1] != '=') return false;
  data = line.substr(i + 2);
  return true;
}

bool IsDwordData(const std::string& data, uint32_t& value) {
  const std::string prefix = "dword:";
  if (data.size() != prefix.size() + 8 || !StartsWithNoCase(data, prefix)) return false;
  value = 0;
  for (size_t i = prefix.size(); i < data.size(); ++i) {
    const int c = static_cast<unsigned char>(data[i]);
    if (!std::isxdigit(c)) return false;
    const uint32_t digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
    value = value << 4 | digit;
  }
  return true;
}

std::string ValueLine(const std::string& name, uint32_t value) {
  std::string line = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') line += '\\';
    line += c;
  }
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value));
  return line + "\"=dword:" + digits;
}

}  // namespace

TRegDocument::TRegDocument(std::string keyName) : KeyName(std::move(keyName)) {}

bool TRegDocument::Load(const std::string& text) {
  if (text.find('\0') != std::string::npos) return false;
  Lines.clear();
  const size_t firstEnd = text.find('\n');
  LineEnd =
      firstEnd != std::string::npos && firstEnd > 0 && text[firstEnd - 1] == '\r' ? "\r\n" : "\n";
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Lines.push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

void TRegDocument::Scan(std::vector<TEntry>& entries, size_t& keyEnd) const {
  entries.clear();
  keyEnd = std::string::npos;
  bool inKey = false;
  for (size_t i = 0; i < Lines.size(); ++i) {
    const std::string line = Trim(Lines[i]);
    if (!line.empty() && line[0] == '[') {
      inKey = line.back() == ']' && SameName(line.substr(1, line.size() - 2), KeyName);
      if (inKey) keyEnd = i + 1;
      continue;
    }
    if (!inKey || line.empty()) continue;
    keyEnd = i + 1;
    TEntry entry{i, i, {}, {}};
    if (!ParseValueLine(line, entry.Name, entry.Data)) continue;
    // Only hex data is split over lines; a trailing backslash elsewhere is just text.
    if (StartsWithNoCase(entry.Data, "hex")) {
      while (!entry.Data.empty() && entry.Data.back() == '\\' && entry.Last + 1 < Lines.size()) {
        entry.Data.pop_back();
        entry.Data += Trim(Lines[++entry.Last]);
      }
      i = entry.Last;
      keyEnd = i + 1;
    }
    entries.push_back(std::move(entry));
  }
}

bool TRegDocument::Find(const std::string& name, TRegValue& value) const {
  std::vector<TEntry> entries;
  size_t keyEnd;
  Scan(entries, keyEnd);
  const TEntry* found = nullptr;
  for (const TEntry& entry : entries) {
    if (SameName(entry.Name, name)) found = &entry;
  }
  // "Name"=- is the export format's way of saying the value is deleted.
  if (!found || found->Data == "-") return false;
  uint32_t dword;
  if (IsDwordData(found->Data, dword)) {
    value.Type = TRegistryValueType::Dword;
    value.Data = {static_cast<unsigned char>(dword), static_cast<unsigned char>(dword >> 8),
                  static_cast<unsigned char>(dword >> 16), static_cast<unsigned char>(dword >> 24)};
  } else {
    value.Type = TRegistryValueType::Other;
    value.Data.assign(found->Data.begin(), found->Data.end());
  }
  return true;
}

void TRegDocument::SetDword(const std::string& name, uint32_t value) {
  std::vector<TEntry> entries;
  size_t keyEnd;
  Scan(entries, keyEnd);
  const std::string line = ValueLine(name, value);
  size_t first = entries.size();
  for (size_t k = 0; k < entries.size() && first == entries.size(); ++k) {
    if (SameName(entries[k].Name, name)) first = k;
  }
  // From the back, so that removing lines leaves the earlier indices valid.
  for (size_t k = entries.size(); k-- > first;) {
    const TEntry& entry = entries[k];
    if (!SameName(entry.Name, name)) continue;
    const size_t keep = k == first ? entry.First + 1 : entry.First;
    Lines.erase(Lines.begin() + keep, Lines.begin() + entry.Last + 1);
  }
  if (first < entries.size()) {
    Lines[entries[first].First] = line;
    return;
  }
  if (keyEnd == std::string::npos) {
    AddKeyIfMissing();
    Lines.push_back(line);
    return;
  }
  // A hex value cut off after a continuation mark would swallow a line put after it: the new
  // value goes before that one, which keeps its text as it is.
  const TEntry* last = entries.empty() ? nullptr : &entries.back();
  if (last && last->Last + 1 == keyEnd && StartsWithNoCase(last->Data, "hex") &&
      last->Data.back() == '\\')
    keyEnd = last->First;
  Lines.insert(Lines.begin() + keyEnd, line);
}

void TRegDocument::AddKeyIfMissing() {
  std::vector<TEntry> entries;
  size_t keyEnd;
  Scan(entries, keyEnd);
  if (keyEnd != std::string::npos) return;
  if (Lines.empty()) Lines.push_back(FileHeader);
  if (!Trim(Lines.back()).empty()) Lines.push_back("");
  Lines.push_back("[" + KeyName + "]");
}

std::string TRegDocument::Text() const {
  std::string text;
  for (const std::string& line : Lines) text += line + LineEnd;
  return text;
}
