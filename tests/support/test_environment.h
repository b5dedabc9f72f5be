// Sets and clears variables in the test process's own environment, where the
// conversation reads them: the process block on Windows, the C library's
// environment natively.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testing_support {

void setVariable(const char* name, const std::string& value);
void unsetVariable(const char* name);

// The seven connection parameters, cleared before and after each test.
class ParameterEnvironment : public ::testing::Test {
public:
    static void clearParameters();

protected:
    void SetUp() override { clearParameters(); }
    void TearDown() override { clearParameters(); }
};

} // namespace testing_support
