// Builds an empty database with the schema of one kind; the build makes the installation's
// settings.sqlite and actmondb.sqlite with it.
#include "storage/DatabaseSchema.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[1], "settings") != 0 && std::strcmp(argv[1], "activity") != 0)) {
        std::fprintf(stderr, "usage: %s settings|activity <output file>\n", argv[0]);
        return 2;
    }
    const TDatabaseKind kind
        = std::strcmp(argv[1], "settings") == 0 ? TDatabaseKind::Settings : TDatabaseKind::Activity;
    const std::string output = argv[2];
    const std::string temporary = output + ".tmp";
    std::remove(temporary.c_str());
    sqlite3* handle = nullptr;
    if (sqlite3_open(temporary.c_str(), &handle) != SQLITE_OK) {
        std::fprintf(stderr, "cannot create %s\n", temporary.c_str());
        return 1;
    }
    char* message = nullptr;
    const int result = sqlite3_exec(handle, DatabaseSchemaSql(kind).c_str(), nullptr, nullptr, &message);
    if (result != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", message ? message : "schema failed");
        sqlite3_free(message);
        sqlite3_close(handle);
        return 1;
    }
    sqlite3_close(handle);
    // std::filesystem's rename replaces an existing file on Windows too, where C's refuses; a
    // rebuild must be able to replace the templates of the last one.
    std::error_code error;
    std::filesystem::rename(temporary, output, error);
    if (error) {
        std::fprintf(stderr, "cannot put %s in place: %s\n", output.c_str(), error.message().c_str());
        return 1;
    }
    return 0;
}
