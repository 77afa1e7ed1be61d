// Database types from database libraries: the host forwards the database
// instructions to the library's descriptor table, reports what it lacks as
// unsupported, and keeps the field variables the library builds (fetched
// again only after the library marks them dirty, assigned values handed
// back through ztDatabaseView_Commit).
#include <gtest/gtest.h>

#include <string>

#include "libraries/site_runner.h"

namespace orin {
namespace {

// The error variable of each database tag, with its display switched off.
const char* kQuiet =
    "  tagerror 28, 0\n  tagerror 29, 0\n  tagerror 30, 0\n  tagerror 31, 0\n"
    "  tagerror 32, 0\n  tagerror 33, 0\n  tagerror 34, 0\n  tagerror 35, 0\n"
    "  tagerror 36, 0\n  tagerror 37, 0\n  tagerror 38, 0\n  tagerror 39, 0\n"
    "  tagerror 40, 0\n  tagerror 41, 0\n  tagerror 42, 0\n  tagerror 43, 0\n"
    "  tagerror 44, 0\n  tagerror 45, 0\n  tagerror 46, 0\n  tagerror 47, 0\n"
    "  tagerror 52, 0\n  tagerror 53, 0\n  tagerror 55, 0\n  tagerror 58, 0\n";

std::string Open(const std::string& name, const std::string& file) {
  return "  pushc \"" + name + "\"\n  pushc \"" + file +
         "\"\n  pushc \"\"\n  pushc \"mem\"\n  pushc \"a\"\n  pushc \"b\"\n  dbopen\n";
}

std::string Show(const std::string& error_variable) {
  return "  pushg " + error_variable + "\n  out\n  pushc \"\\n\"\n  out\n";
}

class ExternalDatabases : public ::testing::Test {
 protected:
  TestSite site_{{"d,mem," + PluginPath("zt_database")}};
};

TEST_F(ExternalDatabases, FieldValuesAreFetchedOnceAndChangesCommittedThroughTheLibrary) {
  std::string source = std::string(kQuiet) + Open("m", "file.x") + Show("ZtOPEN_Error") +
                       // Read twice: one fetch; the open texts reached the library.
                       "  pushdc rows, value\n  out\n  pushc \"\\n\"\n  out\n"
                       "  pushnc \"d.value\"\n  out\n  pushc \"\\n\"\n  out\n"
                       // An assignment is held by the host until the library commits it.
                       "  pushc \"hello\"\n  popdc rows, value\n  pushdc rows, value\n  out\n"
                       "  pushc \"\\n\"\n  out\n"
                       "  pushc \"m\"\n  pushc \"\"\n  dbadd\n" +
                       Show("ZtADD_Error") +
                       "  pushdc rows, value\n  out\n  pushc \"\\n\"\n  out\n"
                       // A failure of the library is the view's message.
                       "  pushc \"bad\"\n  popdc rows, value\n"
                       "  pushc \"m\"\n  pushc \"\"\n  dbadd\n" +
                       Show("ZtADD_Error");
  EXPECT_EQ(site_.Run(source),
            "\n"
            "fetch 1 [] {file.x|m|a|b|}\n"
            "fetch 1 [] {file.x|m|a|b|}\n"
            "hello\n"
            "\n"
            "fetch 2 [hello] {file.x|m|a|b|}\n"
            "the view refused\n");
}

TEST_F(ExternalDatabases, WhatTheLibraryLacksIsUnsupported) {
  auto view_op = [](const char* op, const char* error) {
    return std::string("  pushc \"m\"\n  pushc \"\"\n  ") + op + "\n" + Show(error);
  };
  std::string source =
      std::string(kQuiet) + Open("m", "file.x") +
      "  pushc \"m\"\n  pushc \"\"\n  pushi 1\n  dbskip\n" + Show("ZtSKIP_Error") +
      "  pushc \"m\"\n  pushc \"\"\n  pushc \"top\"\n  dbgo\n" + Show("ZtGO_Error") +
      "  pushc \"m\"\n  pushc \"\"\n  pushc \"k\"\n  pushi 1\n  dbfind\n" + Show("ZtFIND_Error") +
      view_op("dbupdate", "ZtUPDATE_Error") + view_op("dbdelete", "ZtDELETE_Error") +
      view_op("dbundelete", "ZtUNDELETE_Error") +
      "  pushc \"m\"\n  pushc \"\"\n  pushc \"x\"\n  dbfilter\n" + Show("ZtFILTER_Error") +
      "  pushc \"m\"\n  pushc \"\"\n  pushg s\n  dbrevealstructureagg\n" +
      Show("ZtREVEALSTRUCTURE_Error") + "  pushc \"m\"\n  dbpack\n" + Show("ZtPACK_Error") +
      "  pushc \"m\"\n  dbreindex\n" + Show("ZtREINDEX_Error") +
      "  pushc \"m\"\n  pushc \"v\"\n  pushc \"q\"\n  dbquery\n" + Show("ZtQUERY_Error") +
      "  pushc \"m\"\n  pushc \"v\"\n  pushc \"t\"\n  pushc \"\"\n  dbopenview\n" +
      Show("ZtOPENVIEW_Error") +
      "  pushc \"m\"\n  pushc \"f\"\n  pushc \"e\"\n  pushc \"\"\n  dbmakeindex\n" +
      Show("ZtMAKEINDEX_Error") + "  pushc \"m\"\n  pushc \"\"\n  pushc \"i\"\n  dbprimary\n" +
      Show("ZtPRIMARY_Error") + "  pushc \"m\"\n  pushc \"\"\n  pushc \"i\"\n  dbsetindex\n" +
      Show("ZtSETINDEX_Error") + "  pushc \"m\"\n  pushc \"x\"\n  pushc \"\"\n  dbcommand\n" +
      Show("ZtDBCOMMAND_Error") +
      // Transactions the library does not know succeed.
      "  pushc \"m\"\n  dbtransact\n  pushc \"m\"\n  dbcommit\n  pushc \"m\"\n  dbrollback\n" +
      "  pushg ZtTRANSACT_Error\n  pushg ZtCOMMIT_Error\n  cat\n  pushg ZtROLLBACK_Error\n"
      "  cat\n  pushc \"[\"\n  swap\n  cat\n  pushc \"]\\n\"\n  cat\n  out\n"
      "  pushc \"n\"\n  pushc \"n.x\"\n  pushc \"mem\"\n  pushc \"f char(1)\"\n  dbcreate\n" +
      Show("ZtCREATE_Error");
  EXPECT_EQ(site_.Run(source),
            "ZtSKIP is an Unsupported Operation\n"
            "ZtGO is an Unsupported Operation\n"
            "ZtFIND is an Unsupported Operation\n"
            "ZtUPDATE is an Unsupported Operation\n"
            "ZtDELETE is an Unsupported Operation\n"
            "ZtUNDELETE is an Unsupported Operation\n"
            "ZtFILTER is an Unsupported Operation\n"
            "ZtREVEALSTRUCTURE is an Unsupported Operation\n"
            "ZtPACK is an Unsupported Operation\n"
            "ZtREINDEX is an Unsupported Operation\n"
            "ZtRUNQUERY is an Unsupported Operation\n"
            "ZtOPENVIEW is an Unsupported Operation\n"
            "ZtMAKEINDEX is an Unsupported Operation\n"
            "ZtPRIMARY with INDEXES attribute is an Unsupported Operation\n"
            "ZtOPEN with INDEXES attribute is an Unsupported Operation\n"
            "ZtDBCOMMAND is an unsupported operation\n"
            "[]\n"
            "ZtCREATE is an Unsupported Operation\n");
}

TEST_F(ExternalDatabases, AFailedOpenLeavesNothingOpenAndHeldFieldsReadEmptyAfterClose) {
  std::string source = std::string(kQuiet) + Open("f", "fail") + Show("ZtOPEN_Error") +
                       "  pushc \"f\"\n  dbclose\n" + Show("ZtCLOSE_Error") + Open("m", "file.x") +
                       // A reference the script keeps outlives the database.
                       "  pushdc rows, value\n  refnc \"held\"\n  pushnc \"held\"\n  out\n"
                       "  pushc \"\\n\"\n  out\n  pushc \"m\"\n  dbclose\n"
                       "  pushnc \"held\"\n  isnull\n  out\n  pushnc \"held\"\n  out\n"
                       "  pushc \"|\"\n  out\n";
  EXPECT_EQ(site_.Run(source),
            "the library refused\n"
            "Database 'f' is not open\n"
            "fetch 1 [] {file.x|m|a|b|}\n"
            "1|");
}

TEST(ExternalDatabasesOldVersion, OpenGetsTheFileAndTwoTexts) {
  TestSite site({"d,old," + PluginPath("zt_database_v1")});
  std::string source =
      "  pushc \"m\"\n  pushc \"f.x\"\n  pushc \"\"\n  pushc \"OLD\"\n  pushc \"a\"\n"
      "  pushc \"b\"\n  dbopen\n  pushdc rows, value\n  out\n"
      // Transactions and commands need a later version.
      "  tagerror 58, 0\n  pushc \"m\"\n  pushc \"x\"\n  pushc \"\"\n  dbcommand\n"
      "  pushg ZtDBCOMMAND_Error\n  out\n";
  EXPECT_EQ(site.Run(source), "fetch 1 [] {f.x|a|b}ZtDBCOMMAND is an unsupported operation");
}

}  // namespace
}  // namespace orin
