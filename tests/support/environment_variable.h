#pragma once
// Test helpers that change the process environment for one scope and put it back.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

class TEnvironmentVariable {
  public:
    explicit TEnvironmentVariable(const char* name) : FName(name) {
        if (const char* value = std::getenv(name)) FSaved = value;
    }
    ~TEnvironmentVariable() { Restore(); }
    TEnvironmentVariable(const TEnvironmentVariable&) = delete;
    TEnvironmentVariable& operator=(const TEnvironmentVariable&) = delete;

    void Set(const std::string& value) { setenv(FName, value.c_str(), 1); }
    void Unset() { unsetenv(FName); }
    void Restore() { FSaved ? setenv(FName, FSaved->c_str(), 1) : unsetenv(FName); }

  private:
    const char* FName;
    std::optional<std::string> FSaved;
};

// Local time in a zone far from UTC (5:45 ahead, in POSIX form: no zone database needed).
class TFarTimeZone {
  public:
    TFarTimeZone() {
        FZone.Set("XYZ-5:45");
        tzset();
    }
    ~TFarTimeZone() {
        FZone.Restore();
        tzset();
    }

  private:
    TEnvironmentVariable FZone{"TZ"};
};
