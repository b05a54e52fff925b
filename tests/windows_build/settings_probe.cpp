// Prints the settings a receiver would use from each named settings file, one line a file:
//   settings_probe L|R file...
// Built for Windows, where the files go through the system's own profile reader.
#include <cstdio>
#include <cstring>

#include "app/settings.h"
#include "settings_line.h"

int main(int argc, char** argv) {
  const bool left = argc >= 2 && std::strcmp(argv[1], "L") == 0;
  const bool right = argc >= 2 && std::strcmp(argv[1], "R") == 0;
  if (argc < 3 || !(left || right)) {
    std::fprintf(stderr, "usage: settings_probe L|R settings-file...\n");
    return 2;
  }
  const app::SideProfile& profile = left ? app::kLeftProfile : app::kRightProfile;
  for (int i = 2; i < argc; ++i) {
    std::printf("%s\n", settingsparity::describeSettings(app::readSettings(profile, argv[i])).c_str());
  }
  return 0;
}
