#include "structure/column_alteration.h"

#include <utility>
#include <vector>

#include "store/sql_value.h"
#include "structure/column_clause.h"
#include "structure/sql_set_identity.h"
#include "structure/target_queries.h"
#include "upgrade/catalog_answer.h"
#include "upgrade/target_catalog.h"

namespace structure {
namespace {

using upgrade::ExecutionMode;

// Drops the IX indexes that contain the column: DROP INDEX [tbX].[IX_tbX_nome]. Each
// index is dropped once, should the query return it more than once: a second drop of the
// same index can only fail.
void dropIxIndexes(upgrade::UpgradeRun& run, const ColumnDefinition& stored) {
    db::Recordset indexes = upgrade::catalogAnswer(
        run, [&](catalog::Model& model) { return model.ixIndexes(stored.tabela, stored.campo); },
        upgrade::ixIndexQuery(stored.tabela, stored.campo));
    std::vector<std::pair<std::string, std::string>> dropped;
    while (!indexes.eof()) {
        std::pair<std::string, std::string> index{indexes.field("tabela").value().toText(),
                                                  indexes.field("IX_Name").value().toText()};
        bool seen = false;
        for (const auto& [table, name] : dropped) {
            seen = seen || (db::equalsIgnoreCase(table, index.first) &&
                            db::equalsIgnoreCase(name, index.second));
        }
        if (!seen) {
            const std::string drop = upgrade::dropIndexStatement(index.first, index.second);
            run.currentStatement = drop;
            run.statements.execute(drop, ExecutionMode::AskOnError,
                                   catalog::Change::ofTable(index.first));
            run.statements.log(drop, ExecutionMode::IgnoreErrors);
            dropped.push_back(std::move(index));
        }
        indexes.moveNext();
    }
    indexes.close();
}

// ALTER TABLE [tbX] DROP CONSTRAINT [DF__tbX__qtd__1A2B]: the default the column has in the
// target, when it has one.
void dropTargetDefault(upgrade::UpgradeRun& run, const ColumnDefinition& stored) {
    db::Recordset defaults = upgrade::catalogAnswer(
        run, [&](catalog::Model& model) { return model.columnDefault(stored.tabela, stored.campo); },
        upgrade::defaultConstraintQuery(stored.tabela, stored.campo));
    if (!defaults.eof()) {
        const std::string table = defaults.field("tabela").value().toText();
        const std::string drop =
            upgrade::dropConstraintStatement(table, defaults.field("DF_name").value().toText());
        run.currentStatement = drop;
        run.statements.execute(drop, ExecutionMode::AbortOnError, catalog::Change::ofTable(table));
    }
    defaults.close();
}

}  // namespace

bool needsAlteration(const ColumnDefinition& stored, const ColumnDefinition& target) {
    const bool otherCollation = !target.collation.isNull() &&
                                target.collation.toText() != "Latin1_General_CI_AI" &&
                                isCharacterType(stored.tipo);
    // A Null tipo reads as the empty text; like any Null it makes no difference.
    const bool typeDiffers = !stored.tipo.empty() && !target.tipo.empty() && stored.tipo != target.tipo;
    return typeDiffers || differs(stored.tamanho, target.tamanho) ||
           differs(stored.xprec, target.xprec) || differs(stored.xscale, target.xscale) ||
           differs(stored.isnullable, target.isnullable) || otherCollation;
}

AlterStatement alterColumnStatement(const ColumnDefinition& stored) {
    AlterStatement statement;
    statement.text =
        "ALTER TABLE " + store::BracketName(stored.tabela) + " ALTER COLUMN " + nameAndTypePart(stored);
    if (isCharacterType(stored.tipo)) statement.text += " COLLATE Latin1_General_CI_AI ";
    if (equalsOne(stored.isnullable)) {
        statement.text += " NULL ";
    } else {
        statement.text += " NOT NULL ";
        statement.synthesizedDefault = stored.cdefault.isNull();
    }
    return statement;
}

void alterExistingColumn(upgrade::UpgradeRun& run, const ColumnDefinition& stored,
                         const ColumnDefinition& target) {
    if (needsAlteration(stored, target)) {
        const AlterStatement alter = alterColumnStatement(stored);
        // The index drops come before the statement is sent, after its text is built.
        if (isCharacterType(stored.tipo)) dropIxIndexes(run, stored);
        run.currentStatement = alter.text;
        run.statements.execute(alter.text, ExecutionMode::NotifyOnError,
                               catalog::Change::ofColumn(stored.tabela, stored.campo));
        run.statements.log(alter.text, ExecutionMode::AbortOnError);
        if (alter.synthesizedDefault) dropTargetDefault(run, stored);
    }
    if (differs(stored.isidentity, target.isidentity)) {
        const int wanted = differs(stored.isidentity, db::Value::integer(0)) ? 1 : 0;
        if (!SQLSetIdentity(run, stored.tabela, stored.campo, wanted)) throw IdentityChangeFailed{};
    }
}

}  // namespace structure
