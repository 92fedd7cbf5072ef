// Sets TZ for the life of the object and puts the previous value back, so a
// test can read dates in a named zone without leaking it to the next one.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

struct ScopedTimeZone {
    explicit ScopedTimeZone(const char* zone) {
        const char* previous = getenv("TZ");
        hadZone = previous != nullptr;
        if (hadZone)
            saved = previous;
        Use(zone);
    }
    ~ScopedTimeZone() {
        if (hadZone)
            setenv("TZ", saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

    // Another zone, still put back at the end.
    static void Use(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }

    bool hadZone = false;
    std::string saved;
};
