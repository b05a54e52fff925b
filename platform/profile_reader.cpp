// Native profile lookup: the same answers as Windows' reader for the files people write by hand.
#include "platform/profile_reader.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {
namespace {

bool isProfileSpace(unsigned char c) {
  // 0x1a is the old end-of-file mark some editors still leave behind.
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == 0x1a;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isProfileSpace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && isProfileSpace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  }
  return true;
}

void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Notepad's "Unicode" files are UTF-16 with a byte-order mark; the keys we read are ASCII.
std::string decodeUtf16(std::string_view bytes, bool bigEndian) {
  std::string out;
  out.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto b0 = static_cast<unsigned char>(bytes[i]);
    auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    std::uint32_t unit = bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
      auto c0 = static_cast<unsigned char>(bytes[i + 2]);
      auto c1 = static_cast<unsigned char>(bytes[i + 3]);
      std::uint32_t low = bigEndian ? (c0 << 8 | c1) : (c1 << 8 | c0);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, unit);
  }
  return out;
}

std::string decodeText(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") return decodeUtf16(bytes.substr(2), false);
  if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") return decodeUtf16(bytes.substr(2), true);
  return std::string(bytes);
}

// Splits at LF, CRLF and lone CR alike.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lines.push_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// One pair of matching quotes around the whole value is not part of it.
std::string_view stripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

struct Entry {
  std::string_view name;
  std::optional<std::string_view> value;  // empty optional: a line without '='
};

}  // namespace

std::string lookupProfileValue(std::string_view fileContents, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               std::size_t capacity) {
  const std::string text = decodeText(fileContents);
  std::optional<std::string_view> found;
  bool inWantedSection = false;
  bool sectionSeen = false;

  for (std::string_view line : splitLines(text)) {
    line = trim(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        if (inWantedSection) break;  // only the first matching section counts
        inWantedSection = !sectionSeen && equalNoCase(trim(line.substr(1, close - 1)), section);
        sectionSeen = sectionSeen || inWantedSection;
        continue;
      }
    }
    if (!inWantedSection) continue;
    Entry entry;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      entry.name = line;
    } else {
      entry.name = trim(line.substr(0, eq));
      entry.value = trim(line.substr(eq + 1));
    }
    if (equalNoCase(entry.name, key)) {
      // The first line naming the key decides, even one without '=' (which gives the fallback).
      found = entry.value;
      break;
    }
  }

  std::string_view result = found ? stripQuotes(*found) : fallback;
  const std::size_t limit = capacity == 0 ? 0 : capacity - 1;
  if (result.size() > limit) result = result.substr(0, limit);
  return std::string(result);
}

}  // namespace platform
