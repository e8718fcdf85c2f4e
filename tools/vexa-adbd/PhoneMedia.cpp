// The media index ("content://media/external/file") as the shell user reads it: every file of the
// phone storage and the card with its path, size and media type. A real phone fills its index with
// a scanner some time after a file appears; here the index is the file table itself, so it is
// always up to date.
#include "PhoneDevice.h"
#include "ProviderQuery.h"

#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimFiles.h"

#include <map>

namespace vexa_adbd {

using vexa::sim::Stmt;

int CPhoneDevice::Media(const std::string& verb, const std::string& uri, const std::string& projection,
                        const std::string& where, std::string& out) {
    if (Denied("media")) {
        out += ProviderError("media", "java.lang.SecurityException: Permission Denial: reading "
                                      "com.android.providers.media.MediaProvider uri " +
                                          uri +
                                          " from pid=4242, uid=2000 requires android.permission.READ_EXTERNAL_STORAGE");
        return 0;
    }
    if (uri != "content://media/external/file") {
        out += ProviderError("media", "java.lang.IllegalArgumentException: Unknown URL " + uri);
        return 0;
    }
    if (verb != "query") {
        out += ProviderError("media", "java.lang.UnsupportedOperationException: " + verb);
        return 0;
    }
    static const std::map<std::string, std::string> kColumns{{"_id", "_id"},
                                                             {"_data", "_data"},
                                                             {"_size", "_size"},
                                                             {"media_type", "media_type"},
                                                             {"_display_name", "_display_name"}};
    std::vector<std::string> columns = SplitColons(projection);
    if (columns.empty()) {
        columns = {"_id", "_data", "_size", "media_type", "_display_name"};
    }
    for (const std::string& column : columns) {
        if (kColumns.count(column) == 0) {
            out += ProviderError("media", "android.database.sqlite.SQLiteException: no such column: " + column);
            return 0;
        }
    }
    std::string whereSql;
    std::vector<std::int64_t> values;
    std::vector<std::string> valueColumns;
    if (!ParseWhere(where, kColumns, whereSql, values, valueColumns)) {
        out += ProviderError("media", "android.database.sqlite.SQLiteException: unsupported selection: " + where);
        return 0;
    }
    // Paths are rebuilt from the folder tree; media types are Android's: 1 image, 2 audio, 3 video.
    const std::string sql =
        "WITH RECURSIVE tree(id, path) AS (SELECT id, '' FROM files WHERE id=1 UNION ALL "
        "SELECT f.id, tree.path || '/' || f.name FROM files f JOIN tree ON f.parent=tree.id WHERE f.id<>1) "
        "SELECT * FROM (SELECT f.id AS _id, tree.path AS _data, f.size AS _size, CASE f.category WHEN " +
        std::to_string(vexa::sim::CAT_PICTURE) + " THEN 1 WHEN " + std::to_string(vexa::sim::CAT_MUSIC) +
        " THEN 2 WHEN " + std::to_string(vexa::sim::CAT_VIDEO) +
        " THEN 3 ELSE 0 END AS media_type, f.name AS _display_name FROM files f JOIN tree ON tree.id=f.id "
        "WHERE f.is_dir=0 AND f.storage<2)" +
        whereSql + " ORDER BY _id";
    Stmt stmt(m_db, sql.c_str());
    for (std::size_t i = 0; i < values.size(); ++i) {
        stmt.Bind(static_cast<int>(i) + 1, values[i]);
    }
    static const std::map<std::string, int> kIndex{
        {"_id", 0}, {"_data", 1}, {"_size", 2}, {"media_type", 3}, {"_display_name", 4}};
    PrintQueryRows(
        stmt, columns,
        [&columns](const Stmt& row, int c) -> std::optional<std::string> {
            const int i = kIndex.at(columns[static_cast<std::size_t>(c)]);
            return i == 1 || i == 4 ? row.Text(i).toStdString() : std::to_string(static_cast<long long>(row.Int(i)));
        },
        out);
    return 0;
}

} // namespace vexa_adbd
