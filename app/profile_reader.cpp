// Native profile lookup: the same answers as Windows' reader for the files people write by hand.
#include "app/profile_reader.h"

#include <algorithm>
#include <utility>

#include "platform/files.h"

namespace app {
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

bool isHighSurrogate(std::uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// One pair of matching quotes around the whole value is not part of it.
std::string_view stripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigMark = "\xFE\xFF";

}  // namespace

ProfileLookup::ProfileLookup(std::string_view section, std::string_view key)
    : section_(section), key_(key) {}

ProfileLookup::ProfileLookup(std::function<void(const ProfileLine&)> visit)
    : visit_(std::move(visit)) {}

bool ProfileLookup::feed(std::string_view bytes) {
  if (decided_) return false;
  if (encoding_ == Encoding::Undecided) {
    // Notepad's "Unicode" files are UTF-16 with a byte-order mark; the keys we read are ASCII.
    const std::size_t wanted = kUtf8Mark.size() - start_.size();
    start_.append(bytes.substr(0, wanted));
    bytes.remove_prefix(bytes.size() < wanted ? bytes.size() : wanted);
    if (start_.size() < kUtf8Mark.size()) return true;  // too short to tell yet
    std::string_view head = start_;
    if (head == kUtf8Mark) {
      encoding_ = Encoding::Bytes;
      head.remove_prefix(kUtf8Mark.size());
    } else if (head.substr(0, 2) == kUtf16LittleMark) {
      encoding_ = Encoding::Utf16Little;
      head.remove_prefix(2);
    } else if (head.substr(0, 2) == kUtf16BigMark) {
      encoding_ = Encoding::Utf16Big;
      head.remove_prefix(2);
    } else {
      encoding_ = Encoding::Bytes;
    }
    decode(head);
    std::string().swap(start_);
  }
  decode(bytes);
  return !decided_;
}

void ProfileLookup::decode(std::string_view bytes) {
  if (encoding_ == Encoding::Bytes) {
    takeText(bytes);
    return;
  }
  const bool big = encoding_ == Encoding::Utf16Big;
  for (std::size_t i = 0; i < bytes.size() && !decided_; ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (!oddByte_) {
      oddByte_ = byte;
      continue;
    }
    const std::uint32_t first = *oddByte_;
    oddByte_.reset();
    takeUnit(big ? (first << 8 | byte) : (std::uint32_t{byte} << 8 | first));
  }
}

void ProfileLookup::takeUnit(std::uint32_t unit) {
  std::string text;
  if (highSurrogate_) {
    const std::uint32_t high = *highSurrogate_;
    highSurrogate_.reset();
    if (isLowSurrogate(unit)) {
      appendUtf8(text, 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00));
      takeText(text);
      return;
    }
    appendUtf8(text, high);  // a lone high surrogate stands for itself
  }
  if (isHighSurrogate(unit)) {
    highSurrogate_ = unit;
  } else {
    appendUtf8(text, unit);
  }
  takeText(text);
}

void ProfileLookup::takeText(std::string_view text) {
  // Lines end at LF, CR or both; the empty lines between them mean nothing, so a run of line
  // ends is passed over at once.
  const auto isLineEnd = [](char c) { return c == '\n' || c == '\r'; };
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at != end && !decided_) {
    const char* const lineEnd = std::find_if(at, end, isLineEnd);
    const std::size_t room = kLineLimit - std::min(kLineLimit, line_.size());
    line_.append(at, std::min(room, static_cast<std::size_t>(lineEnd - at)));
    if (lineEnd == end) return;  // the line goes on in the next piece
    if (!line_.empty()) endLine();
    at = std::find_if_not(lineEnd, end, isLineEnd);
  }
}

void ProfileLookup::endLine() {
  std::string_view line = trim(line_);
  if (visit_) {
    visitLine(line);
    line_.clear();
    return;
  }
  if (!line.empty()) {
    bool sectionLine = false;
    if (line.front() == '[') {
      const std::size_t close = line.rfind(']');
      if (close != std::string_view::npos) {
        sectionLine = true;
        if (inWantedSection_) {
          decided_ = true;  // only the first matching section counts
        } else {
          inWantedSection_ = !sectionSeen_ && equalNoCase(trim(line.substr(1, close - 1)), section_);
          sectionSeen_ = sectionSeen_ || inWantedSection_;
        }
      }
    }
    if (!sectionLine && inWantedSection_) {
      const std::size_t eq = line.find('=');
      const std::string_view name = eq == std::string_view::npos ? line : trim(line.substr(0, eq));
      if (equalNoCase(name, key_)) {
        // The first line naming the key decides, even one without '=' (which gives the fallback).
        if (eq != std::string_view::npos) found_ = std::string(stripQuotes(trim(line.substr(eq + 1))));
        decided_ = true;
      }
    }
  }
  line_.clear();
}

void ProfileLookup::visitLine(std::string_view line) {
  if (line.empty() || line.front() == ';' || line.front() == '#') return;
  ProfileLine seen;
  const std::size_t close = line.front() == '[' ? line.rfind(']') : std::string_view::npos;
  if (close != std::string_view::npos) {
    seen.isSection = true;
    visitedSection_ = std::string(trim(line.substr(1, close - 1)));
  } else {
    const std::size_t eq = line.find('=');
    seen.key = std::string(eq == std::string_view::npos ? line : trim(line.substr(0, eq)));
    if (eq != std::string_view::npos) seen.value = std::string(stripQuotes(trim(line.substr(eq + 1))));
  }
  seen.section = visitedSection_;
  visit_(seen);
}

bool sameProfileName(std::string_view a, std::string_view b) { return equalNoCase(a, b); }

void ProfileLookup::finish() {
  if (decided_) return;
  if (encoding_ == Encoding::Undecided) {
    encoding_ = Encoding::Bytes;
    takeText(start_);
    std::string().swap(start_);
  }
  if (highSurrogate_) {
    std::string text;
    appendUtf8(text, *highSurrogate_);
    highSurrogate_.reset();
    takeText(text);
  }
  if (!decided_ && !line_.empty()) endLine();
}

std::string ProfileLookup::result(std::string_view fallback, std::size_t capacity) {
  finish();
  std::string value = found_ ? *found_ : std::string(fallback);
  const std::size_t limit = capacity == 0 ? 0 : capacity - 1;
  if (value.size() > limit) value.resize(limit);
  return value;
}

std::string lookupProfileValue(std::string_view fileContents, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               std::size_t capacity) {
  ProfileLookup lookup(section, key);
  lookup.feed(fileContents);
  return lookup.result(fallback, capacity);
}

std::string readProfileString(const char* section, const char* key, const char* fallback,
                              const char* fileName) {
  if (std::optional<std::string> value =
          platform::systemProfileString(section, key, fallback, fileName)) {
    return *value;
  }
  // Anything but a readable regular file reads as no file, as on Windows: the defaults apply.
  ProfileLookup lookup(section, key);
  if (platform::Result<platform::InputFile> file = platform::InputFile::open(fileName)) {
    constexpr std::size_t kChunkBytes = 64 * 1024;
    char chunk[kChunkBytes];
    for (platform::Result<std::size_t> got = file->read(chunk, sizeof chunk);
         got && *got > 0 && lookup.feed({chunk, *got}); got = file->read(chunk, sizeof chunk)) {
    }
  }
  return lookup.result(fallback, platform::kProfileValueCapacity);
}

}  // namespace app
