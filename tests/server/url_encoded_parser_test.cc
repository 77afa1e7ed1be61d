#include "server/url_encoded_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "body_test_support.h"

namespace orin {
namespace {

using testing_support::RenderScope;
using testing_support::Text;
using testing_support::Var;

class URLEncodedTest : public ::testing::Test {
 protected:
  // Parses `body` in one piece; the result of Feed and Finish together.
  bool Parse(std::string_view body, int32_t max_variables = 0) {
    URLEncodedParser parser(&scope_, max_variables);
    bool ok = parser.Feed(body.data(), static_cast<int32_t>(body.size())) && parser.Finish();
    error_ = parser.ErrorText();
    return ok;
  }

  Dictionary dictionary_;
  UserVariableHash scope_{&dictionary_, 8};
  std::string error_;
};

TEST_F(URLEncodedTest, RepeatedNamesBecomeArraysAndBareNamesAreEmpty) {
  ASSERT_TRUE(Parse("a=1&a=2&b"));
  Variable* a = Var(scope_, "a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->AggregateKind(), kKindArray);
  EXPECT_EQ(a->ElementsUsed(), 2);
  EXPECT_EQ(Text(a->Element(AggregateIndex(1), false)), "1");
  EXPECT_EQ(Text(a->Element(AggregateIndex(2), false)), "2");
  Variable* b = Var(scope_, "b");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->AggregateKind(), kKindScalar);
  EXPECT_EQ(Text(b), "");
  // A third occurrence appends.
  ASSERT_TRUE(Parse("a=3"));
  EXPECT_EQ(Var(scope_, "a")->ElementsUsed(), 3);
}

TEST_F(URLEncodedTest, NamesAreDecodedLikeValues) {
  ASSERT_TRUE(Parse("a%3d1&a+b=c+d&x=1=2&Mixed=%e9%41%2B"));
  EXPECT_EQ(Text(Var(scope_, "a=1")), "");
  EXPECT_EQ(Var(scope_, "a"), nullptr);
  EXPECT_EQ(Text(Var(scope_, "a b")), "c d");
  EXPECT_EQ(Text(Var(scope_, "x")), "1=2");  // only the first "=" separates
  EXPECT_EQ(Text(Var(scope_, "mixed")),
            "\xe9"
            "A+");
  // The name keeps its letter case.
  EXPECT_EQ(Var(scope_, "mixed")->Name(), "Mixed");
}

TEST_F(URLEncodedTest, EscapesAreNotValidatedAndNulIsData) {
  // "z" counts as 'Z' - 55 = 35: 35 * 16 + 35 = 595, the low byte 0x53.
  ASSERT_TRUE(Parse("v=%zz&n=a%00b"));
  EXPECT_EQ(Text(Var(scope_, "v")), "S");
  EXPECT_EQ(Text(Var(scope_, "n")), std::string("a\0b", 3));
}

TEST_F(URLEncodedTest, AnEscapeCutShortAtTheEndIsDropped) {
  ASSERT_TRUE(Parse("a=x%4"));
  EXPECT_EQ(Text(Var(scope_, "a")), "x");
  ASSERT_TRUE(Parse("only%4"));  // a name cut inside its escape still counts
  EXPECT_EQ(Text(Var(scope_, "only")), "");
  ASSERT_TRUE(Parse("t=1&"));
  EXPECT_EQ(scope_.FindEntry(""), -1);  // a trailing "&" adds nothing
}

TEST_F(URLEncodedTest, EscapesCutBetweenPiecesAreJoined) {
  URLEncodedParser parser(&scope_, 0);
  for (std::string_view piece : {"x=%4", "1%", "42&y%", "3D", "=%2", "0"})
    ASSERT_TRUE(parser.Feed(piece.data(), static_cast<int32_t>(piece.size())));
  ASSERT_TRUE(parser.Finish());
  EXPECT_EQ(Text(Var(scope_, "x")), "AB");
  EXPECT_EQ(Text(Var(scope_, "y=")), " ");
}

TEST_F(URLEncodedTest, EverySplitGivesTheSameVariables) {
  const std::string body = "first=J%C3%BCrgen+M&tags=a&tags=b%26c&empty=&flag&x%5B1%5D=%7e&z=%";
  ASSERT_TRUE(Parse(body));
  const std::string whole = RenderScope(scope_);
  for (size_t cut = 0; cut <= body.size(); ++cut) {
    Dictionary dictionary;
    UserVariableHash scope(&dictionary, 8);
    URLEncodedParser parser(&scope, 0);
    ASSERT_TRUE(parser.Feed(body.data(), static_cast<int32_t>(cut)));
    ASSERT_TRUE(parser.Feed(body.data() + cut, static_cast<int32_t>(body.size() - cut)));
    ASSERT_TRUE(parser.Finish());
    EXPECT_EQ(RenderScope(scope), whole) << "cut at " << cut;
  }
  // Byte by byte too.
  Dictionary dictionary;
  UserVariableHash scope(&dictionary, 8);
  URLEncodedParser parser(&scope, 0);
  for (char c : body)
    ASSERT_TRUE(parser.Feed(&c, 1));
  ASSERT_TRUE(parser.Finish());
  EXPECT_EQ(RenderScope(scope), whole);
}

TEST_F(URLEncodedTest, TheVariableLimitRefusesTheBody) {
  EXPECT_FALSE(Parse("a=1&b=2&c=3", 2));
  EXPECT_EQ(error_, "Maximum number of POST variables exceeded");
  EXPECT_EQ(Var(scope_, "c"), nullptr);  // the pair over the limit is not set
  EXPECT_EQ(Text(Var(scope_, "b")), "2");
}

TEST_F(URLEncodedTest, ThePendingPairCountsAtFinish) {
  URLEncodedParser parser(&scope_, 2);
  std::string_view body = "a=1&b=2&c";
  ASSERT_TRUE(parser.Feed(body.data(), static_cast<int32_t>(body.size())));
  EXPECT_FALSE(parser.Finish());
  EXPECT_EQ(parser.ErrorText(), "Maximum number of POST variables exceeded");
  // A refused parser refuses what follows.
  EXPECT_FALSE(parser.Feed("d=4", 3));
}

TEST_F(URLEncodedTest, TheQueryStringHasNoLimit) {
  std::string query;
  for (int i = 0; i < 3000; ++i)
    query += "v" + std::to_string(i) + "=" + std::to_string(i) + "&";
  ASSERT_TRUE(Parse(query, 0));
  EXPECT_EQ(Text(Var(scope_, "v2999")), "2999");
}

TEST_F(URLEncodedTest, BracketedNamesAddressElements) {
  ASSERT_TRUE(Parse("p:name=Ann&list[2]=b&broken[=x"));
  Variable* p = Var(scope_, "p");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Text(p->Element(AggregateIndex::Member("name"), false)), "Ann");
  EXPECT_EQ(Text(Var(scope_, "list")->Element(AggregateIndex(2), false)), "b");
}

}  // namespace
}  // namespace orin
