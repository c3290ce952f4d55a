// TRegDocument: reading and editing the text of a .reg file without disturbing the lines
// it does not understand. Lines are parsed as UTF-8 and written back in the file's encoding.
#include "reg_document.h"

#include <cstdio>
#include <utility>

#include "text/encoding.h"

namespace {

const char* const FileHeader = "Windows Registry Editor Version 5.00";
const char* const AnsiHeader = "REGEDIT4";

// The ANSI code page of a "REGEDIT4" file is the one of the Windows system that wrote it, which
// the file does not record. We take Windows Cyrillic, the code page of this program's own
// single-byte text. Only names and data outside ASCII depend on it, and lines this program does
// not rewrite are kept byte for byte, so a file from another code page is never altered.
const char* const AnsiCodePage = "CP1251";

std::string Trim(const std::string& s) {
  size_t begin = 0;
  size_t end = s.size();
  // The C locale's white space, whatever the user's locale.
  auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (begin < end && space(s[begin])) ++begin;
  while (end > begin && space(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(static_cast<unsigned char>(a[i])) !=
        AsciiLower(static_cast<unsigned char>(b[i])))
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

TRegEncoding DetectEncoding(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0) return TRegEncoding::Utf16Le;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) return TRegEncoding::Utf8Bom;
  const std::string firstLine = Trim(bytes.substr(0, bytes.find('\n')));
  return SameName(firstLine, AnsiHeader) ? TRegEncoding::Ansi : TRegEncoding::Utf8;
}

size_t BomSize(TRegEncoding encoding) {
  switch (encoding) {
    case TRegEncoding::Utf16Le:
      return 2;
    case TRegEncoding::Utf8Bom:
      return 3;
    default:
      return 0;
  }
}

size_t UnitBytes(TRegEncoding encoding) {
  return encoding == TRegEncoding::Utf16Le ? 2 : 1;
}

// The line feed as the file spells it.
std::string Newline(TRegEncoding encoding) {
  return encoding == TRegEncoding::Utf16Le ? std::string("\n\0", 2) : "\n";
}

const char* Charset(TRegEncoding encoding) {
  return encoding == TRegEncoding::Utf16Le ? "UTF-16LE" : AnsiCodePage;
}

bool Encode(const std::string& text, TRegEncoding encoding, std::string& bytes) {
  if (encoding == TRegEncoding::Utf8 || encoding == TRegEncoding::Utf8Bom) {
    bytes = text;
    return true;
  }
  return EncodeFromUtf8(text, Charset(encoding), bytes);
}

bool IsDwordData(const std::string& data, uint32_t& value) {
  const std::string prefix = "dword:";
  if (data.size() != prefix.size() + 8 || !StartsWithNoCase(data, prefix)) return false;
  value = 0;
  for (size_t i = prefix.size(); i < data.size(); ++i) {
    const int c = static_cast<unsigned char>(data[i]);
    if (!std::isxdigit(c)) return false;
    const uint32_t digit = std::isdigit(c) ? c - '0' : AsciiLower(c) - 'a' + 10;
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

bool TRegDocument::Load(const std::string& bytes) {
  Lines.clear();
  LineEnd = "\n";
  FileEncoding = DetectEncoding(bytes);
  Bom = bytes.substr(0, BomSize(FileEncoding));
  const size_t unit = UnitBytes(FileEncoding);
  std::string body = bytes.substr(Bom.size());
  // A UTF-16 file cut off inside a code unit: the lone byte is kept but not read.
  Tail.clear();
  if (body.size() % unit != 0) {
    Tail = body.substr(body.size() - 1);
    body.pop_back();
  }
  // UTF-8 files are parsed as their bytes: a name is ASCII or compared byte for byte anyway.
  const bool utf8 = FileEncoding == TRegEncoding::Utf8 || FileEncoding == TRegEncoding::Utf8Bom;
  TUtf8Decoder decoder(Charset(FileEncoding), unit);
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    // In UTF-16 a line feed is the code unit 0x000A, at an even offset.
    while (unit == 2 && end != std::string::npos &&
           ((end - start) % 2 != 0 || end + 1 >= body.size() || body[end + 1] != '\0'))
      end = body.find('\n', end + 1);
    if (end == std::string::npos) end = body.size();
    const size_t next = end < body.size() ? end + unit : end;
    std::string content = body.substr(start, end - start);
    TLine line{utf8 ? std::move(content) : decoder.Decode(content),
               body.substr(start, next - start)};
    if (line.Text.find('\0') != std::string::npos) return false;
    if (!line.Text.empty() && line.Text.back() == '\r') {
      line.Text.pop_back();
      if (Lines.empty() && end < body.size()) LineEnd = "\r\n";
    }
    Lines.push_back(std::move(line));
    start = next;
  }
  return true;
}

void TRegDocument::Scan(std::vector<TEntry>& entries, size_t& keyEnd) const {
  entries.clear();
  keyEnd = std::string::npos;
  bool inKey = false;
  for (size_t i = 0; i < Lines.size(); ++i) {
    const std::string line = Trim(Lines[i].Text);
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
        entry.Data += Trim(Lines[++entry.Last].Text);
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
    Lines[entries[first].First] = {line, {}};
    return;
  }
  if (keyEnd == std::string::npos) {
    AddKeyIfMissing();
    Lines.push_back({line, {}});
    return;
  }
  // A hex value cut off after a continuation mark would swallow a line put after it: the new
  // value goes before that one, which keeps its text as it is.
  const TEntry* last = entries.empty() ? nullptr : &entries.back();
  if (last && last->Last + 1 == keyEnd && StartsWithNoCase(last->Data, "hex") &&
      last->Data.back() == '\\')
    keyEnd = last->First;
  Lines.insert(Lines.begin() + keyEnd, {line, {}});
}

void TRegDocument::AddKeyIfMissing() {
  std::vector<TEntry> entries;
  size_t keyEnd;
  Scan(entries, keyEnd);
  if (keyEnd != std::string::npos) return;
  if (Lines.empty()) Lines.push_back({FileHeader, {}});
  if (!Trim(Lines.back().Text).empty()) Lines.push_back({});
  Lines.push_back({"[" + KeyName + "]", {}});
}

bool TRegDocument::Bytes(std::string& bytes) const {
  std::string lineEnd;
  if (!Encode(LineEnd, FileEncoding, lineEnd)) return false;
  const std::string newline = Newline(FileEncoding);
  bytes = Bom;
  for (size_t i = 0; i < Lines.size(); ++i) {
    const TLine& line = Lines[i];
    if (line.Raw.empty()) {
      std::string encoded;
      if (!Encode(line.Text, FileEncoding, encoded)) return false;
      bytes += encoded + lineEnd;
      continue;
    }
    bytes += line.Raw;
    // The file's last line may lack its line end; it gains one when a new line follows.
    const bool ended =
        line.Raw.size() >= newline.size() &&
        line.Raw.compare(line.Raw.size() - newline.size(), newline.size(), newline) == 0;
    if (!ended && i + 1 < Lines.size()) bytes += lineEnd;
  }
  bytes += Tail;
  return true;
}
