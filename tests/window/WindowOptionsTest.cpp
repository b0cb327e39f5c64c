// The window's command line, read through the option table into what the
// window starts with.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WindowMain.h"

namespace {

bool Parse(std::vector<std::string> words, WindowOptions* o, std::string* error) {
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(&w[0]);
    return ParseWindowOptions((int)args.size(), args.data(), o, error);
}

} // namespace

TEST(WindowOptions, EachOptionReachesTheWindow) {
    WindowOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--record", "s.tmx", "--utc", "2030-06-01 12:00:00", "--speed", "60", "--paused",
                       "--tools", "--scale", "3", "--load-state", "a.state"},
                      &o, &error))
        << error;
    EXPECT_TRUE(o.record);
    EXPECT_EQ(o.recordPath, "s.tmx");
    EXPECT_TRUE(o.utcGiven);
    EXPECT_EQ(o.utc, 1906545600LL);
    EXPECT_EQ(o.speed, 60);
    EXPECT_TRUE(o.paused);
    EXPECT_TRUE(o.tools);
    EXPECT_EQ(o.scale, 3);
    EXPECT_TRUE(o.load);
    EXPECT_EQ(o.loadState, "a.state");

    WindowOptions fastest;
    ASSERT_TRUE(Parse({"--speed", "fastest"}, &fastest, &error)) << error;
    EXPECT_EQ(fastest.speed, 0) << "fastest is speed 0";
    EXPECT_FALSE(fastest.record || fastest.load || fastest.utcGiven || fastest.paused || fastest.tools);
    EXPECT_EQ(fastest.scale, 1);

    WindowOptions bad;
    EXPECT_FALSE(Parse({"--paused", "--scale", "0"}, &bad, &error));
    EXPECT_EQ(error, "--scale takes a whole number from 1 to 4, not \"0\"");
}
