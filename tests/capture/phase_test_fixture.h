#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "capture/capture_run.h"
#include "db/ado_types.h"
#include "fake_connection.h"
#include "fake_host.h"

namespace capture {

// One capture phase run by itself over scripted connections: the reference answers from
// rules the test adds, the store records what it is sent.
class PhaseTest : public ::testing::Test {
protected:
    // Text columns of the given names, as the catalog queries return them.
    static std::vector<db::Column> textColumns(std::initializer_list<const char*> names) {
        std::vector<db::Column> columns;
        for (const char* name : names) columns.push_back({name, db::ado::kVarWChar});
        return columns;
    }

    // A rules table with an `exclude` column that excludes `name`.
    void excludeByRule(const std::string& name) {
        server.onQuery("SELECT TOP 1 * FROM tbSQLUpdate", textColumns({"descrit", "exclude"}),
                       {{db::Value::text(name), db::Value::integer(1)}});
        server.onQuery("WHERE exclude <> 0 AND descrit = '" + name + "'", textColumns({"descrit"}),
                       {{db::Value::text(name)}});
    }

    // The two queries of the exclusion test for one name, as sent.
    static std::vector<std::string> exclusionQueries(const std::string& name) {
        return {"SELECT TOP 1 * FROM tbSQLUpdate",
                "SELECT * FROM tbSQLUpdate WHERE exclude <> 0 AND descrit = '" + name + "'"};
    }

    app::MainForm form;
    testing_support::FakeHost host;
    testing_support::FakeConnection server;
    testing_support::FakeConnection store;
    CaptureRun run{form, host, server, store, {}, {}};
};

// The elements of every list, in order.
inline std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace capture
