#include "sysdata/large_field_transfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/error.h"
#include "sysdata_harness.h"

namespace sysdata {
namespace {

using testing::Dados;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::kBreak;
using testing::SysdataHarness;

const std::string kImageCommand =
    "INSERT INTO tbX (id, imagem, outra, vazia) VALUES (1, 'BinaryUpdate1E10414936DE', "
    "'BINARYUPDATE1E10414936DE', 'BINARYUPDATE1E10414936DE')";

db::Value bytes(std::size_t n) { return db::Value::bytes(db::Bytes(n, 0x47)); }

// The target's statements and queries after the row's insert.
std::vector<std::string> afterInsert(const SysdataHarness& h, const std::string& insert) {
    const auto at = std::find(h.target.log.begin(), h.target.log.end(), insert);
    return {at == h.target.log.end() ? at : at + 1, h.target.log.end()};
}

// The placeholder, in any letter case, sends every field the binary way, in stored order:
// the bytes written whole; a null image sets the column to NULL and an empty one to the
// empty binary value, so that the placeholder text never stays in the column.
TEST(LargeFields, APlaceholderSendsEveryFieldTheBinaryWay) {
    SysdataHarness h;
    h.storeRows({{"tbX", "id", "1", kImageCommand}});
    h.largeFields("tbX", "id", "1",
                  {{db::Value::text("imagem"), db::Value(), bytes(20000)},
                   {db::Value::text("outra"), db::Value::text("ignored"), db::Value()},
                   {db::Value::text("vazia"), db::Value(), db::Value::bytes({})}});
    h.targetRow("SELECT imagem FROM tbX WHERE id = 1");
    h.targetRow("SELECT outra FROM tbX WHERE id = 1");
    h.targetRow("SELECT vazia FROM tbX WHERE id = 1");

    EXPECT_TRUE(h.runPhase());

    EXPECT_THAT(afterInsert(h, kImageCommand),
                ElementsAre("SELECT imagem FROM tbX WHERE id = 1",
                            "LONG VALUE tbX.imagem WHERE id = 1: 20000 bytes",
                            "SELECT outra FROM tbX WHERE id = 1",
                            "LONG VALUE tbX.outra WHERE id = 1: ",  // NULL
                            "SELECT vazia FROM tbX WHERE id = 1",
                            "LONG VALUE tbX.vazia WHERE id = 1: 0 bytes"));
    EXPECT_THAT(h.store.log,
                ::testing::Contains("SELECT * FROM tbDados_Gigantic WHERE tabela = 'tbX' AND "
                                    "pkey_campo = 'id' AND pkey_value = '1'"));
    EXPECT_EQ(h.loggedStatements(), testing::logInserts({kImageCommand}));
}

// A command larger than 7998 (two bytes per character, as the store counts a long text)
// without the placeholder: the text way, the column emptied first and the text written
// with its apostrophes back; a null target_value leaves it null and the step goes on.
TEST(LargeFields, ALargeCommandSendsEveryFieldTheTextWay) {
    const std::string command =
        "INSERT INTO tbX (id, texto, nota) VALUES (1, '" + std::string(4000, 'x') + "', null)";
    SysdataHarness h;
    h.storeRows({{"tbX", "id", "1", command}});
    h.largeFields("tbX", "id", "1",
                  {{db::Value::text("texto"), db::Value::text("it!39!s"), db::Value()},
                   {db::Value::text("nota"), db::Value(), db::Value()}});
    h.targetRow("SELECT * FROM tbX WHERE id = 1");

    EXPECT_TRUE(h.runPhase());

    EXPECT_THAT(
        afterInsert(h, command),
        ElementsAre("UPDATE tbX SET texto = null WHERE id = 1", "SELECT * FROM tbX WHERE id = 1",
                    "LONG VALUE tbX.texto WHERE id = 1: it's",
                    "UPDATE tbX SET nota = null WHERE id = 1", "SELECT * FROM tbX WHERE id = 1"));
}

// A command of 3999 characters holds no large field: no look-up in the store.
TEST(LargeFields, ASmallCommandWithoutThePlaceholderTakesNoStep) {
    std::string command = "INSERT INTO tbX (id, texto) VALUES (1, '";
    command += std::string(3999 - command.size() - 2, 'x') + "')";
    SysdataHarness h;
    h.storeRows({{"tbX", "id", "1", command}});

    EXPECT_TRUE(h.runPhase());

    for (const std::string& sql : h.store.log)
        EXPECT_EQ(sql.find("tbDados_Gigantic"), std::string::npos);
}

// The step follows the insert of a forced update and of a delete_first row too; a row the
// target does not hold (its insert failed) is passed over.
TEST(LargeFields, ForcedAndDeleteFirstRowsGetTheirFieldsAndAMissingRowIsPassedOver) {
    SysdataHarness h;
    h.storeRows(
        {{"tbF", "id", "1", "INSERT INTO tbF (id, imagem) VALUES (1, 'BINARYUPDATE1E10414936DE')",
          false, true},
         {"tbD", "id", "2", "INSERT INTO tbD (id, imagem) VALUES (2, 'BINARYUPDATE1E10414936DE')",
          false, false, true}});
    h.targetRow("SELECT id FROM tbF WHERE id = 1");
    h.largeFields("tbF", "id", "1", {{db::Value::text("imagem"), db::Value(), bytes(12)}});
    h.largeFields("tbD", "id", "2", {{db::Value::text("imagem"), db::Value(), bytes(12)}});
    h.targetRow("SELECT imagem FROM tbF WHERE id = 1");

    EXPECT_TRUE(h.runPhase());

    std::vector<std::string> writes;
    for (const std::string& sql : h.target.log) {
        if (sql.rfind("SELECT imagem", 0) == 0 || sql.rfind("LONG VALUE", 0) == 0)
            writes.push_back(sql);
    }
    EXPECT_THAT(writes, ElementsAre("SELECT imagem FROM tbF WHERE id = 1",
                                    "LONG VALUE tbF.imagem WHERE id = 1: 12 bytes",
                                    "SELECT imagem FROM tbD WHERE id = 2"));
}

// A failed write ends the phase through its error exit, the row's command shown.
TEST(LargeFields, AFailedWriteEndsThePhase) {
    SysdataHarness h;
    h.storeRows(
        {{"tbX", "id", "1", kImageCommand}, {"tbY", "id", "1", "INSERT INTO tbY (id) VALUES (1)"}});
    h.largeFields("tbX", "id", "1", {{db::Value::text("imagem"), db::Value(), bytes(3)}});
    h.targetRow("SELECT imagem FROM tbX WHERE id = 1");
    h.target.failOn("LONG VALUE", db::Error(db::errc::kTimeout, "Timeout expired"));

    EXPECT_FALSE(h.runPhase());

    ASSERT_EQ(h.host.messages.size(), 1u);
    EXPECT_EQ(h.host.messages[0].text, "Timeout expired" + kBreak + kImageCommand);
    EXPECT_THAT(h.loggedStatements(), IsEmpty());
}

}  // namespace
}  // namespace sysdata
