// Prints the settings a receiver would use from each named settings file, one line a file:
//   settings_probe L|R file... [L|R file...]...
// L or R names the side for the files after it, so that one start of the probe can read for
// both. Built for Windows, where the files go through the system's own profile reader.
#include <cstdio>
#include <cstring>

#include "app/settings.h"
#include "settings_line.h"

namespace {

const app::SideProfile* sideNamed(const char* word) {
  if (std::strcmp(word, "L") == 0) return &app::kLeftProfile;
  if (std::strcmp(word, "R") == 0) return &app::kRightProfile;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || sideNamed(argv[1]) == nullptr) {
    std::fprintf(stderr, "usage: settings_probe L|R settings-file... [L|R settings-file...]...\n");
    return 2;
  }
  const app::SideProfile* profile = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (const app::SideProfile* named = sideNamed(argv[i])) {
      profile = named;
      continue;
    }
    std::printf("%s\n", settingsparity::describeSettings(app::readSettings(*profile, argv[i])).c_str());
  }
  return 0;
}
