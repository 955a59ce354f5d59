#include <gtest/gtest.h>

#include "engine_harness.h"

namespace sandbox::testing {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kPrincipals =
    "SELECT uid, name, gid, issqlrole, issqluser, hasdbaccess, islogin FROM sysusers "
    "WHERE uid BETWEEN 5 AND 16383 OR uid >= 16400 ORDER BY uid";

// The roles and users phase of the upgrade, statement by statement: two roles, then a
// login and a user in nao_faz_nada for an application user.
TEST(EngineSecurity, RolesLoginsAndUsersAsTheUpgradeCreatesThem) {
    EngineHarness h;
    EXPECT_EQ(h.rows("SELECT * FROM sysusers WHERE name = 'nao_faz_nada'"), Rows{});
    for (const char* batch : {"EXEC sp_addrole 'nao_faz_nada'", "EXEC sp_addrole 'qv_nothing'",
                              "EXEC sp_addlogin 'joao', null, 'app', 'us_english'",
                              "EXEC sp_adduser  'joao', 'joao', 'nao_faz_nada'"})
        ASSERT_EQ(describe(h.run(batch)), "") << batch;
    EXPECT_EQ(h.rows(kPrincipals), (Rows{{"5", "joao", "16400", "0", "1", "1", "1"},
                                         {"16400", "nao_faz_nada", "16400", "1", "0", "0", "0"},
                                         {"16401", "qv_nothing", "16401", "1", "0", "0", "0"}}));
    EXPECT_EQ(h.rows("SELECT name FROM sysusers WHERE name = 'joao '"), (Rows{{"joao"}}));
    EXPECT_EQ(h.rows("SELECT memberuid, groupuid FROM sysmembers"), (Rows{{"5", "16400"}}));

    auto master = h.login("master");
    Response logins = master->executeBatch("SELECT name, dbname, language, password FROM syslogins");
    ASSERT_EQ(describe(logins), "");
    ASSERT_TRUE(std::holds_alternative<RowSet>(logins.items[0]));
    const RowSet& rows = std::get<RowSet>(logins.items[0]);
    ASSERT_EQ(rows.rows.size(), 1u);
    EXPECT_EQ(valueText(rows.rows[0][0]), "joao");
    EXPECT_EQ(valueText(rows.rows[0][1]), "app");
    EXPECT_EQ(valueText(rows.rows[0][2]), "us_english");
    EXPECT_EQ(valueText(rows.rows[0][3]), "NULL");

    // The login list lives in master and outlives a restart; no password means the empty one.
    master.reset();
    h.restart();
    LoginResult login = h.engine().login(LoginRequest{"JOAO", "", "", "", "", true});
    ASSERT_NE(login.session, nullptr);
    EXPECT_EQ(login.database, "app");
    EXPECT_EQ(h.engine().login(LoginRequest{"joao", "wrong", "", "", "", true}).messages.at(0).number, 18456);
}

struct RefusalCase {
    const char* name;
    const char* setup;
    const char* batch;
    const char* messages;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

const RefusalCase kRefusals[] = {
    {"RoleExists", "EXEC sp_addrole 'nao_faz_nada'", "EXEC sp_addrole 'NAO_FAZ_NADA'",
     "15023: User or role 'NAO_FAZ_NADA' already exists in the current database.\n"},
    {"RoleNamedAsFixedRole", "", "EXEC sp_addrole 'db_owner'",
     "15023: User or role 'db_owner' already exists in the current database.\n"},
    {"LoginExists", "EXEC sp_addlogin 'joao', null, 'app', 'us_english'", "EXEC sp_addlogin 'joao', null, 'app', 'us_english'",
     "15025: The login 'joao' already exists.\n"},
    {"LoginForUnknownDatabase", "", "EXEC sp_addlogin 'joao', null, 'nowhere', 'us_english'",
     "15010: The database 'nowhere' does not exist. Use sp_helpdb to show available databases.\n"},
    {"UserExists",
     "EXEC sp_addrole 'nao_faz_nada' EXEC sp_addlogin 'joao', null, 'app' EXEC sp_adduser 'joao', 'joao', 'nao_faz_nada'",
     "EXEC sp_adduser  'joao', 'joao', 'nao_faz_nada'",
     "15023: User or role 'joao' already exists in the current database.\n"},
    {"LoginHasAnotherUser",
     "EXEC sp_addrole 'nao_faz_nada' EXEC sp_addlogin 'joao', null, 'app' EXEC sp_adduser 'joao', 'jj', 'nao_faz_nada'",
     "EXEC sp_adduser  'joao', 'joao', 'nao_faz_nada'",
     "15063: The login already has an account under a different user name.\n"},
    {"MissingRole", "EXEC sp_addlogin 'joao', null, 'app'", "EXEC sp_adduser  'joao', 'joao', 'nao_faz_nada'",
     "15014: The role 'nao_faz_nada' does not exist in the current database.\n"},
    {"UnknownLogin", "EXEC sp_addrole 'nao_faz_nada'", "EXEC sp_adduser  'maria', 'maria', 'nao_faz_nada'",
     "15007: The login 'maria' does not exist.\n"},
};

class SecurityRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(SecurityRefusals, ReportSqlServersErrorsAndAddNothing) {
    const RefusalCase& c = GetParam();
    EngineHarness h;
    ASSERT_EQ(describe(h.run(c.setup)), "");
    Rows before = h.rows(kPrincipals);
    EXPECT_EQ(describe(h.run(c.batch)), c.messages);
    EXPECT_EQ(h.rows(kPrincipals), before);
}

INSTANTIATE_TEST_SUITE_P(Procedures, SecurityRefusals, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sandbox::testing
