#include "objects/roles_and_users.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/error.h"
#include "objects_harness.h"

namespace objects {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::ObjectsHarness;
using testing::textColumns;
using testing::textRow;

// The user's name reaches the server as data: every apostrophe doubled inside the
// literals, so that a name cannot end its literal and add a statement of its own.
TEST(UserStatements, NamesWithApostrophesStayInsideTheirLiterals) {
    EXPECT_EQ(roleLookupQuery("nao_faz_nada"),
              "SELECT * FROM sysusers WHERE name = 'nao_faz_nada'");
    EXPECT_EQ(addRoleStatement("qv_nothing"), "EXEC sp_addrole 'qv_nothing'");
    EXPECT_EQ(userLookupQuery("ana"), "SELECT * FROM sysusers WHERE name = 'ana '");
    EXPECT_EQ(userLookupQuery("d'Almeida"), "SELECT * FROM sysusers WHERE name = 'd''Almeida '");
    EXPECT_EQ(addLoginStatement("d'Almeida", "app"),
              "EXEC sp_addlogin 'd''Almeida', null, 'app', 'us_english'");
    EXPECT_EQ(addUserStatement("d'Almeida"),
              "EXEC sp_adduser  'd''Almeida', 'd''Almeida', 'nao_faz_nada'");
    const std::string attack = "x'); DROP TABLE tbUsers; --";
    EXPECT_EQ(userLookupQuery(attack),
              "SELECT * FROM sysusers WHERE name = 'x''); DROP TABLE tbUsers; -- '");
    EXPECT_EQ(addLoginStatement(attack, "O'Brien"),
              "EXEC sp_addlogin 'x''); DROP TABLE tbUsers; --', null, 'O''Brien', 'us_english'");
    EXPECT_EQ(addUserStatement(attack),
              "EXEC sp_adduser  'x''); DROP TABLE tbUsers; --', 'x''); DROP TABLE tbUsers; --', "
              "'nao_faz_nada'");
}

TEST(Roles, OnlyAMissingRoleIsAdded) {
    ObjectsHarness h;
    h.target.onQuery("name = 'nao_faz_nada'", textColumns({"name"}), {textRow({"nao_faz_nada"})});

    EXPECT_TRUE(h.runPhase(rolesPhase()));

    EXPECT_THAT(h.target.log, ElementsAre("SELECT * FROM sysusers WHERE name = 'nao_faz_nada'",
                                          "SELECT * FROM sysusers WHERE name = 'qv_nothing'",
                                          "EXEC sp_addrole 'qv_nothing'"));
}

// Queries too run with errors ignored: a failed look-up finds nothing.
TEST(Roles, FailingQueriesAndStatementsAreIgnored) {
    ObjectsHarness h;
    h.target.failOn("sysusers",
                    db::Error(db::errc::kObjectNotFound, "Invalid object name 'sysusers'."));
    h.target.failOn("sp_addrole",
                    db::Error(db::errc::kServerError,
                              "User or role 'x' already exists in the current database."));

    EXPECT_TRUE(h.runPhase(rolesPhase()));

    EXPECT_THAT(h.targetStatements(),
                ElementsAre("EXEC sp_addrole 'nao_faz_nada'", "EXEC sp_addrole 'qv_nothing'"));
    EXPECT_THAT(h.host.messages, IsEmpty());
    EXPECT_EQ(h.host.pumps, 0);
}

TEST(Users, WithoutTbUsersNothingIsSent) {
    ObjectsHarness h;
    EXPECT_TRUE(h.runPhase(usersPhase()));
    EXPECT_THAT(
        h.target.log,
        ElementsAre("SELECT sysobjects.name FROM sysobjects WHERE sysobjects.name = 'tbUsers'"));
}

// NULL and sa (exactly) are skipped; SA is an ordinary user; a user already in sysusers is
// left alone; a failing sp_addlogin is followed by its sp_adduser all the same.
TEST(Users, EachMissingUserGetsALoginAndAUserInTheRole) {
    ObjectsHarness h;
    h.target.onQuery("sysobjects.name = 'tbUsers'", textColumns({"name"}), {textRow({"tbUsers"})});
    h.target.onQuery(
        "SELECT * FROM tbUsers", textColumns({"id_user", "descrit"}),
        {textRow({"1", ""}), textRow({"2", "sa"}), textRow({"3", "SA"}), textRow({"4", "ana"}),
         textRow({"5", "d'Almeida"}), textRow({"6", "x'); DROP TABLE tbUsers; --"})});
    h.target.onQuery("name = 'ana '", textColumns({"name"}), {textRow({"ana"})});
    h.target.failOn("sp_addlogin 'SA'",
                    db::Error(db::errc::kServerError, "The login 'SA' already exists."));

    EXPECT_TRUE(h.runPhase(usersPhase()));

    EXPECT_THAT(
        h.targetStatements(),
        ElementsAre(
            "EXEC sp_addlogin 'SA', null, 'app', 'us_english'",
            "EXEC sp_adduser  'SA', 'SA', 'nao_faz_nada'",
            "EXEC sp_addlogin 'd''Almeida', null, 'app', 'us_english'",
            "EXEC sp_adduser  'd''Almeida', 'd''Almeida', 'nao_faz_nada'",
            "EXEC sp_addlogin 'x''); DROP TABLE tbUsers; --', null, 'app', 'us_english'",
            "EXEC sp_adduser  'x''); DROP TABLE tbUsers; --', 'x''); DROP TABLE tbUsers; --', "
            "'nao_faz_nada'"));
    EXPECT_THAT(h.targetSent("FROM sysusers"),
                ElementsAre("SELECT * FROM sysusers WHERE name = 'SA '",
                            "SELECT * FROM sysusers WHERE name = 'ana '",
                            "SELECT * FROM sysusers WHERE name = 'd''Almeida '",
                            "SELECT * FROM sysusers WHERE name = 'x''); DROP TABLE tbUsers; -- '"));
    EXPECT_THAT(h.host.messages, IsEmpty());
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
}

}  // namespace
}  // namespace objects
