#include "tests/support/session_environment.h"

#include <cstdlib>

TSessionEnvironment::TSessionEnvironment(const TSoundSession& session) {
    std::vector<std::pair<std::string, std::string>> wanted = session.ClientEnvironment();
    for (const std::string& name : TSoundSession::UserSessionVariables())
        wanted.emplace_back(name, "");
    for (const auto& [name, value] : wanted) {
        const char* old = std::getenv(name.c_str());
        FSaved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    }
}

TSessionEnvironment::~TSessionEnvironment() {
    for (const auto& [name, old] : FSaved) {
        old ? setenv(name.c_str(), old->c_str(), 1) : unsetenv(name.c_str());
    }
}
