#include "kit/OMBacktrace.h"
#include "kit/QFLoggingHelper.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <barrier>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace {

// While alive, standard output goes into a file; lines() reads it back.
class StandardOutputCapture {
public:
    StandardOutputCapture() : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int file = open((folder_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(file, STDOUT_FILENO);
        close(file);
    }
    ~StandardOutputCapture() { restore(); }

    std::vector<std::string> lines() {
        restore();
        std::ifstream in(folder_ / "out");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
        saved_ = -1;
    }

    lf::test::TemporaryDirectory folder_;
    int saved_;
};

// Runs `body` on a thread of its own, so each case starts at level 0.
template <class Body>
void onNewThread(Body body) {
    std::thread(body).join();
}

TEST(QFLoggingHelper, IndentsEveryLineOfATextByTheLevel) {
    StandardOutputCapture output;
    onNewThread([] {
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
    });
    EXPECT_EQ(output.lines(), (std::vector<std::string>{
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
    StandardOutputCapture output;
    std::barrier bothIndented(2);
    auto writer = [&](const std::string& name, int levels) {
        for (int i = 0; i < levels; ++i)
            QFIncreaseLogIndentation();
        bothIndented.arrive_and_wait();
        for (int i = 0; i < kLines; ++i)
            QFLog("{} {}", name, i);
    };
    std::thread first(writer, "first", 1), second(writer, "second", 3);
    first.join();
    second.join();

    std::vector<std::string> lines = output.lines();
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
