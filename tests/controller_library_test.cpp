// Finding a controller operation under the names a library's builder may have exported it as,
// and the refusals when the names show it cannot be called as declared.
#include "controller/controller_library.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

const std::string kRemedy = "put the controller's AXCLCOM.dll there";

struct ExportCase {
  const char* name;
  bool stdcall;                       // how the program declares move_abs (8 argument bytes)
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
  std::string problem;
  const platform::LibraryFunction found =
      controller::findOperation(lookup, {"move_abs", c.stdcall, 8}, kRemedy, problem);
  if (c.taken.empty()) {
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(problem, c.problem);
  } else {
    EXPECT_EQ(found, anyFunction);
    EXPECT_EQ(taken, c.taken);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, ExportNames,
    ::testing::Values(
        ExportCase{"StdcallFromMinGW", true, {"move_abs", "move_abs@8"}, "move_abs@8", ""},
        ExportCase{"StdcallFromVisualCpp", true, {"_move_abs@8"}, "_move_abs@8", ""},
        ExportCase{"StdcallThroughADefFile", true, {"move_abs"}, "move_abs", ""},
        ExportCase{"StdcallWithOtherArguments", true, {"move_abs@12"}, "",
                   "it has no operation move_abs (looked for move_abs@8, _move_abs@8, move_abs); " +
                       kRemedy},
        ExportCase{"CConvention", false, {"move_abs"}, "move_abs", ""},
        ExportCase{"CProgramStdcallLibrary", false, {"_move_abs@8"}, "",
                   "it has move_abs only as _move_abs@8, a __stdcall operation, and this program "
                   "calls it in the C convention; build the receivers for __stdcall "
                   "(-DBRENIK_CONTROLLER_CALL=__stdcall)"},
        ExportCase{"Absent", false, {"move_org"}, "", "it has no operation move_abs; " + kRemedy}),
    [](const ::testing::TestParamInfo<ExportCase>& library) { return library.param.name; });

}  // namespace
