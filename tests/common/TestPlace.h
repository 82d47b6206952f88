#pragma once

// Where a test called a helper, for the helper's failure message. As a
// default argument, TestPlace::here() is evaluated at the caller's line.
// std::source_location would serve, but clang 14 (the sanitizer and fuzz
// builds) cannot compile libstdc++ 12's <source_location>.
struct TestPlace
{
    const char* file = "";
    int line = 0;

    static constexpr TestPlace here(const char* file = __builtin_FILE(),
                                    int line = __builtin_LINE())
    {
        return {file, line};
    }
};
