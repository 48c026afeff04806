#pragma once

#include "history/postgres.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

// The throwaway PostgreSQL cluster the test script starts
// (scripts/with-postgres.sh): its URI, and a program that stops and starts
// it again.
inline std::string testClusterUri()
{
    const char *uri = std::getenv("SKIRVANE_TEST_POSTGRES");
    if (!uri || !*uri)
        throw std::runtime_error("SKIRVANE_TEST_POSTGRES is not set: run the tests through ./test.sh or "
                                 "scripts/with-postgres.sh, which start a PostgreSQL cluster for them");
    return uri;
}

inline void controlTestCluster(const std::string &command)
{
    const char *control = std::getenv("SKIRVANE_TEST_POSTGRES_CTL");
    if (!control || std::system((std::string(control) + " " + command).c_str()) != 0)
        throw std::runtime_error("cannot " + command + " the test cluster");
}

// An empty database of its own on the test cluster for one test, dropped
// afterwards.
class TestDatabase final
{
public:
    explicit TestDatabase(std::string name) : m_name(std::move(name))
    {
        const std::string cluster = testClusterUri();
        m_uri = cluster.substr(0, cluster.rfind('/') + 1) + m_name;
        run("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
        run("CREATE DATABASE " + m_name);
    }
    TestDatabase(const TestDatabase &) = delete;
    TestDatabase &operator=(const TestDatabase &) = delete;
    ~TestDatabase()
    {
        try {
            run("DROP DATABASE IF EXISTS " + m_name + " WITH (FORCE)");
        } catch (const std::exception &) {
            // The cluster is gone with the test run anyway.
        }
    }

    const std::string &uri() const { return m_uri; }

    // A statement on the test's own database, beside the store; the first
    // column of the first row, or "" for none.
    std::string sql(const std::string &statement) const { return run(statement, m_uri); }

private:
    // Names of databases are the tests' own words, never outside text.
    std::string run(const std::string &statement, const std::string &uri = testClusterUri()) const
    {
        auto connection = history::postgres::Connection::open(uri);
        if (!connection)
            throw std::runtime_error(connection.fault().message);
        auto result = connection->query(statement.c_str(), "test");
        if (!result)
            throw std::runtime_error(result.fault().message);
        return result->rows() > 0 ? result->text(0, 0) : std::string();
    }

    std::string m_name;
    std::string m_uri;
};
