#include "kit/OMBacktrace.h"
#include "kit/QFLoggingHelper.h"

#include <gtest/gtest.h>

#include <barrier>
#include <sstream>
#include <thread>

namespace {

// The lines the body wrote to standard output.
template <class Body>
std::vector<std::string> standardOutputLines(Body body) {
    ::testing::internal::CaptureStdout();
    body();
    std::istringstream output(::testing::internal::GetCapturedStdout());
    std::vector<std::string> lines;
    for (std::string line; std::getline(output, line);)
        lines.push_back(line);
    return lines;
}

TEST(QFLoggingHelper, IndentsEveryLineOfATextByTheLevel) {
    // On a thread of its own, which starts at level 0.
    const auto lines = standardOutputLines([] {
        std::thread([] {
            QFLog("top");
            QFIncreaseLogIndentation();
            QFIncreaseLogIndentation();
            QFLog("two {}\nlines", "whole");
            QFLog("ends in a newline\n");
            QFDecreaseLogIndentation();
            QFLog("{}\r\n{}", "carriage return", "and line feed");
            QFDecreaseLogIndentation();
            QFDecreaseLogIndentation();
            QFLog("below zero");
            EXPECT_EQ(QFLoggingHelper::currentLoggingHelper().indentationLevel(), -1);
        }).join();
    });
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "top",
                         "      two whole",
                         "      lines",
                         "      ends in a newline",
                         "      ",
                         "   carriage return",
                         "   ",  // each newline character ends a line
                         "   and line feed",
                         "below zero",
                     }));
}

TEST(QFLoggingHelper, ConcurrentThreadsKeepTheirOwnLevels) {
    constexpr int kLines = 50;
    std::barrier bothIndented(2);
    auto writer = [&](const std::string& name, int levels) {
        for (int i = 0; i < levels; ++i)
            QFIncreaseLogIndentation();
        bothIndented.arrive_and_wait();
        for (int i = 0; i < kLines; ++i)
            QFLog("{} {}", name, i);
    };
    const auto lines = standardOutputLines([&] {
        std::thread first(writer, "first", 1), second(writer, "second", 3);
        first.join();
        second.join();
    });
    ASSERT_EQ(lines.size(), size_t(2 * kLines));
    int firsts = 0, seconds = 0;
    for (const std::string& line : lines) {
        if (line.starts_with("   first "))
            ++firsts;
        else if (line.starts_with("         second "))
            ++seconds;
        else
            ADD_FAILURE() << "line with the wrong indentation: \"" << line << "\"";
    }
    EXPECT_EQ(firsts, kLines);
    EXPECT_EQ(seconds, kLines);
}

[[gnu::noinline]] std::optional<std::string> backtraceProbe() {
    auto text = OMBacktraceString();
    asm volatile("");  // keeps the call from becoming a tail call
    return text;
}

TEST(OMBacktraceString, NamesTheFunctionsOnTheStack) {
    std::optional<std::string> text = backtraceProbe();
    ASSERT_TRUE(text) << "addr2line could not be started";
    EXPECT_NE(text->find("backtraceProbe"), std::string::npos) << *text;
    EXPECT_NE(text->find("(in kit_tests)"), std::string::npos) << *text;
}

}  // namespace
