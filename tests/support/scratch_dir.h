// A scratch folder for one test: a working folder, settings files, a trace.
#pragma once

#include <string>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // False when the file could not be written whole.
  bool write(const std::string& name, const std::string& contents) const;

 private:
  std::string path_;
};

}  // namespace testsupport
