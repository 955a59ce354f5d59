#include "catalog_snapshot.h"

#include <regex>

namespace sandbox::testing {
namespace {

std::string masked(const std::string& name) {
    static const std::regex generated("^((PK|UQ|DF|FK|CK)__.*__)[0-9A-F]{8}$");
    return std::regex_replace(name, generated, "$1*");
}

}  // namespace

std::vector<std::string> catalogOf(EngineHarness& h, const std::string& table) {
    std::vector<std::string> lines;
    auto ids = h.rows("SELECT id FROM sysobjects WHERE name = '" + table + "' AND xtype = 'U'");
    if (ids.empty()) return lines;
    const std::string id = ids[0][0];
    for (const auto& c : h.rows("SELECT c.name, t.name, c.length, c.xprec, c.xscale, c.isnullable, c.colstat, c.collation, "
                                "d.name, m.text FROM syscolumns c JOIN systypes t ON t.xusertype = c.xusertype "
                                "LEFT JOIN sysobjects d ON d.id = c.cdefault LEFT JOIN syscomments m ON m.id = c.cdefault "
                                "WHERE c.id = " + id + " ORDER BY c.colid"))
        lines.push_back("column " + c[0] + " " + c[1] + " length=" + c[2] + " prec=" + c[3] + " scale=" + c[4] +
                        " nullable=" + c[5] + " colstat=" + c[6] + " collation=" + (c[7] == "NULL" ? "-" : c[7]) +
                        " default=" + (c[8] == "NULL" ? "-" : masked(c[8]) + " " + c[9]));
    for (const auto& o : h.rows("SELECT name, xtype FROM sysobjects WHERE parent_obj = " + id + " ORDER BY xtype, name"))
        lines.push_back("object " + masked(o[0]) + " " + o[1].substr(0, o[1].find(' ')));
    std::string current;
    for (const auto& i : h.rows("SELECT i.indid, i.name, i.status, c.name FROM sysindexes i "
                                "LEFT JOIN sysindexkeys k ON k.id = i.id AND k.indid = i.indid "
                                "LEFT JOIN syscolumns c ON c.id = k.id AND c.colid = k.colid "
                                "WHERE i.id = " + id + " ORDER BY i.indid, k.keyno")) {
        std::string head = "index " + i[0] + " " + masked(i[1]) + " status=" + i[2] + " keys=";
        if (!lines.empty() && lines.back().rfind(head, 0) == 0) {
            lines.back() += "," + i[3];
        } else {
            lines.push_back(head + (i[3] == "NULL" ? "-" : i[3]));
        }
    }
    return lines;
}

std::vector<std::string> orphanedCatalogRows(EngineHarness& h) {
    std::vector<std::string> lines;
    const char* queries[][2] = {
        {"syscolumns", "SELECT name FROM syscolumns WHERE id NOT IN (SELECT id FROM sysobjects)"},
        {"syscomments", "SELECT id FROM syscomments WHERE id NOT IN (SELECT id FROM sysobjects)"},
        {"sysindexes", "SELECT name FROM sysindexes WHERE id NOT IN (SELECT id FROM sysobjects)"},
        {"sysindexkeys", "SELECT id FROM sysindexkeys WHERE NOT EXISTS (SELECT * FROM sysindexes i WHERE "
                         "i.id = sysindexkeys.id AND i.indid = sysindexkeys.indid)"},
        {"cdefault", "SELECT name FROM syscolumns WHERE cdefault <> 0 AND cdefault NOT IN (SELECT id FROM sysobjects)"},
        {"parent_obj", "SELECT name FROM sysobjects WHERE parent_obj <> 0 AND parent_obj NOT IN (SELECT id FROM sysobjects)"},
        {"sysforeignkeys", "SELECT constid FROM sysforeignkeys WHERE constid NOT IN (SELECT id FROM sysobjects) OR "
                           "fkeyid NOT IN (SELECT id FROM sysobjects) OR rkeyid NOT IN (SELECT id FROM sysobjects)"},
        {"sysreferences", "SELECT constid FROM sysreferences WHERE constid NOT IN (SELECT id FROM sysobjects)"},
        {"sysprotects", "SELECT id FROM sysprotects WHERE id <> 0 AND id NOT IN (SELECT id FROM sysobjects)"},
        {"sysdepends", "SELECT id FROM sysdepends WHERE id NOT IN (SELECT id FROM sysobjects) OR depid NOT IN "
                       "(SELECT id FROM sysobjects)"},
    };
    for (const auto& q : queries)
        for (const auto& row : h.rows(q[1])) lines.push_back(std::string(q[0]) + " " + row[0]);
    return lines;
}

}  // namespace sandbox::testing
