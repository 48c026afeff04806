#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

// A blocking HTTP/1.1 exchange with the service on 127.0.0.1, for tests.
struct HttpReply {
    unsigned status = 0;
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

HttpReply httpGet(std::uint16_t port, const std::string &target);

// Sends bytes as they are, from the given loopback address, and returns what
// comes back until the service closes the connection.
std::string rawExchange(std::uint16_t port, const std::string &request, const char *from = "127.0.0.1");

// Checks on what the service sent.
bool isValidUtf8(const std::string &text);
bool contains(const std::string &text, const std::string &part);
std::size_t occurrences(const std::string &text, const std::string &part);
// Every part is in the text, or none is; a failure names the parts that
// were not as expected and shows the text.
testing::AssertionResult containsAll(const std::string &text, std::initializer_list<std::string> parts);
testing::AssertionResult containsNone(const std::string &text, std::initializer_list<std::string> parts);
