// What a check of many fields finds, collected and handed to the caller's assertion, so that a
// failure names the caller's line (the case) and every field that differs, the way the
// platform's own conformance tests report the line of the caller.
#pragma once
#include <gtest/gtest.h>

#include <string>

class Findings {
public:
    template <typename Want, typename Got>
    Findings& Same(const char* what, const Want& want, const Got& got)
    {
        if (!(want == got))
            Add(std::string(what) + " is " + ::testing::PrintToString(got) + ", not " + ::testing::PrintToString(want));
        return *this;
    }
    Findings& True(const char* what, bool holds)
    {
        if (!holds)
            Add(what);
        return *this;
    }
    Findings& Add(const std::string& finding)
    {
        text_ += (text_.empty() ? "" : "; ") + finding;
        return *this;
    }
    operator ::testing::AssertionResult() const
    {
        return text_.empty() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << text_;
    }

private:
    std::string text_;
};
