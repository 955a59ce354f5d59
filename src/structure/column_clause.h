#pragma once

#include <string>
#include <string_view>

#include "structure/column_definition.h"

namespace structure {

// The name-and-type part that begins every column clause (CREATE TABLE, ADD, ALTER
// COLUMN and the rebuild table), chosen by the type name as stored:
//   int id                    ->  " [id] [int] "
//   varchar(50) nome          ->  " [nome] [varchar] (50) "
//   nvarchar nome, 100 bytes  ->  " [nome] [nvarchar] (50) "   (the length in characters)
//   decimal(18,2) valor       ->  " [valor] [decimal] (18,2) "
// Any other name (sysname, a user-defined type) is written as " [campo] [tipo] ": such a
// type carries its own length, and a server that does not know it says so by name.
std::string nameAndTypePart(const ColumnDefinition& column);

// The types whose added or created columns get " COLLATE Latin1_General_CI_AI ":
// ntext, text, char, varchar, nchar and nvarchar.
bool takesCollation(std::string_view tipo);

// The types whose altered columns get COLLATE and lose their IX indexes first: char,
// varchar, nchar and nvarchar (not text and ntext).
bool isCharacterType(std::string_view tipo);

// A column of CREATE TABLE: name and type, COLLATE, IDENTITY, then " NULL " or
// " NOT NULL ". Example: identity int id, not nullable ->
// " [id] [int]  IDENTITY (1, 1)  NOT NULL ".
std::string createColumnClause(const ColumnDefinition& column);

// The column clause of an ADD, and whether its default was made up for a NOT NULL
// column that has none stored (that default is dropped again right after the ADD).
struct AddClause {
    std::string text;
    bool synthesizedDefault = false;
};

// Examples: nullable varchar(50) nome -> " [nome] [varchar] (50)  COLLATE
// Latin1_General_CI_AI  NULL "; int qtd NOT NULL with default (0) -> " [qtd] [int]  NOT
// NULL DEFAULT ((0))"; char(3) cod NOT NULL without default -> " [cod] [char] (3)
// COLLATE Latin1_General_CI_AI  NOT NULL DEFAULT ('')" with synthesizedDefault set.
AddClause addColumnClause(const ColumnDefinition& column);

// The made-up default of a NOT NULL column added without a stored one:
// " NOT NULL DEFAULT ('')" for character and binary types, " NOT NULL DEFAULT (0)"
// for every other type name.
std::string synthesizedDefaultPart(std::string_view tipo);

// A whole number as the statements write it: plain decimal digits, no separators.
// Example: Value::real(100.0) -> "100".
std::string plainNumber(const db::Value& value);

}  // namespace structure
