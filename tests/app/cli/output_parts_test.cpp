// The JSON writer and the progress line, on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "json_writer.h"
#include "progress.h"

namespace plovik {
namespace {

TEST(JsonWriter, StrictValues) {
    std::string out;
    JsonWriter w(out);
    w.BeginObject();
    w.Field("text", std::string_view("q\"b\\\n\t\x01\x1f/한"));
    w.Field("cp949", std::string_view("\xC7\xD1"));  // not UTF-8: read as CP949
    w.Field("max", std::numeric_limits<std::uint64_t>::max());
    w.Field("min", std::numeric_limits<std::int64_t>::min());
    w.Key("doubles");
    w.BeginArray();
    for (const double d : {0.1, 1.0 / 3, 1e300, 5e-324, -0.0, 30000.0 / 1001}) w.Value(d);
    w.EndArray();
    w.Field("nan", std::nan(""));
    w.Field("inf", std::numeric_limits<double>::infinity());
    w.Field("none", std::optional<int>());
    w.Key("empty");
    w.BeginObject();
    w.EndObject();
    w.EndObject();
    EXPECT_EQ(out, R"({"text":"q\"b\\\n\t\u0001\u001f/한","cp949":"한",)"
                   R"("max":18446744073709551615,"min":-9223372036854775808,)"
                   R"("doubles":[0.1,0.3333333333333333,1e+300,5e-324,-0,29.97002997002997],)"
                   R"("nan":null,"inf":null,"none":null,"empty":{}})");
}

TEST(ProgressLine, OnlyOnATerminalAfterASecondAndClearedAtTheEnd) {
    using namespace std::chrono_literals;
    std::chrono::steady_clock::time_point now{};
    const auto clock = [&] { return now; };
    std::ostringstream terminal;
    StreamOutput terminalStream(terminal);
    {
        ProgressLine progress(terminalStream, true, clock);
        progress.Update(1, 20);
        now += 999ms;
        progress.Update(2, 20);
        EXPECT_EQ(terminal.str(), "");  // a short run shows nothing
        now += 2ms;
        progress.Update(3, 20);
        EXPECT_EQ(terminal.str(), "\r3/20 files");
        now += 50ms;
        progress.Update(4, 20);  // not redrawn sooner than every 100 ms
        now += 50ms;
        progress.Update(15, 20);
        EXPECT_EQ(terminal.str(), "\r3/20 files\r15/20 files");
        progress.Clear();
        EXPECT_EQ(terminal.str(), "\r3/20 files\r15/20 files\r           \r");
        now += 1ms;
        progress.Update(16, 20);  // drawn again at once after a clear
        now += 100ms;
        progress.UpdateScan(16, 20, 450, 1000);  // while the 17th file is scanned
    }
    EXPECT_EQ(terminal.str(),
              "\r3/20 files\r15/20 files\r           \r\r16/20 files\r16/20 files, scan 45%"
              "\r                     \r");

    std::ostringstream pipe;
    StreamOutput pipeStream(pipe);
    ProgressLine off(pipeStream, false, clock);
    now += 10s;
    off.Update(1, 2);
    EXPECT_EQ(pipe.str(), "");
}

}  // namespace
}  // namespace plovik
