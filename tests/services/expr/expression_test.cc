#include "services/expr/expression.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "services/expr/fake_tables.h"
#include "services/dates.h"
#include "services/error.h"
#include "services/runtime.h"

namespace talvor {
namespace {

using testing::FakeTables;

// A value as one comparable text: C"abc", N12/10.0 (value/width.decimals),
// D20120214, L.T., U.
std::string render(const Value& v) {
  char buf[64];
  switch (v.kind()) {
    case Kind::Text: return "C\"" + v.asText() + "\"";
    case Kind::Number: {
      const Number& n = v.asNumber();
      if (n.isDouble)
        std::snprintf(buf, sizeof buf, "N%.10g/%d.%d", n.real, n.width, n.decimals);
      else
        std::snprintf(buf, sizeof buf, "N%lld/%d.%d", static_cast<long long>(n.whole), n.width,
                      n.decimals);
      return buf;
    }
    case Kind::Date: return "D" + std::to_string(v.asDay());
    case Kind::Logical: return v.asLogical() ? "L.T." : "L.F.";
    case Kind::Nil: return "U";
    default: return std::string(1, v.typeLetter());
  }
}

std::string day(int y, int m, int d) { return "D" + std::to_string(dayFromYmd(y, m, d)); }

class ExpressionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt().reset();
    tables.areas.reserve(4);
    auto& price = tables.add(1, "PRICESKU", {"MATL_NO", "PH1", "PH2", "PH3", "PRICE", "DUE",
                                             "ACTIVE", "DESCRIPTIO"});
    price.records.push_back({Value::integer(1234, 6), Value::text("ABC"), Value::text("defg"),
                             Value::text("XY"), Value::real(1234.5, 6, 2),
                             Value::date(dayFromYmd(2012, 2, 14)), Value::logical(true),
                             Value::text("Sheet  ")});
    price.records.push_back({Value::integer(-5, 6), Value::text("A  "), Value::text("    "),
                             Value::text("  "), Value::real(0, 6, 2), Value::date(0),
                             Value::logical(false), Value::text("")});
    price.deletedFlags = {false, true};
    auto& kit = tables.add(2, "METKIT", {"KIT_NO", "PH1"});
    kit.records.push_back({Value::integer(77, 5), Value::text("KIT")});
    setFieldScope(&tables);
    rt().errorHandler = [this](RuntimeError& e) {
      errors.push_back(e);
      return answer ? answer(e) : ErrorAnswer{};
    };
  }
  void TearDown() override {
    setFieldScope(nullptr);
    rt().reset();
  }

  std::string eval(const std::string& text) {
    CompileResult r = compileExpression(text);
    if (!r.ok()) return "compile error: " + r.error;
    return render(r.expr->eval());
  }

  FakeTables tables;
  std::vector<RuntimeError> errors;
  std::function<ErrorAnswer(RuntimeError&)> answer;
};

TEST_F(ExpressionTest, EvaluatesOverTheCurrentRecord) {
  rt().setPublic("cMsg", Value::text("Please Wait.."));
  struct Case {
    const char* text;
    std::string expected;
  };
  const Case cases[] = {
      // The index keys of the import.
      {"str(matl_no,6)", "C\"  1234\""},
      {"ph1 + ph2 + ph3", "C\"ABCdefgXY\""},
      {"ph1+ph2+ph3", "C\"ABCdefgXY\""},
      {"STR(MATL_NO, 6)", "C\"  1234\""},
      // Names: fields by any case, aliases, public variables, long names cut to 10.
      {"Matl_No", "N1234/6.0"},
      {"pricesku->ph2", "C\"defg\""},
      {"METKIT->PH1", "C\"KIT\""},
      {"metkit -> kit_no", "N77/5.0"},
      {"FIELD->ph3", "C\"XY\""},
      {"_FIELD->PH3", "C\"XY\""},
      {"cmsg", "C\"Please Wait..\""},
      {"M->CMSG", "C\"Please Wait..\""},
      {"MEMVAR->cMsg", "C\"Please Wait..\""},
      {"descriptions", "C\"Sheet  \""},
      // Literals.
      {"12", "N12/10.0"},
      {"123456789012", "N123456789012/12.0"},
      {"1.50", "N1.5/10.2"},
      {".5", "N0.5/10.1"},
      {"'it''s'", "compile error: unexpected text literal at position 5 in \"'it''s'\""},
      {"\"a'b\" + [c\"d] + 'e'", "C\"a'bc\"de\""},
      {".T.", "L.T."}, {".f.", "L.F."}, {".Y.", "L.T."}, {".n.", "L.F."},
      {"NIL", "U"},
      {"0d20120214", day(2012, 2, 14)},
      {"{^2012-02-14}", day(2012, 2, 14)},
      {"{^2000/2/29}", day(2000, 2, 29)},
      {"0d00000000", "D0"},
      {"{^}", "D0"},
      {"due = 0d20120214", "L.T."},
      // Precedence and grouping.
      {"2+3*4", "N14/10.0"},
      {"(2+3)*4", "N20/10.0"},
      {"10-4-3", "N3/10.0"},
      {"7%4", "N3/10.0"},
      {"2*3**2 = 18", "L.T."},
      {"2^3 == 8", "L.T."},
      {"-2**2 = 4", "L.T."},
      {"- -3", "N3/10.0"},
      {"+matl_no", "N1234/6.0"},
      {"1 < 2 .AND. 3 > 4 .OR. .T.", "L.T."},
      {".NOT. .F. .AND. .F.", "L.F."},
      {"!.F. .and. .t.", "L.T."},
      {"! 1 = 2", "L.T."},
      {".T. .OR. .F. .AND. .F.", "L.T."},
      {"matl_no > 1000 .AND. active", "L.T."},
      // Comparisons: = is the non-exact text comparison, == the exact one.
      {"'ABC' = 'AB'", "L.T."},
      {"'ABC' == 'AB'", "L.F."},
      {"'ABC' != 'AB'", "L.F."},
      {"'ABC' <> 'ABD'", "L.T."},
      {"'ABC' # 'ABC'", "L.F."},
      {"1 <= 1 .AND. 2 >= 1 .AND. 1 < 2 .AND. 2 > 1", "L.T."},
      {"'BC' $ ph1", "L.T."},
      {"'CB' $ ph1", "L.F."},
      {"'' $ ph1", "L.T."},
      {"'de' $ ph2 .AND. 'DE' $ ph2", "L.F."},
      // Functions.
      {"upper(ph2)", "C\"DEFG\""},
      {"Iif(active, 'Y', 'N')", "C\"Y\""},
      {"if(.f., 1)", "U"},
      {"recno()", "N1/7.0"},
      {"deleted()", "L.F."},
      {"substr(ph2, 2, 2) + left(ph1, 1) + right(ph3, 1)", "C\"efAY\""},
      {"trim(descriptio) + '|'", "C\"Sheet|\""},
      {"at('g', ph2)", "N4/10.0"},
      {"len(ph1 + ph2)", "N7/10.0"},
      {"str(price)", "C\"  1234.50\""},
      {"str(price, 8, 1)", "C\"  1234.5\""},
      {"str(matl_no, , )", "C\"  1234\""},
      {"dtos(due)", "C\"20120214\""},
      {"year(due) + 1", "N2013/10.0"},
      {"valtype(due) + valtype(active) + valtype(price)", "C\"DLN\""},
      {"empty(ph3) .OR. empty(0)", "L.T."},
      {"padl(ph3, 4, '*')", "C\"**XY\""},
      {"chr(65) + replicate('-', 2) + space(1)", "C\"A-- \""},
      {"asc(ph1)", "N65/10.0"},
      {"val('12.5') * 2 = 25", "L.T."},
      {"int(7 / 2)", "N3/10.0"},
      {"round(2.675, 2) = 2.68", "L.T."},
      {"abs(-4)", "N4/10.0"},
      {"alltrim('  x  ') + ltrim(' y') + rtrim('z ') + lower('Q')", "C\"xyzq\""},
      {"strzero(matl_no, 7)", "C\"0001234\""},
      {"padr(ph3, 3) + '|'", "C\"XY |\""},
  };
  for (const Case& c : cases) {
    errors.clear();
    EXPECT_EQ(eval(c.text), c.expected) << c.text;
    EXPECT_TRUE(errors.empty()) << c.text << ": " << errors.front().messageLine();
  }
}

TEST_F(ExpressionTest, OtherRecordAndBlankValues) {
  tables.find(1)->recno = 2;
  EXPECT_EQ(eval("str(matl_no,6)"), "C\"    -5\"");
  EXPECT_EQ(eval("ph1+ph2+ph3"), "C\"A        \"");
  EXPECT_EQ(eval("deleted() .AND. recno() = 2"), "L.T.");
  EXPECT_EQ(eval("empty(due) .AND. empty(ph2) .AND. .NOT. active"), "L.T.");
  tables.current = 2;
  EXPECT_EQ(eval("ph1 + pricesku->ph1"), "C\"KITA  \"");
}

// STR() without a width shows a number as wide as the operations made it.
TEST_F(ExpressionTest, WidthsOfComputedNumbers) {
  const std::pair<const char*, const char*> cases[] = {
      {"str(matl_no)", "  1234"},
      {"str(12)", "        12"},
      {"str(1.50)", "         1.50"},
      {"str(-matl_no)", " -1234"},
      {"str(recno())", "      1"},
      {"str(price * 2)", "      2469.00"},
      {"str(matl_no / 4)", "       308.50"},
  };
  for (auto [text, expected] : cases) EXPECT_EQ(eval(text), "C\"" + std::string(expected) + "\"") << text;
}

Value countedCall(std::span<const Value>);
int calls = 0;
Value countedCall(std::span<const Value>) {
  ++calls;
  return Value::logical(true);
}

TEST_F(ExpressionTest, ShortCircuitAndLazyIif) {
  registerFunction("Touch", countedCall);
  const std::pair<const char*, int> cases[] = {
      {".F. .AND. touch()", 0}, {".T. .AND. touch()", 1}, {".T. .OR. touch()", 0},
      {".F. .OR. touch()", 1},  {"iif(.T., 1, touch())", 0}, {"iif(.F., touch(), 2)", 0},
      {"iif(.F., 1, touch())", 1},
  };
  for (auto [text, expected] : cases) {
    calls = 0;
    eval(text);
    EXPECT_EQ(calls, expected) << text;
  }
}

TEST_F(ExpressionTest, UnknownNameRaisesRetryableErrorThenTakesTheAnswer) {
  auto compiled = compileExpression("ph1 + nosuch").expr;
  ASSERT_TRUE(compiled);
  // Retry: the handler creates the variable, the second look finds it.
  answer = [](RuntimeError& e) {
    rt().setPublic("NOSUCH", Value::text("!"));
    return ErrorAnswer{Answer::Retry, {}};
  };
  EXPECT_EQ(render(compiled->eval()), "C\"ABC!\"");
  ASSERT_EQ(errors.size(), 1u);
  const RuntimeError& e = errors[0];
  EXPECT_EQ(e.subsystem, "BASE");
  EXPECT_EQ(e.genCode, 14);
  EXPECT_EQ(e.subCode, 1003);
  EXPECT_EQ(e.operation, "NOSUCH");
  EXPECT_TRUE(e.canRetry);
  EXPECT_EQ(e.messageLine(), "Error BASE/1003  Variable does not exist: NOSUCH");

  // Substitute and Default.
  rt().publics.clear();
  errors.clear();
  answer = [](RuntimeError&) { return ErrorAnswer{Answer::Substitute, Value::text("?")}; };
  EXPECT_EQ(render(compiled->eval()), "C\"ABC?\"");
  answer = [](RuntimeError&) { return ErrorAnswer{Answer::Default, {}}; };
  EXPECT_EQ(eval("nosuch"), "U");
  EXPECT_EQ(errors.size(), 2u);

  // A field-only reference does not fall back to public variables.
  rt().setPublic("PH9", Value::text("public"));
  errors.clear();
  EXPECT_EQ(eval("FIELD->ph9"), "U");
  EXPECT_EQ(eval("pricesku->ph9"), "U");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1].subCode, 1003);
  EXPECT_EQ(eval("ph9"), "C\"public\"");
}

TEST_F(ExpressionTest, UnboundAliasRaises15AndRetryLooksAgain) {
  int tries = 0;
  answer = [&](RuntimeError& e) {
    if (++tries == 2) tables.add(3, "LATE", {"PH1"}).records.push_back({Value::text("L")});
    return ErrorAnswer{Answer::Retry, {}};
  };
  EXPECT_EQ(eval("late->ph1"), "C\"L\"");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].genCode, 15);
  EXPECT_EQ(errors[0].subCode, 1002);
  EXPECT_EQ(errors[0].operation, "LATE");
  EXPECT_TRUE(errors[0].canRetry);
  EXPECT_EQ(errors[1].tries, 2);

  answer = nullptr;
  EXPECT_EQ(eval("nowhere->x"), "U");
}

TEST_F(ExpressionTest, FieldPositionsAreLookedUpOncePerArea) {
  auto compiled = compileExpression("ph1 + ph2 + ph3").expr;
  const std::vector<Value> first = tables.find(1)->records[0];
  tables.find(1)->records.resize(1000, first);
  for (int r = 1; r <= 1000; ++r) {
    tables.find(1)->recno = r;
    compiled->eval();
  }
  EXPECT_EQ(tables.fieldIndexCalls, 3);

  // Another area: looked up there; another table in the area: looked up again.
  tables.current = 2;
  answer = [](RuntimeError&) { return ErrorAnswer{Answer::Substitute, Value::text("")}; };
  EXPECT_EQ(render(compiled->eval()), "C\"KIT\"");
  EXPECT_EQ(tables.fieldIndexCalls, 6);
  tables.current = 1;
  tables.find(1)->fields[2].name = "OTHER";
  tables.find(1)->fields[7].name = "PH2";
  ++tables.find(1)->serial;
  EXPECT_EQ(render(compiled->eval()), "C\"ABCSheet  XY\"");
  EXPECT_EQ(tables.fieldIndexCalls, 9);
}

TEST_F(ExpressionTest, TextsThatDoNotCompile) {
  struct Case {
    const char* text;
    int position;
    const char* message;
  };
  const Case cases[] = {
      {"str(matl_no,", 13, "unexpected end of expression"},
      {"1 +", 4, "unexpected end of expression"},
      {"", 1, "unexpected end of expression"},
      {"foo(1)", 1, "unknown function FOO"},
      {"ph1 ph2", 5, "unexpected name ph2"},
      {"(1 + 2", 7, "expected ')' but found end of expression"},
      {"'abc", 1, "unterminated text literal"},
      {"[abc", 1, "unterminated text literal"},
      {"0d2012", 1, "a date literal needs eight digits"},
      {"0d20120230", 1, "invalid date literal"},
      {"{^2012-02-30}", 1, "invalid date literal"},
      {"{^2012-02", 1, "unterminated date literal"},
      {"1 + .X.", 5, "unknown operator .X."},
      {"a := 1", 3, "unexpected character ':'"},
      {"pricesku->(ph1)", 11, "expected a field name after '->' but found '('"},
      {"pricesku->upper(ph1)", 16, "a function call cannot follow '->'"},
      {"iif(.t.)", 1, "IIF takes 2 or 3 arguments"},
      {"{|x| x}", 3, "code block parameters are not supported"},
      {"1\x01", 2, "unexpected byte 1"},
  };
  for (const Case& c : cases) {
    CompileResult r = compileExpression(c.text);
    EXPECT_FALSE(r.ok()) << c.text;
    EXPECT_EQ(r.position, c.position) << c.text;
    EXPECT_EQ(r.error, std::string(c.message) + " at position " + std::to_string(c.position) +
                           " in \"" + c.text + "\"");
  }
}

TEST_F(ExpressionTest, HostileTextsFailWithoutCrashing) {
  const std::string deep = std::string(300, '(') + "1" + std::string(300, ')');
  EXPECT_EQ(compileExpression(deep).error.substr(0, 29), "expression nested too deeply ");
  std::string chain = "1";
  for (int i = 0; i < 5000; ++i) chain += "+1";
  EXPECT_EQ(compileExpression(chain).error.substr(0, 22), "expression too complex");
  std::string fine = "1";
  for (int i = 0; i < 1000; ++i) fine += "+1";
  EXPECT_EQ(eval(fine), "N1001/10.0");
}

TEST_F(ExpressionTest, EvalTextRaisesSyntaxError) {
  EXPECT_EQ(render(evalText("ph1 + 'x'")), "C\"ABCx\"");
  EXPECT_TRUE(evalText("str(").isNil());
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].genCode, 7);
  EXPECT_EQ(errors[0].subsystem, "BASE");
  EXPECT_EQ(errors[0].operation, "str(");
  EXPECT_EQ(errors[0].messageLine(), "Error BASE/???  Syntax error: str(");
}

TEST_F(ExpressionTest, OperatorArgumentErrorsTakeTheSubstitute) {
  answer = [](RuntimeError&) { return ErrorAnswer{Answer::Substitute, Value::logical(true)}; };
  const char* texts[] = {"1 .AND. .T.", ".F. .OR. 'x'", ".NOT. 1", "1 $ 'x'", "iif(1, 2, 3)"};
  for (const char* text : texts) {
    errors.clear();
    EXPECT_EQ(eval(text), "L.T.") << text;
    ASSERT_EQ(errors.size(), 1u) << text;
    EXPECT_EQ(errors[0].genCode, 1) << text;
  }
}

TEST_F(ExpressionTest, CodeBlockLiteral) {
  Value block = evalText("{|| chr(27) + 'E' + ph3 }");
  ASSERT_TRUE(block.isBlock());
  EXPECT_EQ(render(block.call()), "C\"\x1b" "EXY\"");
  tables.find(1)->recno = 2;
  EXPECT_EQ(render(block.call()), "C\"\x1b" "E  \"");
}

TEST_F(ExpressionTest, NoTablesMeansPublicsOnly) {
  setFieldScope(nullptr);
  rt().setPublic("X", Value::integer(3));
  EXPECT_EQ(eval("x * 2"), "N6/10.0");
  EXPECT_EQ(eval("recno()"), "N0/7.0");
  EXPECT_EQ(eval("ph1"), "U");
  EXPECT_EQ(errors.size(), 1u);
}

TEST(PlainFieldName, RecognisesSingleNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"matl_no", "MATL_NO"},       {"  Ph1 ", "PH1"},           {"FIELD->ph2", "PH2"},
      {"_field -> x", "X"},          {"descriptions", "DESCRIPTIO"}, {"ph1+ph2", nullptr},
      {"str(matl_no,6)", nullptr},  {"metkit->ph1", nullptr},    {"12", nullptr},
      {"", nullptr},                {"nil", nullptr},
  };
  for (auto [text, expected] : cases) {
    auto name = plainFieldName(text);
    if (expected)
      EXPECT_EQ(name.value_or("<none>"), expected) << text;
    else
      EXPECT_FALSE(name) << text;
  }
}

}  // namespace
}  // namespace talvor
