// Scratch folders under the system's temporary folder.
#include "support/scratch_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "brenik-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a scratch folder");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool ScratchDir::write(const std::string& name, const std::string& contents) const {
  std::ofstream out(file(name), std::ios::binary);
  out << contents;
  return static_cast<bool>(out);
}

}  // namespace testsupport
