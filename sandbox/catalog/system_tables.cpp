#include "catalog/system_tables.h"

#include <sstream>

namespace sandbox {
namespace {

// Reads "name type[?], ..." where a trailing '?' marks a nullable column.
// Example: "id int, name sysname, text nvarchar(4000)?".
std::vector<SystemColumn> columns(std::string_view spec) {
    std::vector<SystemColumn> out;
    std::size_t pos = 0;
    while (pos < spec.size()) {
        std::size_t end = spec.find(',', pos);
        // A comma inside "(p,s)" is not a separator.
        std::size_t paren = spec.find('(', pos);
        if (paren != std::string_view::npos && end != std::string_view::npos && paren < end) {
            std::size_t close = spec.find(')', paren);
            end = spec.find(',', close);
        }
        if (end == std::string_view::npos) end = spec.size();
        std::string item(spec.substr(pos, end - pos));
        pos = end + 1;
        while (!item.empty() && item.front() == ' ') item.erase(item.begin());
        SystemColumn col;
        if (!item.empty() && item.back() == '?') {
            col.nullable = true;
            item.pop_back();
        }
        std::size_t space = item.find(' ');
        col.name = item.substr(0, space);
        std::string type = item.substr(space + 1);
        std::optional<int> a, b;
        std::size_t open = type.find('(');
        if (open != std::string::npos) {
            std::string args = type.substr(open + 1, type.find(')') - open - 1);
            std::size_t comma = args.find(',');
            a = std::stoi(args.substr(0, comma));
            if (comma != std::string::npos) b = std::stoi(args.substr(comma + 1));
            type = type.substr(0, open);
        }
        col.type = *makeColumnType(type, a, b);
        out.push_back(std::move(col));
    }
    return out;
}

}  // namespace

const std::vector<SystemTable>& databaseSystemTables() {
    static const std::vector<SystemTable> kTables = {
        {"sysobjects", 1,
         columns("name sysname, id int, xtype char(2), uid smallint, info smallint, status int, "
                 "base_schema_ver int, replinfo int, parent_obj int, crdate datetime, ftcatid smallint, "
                 "schema_ver int, stats_schema_ver int, type char(2), userstat smallint, sysstat smallint, "
                 "indexdel smallint, refdate datetime, version int, deltrig int, instrig int, updtrig int, "
                 "seltrig int, category int, cache smallint")},
        {"sysindexes", 2,
         columns("id int, status int, first binary(6)?, indid smallint, root binary(6)?, minlen smallint, "
                 "keycnt smallint, groupid smallint, dpages int, reserved int, used int, rowcnt bigint, "
                 "rowmodctr int, reserved3 tinyint, reserved4 tinyint, xmaxlen smallint, maxirow smallint, "
                 "OrigFillFactor tinyint, StatVersion tinyint, reserved2 int, FirstIAM binary(6)?, "
                 "impid smallint, lockflags smallint, pgmodctr int, keys varbinary(816)?, name sysname?, "
                 "statblob image?, maxlen int, rows int")},
        {"syscolumns", 3,
         columns("name sysname?, id int, xtype tinyint, typestat tinyint, xusertype smallint, length smallint, "
                 "xprec tinyint, xscale tinyint, colid smallint, xoffset smallint, bitpos tinyint, "
                 "reserved tinyint, colstat smallint, cdefault int, domain int, number smallint, "
                 "colorder smallint, autoval varbinary(255)?, offset smallint, collationid int?, "
                 "status tinyint?, type tinyint, usertype smallint?, printfmt varchar(255)?, prec smallint?, "
                 "scale int?, iscomputed int?, isoutparam int?, isnullable int?, collation sysname?")},
        {"systypes", 4,
         columns("name sysname, xtype tinyint, status tinyint?, xusertype smallint?, length smallint, "
                 "xprec tinyint, xscale tinyint, tdefault int, domain int, uid smallint?, reserved smallint?, "
                 "collationid int?, usertype smallint?, variable bit, allownulls bit?, type tinyint, "
                 "printfmt varchar(255)?, prec smallint?, scale tinyint?, collation sysname?")},
        {"syscomments", 6,
         columns("id int, number smallint, colid smallint, status smallint, ctext varbinary(8000), "
                 "texttype smallint?, language smallint?, encrypted bit, compressed bit, text nvarchar(4000)?")},
        {"sysusers", 10,
         columns("uid smallint?, status smallint?, name sysname, sid varbinary(85)?, roles varbinary(2048)?, "
                 "createdate datetime, updatedate datetime, altuid smallint?, password varbinary(256)?, "
                 "gid smallint?, environ varchar(255)?, hasdbaccess int?, islogin int?, isntname int?, "
                 "isntgroup int?, isntuser int?, issqluser int?, isaliased int?, issqlrole int?, "
                 "isapprole int?")},
        {"sysindexkeys", 17, columns("id int, indid smallint, colid smallint, keyno smallint")},
        {"sysforeignkeys", 18,
         columns("constid int, fkeyid int, rkeyid int, fkey smallint, rkey smallint, keyno smallint")},
        {"sysreferences", 14,
         columns("constid int, fkeyid int, rkeyid int, rkeyindid smallint, keycnt smallint, forkeys varbinary(32)?, "
                 "refkeys varbinary(32)?, fkeydbid smallint, rkeydbid smallint, fkey1 smallint, fkey2 smallint, "
                 "fkey3 smallint, fkey4 smallint, fkey5 smallint, fkey6 smallint, fkey7 smallint, fkey8 smallint, "
                 "fkey9 smallint, fkey10 smallint, fkey11 smallint, fkey12 smallint, fkey13 smallint, "
                 "fkey14 smallint, fkey15 smallint, fkey16 smallint, rkey1 smallint, rkey2 smallint, "
                 "rkey3 smallint, rkey4 smallint, rkey5 smallint, rkey6 smallint, rkey7 smallint, rkey8 smallint, "
                 "rkey9 smallint, rkey10 smallint, rkey11 smallint, rkey12 smallint, rkey13 smallint, "
                 "rkey14 smallint, rkey15 smallint, rkey16 smallint")},
        {"sysprotects", 13,
         columns("id int, uid smallint, action tinyint, protecttype tinyint, columns varbinary(4000)?, "
                 "grantor smallint")},
        {"sysmembers", 15, columns("memberuid smallint, groupuid smallint")},
        {"sysdepends", 12,
         columns("id int, depid int, number smallint, depnumber smallint, status smallint, depdbid smallint, "
                 "depsiteid smallint, selall bit, resultobj bit, readobj bit")},
        {"sysfilegroups", 96, columns("groupid smallint, allocpolicy smallint, status int, groupname sysname")},
        {"sysfiles", 97,
         columns("fileid smallint, groupid smallint, size int, maxsize int, growth int, status int, perf int, "
                 "name nchar(128), filename nchar(260)")},
    };
    return kTables;
}

const std::vector<SystemTable>& masterSystemTables() {
    static const std::vector<SystemTable> kTables = {
        {"sysdatabases", 30,
         columns("name sysname?, dbid smallint, sid varbinary(85)?, mode smallint, status int, status2 int?, "
                 "crdate datetime, reserved datetime, category int, cmptlevel tinyint, filename nvarchar(260)?, "
                 "version smallint?")},
        {"syslogins", 31,
         columns("sid varbinary(85)?, status smallint?, createdate datetime, updatedate datetime, "
                 "accdate datetime, totcpu int?, totio int?, spacelimit int?, timelimit int?, resultlimit int?, "
                 "name sysname?, dbname sysname?, password sysname?, language sysname?, denylogin int?, "
                 "hasaccess int?, isntname int?, isntgroup int?, isntuser int?, sysadmin int?, "
                 "securityadmin int?, serveradmin int?, setupadmin int?, processadmin int?, diskadmin int?, "
                 "dbcreator int?, bulkadmin int?, loginname sysname?")},
    };
    return kTables;
}

std::string_view storageAffinity(const ColumnType& type) {
    if (type.isInteger()) return "INTEGER";
    if (type.isCharacter() || type.isDateTime() || type.base->sqlType == SqlType::UniqueIdentifier) return "TEXT";
    if (type.isBinary()) return "BLOB";
    switch (type.base->sqlType) {
        case SqlType::Real: case SqlType::Float: return "REAL";
        case SqlType::SqlVariant: return "";
        default: return "NUMERIC";
    }
}

}  // namespace sandbox
