#include "test_environment.h"

#include "controller_conversation.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdlib>
#endif

namespace testing_support {

void setVariable(const char* name, const std::string& value) {
#if defined(_WIN32)
    ASSERT_TRUE(SetEnvironmentVariableA(name, value.c_str()));
#else
    ASSERT_EQ(setenv(name, value.c_str(), 1), 0);
#endif
}

void unsetVariable(const char* name) {
#if defined(_WIN32)
    SetEnvironmentVariableA(name, nullptr);
#else
    unsetenv(name);
#endif
}

void ParameterEnvironment::clearParameters() {
    for (const auto& parameter : controller::kForwardedParameters) {
        unsetVariable(parameter.variable);
    }
}

} // namespace testing_support
