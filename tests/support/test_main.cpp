// The test programs' main in the Windows builds: it first says that the program started, by
// creating the file BRENIK_START_MARKER names, so that the Wine launcher can tell a start that
// never reached the program (retried once) from a program that ran and failed (never retried).
#include <cstdio>
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (const char* marker = std::getenv("BRENIK_START_MARKER")) {
    std::FILE* file = std::fopen(marker, "w");
    if (file == nullptr || std::fclose(file) != 0) {
      std::fprintf(stderr, "cannot create the start marker %s\n", marker);
    }
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
