// The function field is derived from the compiler's text of the enclosing function; these are the
// shapes GCC and Clang produce for the launcher's functions.
#include "log/function_name.h"

#include <gtest/gtest.h>

namespace {

using logging::QualifiedName;

static_assert(QualifiedName("int WinMain(HINSTANCE, HINSTANCE, LPSTR, int)") == "WinMain");
static_assert(
    QualifiedName("void UpdateManager::SetStatus(UpdateState, int, const std::string&)") ==
    "UpdateManager::SetStatus");
// Clang writes a reference or pointer return type against the name.
static_assert(QualifiedName("static UpdateManager &UpdateManager::Instance()") ==
              "UpdateManager::Instance");
static_assert(QualifiedName("const char *Find(const char *)") == "Find");
// Template arguments and spaces in the return type.
static_assert(QualifiedName("std::vector<std::pair<int, int> > API_Modes(int (*)(int))") ==
              "API_Modes");
// Constructors have no return type.
static_assert(QualifiedName("UpdateManager::UpdateManager()") == "UpdateManager::UpdateManager");
// A lambda reports its enclosing function (GCC and Clang forms).
static_assert(QualifiedName("UpdateManager::StartWorker(Entry)::<lambda()>") ==
              "UpdateManager::StartWorker");
static_assert(
    QualifiedName(
        "auto UpdateManager::StartWorker(Entry)::(anonymous class)::operator()() const") ==
    "UpdateManager::StartWorker");

}  // namespace

TEST(FunctionName, NamesTheEnclosingFunctionAtCompileTime) {
  VELMORA_FUNCTION_NAME_DECLARE(name);
  EXPECT_STREQ(name.text, "FunctionName_NamesTheEnclosingFunctionAtCompileTime_Test::TestBody");
}
