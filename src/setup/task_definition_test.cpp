#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "src/setup/task_definition.hpp"

namespace vorlane::setup {
namespace {

std::string golden(const char* name) {
  std::ifstream file(std::string(SETUP_TESTDATA_DIR) + "/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

TEST(TaskDefinition, MatchesTheGoldenDocument) {
  const std::string expected = golden("task_definition.xml");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(task_document("S-1-5-21-0-0-0-1000",
                          "C:\\Program Files\\Vorlane\\InputHelper\\Keyward.exe"),
            expected);
}

TEST(TaskDefinition, EscapesBothInsertedValuesOnTheirLines) {
  const std::string doc = task_document("S-1-<x>", "C:\\A&B\\'q'\\\"K\".exe");
  EXPECT_NE(doc.find("\n      <UserId>S-1-&lt;x&gt;</UserId>\n    </LogonTrigger>"), std::string::npos);
  EXPECT_NE(doc.find("\n      <UserId>S-1-&lt;x&gt;</UserId>\n      <LogonType>"), std::string::npos);
  EXPECT_NE(doc.find("<Command>C:\\A&amp;B\\&apos;q&apos;\\&quot;K&quot;.exe</Command>"),
            std::string::npos);
}

struct EscapeCase {
  const char* in;
  const char* out;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.in; }

class XmlEscape : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(XmlEscape, WritesTheFiveEntities) { EXPECT_EQ(xml_escape(GetParam().in), GetParam().out); }

INSTANTIATE_TEST_SUITE_P(
    TaskDefinition, XmlEscape,
    ::testing::Values(EscapeCase{"plain S-1-5-21", "plain S-1-5-21"},
                      EscapeCase{"&", "&amp;"}, EscapeCase{"<", "&lt;"}, EscapeCase{">", "&gt;"},
                      EscapeCase{"\"", "&quot;"}, EscapeCase{"'", "&apos;"},
                      EscapeCase{"&lt;", "&amp;lt;"}, EscapeCase{"&amp;", "&amp;amp;"},
                      EscapeCase{"a<&>b", "a&lt;&amp;&gt;b"},
                      EscapeCase{"用户\\桌面", "用户\\桌面"}));

TEST(TaskDefinitionFile, IsUtf16LittleEndianWithByteOrderMarkAndNoTerminator) {
  const std::string bytes = task_file_bytes(task_document("S-1-5-21-0-0-0-1000", "C:\\K.exe"));
  ASSERT_GT(bytes.size(), 6u);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE<\0", 4));
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string(">\0\n\0", 4));
  EXPECT_EQ(bytes.size() % 2, 0u);
}

TEST(TaskDefinitionFile, EncodesCharactersBeyondTheBasicPlaneAsSurrogatePairs) {
  EXPECT_EQ(task_file_bytes("\xE6\xB5\x8B\xF0\x9F\x98\x80"),  // U+6D4B, U+1F600
            std::string("\xFF\xFE\x4B\x6D\x3D\xD8\x00\xDE", 8));
}

TEST(TaskDefinitionFile, NamesTheTaskAndTheFile) {
  EXPECT_EQ(task_name("S-1-5-21-1-2-3-1001"), "Keyward (S-1-5-21-1-2-3-1001)");
  EXPECT_EQ(task_file_name(1234), "keyward-1234.xml");
}

}  // namespace
}  // namespace vorlane::setup
