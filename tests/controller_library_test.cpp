// Finding a controller operation under the names a library's builder may have exported it as,
// calling it whichever convention it was built in, and describing the library found.
#include "controller/controller_library.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/foreign_call.h"

namespace {

const std::string kRemedy = "put the controller's AXCLCOM.dll there";

struct ExportCase {
  const char* name;
  bool decoratedNames;                // 32-bit Windows: names may carry the 8 argument bytes
  std::vector<std::string> exported;  // the library's export names
  std::string taken;                  // the name the operation is taken under; empty: refused
  std::string problem;
};

// Parameterised tests are listed by their case's name, the same in every build.
void PrintTo(const ExportCase& c, std::ostream* out) { *out << c.name; }

void anyFunction() {}

class ExportNames : public ::testing::TestWithParam<ExportCase> {};

TEST_P(ExportNames, TakeTheMostTellingNameOrSayWhyNot) {
  const ExportCase& c = GetParam();
  std::string taken;
  const controller::FunctionLookup lookup = [&](const std::string& name) -> platform::LibraryFunction {
    if (std::find(c.exported.begin(), c.exported.end(), name) == c.exported.end()) return nullptr;
    taken = name;
    return anyFunction;
  };
  const platform::Result<platform::LibraryFunction> found =
      controller::findOperation(lookup, {"move_abs", 8, c.decoratedNames}, kRemedy);
  if (c.taken.empty()) {
    ASSERT_FALSE(found.ok());
    EXPECT_EQ(found.failure().reason, c.problem);
  } else {
    ASSERT_TRUE(found.ok());
    EXPECT_EQ(*found, anyFunction);
    EXPECT_EQ(taken, c.taken);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, ExportNames,
    ::testing::Values(
        ExportCase{"StdcallFromMinGW", true, {"move_abs", "move_abs@8"}, "move_abs@8", ""},
        ExportCase{"StdcallFromVisualCpp", true, {"_move_abs@8"}, "_move_abs@8", ""},
        ExportCase{"PlainThroughADefFileOrTheCConvention", true, {"move_abs"}, "move_abs", ""},
        ExportCase{"StdcallWithOtherArguments", true, {"move_abs@12"}, "",
                   "it has no operation move_abs (looked for move_abs@8, _move_abs@8, move_abs); " +
                       kRemedy},
        ExportCase{"OneConvention", false, {"move_abs", "move_abs@8"}, "move_abs", ""},
        ExportCase{"OneConventionHasNoDecoratedNames", false, {"_move_abs@8"}, "",
                   "it has no operation move_abs; " + kRemedy},
        ExportCase{"Absent", false, {"move_org"}, "", "it has no operation move_abs; " + kRemedy}),
    [](const ::testing::TestParamInfo<ExportCase>& library) { return library.param.name; });

// Built in one convention and declared in the other, as a vendor's header or our own
// declarations may disagree with a closed DLL.
int BRENIK_CDECL weighedSumInC(int ones, int tens, int hundreds) {
  return ones + 10 * tens + 100 * hundreds;
}
int BRENIK_STDCALL weighedSumInStdcall(int ones, int tens, int hundreds) {
  return ones + 10 * tens + 100 * hundreds;
}
using DeclaredStdcall = int(BRENIK_STDCALL*)(int, int, int);
using DeclaredC = int(BRENIK_CDECL*)(int, int, int);

TEST(ForeignCall, EitherConventionAnswersAndLeavesTheStackBalanced) {
  const auto cDeclaredStdcall = reinterpret_cast<DeclaredStdcall>(&weighedSumInC);
  const auto stdcallDeclaredC = reinterpret_cast<DeclaredC>(&weighedSumInStdcall);
  // A call that popped the wrong number of bytes would move the stack a little every time.
  for (int i = 0; i < 10000; ++i) {
    ASSERT_EQ(platform::callForeign(cDeclaredStdcall, i, 2, 3), i + 320);
    ASSERT_EQ(platform::callForeign(stdcallDeclaredC, 3, i, 2), 203 + 10 * i);
  }
  using platform::ForeignConvention;
  EXPECT_EQ(platform::conventionOfCall(cDeclaredStdcall, 1, 2, 3),
            platform::kConventionsDiffer ? ForeignConvention::C : ForeignConvention::Single);
  EXPECT_EQ(platform::conventionOfCall(stdcallDeclaredC, 1, 2, 3),
            platform::kConventionsDiffer ? ForeignConvention::Stdcall : ForeignConvention::Single);
}

// This test program's folder holds the build's stand-in, which it describes from its file and
// its exports alone, and which the loader marks as the stand-in too.
TEST(ControllerDescription, NamesTheStandInBesideTheProgramWithItsPathAndBitness) {
  const controller::LibraryDescription described = controller::describeController();
  EXPECT_FALSE(described.unusable) << described.unusable->reason;
  EXPECT_TRUE(described.standIn);
  EXPECT_EQ(described.bits, static_cast<int>(sizeof(void*)) * 8);
  const std::filesystem::path path(described.path);
  EXPECT_TRUE(path.is_absolute()) << described.path;
  EXPECT_TRUE(std::filesystem::is_regular_file(path)) << described.path;
  EXPECT_TRUE(path.filename() == "AXCLCOM.dll" || path.filename() == "libAXCLCOM.so")
      << described.path;
  const platform::Result<controller::Operations> loaded = controller::loadController();
  ASSERT_TRUE(loaded.ok()) << loaded.failure().reason;
  EXPECT_TRUE(loaded->standIn);
}

}  // namespace
