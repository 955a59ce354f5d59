#include "db/sqlite/jet_sql.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace db::sqlite {
namespace {

struct RewriteCase {
    const char* name;
    const char* jet;
    const char* sqlite;
};

class JetSqlRewrite : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(JetSqlRewrite, GivesTheSqliteText) {
    const std::set<std::string> textColumns = {"descrit", "nome", "campo", "tabela"};
    JetSqlRewriter rewriter(
        [&](std::string_view name) { return textColumns.count(std::string(name)) > 0; });
    EXPECT_EQ(rewriter.rewrite(GetParam().jet), GetParam().sqlite);
}

const RewriteCase kRewriteCases[] = {
    {"ApostropheLiteralFolds", "INSERT INTO tbLogs (descrit) VALUES ('O'+CHR(39)+'Neil')",
     "INSERT INTO tbLogs (descrit) VALUES ('O''Neil')"},
    {"KeptCommandFoldsIntoOneLiteral",
     "INSERT INTO tbDados (comando) VALUES ('INSERT INTO t (a) VALUES "
     "('+CHR(39)+'x!39!y'+CHR(39)+')')",
     "INSERT INTO tbDados (comando) VALUES ('INSERT INTO t (a) VALUES (''x!39!y'')')"},
    {"ColumnPlusTextConcatenates",
     "UPDATE tbFunctions SET descrit = descrit + 'ab'+CHR(39)+'c' WHERE nome = 'f'",
     "UPDATE tbFunctions SET descrit = descrit || 'ab''c' WHERE nome = 'f'"},
    {"ColumnPlusNullConcatenates", "UPDATE tbViews SET descrit = descrit + null WHERE nome = 'v'",
     "UPDATE tbViews SET descrit = descrit || null WHERE nome = 'v'"},
    {"TextColumnsConcatenate", "SELECT nome + campo FROM tbIndexes",
     "SELECT nome || campo FROM tbIndexes"},
    {"QualifiedTextColumnConcatenates", "SELECT tbDados.tabela + '.' + tbDados.campo FROM tbDados",
     "SELECT tbDados.tabela || '.' || tbDados.campo FROM tbDados"},
    {"ChainGoesOnPastUnknownOperands", "SELECT 'n' + nome + Format(tamanho) FROM t",
     "SELECT 'n' || nome || Format(tamanho) FROM t"},
    {"ParenthesisedTextIsText", "SELECT ('a' + nome) + tamanho FROM t",
     "SELECT ('a' || nome) || tamanho FROM t"},
    {"NumbersStayNumeric",
     "SELECT tamanho + 1, xprec + xscale FROM tbObjects WHERE tamanho + 2 > 3",
     "SELECT tamanho + 1, xprec + xscale FROM tbObjects WHERE tamanho + 2 > 3"},
    {"CommaEndsAChain", "VALUES ('a' + nome, tamanho + 1)", "VALUES ('a' || nome, tamanho + 1)"},
    {"ExponentAndSignStayNumbers", "VALUES (1E+21, +5, -1.5)", "VALUES (1E+21, +5, -1.5)"},
    {"ChrOfAColumnStaysACall", "SELECT CHR(tamanho) + 'x' FROM t",
     "SELECT CHR(tamanho) || 'x' FROM t"},
    {"ChrZeroStaysACall", "VALUES ('a'+CHR(0))", "VALUES ('a'||CHR(0))"},
    {"ChrUsesWindows1252", "VALUES ('a'+CHR(128)+Chr$(233))", "VALUES ('a€é')"},
    {"TrueAndFalseAreJetNumbers",
     "SELECT * FROM tbDados WHERE delete_first=True OR force_update = false",
     "SELECT * FROM tbDados WHERE delete_first=(-1) OR force_update = 0"},
    {"TrueAfterMinusStaysOutOfAComment", "SELECT 1-TRUE", "SELECT 1-(-1)"},
    {"DoubleQuotesDelimitText", "SELECT * FROM tbViews WHERE nome = \"O'Neil\"",
     "SELECT * FROM tbViews WHERE nome = 'O''Neil'"},
    {"LiteralsBracketsAndCommentsStayUntouched",
     "SELECT [a+b], 'True + \"x\"' FROM [t+u] -- 'a'+'b'\nWHERE x = 'it''s'+''",
     "SELECT [a+b], 'True + \"x\"' FROM [t+u] -- 'a'+'b'\nWHERE x = 'it''s'"},
    // Rewritten pieces that meet a literal stay two tokens, which SQLite refuses, rather
    // than one literal with a doubled quote and another text.
    {"AdjacentLiteralsStayApart", "VALUES (CHR(39)'s', \"a\"'b')", "VALUES ('''' 's', 'a' 'b')"},
    {"UnclosedLiteralIsLeftForSqliteToReport", "VALUES ('a'+CHR(39)+'b)", "VALUES ('a'''||'b)"},
    {"StatementWithoutJetFormsIsUnchanged",
     "SELECT tbDados.tabela FROM tbDados WHERE (((tbDados.delete_first)<>0)) AND tbDados.tabela "
     "NOT LIKE 'tbMenu%'",
     "SELECT tbDados.tabela FROM tbDados WHERE (((tbDados.delete_first)<>0)) AND tbDados.tabela "
     "NOT LIKE 'tbMenu%'"},
};

INSTANTIATE_TEST_SUITE_P(Cases, JetSqlRewrite, ::testing::ValuesIn(kRewriteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(JetSqlParameterize, TakesTheLiteralsOfAnInsertOut) {
    JetSqlRewriter rewriter([](std::string_view name) { return name == "descrit"; });
    const auto shaped = rewriter.parameterizeInsert(
        "INSERT INTO tbDados (tabela, pkey_value, comando, only_if_empty, force_update) "
        "VALUES ('tbA',-12,'x'+CHR(39)+'y', True, 1.5E+3)");
    ASSERT_TRUE(shaped.has_value());
    EXPECT_EQ(shaped->shape,
              "INSERT INTO tbDados (tabela, pkey_value, comando, only_if_empty, force_update) "
              "VALUES (?,-?,?, (-1), ?)");
    ASSERT_EQ(shaped->parameters.size(), 4u);
    EXPECT_EQ(shaped->parameters[0].text, "tbA");
    EXPECT_EQ(shaped->parameters[1].kind, BoundValue::Kind::Integer);
    EXPECT_EQ(shaped->parameters[1].integer, 12);
    EXPECT_EQ(shaped->parameters[2].text, "x'y");
    EXPECT_EQ(shaped->parameters[3].kind, BoundValue::Kind::Real);
    EXPECT_EQ(shaped->parameters[3].real, 1500.0);

    for (const char* other :
         {"UPDATE t SET descrit = descrit + 'a'", "INSERT INTO t SELECT * FROM u",
          "INSERT INTO t (a) VALUES ('a'); DELETE FROM t", "INSERT INTO t (a) VALUES (?)"}) {
        EXPECT_EQ(rewriter.parameterizeInsert(other), std::nullopt) << other;
    }
}

TEST(JetChr, MapsWindows1252CodesToUtf8) {
    EXPECT_EQ(jetChr(39), "'");
    EXPECT_EQ(jetChr(65), "A");
    EXPECT_EQ(jetChr(128), "€");
    EXPECT_EQ(jetChr(146), "’");
    EXPECT_EQ(jetChr(233), "é");
    EXPECT_EQ(jetChr(256), std::nullopt);
    EXPECT_EQ(jetChr(-1), std::nullopt);
}

}  // namespace
}  // namespace db::sqlite
