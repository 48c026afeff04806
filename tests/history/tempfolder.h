#pragma once

#include "history/sample.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

// A fresh folder for one test's files, removed with everything in it.
class TempFolder final
{
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "skirvane-history-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("cannot make a temporary folder");
        m_path = pattern;
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    ~TempFolder() { std::filesystem::remove_all(m_path); }

    const std::filesystem::path &path() const { return m_path; }
    std::filesystem::path operator/(const std::string &name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

inline std::string fileBytes(const std::filesystem::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A question put to the file with SQLite itself, beside the store: the
// first column of the first row, or "(error)".
inline std::string sqlText(const std::filesystem::path &path, const std::string &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt *statement = nullptr;
    std::string value = "(error)";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
        value = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

// Statements run on the file with SQLite itself, beside the store: SQLite's
// result code.
inline int sqlExec(const std::filesystem::path &path, const std::string &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return result;
}

inline long long sqlValue(const std::filesystem::path &path, const std::string &sql)
{
    const std::string text = sqlText(path, sql);
    return text == "(error)" ? -1 : std::stoll(text);
}

inline history::Seconds at(long long unixSeconds)
{
    return history::Seconds(std::chrono::seconds(unixSeconds));
}
