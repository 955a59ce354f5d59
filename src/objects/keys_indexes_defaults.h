#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "upgrade/upgrade_run.h"

namespace objects {

// The re-creation of primary keys, IX indexes and column defaults after the table
// structure update. Each phase walks its store table in the phase row loop, the bar
// counting every stored row consumed, and compares each stored definition with the
// target's catalog (per-row queries static and read-only; a failed query ends the run).
// While FXDebug is ticked, the rows of a table declined in the table structure phase are
// passed over. The run's current object is the stored key, index or default of the row,
// so that the run error handler names it.

// tbPrimary_Keys, a group of consecutive rows per table: a key is added to a table without
// one (made: logged; an integrity failure: shown unless FXSilence is ticked; any other
// failure: asked about as in ask-on-error execution; a key not made is not logged); a
// key whose column list differs from the target's is dropped and added again
// (ask-on-error, both logged).
upgrade::UpgradePhase primaryKeysPhase();

// tbIndexes: CREATE INDEX where the column has no IX index (ask-on-error, logged).
upgrade::UpgradePhase indexesPhase();

// tbDefaults: the default where the column has none (ask-on-error, logged), then its
// value written into the column's NULLs (abort-on-error, logged; also after a default
// whose creation failed and was let through).
upgrade::UpgradePhase defaultsPhase();

// The column list of a key as the phases compare and send it: " [" + column + "] " per
// column, " , " between them. Example: {id, ano} -> " [id]  ,  [ano] ".
std::string keyColumnList(const std::vector<std::string>& columns);

// ALTER TABLE [T] ADD CONSTRAINT [PK_T] PRIMARY KEY NONCLUSTERED ( [id]  ,  [ano] ) ON [PRIMARY]
// for the column list " [id]  ,  [ano] ".
std::string addPrimaryKeyStatement(std::string_view table, std::string_view key,
                                   std::string_view columnList);

// The message after a key could not be added over the table's data:
// "Não foi possivel criar a chave primária, falta integridade nos dados da tabela 'T'."
// + LF CR LF CR + "Clique em OK para continuar."
std::string keyIntegrityMessage(std::string_view table);

// CREATE INDEX IX_tbX_data ON [tbX] ([data]) ON [PRIMARY]
// (the index name unbracketed, unless it is no regular identifier: IX_tbO'Neil_nome ->
// CREATE INDEX [IX_tbO'Neil_nome] ON [tbO'Neil] ([nome]) ON [PRIMARY])
std::string createIndexStatement(std::string_view index, std::string_view table,
                                 std::string_view column);

// ALTER TABLE [tbX] ADD CONSTRAINT [DF_tbX_qtd] DEFAULT (0) FOR [qtd]   (a blank at the end)
std::string addDefaultStatement(std::string_view table, std::string_view name,
                                std::string_view value, std::string_view column);

// UPDATE [tbX] SET [qtd] = (0) WHERE [qtd] is null
std::string fillNullsStatement(std::string_view table, std::string_view column,
                               std::string_view value);

inline constexpr const char* kPrimaryKeysProgress = "A carregar definições: Primary Keys ...";
inline constexpr const char* kIndexesProgress = "A carregar definições: Indexes ...";
inline constexpr const char* kDefaultsProgress = "A carregar definições: Defaults ...";

}  // namespace objects
