// Reads one value from the text of a profile (INI) file the way Windows' profile lookup does,
// so that a settings file edited on Windows means the same thing on every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace app {

// Looks for `key` in `section` (both matched without regard to case) in a file handed over in
// pieces of any size. It holds one line at a time, at most kLineLimit bytes of it, so a file of
// any size is read in bounded memory and in one pass; it stops wanting more once it has decided.
// One line of a profile file that means something to its reader: a section's name, or a key in
// the section above it ("" before any), with its value when the line has an '='.
struct ProfileLine {
  bool isSection = false;
  std::string section;
  std::string key;
  std::optional<std::string> value;
};

class ProfileLookup {
 public:
  // A longer line counts by its first kLineLimit bytes: no section or key of ours is that long.
  static constexpr std::size_t kLineLimit = 64 * 1024;

  ProfileLookup(std::string_view section, std::string_view key);
  // Hands every section and key line of the whole file to `visit`, in order, and looks up
  // nothing; comment lines (';' or '#' first) are passed over.
  explicit ProfileLookup(std::function<void(const ProfileLine&)> visit);

  // The next bytes of the file; false once the rest of the file cannot change the answer.
  bool feed(std::string_view bytes);

  // After the last piece: what is left of the file is taken as its last line.
  void finish();

  // After the last piece: the value, or `fallback` when the section or key is missing or the
  // key's first line has no '='; at most `capacity - 1` characters, like a Windows buffer.
  std::string result(std::string_view fallback, std::size_t capacity);

  // Bytes held between pieces, whatever the file's size.
  std::size_t heldBytes() const { return line_.capacity() + start_.capacity(); }

 private:
  enum class Encoding { Undecided, Bytes, Utf16Little, Utf16Big };

  void decode(std::string_view bytes);
  void takeUnit(std::uint32_t unit);
  void takeText(std::string_view text);
  void endLine();
  void visitLine(std::string_view line);

  std::string section_;
  std::string key_;
  Encoding encoding_ = Encoding::Undecided;
  std::string start_;                   // the first bytes, until the byte-order mark is known
  std::optional<unsigned char> oddByte_;  // half of a UTF-16 unit
  std::optional<std::uint32_t> highSurrogate_;
  std::string line_;
  std::function<void(const ProfileLine&)> visit_;
  std::string visitedSection_;
  bool inWantedSection_ = false;
  bool sectionSeen_ = false;
  bool decided_ = false;
  std::optional<std::string> found_;
};

// Whether two section or key names are the same to the reader: ASCII letters without regard to case.
bool sameProfileName(std::string_view a, std::string_view b);

// The whole file's text at once.
std::string lookupProfileValue(std::string_view fileContents, std::string_view section,
                               std::string_view key, std::string_view fallback,
                               std::size_t capacity);

// The value of `key` in `section` of the file `fileName`, as Windows' profile lookup gives it:
// the system's own where it has one, else this reader over the file; `fallback` when the file
// cannot be read, as on Windows.
std::string readProfileString(const char* section, const char* key, const char* fallback,
                              const char* fileName);

}  // namespace app
